#include "output_guard.h"

namespace fs = std::filesystem;

namespace mksetup {

void CheckOutputPath(const fs::path& output, const fs::path& root,
                     const std::vector<BuildInput>& inputs, Diagnostics& diagnostics)
{
    const std::string shown = output.string();
    std::error_code error;
    if (fs::is_directory(output, error)) {
        diagnostics.Error(shown, 0, "is a folder; -o names the setup program to write");
        return;
    }
    for (const BuildInput& input : inputs) {
        if (fs::equivalent(output, input.path, error)) {
            diagnostics.Error(shown, 0, "is " + input.role +
                                            "; mksetup does not overwrite its inputs");
            return;
        }
    }
    // The folder the output goes to, and every folder above it, against the
    // root: by identity, so that links and other spellings do not hide it.
    fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    folder = fs::weakly_canonical(fs::absolute(folder, error), error);
    if (error) return; // the write itself will say what is wrong with it
    for (;;) {
        if (fs::equivalent(folder, root, error)) {
            diagnostics.Error(shown, 0, "lies inside the package root " + root.string() +
                                            ", where the next build would pack it");
            return;
        }
        if (folder == folder.parent_path()) return;
        folder = folder.parent_path();
    }
}

} // namespace mksetup
