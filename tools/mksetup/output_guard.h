// Keeps a build from destroying the author's own files: the output must not
// be one of the inputs (compared as files, by device and inode, whatever
// the spelling of their paths) and must not lie inside the package root,
// where the next build would pack it.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "diagnostics.h"

namespace mksetup {

struct BuildInput {
    std::filesystem::path path;
    std::string role; // "the setup information file (--inf)"
};

// Reports on `diagnostics` each reason not to write `output`.
void CheckOutputPath(const std::filesystem::path& output, const std::filesystem::path& root,
                     const std::vector<BuildInput>& inputs, Diagnostics& diagnostics);

} // namespace mksetup
