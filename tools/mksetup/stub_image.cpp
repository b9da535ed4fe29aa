#include "stub_image.h"

#include <algorithm>
#include <cstdio>

#include "entry_format.h"
#include "integrity.h"
#include "archive.h"

namespace mksetup {
namespace {

std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(Le16(bytes, at)) |
           static_cast<std::uint32_t>(Le16(bytes, at + 2)) << 16;
}

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

bool EndsInCrLf(std::span<const std::uint8_t> program, std::uint32_t stubSize)
{
    return program.size() >= stubSize && program[stubSize - 2] == '\r' &&
           program[stubSize - 1] == '\n';
}

} // namespace

StubImage ReadStubImage(std::span<const std::uint8_t> stub, std::string* problem)
{
    StubImage image;
    auto fail = [&](std::string reason) {
        *problem = std::move(reason);
        return StubImage{};
    };
    problem->clear();
    // 38914 bytes (the x86-64 test build's: 51202): image, padding, CR LF.
    const std::uint32_t stubSize = archive::StubSizeOf(stub);
    const std::uint32_t imageSize = stubSize - 2, trailer = stubSize - 10;
    if (stub.size() != stubSize)
        return fail("is " + std::to_string(stub.size()) + " bytes; a stub is exactly " +
                    std::to_string(stubSize) + " bytes (" + std::to_string(imageSize) +
                    "-byte image and CR LF)");
    if (!EndsInCrLf(stub, stubSize)) return fail("does not end in CR LF; not a stub");
    if (stub[0] != 'M' || stub[1] != 'Z')
        return fail("is no Windows program (no MZ header); not a stub");
    // The DOS header's last field leads to the PE signature, the file
    // header (20 bytes) and the optional header.
    std::uint32_t pe = Le32(stub, 0x3C);
    if (pe < 0x40 || pe > imageSize - 24 || stub[pe] != 'P' || stub[pe + 1] != 'E' ||
        stub[pe + 2] != 0 || stub[pe + 3] != 0)
        return fail("has an MZ header but no PE header; not a Windows program of ours");
    image.machine = Le16(stub, pe + 4);
    std::uint16_t sections = Le16(stub, pe + 6);
    std::uint16_t optionalSize = Le16(stub, pe + 20);
    std::uint16_t characteristics = Le16(stub, pe + 22);
    std::uint32_t optional = pe + 24;
    if (image.machine != kMachineI386 && image.machine != kMachineX8664)
        return fail("is a program for machine " + Hex(image.machine) +
                    ", not for x86 Windows (i686, or x86-64 for tests)");
    if (!(characteristics & 0x0002) || (characteristics & 0x2000))
        return fail(characteristics & 0x2000 ? "is a DLL, not a program"
                                             : "is not marked as an executable image");
    std::uint16_t wantedMagic = image.machine == kMachineI386 ? 0x10B : 0x20B;
    if (optionalSize < 64 || optional + optionalSize > imageSize ||
        Le16(stub, optional) != wantedMagic)
        return fail("has an optional header that does not fit its machine");
    std::uint32_t table = optional + optionalSize;
    if (table + 40ull * sections > imageSize)
        return fail("has a section table that runs past its " + std::to_string(imageSize) +
                    "-byte image");
    std::uint64_t end = Le32(stub, optional + 60); // SizeOfHeaders
    for (std::uint32_t i = 0; i < sections; ++i) {
        std::uint32_t entry = table + 40 * i;
        std::uint32_t rawSize = Le32(stub, entry + 16), rawStart = Le32(stub, entry + 20);
        if (rawSize) end = std::max<std::uint64_t>(end, std::uint64_t{rawStart} + rawSize);
    }
    if (end > imageSize)
        return fail("has an image of " + std::to_string(end) + " bytes, more than the " +
                    std::to_string(imageSize) + " before CR LF: it was cut to fit");
    if (end > trailer)
        return fail("has an image of " + std::to_string(end) +
                    " bytes, which reaches into the trailer at " + std::to_string(trailer) +
                    " that mksetup fills");
    image.imageEnd = static_cast<std::uint32_t>(end);
    // The build pads the linked image with zero bytes; anything else there
    // is no stub of ours.
    auto padding = stub.subspan(image.imageEnd, imageSize - image.imageEnd);
    if (std::any_of(padding.begin(), padding.end(), [](std::uint8_t b) { return b != 0; }))
        return fail("holds data between its image (" + std::to_string(image.imageEnd) +
                    " bytes) and the CR LF; a stub is padded with zero bytes");
    return image;
}

std::optional<std::string> NotASetupProgram(std::span<const std::uint8_t> program)
{
    const std::uint32_t start = archive::StubSizeOf(program);
    if (program.size() < start)
        return "not a setup program: " + std::to_string(program.size()) +
               " bytes, shorter than the " + std::to_string(start) + "-byte stub";
    if (program[0] != 'M' || program[1] != 'Z')
        return std::string("not a setup program: it does not begin with a Windows "
                           "program (no MZ header)");
    // A setup program with one of the two damaged is still one (verify
    // reports the damage); without both it is some other Windows program.
    bool entry = program.size() < start + 4 ||
                 std::equal(program.begin() + start, program.begin() + start + 3, "WY1") ||
                 std::equal(program.begin() + start, program.begin() + start + 3, "WY2");
    if (!EndsInCrLf(program, start) && !entry)
        return "not a setup program: neither the stub's CR LF at offset " +
               std::to_string(start - 2) + " nor an entry at " + std::to_string(start);
    return std::nullopt;
}

} // namespace mksetup
