// What makes a file a stub, and a setup program: the stub is a Windows
// program (an MZ header leading to a PE image for x86 or x86-64) whose
// image, padded with zero bytes to 38,912, is followed by CR LF; a setup
// program is a stub followed by entries that begin with "WY1" and a NUL.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mksetup {

struct StubImage {
    std::uint16_t machine = 0;   // 0x014C i386, 0x8664 x86-64
    std::uint32_t imageEnd = 0;  // end of the headers and section data
};

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineX8664 = 0x8664;

// The image of `stub`, or the reason it is no stub (a sentence that follows
// the file's name: "is 38913 bytes; ...", "has no PE header ...").
StubImage ReadStubImage(std::span<const std::uint8_t> stub, std::string* problem);

// The reason `program` is no setup program at all, or nothing for one that
// is (a damaged one included): shorter than a stub, not a Windows program,
// or neither a stub's CR LF nor an entry where the archive begins.
std::optional<std::string> NotASetupProgram(std::span<const std::uint8_t> program);

} // namespace mksetup
