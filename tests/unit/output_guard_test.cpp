// A build never writes over the author's own files, however their paths are
// spelt, nor into the folder it packs.
#include <gtest/gtest.h>

#include <unistd.h>

#include "mksetup_support.h"
#include "output_guard.h"

namespace fs = std::filesystem;
using namespace mksetup;

namespace {

std::string Refusal(const fs::path& output, const fs::path& root,
                    const std::vector<BuildInput>& inputs)
{
    Diagnostics diagnostics;
    CheckOutputPath(output, root, inputs, diagnostics);
    return diagnostics.all().empty() ? "" : diagnostics.all()[0].text;
}

} // namespace

TEST(CheckOutputPath, RefusesAnInputByIdentityWhateverItsSpelling)
{
    ScratchDir dir;
    dir.Add("pkg/setup.inf");
    dir.Add("pkg/files/app.exe");
    fs::create_directories(dir.path() / "out");
    fs::create_hard_link(dir.path() / "pkg/setup.inf", dir.path() / "out/linked.inf");
    fs::create_symlink(dir.path() / "pkg", dir.path() / "alias");
    const fs::path root = dir.path() / "pkg/files";
    const std::vector<BuildInput> inputs = {
        {dir.path() / "pkg/setup.inf", "the setup information file (--inf)"},
        {root / "app.exe", "the application file app.exe"}};

    const std::string inf = "is the setup information file (--inf); mksetup does not "
                            "overwrite its inputs";
    EXPECT_EQ(Refusal(dir.path() / "pkg/setup.inf", root, inputs), inf);
    EXPECT_EQ(Refusal(dir.path() / "out/../pkg/./setup.inf", root, inputs), inf);
    EXPECT_EQ(Refusal(dir.path() / "alias/setup.inf", root, inputs), inf);
    EXPECT_EQ(Refusal(dir.path() / "out/linked.inf", root, inputs), inf); // a hard link
    EXPECT_EQ(Refusal(dir.path() / "out", root, inputs),
              "is a folder; -o names the setup program to write");
    EXPECT_EQ(Refusal(dir.path() / "out/setup.exe", root, inputs), "");
    EXPECT_EQ(Refusal(dir.path() / "pkg/setup.exe", root, inputs), "");
}

TEST(CheckOutputPath, RefusesTheInsideOfThePackageRoot)
{
    ScratchDir dir;
    dir.Add("files/sub/x");
    fs::create_symlink(dir.path() / "files/sub", dir.path() / "elsewhere");
    const fs::path root = dir.path() / "files";
    const std::string inside = "lies inside the package root " + root.string() +
                               ", where the next build would pack it";
    EXPECT_EQ(Refusal(root / "setup.exe", root, {}), inside);
    EXPECT_EQ(Refusal(root / "sub/setup.exe", root, {}), inside);
    EXPECT_EQ(Refusal(dir.path() / "elsewhere/setup.exe", root, {}), inside);
    // Relative to the working folder.
    fs::path before = fs::current_path();
    fs::current_path(root / "sub");
    EXPECT_EQ(Refusal("setup.exe", root, {}), inside);
    fs::current_path(before);
}
