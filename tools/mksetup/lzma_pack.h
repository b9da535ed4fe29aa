// The LZMA method's stream parts: what follows decodedSize in an entry
// with the magic "WY2" NUL (docs/FORMAT.md, "LZMA entries").
//
//   byte 0  flags: 0x01 the x86 branch filter was applied to the file's
//           bytes before compression; 0x02 the entry starts a new LZMA2
//           stream; other bits 0
//   byte 1  the LZMA2 dictionary-size byte, the same in every entry of a
//           stream
//   then    the LZMA2 chunks that hold exactly the file's bytes
//
// Packing goes through liblzma's raw LZMA2 encoder, flushed at every file
// boundary; reading back goes through the stub's own decoder, so that what
// mksetup verifies is what the setup program will do. Portable C++20, no
// file I/O.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lzmapack {

constexpr std::uint8_t kFlagX86 = 0x01;
constexpr std::uint8_t kFlagNewStream = 0x02;
constexpr std::uint8_t kFlagsKnown = kFlagX86 | kFlagNewStream;

// The default dictionary: 8 MiB, what the setup program allocates at most
// for a stream at least that large (a 16 MB Windows 95 machine has it).
constexpr std::uint32_t kDefaultDictSize = 8u << 20;
constexpr std::uint32_t kMinDictSize = 4096;

struct Options {
    int preset = 9;        // liblzma's presets 0 (fast) to 9 (best)
    bool extreme = false;  // the presets' slower "extreme" variants
    bool solid = true;     // one stream over all files, else one per file
    std::uint32_t dictSize = kDefaultDictSize; // at most; never more than a
                                               // stream's files hold
};

struct InputFile {
    std::string name;                   // stored name, for messages
    std::span<const std::uint8_t> data;
};

// True for a Windows program or library for i386 or x86-64 (a PE image
// with that machine type) and for an ELF file of either: the files whose
// call and jump targets the x86 filter makes alike.
bool IsX86Program(std::span<const std::uint8_t> data);

// The smallest dictionary-size byte whose size (Lzma2DictSize) is at
// least `size`.
std::uint8_t DictionaryByte(std::uint32_t size);

// The dictionary a stream of `streamSize` decoded bytes is packed with
// under `options`: options.dictSize, but no more than the stream holds,
// and no less than liblzma's 4 KiB.
std::uint32_t DictionaryFor(std::uint64_t streamSize, const Options& options);

// The stream parts of `files`, in their order: one solid stream over all
// of them (the first part starts it) or one stream each. The same input
// and options give the same bytes. Throws mksetup::ToolError naming the
// file when liblzma fails (options it refuses, no memory).
std::vector<std::vector<std::uint8_t>> Pack(std::span<const InputFile> files,
                                            const Options& options);

// What Pack does, one file at a time, so that a build holds no more than
// one file and its part besides the program it makes. `sizes` are the
// files' sizes as known before they are read, which choose each stream's
// dictionary (DictionaryFor); a file that turns out longer or shorter
// still packs soundly, since the setup program sizes its dictionary by
// the decoded sizes the entries state. With the sizes of the files it is
// given, the parts are Pack's, byte for byte.
class Packer {
public:
    Packer(const Options& options, std::vector<std::uint64_t> sizes);
    ~Packer();
    Packer(const Packer&) = delete;
    Packer& operator=(const Packer&) = delete;

    // The stream part of the next file. Throws mksetup::ToolError naming
    // the file when liblzma fails, and std::logic_error when called for
    // more files than `sizes` announced.
    std::vector<std::uint8_t> Next(const InputFile& file);

    // The dictionary the stream of the next file is packed with (the one
    // Next starts or continues), for what the author is told.
    std::uint32_t NextDictionary() const;

private:
    class Encoder;
    Options options_;
    std::vector<std::uint64_t> sizes_;
    std::size_t next_ = 0;       // index of the next file
    std::size_t streamEnd_ = 0;  // one past the last file of the open stream
    std::uint32_t dict_ = 0;     // the open stream's dictionary
    std::unique_ptr<Encoder> encoder_;
};

// An LZMA entry as found in a setup program.
struct EntryPart {
    unsigned number = 0;                // entry number, for messages
    std::string name;                   // stored name, for messages
    std::uint32_t decodedSize = 0;
    std::span<const std::uint8_t> part; // flags, dictionary byte, chunks
};

// Receives each sound entry's decoded file: its index in `entries` and
// its bytes.
using FileSink = std::function<void(std::size_t, std::span<const std::uint8_t>)>;

// Decodes a run of LZMA entries in archive order with the stub's decoder,
// each continued entry (flag 0x02 clear) carrying on the stream of the one
// before, in a dictionary sized as the setup program sizes it: the smaller
// of what the dictionary byte says and what the stream's entries hold
// (or can hold: a damaged decodedSize of gigabytes behind a few bytes gets
// no more dictionary than those bytes can decode to, with the same outcome).
// Passes every sound entry to `sink` and returns one message per damaged
// entry ("entry 5 \"bin\\tool.exe\": ..."), in the entries' order, none
// when all are sound: the entries not passed to `sink` are those of the
// messages, one each. Damage in a solid stream loses the stream's later
// entries too; each of them gets its message.
std::vector<std::string> DecodeRun(std::span<const EntryPart> entries,
                                   const FileSink& sink);

} // namespace lzmapack
