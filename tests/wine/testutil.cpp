#include "testutil.h"

#include <cstdio>
#include <cstring>

namespace wt {

namespace {

const char kScratchRoot[] = "C:\\wtest";

std::string Parent(const std::string& path)
{
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool EndsWithNoCase(const std::string& text, const char* tail)
{
    size_t n = std::strlen(tail);
    return text.size() >= n && lstrcmpiA(text.c_str() + text.size() - n, tail) == 0;
}

// Pushes the button a person would use to get rid of a box unasked.
int DefaultAnswer(const ui::Box& box)
{
    for (int wanted : {IDOK, IDNO, IDCANCEL})
        for (int id : box.buttons)
            if (id == wanted) return id;
    return box.buttons.empty() ? IDOK : box.buttons.front();
}

} // namespace

std::string ProgramDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return Parent(path);
}

// The x86_64 test build of the same sources names its programs with "64".
#ifdef _WIN64
const char kBuildSuffix[] = "64";
#else
const char kBuildSuffix[] = "";
#endif

std::string BinDir()
{
    std::string dir = ProgramDir();
    return EndsWithNoCase(dir, (std::string("\\wine") + kBuildSuffix).c_str())
               ? Parent(dir) : dir;
}

std::string StubPath() { return BinDir() + "\\setup-stub" + kBuildSuffix + ".exe"; }

std::string ExtToolPath() { return ProgramDir() + "\\exttool.exe"; }

std::string RepoPath(const std::string& relative)
{
    std::string source = __FILE__;
    size_t cut = source.rfind("/tests/wine/");
    if (source.empty() || source[0] != '/' || cut == std::string::npos) return std::string();
    std::string path = "Z:" + source.substr(0, cut) + "/" + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string ExamplePackageDir() { return BinDir() + "\\example\\hello" + kBuildSuffix; }

bool RemoveTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(path.c_str()) != 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") RemoveTree(path + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryA(path.c_str()) != 0;
}

std::string FreshDir(const std::string& name)
{
    CreateDirectoryA(kScratchRoot, nullptr);
    std::string dir = std::string(kScratchRoot) + "\\" + name;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

Bytes ReadBytes(const std::string& path, bool* ok)
{
    Bytes bytes;
    if (ok) *ok = false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD got = 0;
    BOOL read = size == 0 || ReadFile(file, bytes.data(), size, &got, nullptr);
    CloseHandle(file);
    if (read && got == size && ok) *ok = true;
    bytes.resize(got);
    return bytes;
}

bool WriteBytes(const std::string& path, const Bytes& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                        &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

Bytes Noise(size_t size, unsigned state)
{
    Bytes bytes(size);
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return ~std::uint64_t(0);
    return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string LastWrite(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME t;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &t))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

bool SetLastWrite(const std::string& path, int year, int month, int day,
                  int hour, int minute, int second)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    FILETIME stamp;
    if (!SystemTimeToFileTime(&t, &stamp)) return false;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(file, nullptr, nullptr, &stamp);
    CloseHandle(file);
    return ok != 0;
}

std::uint16_t DosDate(int year, int month, int day)
{
    return static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
}

std::uint16_t DosTime(int hour, int minute, int second)
{
    return static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2);
}

std::string IniValue(const std::string& path, const std::string& section,
                     const std::string& key)
{
    char value[1024] = "";
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value,
                             path.c_str());
    return value;
}

std::string Quote(const std::string& path) { return "\"" + path + "\""; }

DWORD ObservableAttributes()
{
    static DWORD known = 0;
    static bool probed = false;
    if (probed) return known;
    probed = true;
    std::string dir = FreshDir("attribute-probe");
    std::string probe = dir + "\\probe";
    WriteBytes(probe, ToBytes("x"));
    for (DWORD bit : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                      FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_ARCHIVE}) {
        SetFileAttributesA(probe.c_str(), bit);
        bool set = (GetFileAttributesA(probe.c_str()) & bit) != 0;
        SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
        bool cleared = (GetFileAttributesA(probe.c_str()) & bit) == 0;
        if (set && cleared) known |= bit;
    }
    RemoveTree(dir);
    ui::Note("note: attributes kept here: 0x%02lX", known);
    return known;
}

bool ReadOnlyEnforced()
{
    static int known = -1;
    if (known < 0) {
        std::string dir = FreshDir("readonly-probe");
        std::string probe = dir + "\\probe";
        WriteBytes(probe, ToBytes("x"));
        SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY);
        HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        known = file == INVALID_HANDLE_VALUE;
        if (!known) CloseHandle(file);
        RemoveTree(dir);
        if (!known) ui::Note("note: read-only files can be overwritten here");
    }
    return known == 1;
}

void* ReplaceImport(const char* dll, const char* name, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name; ++module) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + module->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), name) != 0) continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

RunResult RunProgram(const std::string& commandLine, const std::string& workDir,
                     const std::vector<int>& answers, int timeoutMs)
{
    static int runNumber = 0;
    RunResult result;
    CreateDirectoryA(kScratchRoot, nullptr);
    std::string outputPath = std::string(kScratchRoot) + "\\output-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++runNumber) + ".txt";
    ui::Process process;
    if (!ui::StartRedirected(process, commandLine, workDir, outputPath)) return result;
    result.started = true;

    DWORD start = GetTickCount();
    std::vector<HWND> answered;
    for (;;) {
        bool ended = !ui::IsRunning(process);
        for (HWND window : ui::TopWindows(process)) {
            if (ui::ClassName(window) != "#32770") continue;
            bool seen = false;
            for (HWND old : answered) seen = seen || old == window;
            if (seen) continue;
            ui::Box box = ui::ReadBox(window);
            // A box is read once its buttons exist.
            if (box.buttons.empty()) continue;
            ui::Note("box: caption \"%s\", text \"%s\"", box.caption.c_str(),
                     box.text.c_str());
            result.boxes.push_back(box);
            answered.push_back(window);
            size_t k = result.boxes.size() - 1;
            ui::Press(window, k < answers.size() ? answers[k] : DefaultAnswer(box));
        }
        if (ended) break;
        if (static_cast<int>(GetTickCount() - start) > timeoutMs) {
            ui::Note("timeout after %d ms; windows: %s", timeoutMs,
                     ui::DescribeWindows(process).c_str());
            ui::Kill(process);
            break;
        }
        Sleep(30);
    }
    if (process.handle) {
        result.exited = ui::WaitExit(process, 5000, &result.exitCode);
        ui::Kill(process);
    }

    Bytes output = ReadBytes(outputPath);
    DeleteFileA(outputPath.c_str());
    result.output.assign(output.begin(), output.end());
    size_t begin = 0;
    while (begin < result.output.size()) {
        size_t end = result.output.find('\n', begin);
        if (end == std::string::npos) end = result.output.size();
        std::string line = result.output.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.lines.push_back(line);
        ui::Note("out: %s", line.c_str());
        begin = end + 1;
    }
    return result;
}

} // namespace wt
