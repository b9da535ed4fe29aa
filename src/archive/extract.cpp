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
#include "backdrop.h"

enum { STUB_COPY_BLOCK = 4095 };

static const char errorCaption[] = "ZOZurer";

// A silent run has nobody to tell: it keeps the exit code instead.
// A cancelled run says nothing either: the user knows.
static void ShowArchiveError(const char* text, int exitCode)
{
    if (setupState.cancelled) return;
    if (setupState.silent)
        setupState.exitCode = exitCode;
    else
        MessageBoxA(0, text, errorCaption, MB_ICONERROR | MB_OK);
}

static const unsigned long PIECE_SIZE = 65536;

// The program file is read, and the output written, in pieces of 64 KB:
// an entry of any size up to 4 GiB needs no more memory than that.
static unsigned char piece[PIECE_SIZE];
static unsigned char gathered[PIECE_SIZE];

// The decoder's sink: its 4,095-byte blocks gathered into writes of 64 KB.
// A write that does not take every byte is a failure.
struct Output {
    HANDLE file;
    unsigned long fill;
    char* keep;              // a copy of the file in memory, or 0
    unsigned long kept, room;
};

static int Flush(Output* out)
{
    DWORD written = 0;
    int done = WriteFile(out->file, gathered, out->fill, &written, 0) &&
               written == out->fill;
    out->fill = 0;
    return done;
}

static int WriteSink(void* context, const unsigned char* data,
                     unsigned long size)
{
    Output* out = static_cast<Output*>(context);
    if (!ShowProgress(size)) return 0;
    if (out->keep) {
        // Grown as the bytes come: a damaged entry's claim of its size
        // asks for no memory its stream cannot fill.
        if (size > out->room - out->kept) {
            unsigned long room = out->room * 2 + size;
            char* grown = static_cast<char*>(GlobalAlloc(GMEM_FIXED, room + 1));
            if (!grown) return 0;
            memcpy(grown, out->keep, out->kept);
            GlobalFree(out->keep);
            out->keep = grown;
            out->room = room;
        }
        memcpy(out->keep + out->kept, data, size);
        out->kept += size;
    }
    while (size) {
        unsigned long step = PIECE_SIZE - out->fill;
        if (step > size) step = size;
        memcpy(gathered + out->fill, data, step);
        out->fill += step;
        data += step;
        size -= step;
        if (out->fill == PIECE_SIZE && !Flush(out)) return 0;
    }
    return 1;
}

// The rest of an entry block, read on from where its first piece ended.
struct ProgramPieces {
    HANDLE program;
    unsigned long left;
};

static int NextProgramPiece(void* context, const unsigned char** data,
                            unsigned long* size)
{
    ProgramPieces* rest = static_cast<ProgramPieces*>(context);
    DWORD want = rest->left < PIECE_SIZE ? rest->left : PIECE_SIZE, got = 0;
    if (!want || !ReadFile(rest->program, piece, want, &got, 0) || got != want)
        return 0;
    rest->left -= want;
    *data = piece;
    *size = want;
    return 1;
}

// Positions at any offset below 4 GiB: with a high word of 0 the low word
// counts unsigned (without one it would be a signed distance, and every
// offset from 2 GiB on a step backwards).
static int SeekTo(HANDLE file, unsigned long offset)
{
    LONG high = 0;
    return SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN) ==
           offset;
}

static int ReadAt(HANDLE file, unsigned long offset, void* buffer,
                  unsigned long size)
{
    DWORD got = 0;
    return SeekTo(file, offset) && ReadFile(file, buffer, size, &got, 0) &&
           got == size;
}

// The program file's size. One of 4 GiB or more, whose offsets the archive
// cannot name, counts as none (0), and so does one that cannot be measured.
static DWORD ProgramSize(HANDLE file)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return high ? 0 : low;
}

// Where the entries end: with an integrity record the archive ends there,
// and what follows it (a signature) is no entry.
static DWORD ArchiveLimit(HANDLE program)
{
    DWORD fileSize = ProgramSize(program);
    if (setupState.archiveEnd && setupState.archiveEnd < fileSize)
        fileSize = setupState.archiveEnd;
    return fileSize;
}

// An entry's length field, 4 bytes into it.
static unsigned long LengthField(const unsigned char* start)
{
    return start[4] | start[5] << 8 | start[6] << 16 |
           static_cast<unsigned long>(start[7]) << 24;
}

static HANDLE CreateOutput(const char* path)
{
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, 0);
}

// The uninstaller copy: the first 38,914 bytes of the program file. An
// existing file larger than that is left alone. 1 when the copy is whole
// (or such a file is there).
static int CopyStub(HANDLE program, const char* target)
{
    static unsigned char buffer[4096];
    if (GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) {
        HANDLE existing = CreateFileA(target, GENERIC_READ, FILE_SHARE_READ, 0,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
        DWORD size = GetFileSize(existing, 0);
        if (existing != INVALID_HANDLE_VALUE) CloseHandle(existing);
        if (size > ARCHIVE_START && size != INVALID_FILE_SIZE) return 1;
    }
    char aside[MAX_PATH];
    HANDLE out = SetAside(target, aside) ? CreateOutput(target) : INVALID_HANDLE_VALUE;
    if (out == INVALID_HANDLE_VALUE) return 0;
    int whole = SeekTo(program, 0);
    // Blocks of 4,095 bytes, the last one what is left (2,059 of 38,914).
    for (unsigned long left = ARCHIVE_START; left;) {
        DWORD size = left < STUB_COPY_BLOCK ? left : DWORD(STUB_COPY_BLOCK);
        left -= size;
        DWORD got = 0, written = 0;
        whole = ReadFile(program, buffer, size, &got, 0) && got == size &&
                WriteFile(out, buffer, got, &written, 0) && written == got &&
                whole;
    }
    CloseHandle(out);
    return whole;
}

// Creates every ancestor directory of the path, outermost first; failures
// (a drive name, a directory that exists) do not matter.
static void CreateParents(char* path)
{
    for (char* p = path; *p; ++p) {
        if (*p != '\\') continue;
        *p = 0;
        MakeFolder(path);
        *p = '\\';
    }
}

// The copy mode of the file recorded under the n-th key: [Copymode] is
// scanned once, so that each file costs one step however many there are.
static int CopyModeOf(unsigned long n)
{
    static InfSeries modes;
    // Keys up to the last file's: FileNum, and the records the setup
    // information file brought along.
    if (!modes.slots) {
        InfSection shipped;
        InfFindSection(&setupState.inf, "Uninstall", &shipped);
        int files = ReadInfInt("Install", "FileNum", 0);
        ScanInfSeries("Copymode", "file",
                      (files > 0 ? files : 0) + InfCountLines(&setupState.inf, &shipped),
                      &modes);
    }
    InfValue value = SeriesValue(&modes, n);
    return static_cast<int>(InfInteger(value.text, value.length, ExtractAlways));
}

// ExtractInstall: target := directory + "\\" + stored name, recorded under
// the next free [Uninstall] key, which is left in `key`; the copy mode
// comes from [Copymode] under the same key.
static int PrepareInstallTarget(char* target, const ArchiveEntry& entry,
                                int* mode, char* key)
{
    if (!IsSafeStoredName(entry.name, entry.nameLength)) return 0;
    unsigned length = TextLength(target);
    if (length + 1 + entry.nameLength >= TARGET_PATH_SIZE) return 0;
    target[length++] = '\\';
    for (unsigned i = 0; i < entry.nameLength; ++i) target[length++] = entry.name[i];
    target[length] = 0;

    unsigned long n = AddFileRecord(target, key);
    if (!n) return 0;
    *mode = CopyModeOf(n);
    return 1;
}

// Decodes the entry and gives the file its time and attributes. The data
// goes into a fresh file beside the target first; only a whole, sound file
// takes the target's place, so a damaged entry or a full disk leaves an
// existing file as it was, and no partly written file stays behind.
static int WriteEntry(const char* target, HANDLE program, unsigned long head,
                      const ArchiveEntry& entry, InfText* keep)
{
    HGLOBAL stateMemory = GlobalAlloc(GPTR, sizeof(LzhufDecoder));
    // Field by field: a constant initialiser would become a copy of data.
    Output out;
    out.fill = out.kept = 0;
    out.room = PIECE_SIZE;
    out.keep = keep ? static_cast<char*>(GlobalAlloc(GMEM_FIXED, PIECE_SIZE + 1)) : 0;
    if (!stateMemory || (keep && !out.keep)) {
        if (stateMemory) GlobalFree(stateMemory);
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

    out.file = CreateOutput(temp);
    int result = 0, decoded = 0, kept = 0;
    if (out.file != INVALID_HANDLE_VALUE) {
        LzhufDecoder* decoder = reinterpret_cast<LzhufDecoder*>(stateMemory);
        ProgramPieces rest = {program, entry.entryLength - 4 - head};
        decoder->source = NextProgramPiece;
        decoder->sourceContext = &rest;
        decoded = Decode(decoder, piece, head, WriteSink, &out);
        result = decoded == LzhufOk && Flush(&out);
        if (result) {
            unsigned short date = entry.dosDate, time = entry.dosTime;
            FILETIME stamp;
            AdjustDosTime(&date, &time);
            if (DosDateTimeToFileTime(date, time, &stamp)) {
                SetFileTime(out.file, 0, 0, &stamp);
                // The license is written again, into the install directory,
                // with the same time and attributes.
                if (keep == &setupState.license) setupState.licenseStamp = stamp;
            }
        }
        CloseHandle(out.file);
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
    if (!result && !kept && (out.file != INVALID_HANDLE_VALUE || !inPlace))
        DeleteFileA(temp);
    GlobalFree(stateMemory);
    if (!result) {
        if (out.keep) GlobalFree(out.keep);
        ShowArchiveError("File Error!", decoded == LzhufDamaged
                                            ? ExitDamaged : ExitExtractFailed);
        return 0;
    }
    if (keep == &setupState.license)
        setupState.licenseAttributes = MapDosAttributes(entry.dosAttributes);
    if (keep) {
        FreeInfFile(keep);
        out.keep[out.kept] = 0;
        keep->text = out.keep;
        keep->size = out.kept;
    }
    SetFileAttributesA(target, MapDosAttributes(entry.dosAttributes));
    return 1;
}

// Reads, checks and writes (or skips) the entry at archiveOffset.
static int ExtractNext(HANDLE program, char* target, int mode,
                       const char* setupInfoPath)
{
    DWORD fileSize = ArchiveLimit(program);
    if (setupState.archiveOffset >= fileSize)
        return 0; // the archive is exhausted

    unsigned char start[8];
    unsigned long entryLength = 0;
    if (ReadAt(program, setupState.archiveOffset, start, sizeof start))
        entryLength = LengthField(start);
    // An LZMA entry (magic "WY2" NUL) is one this setup program cannot
    // decode: refused before anything of it is written. Every other magic
    // is read as LZHUF, as ever.
    int lzma = (start[0] | start[1] << 8 | start[2] << 16 |
                static_cast<unsigned long>(start[3]) << 24) == 0x00325957;
    if (lzma || !CheckEntryLength(entryLength, setupState.archiveOffset, fileSize)) {
        ShowArchiveError("File Error!", lzma ? ExitExtractFailed : ExitDamaged);
        return 0;
    }

    // The block's first piece, with the whole header; the rest is read
    // while it is decoded.
    unsigned long head = entryLength - 4 < PIECE_SIZE ? entryLength - 4 : PIECE_SIZE;
    ArchiveEntry entry;
    char key[INF_KEY_SIZE] = "";
    int result = 1;
    int parsed = ReadAt(program, setupState.archiveOffset + 4, piece, head) &&
                 ParseEntryHead(piece, head, entryLength - 4, &entry);
    if (!parsed ||
        (mode == ExtractInstall &&
         !PrepareInstallTarget(target, entry, &mode, key))) {
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
        // silent run cannot ask, so it keeps the file: nothing is lost. One
        // that no installation of this application put there is the user's.
        if (key[0] && !IsOwnFile(target)) MarkLastRecordKept();
        setupState.payloadDone += entry.decodedSize;
    } else {
        setupState.progressName = target;
        CreateParents(target);
        // A read-only file this application's own log recorded is the
        // application's: it is replaced like any other (and keeps its
        // attribute when that fails). A user's read-only file stays.
        DWORD attributes = ClearOwnReadOnly(target);
        // The setup information file and the license are kept in memory
        // too: everything later reads them there, never from the disk.
        InfText* keep = setupState.entryNumber == 0   ? &setupState.inf
                        : setupState.entryNumber == 1 ? &setupState.license
                                                      : 0;
        result = WriteEntry(target, program, head, entry, keep);
        if (!result) PutAttributesBack(target, attributes);
        // A file that was not written is not recorded for the uninstaller.
        if (!result && key[0]) DropLastRecord();
    }

    if (result) {
        setupState.archiveOffset += entryLength;
        ++setupState.entryNumber;
    }
    return result;
}

// The program file, opened once and kept open to the end of the run with
// only reading shared: nobody can write, rename or delete it meanwhile
// (on Windows 95 an open file cannot be renamed or deleted at all), so
// every entry and the uninstaller copy come from the file that was
// checked, whoever else can write its folder.
static HANDLE OpenProgram(HINSTANCE instance)
{
    if (setupState.program) return setupState.program;
    char programPath[SETUP_PATH_SIZE];
    DWORD length = GetModuleFileNameA(instance, programPath, sizeof programPath);
    if (length == 0 || length >= sizeof programPath) return INVALID_HANDLE_VALUE;
    HANDLE program = CreateFileA(programPath, GENERIC_READ, FILE_SHARE_READ, 0,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (program != INVALID_HANDLE_VALUE) setupState.program = program;
    return program;
}

// The record's checks; 1 when sound, 0 when damaged or incomplete.
static int CheckRecord(HANDLE program, unsigned long archiveLength,
                       DWORD fileSize)
{
    // In the stub's uninitialised data, not in its file image.
    static unsigned long crcTable[CRC32_TABLE_SIZE];
    unsigned char* buffer = piece;
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
        unsigned long entryLength = LengthField(bytes);
        if (!CheckEntryLength(entryLength, offset, recordOffset)) return 0;
        offset += entryLength;
        ++entries;
    }
    if (entries != record.entryCount) return 0;
    Crc32MakeTable(crcTable);
    unsigned long crc = 0;
    if (!SeekTo(program, ARCHIVE_START)) return 0;
    for (unsigned long left = archiveLength; left;) {
        DWORD size = left < PIECE_SIZE ? left : PIECE_SIZE, got = 0;
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
    DWORD fileSize = ProgramSize(program);
    unsigned char trailer[STUB_TRAILER_SIZE];
    unsigned long archiveLength;
    // A program of 4 GiB or more was never made whole by mksetup.
    int result = fileSize != 0;
    if (fileSize >= ARCHIVE_START &&
        ReadAt(program, STUB_TRAILER_OFFSET, trailer, sizeof trailer) &&
        ReadStubTrailer(trailer, &archiveLength))
        result = CheckRecord(program, archiveLength, fileSize);
    return result;
}

int ExtractEntry(HINSTANCE instance, char* target, int mode,
                 const char* setupInfoPath)
{
    HANDLE program = OpenProgram(instance);
    if (program == INVALID_HANDLE_VALUE) return 0;

    int result;
    if (mode == ExtractStub) {
        result = CopyStub(program, target);
    } else {
        if (mode == ExtractRewind) {
            setupState.archiveOffset = ARCHIVE_START;
            setupState.entryNumber = 0;
        }
        result = ExtractNext(program, target, mode, setupInfoPath);
    }
    return result;
}

unsigned long MeasureEntries(int count)
{
    HANDLE program = setupState.program;
    DWORD fileSize = ArchiveLimit(program);
    unsigned long offset = setupState.archiveOffset, total = 0;
    ArchiveEntry entry;
    while (count-- > 0 && offset < fileSize) {
        // The header with the longest name: 4 + 14 + 255 bytes.
        unsigned long head = fileSize - offset < 276 ? fileSize - offset : 276;
        if (head < 8 || !ReadAt(program, offset, piece, head)) break;
        unsigned long length = LengthField(piece);
        if (!CheckEntryLength(length, offset, fileSize) ||
            !ParseEntryHead(piece + 4, (head < length ? head : length) - 4, length - 4,
                            &entry))
            break;
        total += entry.decodedSize;
        offset += length;
    }
    return total;
}
