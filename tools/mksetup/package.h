// What goes into a setup program: the application's files under their
// stored names, the letter-series keys they will be recorded under, and the
// assembly of stub and entries.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "code_page.h"
#include "diagnostics.h"
#include "dos_time.h"

namespace mksetup {

constexpr const char* kSetupInfoName = "Uninstal.inf";
constexpr const char* kLicenseName = "License.txt";

// The reason the setup program (or Windows under it) would refuse a stored
// name, or nothing for a name that is fine.
std::optional<std::string> StoredNameProblem(std::string_view name);

// Windows maps these names to devices in every folder, with any extension:
// writing "aux.txt" writes nowhere. `component` is one file or folder name.
bool IsDeviceName(std::string_view component);

// The same without the length: for a name still in UTF-8, whose length in
// the code page differs.
std::optional<std::string> NameCharacterProblem(std::string_view name);

// The name of `relative` (a path below the package root) as the setup
// program knows it: its components joined with "\", still in UTF-8. Throws
// ToolError naming `relative` when the path leaves the root or a component
// holds a "\".
std::string StoredNameOf(const std::filesystem::path& relative);

// The n-th key (n from 1) of the series `stem` as the setup program writes
// and reads it: "filea" to "file~", then "file31", "file32", ... (see
// src/setupinfo/series_key.h).
std::string SeriesKeyOf(std::string_view stem, std::size_t n);

// The key of application file `index` (from 0): "filea" for the first,
// "file31" for the 31st.
std::string FileKeyOf(std::size_t index);

// How a key in the code page reads as a key of the series `stem`, matched
// as the profile functions match names (ASCII without regard to case).
struct SeriesMatch {
    enum Kind {
        None,       // not the stem and a letter or a number
        Key,        // the n-th key
        OldLetter,  // the stem and a byte past "~": the n-th key of the
                    // single-letter series that older setup programs used
        Misnumbered // the stem and a number the series spells otherwise
                    // ("file5" for filee, "file031"); n is the number
    };
    Kind kind = None;
    std::size_t n = 0;
};
SeriesMatch MatchSeriesKey(std::string_view key, std::string_view stem);

struct PackageFile {
    std::filesystem::path source; // the file on disk
    std::string name;             // "\" between folders, UTF-8 (for the author)
    std::string storedName;       // the same in the code page (in the entry)
};

struct CollectOptions {
    const CodePage* codePage = CodePage::Find(kDefaultCodePage);
    bool allFiles = false; // also hidden files and editor backups
};

// True for a name that a walk over the root leaves out unless asked to:
// hidden ("." first) or an editor's or merge tool's leftover ("~" last,
// "~$" first, "#...#", .swp, .swo, .bak, .orig, .rej).
bool IsHiddenOrBackup(std::string_view fileName);

// The application files: `paths` (relative to `root`) in the order given,
// or, when `paths` is empty, every regular file below `root` sorted by
// stored name (byte order), leaving out hidden files and folders and editor
// backups with a warning each unless `options.allFiles`. Symbolic links are
// followed only to files inside the root. Reports on `diagnostics` each
// name the setup program or Windows would refuse or the code page cannot
// hold, duplicates (without regard to case, as on Windows) and the names
// of the license and the log in the root. Throws ToolError when the root
// cannot be read.
std::vector<PackageFile> CollectFiles(const std::filesystem::path& root,
                                      const std::vector<std::string>& paths,
                                      const CollectOptions& options,
                                      Diagnostics& diagnostics);

// Checks that `stub` is a stub of ours (see stub_image.h). Throws ToolError
// naming `path`.
void CheckStub(std::span<const std::uint8_t> stub,
               const std::filesystem::path& path);

// The modification time of `path` in whole seconds since 1970 (UTC).
UnixSeconds ModificationTime(const std::filesystem::path& path);

// Sets the modification time of `path` (UTC). Throws ToolError.
void SetModificationTime(const std::filesystem::path& path, UnixSeconds time);

} // namespace mksetup
