// The one global record of a setup run. Every subsystem shares paths and
// strings through it; each field says who writes and who reads it.
#pragma once
#include <windows.h>
#include "inf_text.h"

enum {
    SETUP_PATH_SIZE = 256,      // every path and INI value buffer
    SETUP_INSTALLDIR_SIZE = 272 // room for 259 typed characters and more
};

struct SetupState {
    HINSTANCE instance;                     // module of templates, icon, class
    char installDir[SETUP_INSTALLDIR_SIZE]; // install directory, no trailing '\'
    char caption[SETUP_PATH_SIZE];          // "<AppName> Setup"; later scratch
    int browseFirstPaint;                   // browser: 1 until its first paint
    char infPath[SETUP_PATH_SIZE];          // setup information file / log
    char appBy[SETUP_PATH_SIZE];            // by-line; uninstall: the question
    char defDir[SETUP_PATH_SIZE];           // [Install] DefDir; uninstall: dir
    char appName[SETUP_PATH_SIZE];          // [Install] AppName
    char compReg[SETUP_PATH_SIZE];          // uninstall: each recorded path
    char licensePath[SETUP_PATH_SIZE];      // License.txt; uninstall: linkdir
    unsigned long archiveOffset;            // file offset of the next entry
    int licenseAccepted;                    // 1 once the license is accepted
    int backdropPlaced;                     // 1 after the first position change
    int silent;                             // 1 in a run started with /S
    int exitCode;                           // silent run: why it failed
    unsigned long archiveEnd;               // integrity record's offset, or 0
    InfText ownLog;                         // install: this application's
                                            // log found in installDir
    InfText inf;                            // install: entry 1 as extracted;
                                            // uninstall: the log
    InfText license;                        // install: entry 2 as extracted
    unsigned long entryNumber;              // entries passed since rewind
    HANDLE program;                         // the program file, open (read
                                            // only shared) to the run's end
    FILETIME licenseStamp;                  // entry 2's time and attributes
    unsigned long licenseAttributes;
    char displayIcon[SETUP_PATH_SIZE];      // the uninstall entry's icon, or ""
    HWND progressWindow;                    // backdrop while files are
                                            // extracted with progress, or 0
    const char* progressName;               // the file being written
    unsigned long payloadSize;              // decoded bytes of the application
    unsigned long payloadDone;              // files, and those passed so far
    unsigned long progressTick;             // time of the last update
    int cancelled;                          // 1 once the user chose Cancel
};

extern SetupState setupState;

// Fixed names shared by several subsystems.
#define UNINSTALLER_NAME "Duvedozi.exe"
#define SETUP_INFO_NAME "Uninstal.inf"
#define LICENSE_NAME "License.txt"
