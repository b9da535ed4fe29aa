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

#include "dos_time.h"

namespace mksetup {

constexpr const char* kSetupInfoName = "Uninstal.inf";
constexpr const char* kLicenseName = "License.txt";

// The letters of the [Uninstall] "file" series run from "a" to the end of
// the single-byte range; the license and the log take two more after the
// application files.
constexpr std::size_t kMaxApplicationFiles = 0xFF - 'a' + 1 - 2;

// The reason the setup program (or Windows under it) would refuse a stored
// name, or nothing for a name that is fine.
std::optional<std::string> StoredNameProblem(std::string_view name);

// The stored name of `relative` (a path below the package root): its
// components joined with "\". Throws ToolError naming `relative` when the
// path leaves the root or a component holds a "\".
std::string StoredNameOf(const std::filesystem::path& relative);

// "filea" for the first application file, "fileb" for the second, ...;
// a letter outside printable ASCII is shown as \xNN.
std::string FileKeyOf(std::size_t index);

struct PackageFile {
    std::filesystem::path source; // the file on disk
    std::string storedName;
};

// The application files: `paths` (relative to `root`) in the order given,
// or, when `paths` is empty, every regular file below `root` sorted by
// stored name (byte order). Checks every stored name, refuses duplicates
// (without regard to case, as on Windows) and the names of the license and
// the log in the root. Throws ToolError.
std::vector<PackageFile> CollectFiles(const std::filesystem::path& root,
                                      const std::vector<std::string>& paths);

// Checks that `stub` is a stub: exactly 38,914 bytes ending in CR LF.
// Throws ToolError naming `path`.
void CheckStub(std::span<const std::uint8_t> stub,
               const std::filesystem::path& path);

// The modification time of `path` in whole seconds since 1970 (UTC).
UnixSeconds ModificationTime(const std::filesystem::path& path);

// Sets the modification time of `path` (UTC). Throws ToolError.
void SetModificationTime(const std::filesystem::path& path, UnixSeconds time);

} // namespace mksetup
