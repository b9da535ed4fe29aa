// What the tests of mksetup share: a scratch folder, a stub of the shape the
// build makes, and diagnostics as text.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "diagnostics.h"

// A scratch directory removed at the end of the test.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "mksetup-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

    void Add(const std::string& relative, const std::string& content = "x")
    {
        std::filesystem::path file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

private:
    std::filesystem::path path_;
};

// A stub as the build makes it: an MZ header leading to a PE header for
// `machine` with no sections, whose headers end at `imageEnd`, zero bytes up
// to 38,912 and CR LF (51,200 and CR LF for the x86-64 test build's).
inline std::vector<std::uint8_t> MakeStub(std::uint16_t machine = 0x014C,
                                          std::uint32_t imageEnd = 0x400)
{
    const std::size_t size = machine == 0x8664 ? 51202 : 38914;
    std::vector<std::uint8_t> stub(size, 0);
    auto put16 = [&](std::size_t at, unsigned value) {
        stub[at] = static_cast<std::uint8_t>(value);
        stub[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        put16(at, value & 0xFFFF);
        put16(at + 2, value >> 16);
    };
    const bool wide = machine == 0x8664;
    stub[0] = 'M';
    stub[1] = 'Z';
    put32(0x3C, 0x80);
    stub[0x80] = 'P';
    stub[0x81] = 'E';
    put16(0x84, machine);
    put16(0x86, 0);                      // sections
    put16(0x94, wide ? 0xF0 : 0xE0);     // size of the optional header
    put16(0x96, wide ? 0x0022 : 0x0102); // executable image
    put16(0x98, wide ? 0x20B : 0x10B);   // optional header magic
    put32(0x98 + 60, imageEnd);          // SizeOfHeaders
    stub[size - 2] = '\r';
    stub[size - 1] = '\n';
    return stub;
}

// The diagnostics as printed, with `root` written as ROOT.
inline std::string Said(const mksetup::Diagnostics& diagnostics,
                        const std::filesystem::path& root = {})
{
    std::ostringstream out;
    diagnostics.Print(out);
    std::string text = out.str();
    std::string from = root.string();
    if (from.empty()) return text;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), "ROOT");
    return text;
}
