// Whole-file reads and writes with errors that name the file and the reason.
#pragma once
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace mksetup {

// Reads a regular file whole. Throws ToolError.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Writes `bytes` to `path` through a temporary file in the same directory
// that is renamed over `path` only once it is complete, so that a failed
// run never leaves half a setup program behind. Throws ToolError.
void WriteFileAtomically(const std::filesystem::path& path,
                         std::span<const std::uint8_t> bytes);

// Creates or truncates `path` and writes `bytes`; refuses to follow a
// symbolic link at `path`. Throws ToolError.
void WriteFileBytes(const std::filesystem::path& path,
                    std::span<const std::uint8_t> bytes);

// The directory that holds the running executable.
std::filesystem::path ExecutableDirectory();

} // namespace mksetup
