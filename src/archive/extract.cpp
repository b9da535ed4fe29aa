// ExtractEntry: reads the next entry of the payload archive behind the stub
// and writes it out under the overwrite policy, or copies the stub itself.
#include <windows.h>
#include "extract.h"
#include "file_move.h"
#include "integrity.h"
#include "lzhuf.h"
#include "setup_state.h"
#include "setupinfo.h"
#include "text.h"
#include "switches.h"

enum {
    STUB_COPY_BLOCK = 4095,
    STUB_COPY_BLOCKS = 9,
    STUB_COPY_LAST = ARCHIVE_START - STUB_COPY_BLOCKS * STUB_COPY_BLOCK // 2059
};

static const char errorCaption[] = "ZOZurer";

// A silent run has nobody to tell: it keeps the exit code instead.
static void ShowArchiveError(const char* text, int exitCode)
{
    if (setupState.silent)
        setupState.exitCode = exitCode;
    else
        MessageBoxA(0, text, errorCaption, MB_ICONERROR | MB_OK);
}

// The decoder's sink: a write that does not take every byte is a failure.
static int WriteSink(void* context, const unsigned char* data,
                     unsigned long size)
{
    DWORD written = 0;
    return WriteFile(static_cast<HANDLE>(context), data, size, &written, 0) &&
           written == size;
}

static int ReadAt(HANDLE file, unsigned long offset, void* buffer,
                  unsigned long size)
{
    DWORD got = 0;
    if (SetFilePointer(file, static_cast<LONG>(offset), 0, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER)
        return 0;
    return ReadFile(file, buffer, size, &got, 0) && got == size;
}

static HANDLE CreateOutput(const char* path)
{
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, 0);
}

// The uninstaller copy: the first 38,914 bytes of the program file. An
// existing file larger than that is left alone.
static void CopyStub(HANDLE program, const char* target)
{
    static unsigned char buffer[4096];
    if (GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) {
        HANDLE existing = CreateFileA(target, GENERIC_READ, FILE_SHARE_READ, 0,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
        DWORD size = GetFileSize(existing, 0);
        if (existing != INVALID_HANDLE_VALUE) CloseHandle(existing);
        if (size > ARCHIVE_START && size != INVALID_FILE_SIZE) return;
    }
    HANDLE out = CreateOutput(target);
    if (out == INVALID_HANDLE_VALUE) return;
    SetFilePointer(program, 0, 0, FILE_BEGIN);
    for (int block = 0; block <= STUB_COPY_BLOCKS; ++block) {
        DWORD size = block < STUB_COPY_BLOCKS ? STUB_COPY_BLOCK : STUB_COPY_LAST;
        DWORD got = 0, written = 0;
        ReadFile(program, buffer, size, &got, 0);
        WriteFile(out, buffer, got, &written, 0);
    }
    CloseHandle(out);
}

// Creates every ancestor directory of the path, outermost first; failures
// (a drive name, a directory that exists) do not matter.
static void CreateParents(char* path)
{
    for (char* p = path; *p; ++p) {
        if (*p != '\\') continue;
        *p = 0;
        CreateDirectoryA(path, 0);
        *p = '\\';
    }
}

// ExtractInstall: target := directory + "\" + stored name, recorded under
// the next free [Uninstall] key, which is left in `key`; the copy mode
// comes from [Copymode]. When the key series is full the file goes
// unrecorded (`key` empty, the copy mode that of no key: replace) rather
// than take the record of another file.
static int PrepareInstallTarget(char* target, const ArchiveEntry& entry,
                                const char* setupInfoPath, int* mode,
                                char* key)
{
    if (!IsSafeStoredName(entry.name, entry.nameLength)) return 0;
    unsigned length = TextLength(target);
    if (length + 1 + entry.nameLength >= TARGET_PATH_SIZE) return 0;
    target[length++] = '\\';
    for (unsigned i = 0; i < entry.nameLength; ++i) target[length++] = entry.name[i];
    target[length] = 0;

    if (FindFreeLetterKey("Uninstall", "file", setupInfoPath, INF_PROBE_LIMIT,
                          key))
        WriteInfString("Uninstall", key, target, setupInfoPath);
    *mode = ReadInfInt("Copymode", key, ExtractAlways, setupInfoPath);
    return 1;
}

// Decodes the entry and gives the file its time and attributes. The data
// goes into a fresh file beside the target first; only a whole, sound file
// takes the target's place, so a damaged entry or a full disk leaves an
// existing file as it was, and no partly written file stays behind.
static int WriteEntry(const char* target, const unsigned char* block,
                      const ArchiveEntry& entry)
{
    HGLOBAL stateMemory = GlobalAlloc(GPTR, sizeof(LzhufDecoder));
    if (!stateMemory) {
        ShowArchiveError("Can't get memory!", ExitExtractFailed);
        return 0;
    }
    // In the same directory, so that the last step is a rename. Where no
    // name fits there (a directory path longer than MAX_PATH - 14, which
    // GetTempFileNameA does not take), the target is written in place, as
    // the only way left.
    char temp[MAX_PATH];
    int inPlace = !TempFileBeside(target, temp);
    if (inPlace) CopyText(temp, target, sizeof temp);

    HANDLE out = CreateOutput(temp);
    int result = 0, decoded = 0, kept = 0;
    if (out != INVALID_HANDLE_VALUE) {
        decoded = Decode(reinterpret_cast<LzhufDecoder*>(stateMemory), block,
                         entry.entryLength - 4, WriteSink, out);
        result = decoded == LzhufOk;
        if (result) {
            unsigned short date = entry.dosDate, time = entry.dosTime;
            FILETIME stamp;
            AdjustDosTime(&date, &time);
            if (DosDateTimeToFileTime(date, time, &stamp))
                SetFileTime(out, 0, 0, &stamp);
        }
        CloseHandle(out);
        // No replacing move on Windows 95: the old file is moved aside
        // while the new one takes its place. One that cannot go (read-only,
        // held open, a folder) stays as it was, and so does the new file
        // when the old one could not be put back.
        if (result && !inPlace) {
            int moved = MoveIntoPlace(temp, target, 1);
            result = moved == MoveDone;
            kept = moved == MoveBroken;
        }
    }
    // The temporary file, or the target written in place and left partial.
    if (!result && !kept && (out != INVALID_HANDLE_VALUE || !inPlace))
        DeleteFileA(temp);
    GlobalFree(stateMemory);
    if (!result) {
        ShowArchiveError("File Error!", decoded == LzhufDamaged
                                            ? ExitDamaged : ExitExtractFailed);
        return 0;
    }
    SetFileAttributesA(target, MapDosAttributes(entry.dosAttributes));
    return 1;
}

// Reads, checks and writes (or skips) the entry at archiveOffset.
static int ExtractNext(HANDLE program, char* target, int mode,
                       const char* setupInfoPath)
{
    DWORD fileSize = SetFilePointer(program, 0, 0, FILE_END);
    if (fileSize == INVALID_SET_FILE_POINTER) return 0;
    // With an integrity record the archive ends there: what follows it (a
    // signature) is no entry.
    if (setupState.archiveEnd && setupState.archiveEnd < fileSize)
        fileSize = setupState.archiveEnd;
    if (setupState.archiveOffset >= fileSize)
        return 0; // the archive is exhausted

    unsigned char head[8];
    unsigned long entryLength = 0;
    if (ReadAt(program, setupState.archiveOffset, head, sizeof head))
        entryLength = head[4] | head[5] << 8 | head[6] << 16 |
                      static_cast<unsigned long>(head[7]) << 24;
    if (!CheckEntryLength(entryLength, setupState.archiveOffset, fileSize)) {
        ShowArchiveError("File Error!", ExitDamaged);
        return 0;
    }

    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, entryLength - 4);
    unsigned char* block =
        memory ? static_cast<unsigned char*>(GlobalLock(memory)) : 0;
    if (!block) {
        if (memory) GlobalFree(memory);
        ShowArchiveError("Can't get memory!", ExitExtractFailed);
        return 0;
    }

    ArchiveEntry entry;
    char key[8] = "";
    int result = 1;
    int parsed = ReadAt(program, setupState.archiveOffset + 4, block,
                        entryLength - 4) &&
                 ParseEntryBlock(block, entryLength - 4, &entry);
    if (!parsed ||
        (mode == ExtractInstall &&
         !PrepareInstallTarget(target, entry, setupInfoPath, &mode, key))) {
        // A sound entry whose name cannot be placed was not extracted.
        ShowArchiveError("File Error!", parsed ? ExitExtractFailed : ExitDamaged);
        result = 0;
    } else if (GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES &&
               (mode == ExtractKeep ||
                (mode == ExtractAsk &&
                 (setupState.silent ||
                  MessageBoxA(0, "File exists.  Overwrite?", target,
                              MB_ICONWARNING | MB_YESNO) != IDYES)))) {
        // Skipped under the overwrite policy: the existing file stays. A
        // silent run cannot ask, so it keeps the file: nothing is lost.
    } else {
        CreateParents(target);
        result = WriteEntry(target, block, entry);
        // A file that was not written is not recorded for the uninstaller.
        if (!result && key[0]) WriteInfString("Uninstall", key, 0, setupInfoPath);
    }

    GlobalUnlock(memory);
    GlobalFree(memory);
    if (result) setupState.archiveOffset += entryLength;
    return result;
}

static HANDLE OpenProgram(HINSTANCE instance)
{
    char programPath[SETUP_PATH_SIZE];
    DWORD length = GetModuleFileNameA(instance, programPath, sizeof programPath);
    if (length == 0 || length >= sizeof programPath) return INVALID_HANDLE_VALUE;
    return CreateFileA(programPath, GENERIC_READ, FILE_SHARE_READ, 0,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
}

// The record's checks; 1 when sound, 0 when damaged or incomplete.
static int CheckRecord(HANDLE program, unsigned long archiveLength,
                       DWORD fileSize)
{
    // In the stub's uninitialised data, not in its file image.
    static unsigned long crcTable[CRC32_TABLE_SIZE];
    static unsigned char buffer[65536];
    unsigned long recordOffset = ARCHIVE_START + archiveLength;
    unsigned char bytes[INTEGRITY_RECORD_SIZE];
    IntegrityRecord record;
    if (archiveLength > fileSize - ARCHIVE_START ||
        fileSize - recordOffset < INTEGRITY_RECORD_SIZE ||
        !ReadAt(program, recordOffset, bytes, sizeof bytes) ||
        !ReadIntegrityRecord(bytes, &record) ||
        record.archiveLength != archiveLength)
        return 0;
    // The chain of entry lengths must end exactly on the record.
    unsigned long offset = ARCHIVE_START, entries = 0;
    while (offset < recordOffset) {
        if (!ReadAt(program, offset, bytes, 8)) return 0;
        unsigned long entryLength = bytes[4] | bytes[5] << 8 | bytes[6] << 16 |
                                    static_cast<unsigned long>(bytes[7]) << 24;
        if (!CheckEntryLength(entryLength, offset, recordOffset)) return 0;
        offset += entryLength;
        ++entries;
    }
    if (entries != record.entryCount) return 0;
    Crc32MakeTable(crcTable);
    unsigned long crc = 0;
    SetFilePointer(program, ARCHIVE_START, 0, FILE_BEGIN);
    for (unsigned long left = archiveLength; left;) {
        DWORD size = left < sizeof buffer ? left : sizeof buffer, got = 0;
        if (!ReadFile(program, buffer, size, &got, 0) || got != size) return 0;
        crc = Crc32Update(crcTable, crc, buffer, size);
        left -= size;
    }
    if (crc != record.crc) return 0;
    setupState.archiveEnd = recordOffset;
    return 1;
}

int CheckArchive(HINSTANCE instance)
{
    HANDLE program = OpenProgram(instance);
    if (program == INVALID_HANDLE_VALUE) return 1; // as ExtractEntry will find
    DWORD fileSize = SetFilePointer(program, 0, 0, FILE_END);
    unsigned char trailer[STUB_TRAILER_SIZE];
    unsigned long archiveLength;
    int result = 1;
    if (fileSize != INVALID_SET_FILE_POINTER && fileSize >= ARCHIVE_START &&
        ReadAt(program, STUB_TRAILER_OFFSET, trailer, sizeof trailer) &&
        ReadStubTrailer(trailer, &archiveLength))
        result = CheckRecord(program, archiveLength, fileSize);
    CloseHandle(program);
    return result;
}

int ExtractEntry(HINSTANCE instance, char* target, int mode,
                 const char* setupInfoPath)
{
    HANDLE program = OpenProgram(instance);
    if (program == INVALID_HANDLE_VALUE) return 0;

    int result = 1;
    if (mode == ExtractStub) {
        CopyStub(program, target);
    } else {
        if (mode == ExtractRewind) setupState.archiveOffset = ARCHIVE_START;
        result = ExtractNext(program, target, mode, setupInfoPath);
    }
    CloseHandle(program);
    return result;
}
