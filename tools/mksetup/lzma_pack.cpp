#include "lzma_pack.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "bcj_x86.h"
#include "lzma2_decode.h"
#include "tool_error.h"

namespace lzmapack {

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Le(std::span<const std::uint8_t> d, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--) v = v << 8 | d[at + i];
    return v;
}

// The most bytes an LZMA2 stream part decodes to per byte it holds. A
// byte of range code carries at most 8 / log2(2048 / 2017) = 363.5
// decisions, since a probability moves no closer to certainty than
// 2017/2048 and each decision keeps at most that share of the range; and
// the most bytes per decision are those of a repeated match of 273 bytes
// in 14 decisions (IsMatch, IsRep, IsRepG0, IsRep0Long, two length
// choices, 8 bits of length): 7,090 bytes. Uncompressed chunks give less.
constexpr std::uint64_t kMostDecodedPerByte = 7200;

// The most an entry can give its file: its decodedSize, or less where its
// bytes cannot hold that much.
std::uint64_t MostDecoded(const EntryPart& e)
{
    return std::min<std::uint64_t>(e.decodedSize, e.part.size() * kMostDecodedPerByte);
}

} // namespace

// The raw LZMA2 encoder of one stream, ended whatever happens.
class Packer::Encoder {
public:
    Encoder(std::uint32_t dictSize, const Options& options, const std::string& subject)
    {
        const std::uint32_t preset = static_cast<std::uint32_t>(options.preset) |
                                     (options.extreme ? LZMA_PRESET_EXTREME : 0);
        if (options.preset < 0 || options.preset > 9 || lzma_lzma_preset(&lzma_, preset))
            throw mksetup::ToolError(subject, "no LZMA preset " + std::to_string(options.preset));
        // lc 3, lp 0, pb 2, the presets' own, for every kind of file: a
        // change would reset the state at the next chunk, which costs more
        // in a program's mix of files than other values gain (BENCHMARKS).
        lzma_.dict_size = dictSize;
        const lzma_filter chain[2] = {{LZMA_FILTER_LZMA2, &lzma_}, {LZMA_VLI_UNKNOWN, nullptr}};
        Check(lzma_raw_encoder(&stream_, chain), subject);
    }
    ~Encoder() { lzma_end(&stream_); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Compresses `data` and flushes, so that the file's chunks end here:
    // appends them to `out`.
    void Flush(std::span<const std::uint8_t> data, Bytes& out, const std::string& subject)
    {
        stream_.next_in = data.data();
        stream_.avail_in = data.size();
        for (;;) {
            std::uint8_t buffer[1 << 16];
            stream_.next_out = buffer;
            stream_.avail_out = sizeof buffer;
            const lzma_ret r = lzma_code(&stream_, LZMA_SYNC_FLUSH);
            out.insert(out.end(), buffer, buffer + (sizeof buffer - stream_.avail_out));
            if (r == LZMA_STREAM_END) return;
            Check(r, subject);
        }
    }

private:
    static void Check(lzma_ret r, const std::string& subject)
    {
        if (r == LZMA_OK) return;
        if (r == LZMA_MEM_ERROR) throw mksetup::ToolError(subject, "not enough memory for the LZMA encoder");
        throw mksetup::ToolError(subject, "the LZMA encoder failed (liblzma error " +
                                              std::to_string(static_cast<int>(r)) + ")");
    }

    lzma_options_lzma lzma_{};
    lzma_stream stream_ = LZMA_STREAM_INIT;
};

bool IsX86Program(std::span<const std::uint8_t> d)
{
    if (d.size() >= 20 && std::memcmp(d.data(), "\x7F" "ELF", 4) == 0) {
        const std::uint32_t machine = d[5] == 2 ? (d[18] << 8 | d[19]) : Le(d, 18, 2);
        return machine == 3 || machine == 62; // EM_386, EM_X86_64
    }
    if (d.size() < 0x40 || d[0] != 'M' || d[1] != 'Z') return false;
    const std::uint32_t pe = Le(d, 0x3C, 4);
    if (pe > d.size() - 6 || std::memcmp(d.data() + pe, "PE\0\0", 4) != 0) return false;
    const std::uint32_t machine = Le(d, pe + 4, 2);
    return machine == 0x14C || machine == 0x8664;
}

std::uint8_t DictionaryByte(std::uint32_t size)
{
    std::uint8_t prop = 0;
    while (prop < LZMA2_DICT_PROP_MAX && Lzma2DictSize(prop) < size) prop++;
    return prop;
}

std::uint32_t DictionaryFor(std::uint64_t streamSize, const Options& options)
{
    const std::uint64_t size = std::min<std::uint64_t>(options.dictSize, streamSize);
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(size, kMinDictSize));
}

Packer::Packer(const Options& options, std::vector<std::uint64_t> sizes)
    : options_(options), sizes_(std::move(sizes))
{
}

Packer::~Packer() = default;

std::uint32_t Packer::NextDictionary() const
{
    if (next_ < streamEnd_) return dict_;
    const std::size_t end = options_.solid ? sizes_.size() : next_ + 1;
    std::uint64_t total = 0;
    for (std::size_t i = next_; i < end && i < sizes_.size(); i++) total += sizes_[i];
    return DictionaryFor(total, options_);
}

Bytes Packer::Next(const InputFile& file)
{
    if (next_ >= sizes_.size())
        throw std::logic_error("lzmapack::Packer: more files than announced");
    const bool starts = next_ >= streamEnd_;
    if (starts) {
        dict_ = NextDictionary();
        streamEnd_ = options_.solid ? sizes_.size() : next_ + 1;
        encoder_.reset(); // the last stream's memory first
        encoder_ = std::make_unique<Encoder>(dict_, options_, file.name);
    }
    next_++;

    std::span<const std::uint8_t> data = file.data;
    const bool x86 = IsX86Program(data);
    Bytes filtered;
    if (x86) {
        // The whole file in one piece: the last four bytes or fewer stay
        // as they are, as the decoder leaves them.
        filtered.assign(data.begin(), data.end());
        BcjX86 state;
        BcjX86Begin(&state);
        BcjX86Code(&state, filtered.data(), static_cast<unsigned long>(filtered.size()), 1);
        data = filtered;
    }
    Bytes part;
    part.push_back(static_cast<std::uint8_t>((x86 ? kFlagX86 : 0) | (starts ? kFlagNewStream : 0)));
    part.push_back(DictionaryByte(dict_));
    encoder_->Flush(data, part, file.name);
    if (next_ == streamEnd_) encoder_.reset();
    return part;
}

std::vector<Bytes> Pack(std::span<const InputFile> files, const Options& options)
{
    std::vector<std::uint64_t> sizes;
    for (const InputFile& file : files) sizes.push_back(file.data.size());
    Packer packer(options, std::move(sizes));
    std::vector<Bytes> parts;
    for (const InputFile& file : files) parts.push_back(packer.Next(file));
    return parts;
}

std::vector<std::string> DecodeRun(std::span<const EntryPart> entries, const FileSink& sink)
{
    std::vector<std::string> problems;
    auto decoder = std::make_unique<Lzma2Decoder>();
    std::unique_ptr<std::uint8_t[]> dic;
    // The stream being read: none before the first entry, none after its
    // end marker or its damage (then `lostWith` names the damaged entry).
    bool open = false, ended = false;
    unsigned lostWith = 0;
    std::uint8_t dictByte = 0;

    for (std::size_t index = 0; index < entries.size(); index++) {
        const EntryPart& e = entries[index];
        const std::string label = "entry " + std::to_string(e.number) + " \"" + e.name + "\"";
        auto damaged = [&](const std::string& reason) {
            problems.push_back(label + ": " + reason);
            open = false;
            lostWith = e.number;
        };
        if (e.part.size() < 2) {
            damaged("no flags and dictionary bytes before its LZMA2 data");
            continue;
        }
        const std::uint8_t flags = e.part[0];
        if (flags & ~kFlagsKnown) {
            damaged("unknown LZMA flags " + std::to_string(flags));
            continue;
        }
        if (flags & kFlagNewStream) {
            dictByte = e.part[1];
            if (dictByte > LZMA2_DICT_PROP_MAX) {
                damaged("dictionary byte " + std::to_string(dictByte) + " is beyond 40");
                continue;
            }
            // As the setup program does: no more dictionary than the
            // stream's entries hold (at least one byte); and no more than
            // their bytes can decode to, which is all a damaged size that
            // claims gigabytes can reach.
            std::uint64_t total = MostDecoded(e);
            for (std::size_t i = index + 1; i < entries.size(); i++) {
                if (entries[i].part.empty() || (entries[i].part[0] & kFlagNewStream)) break;
                total += MostDecoded(entries[i]);
            }
            const std::uint64_t size =
                std::max<std::uint64_t>(1, std::min<std::uint64_t>(Lzma2DictSize(dictByte), total));
            dic.reset(new (std::nothrow) std::uint8_t[size]);
            if (!dic) {
                damaged("its stream's dictionary of " + std::to_string(size) +
                        " bytes cannot be allocated");
                continue;
            }
            Lzma2Begin(decoder.get(), dic.get(), static_cast<unsigned long>(size),
                       Lzma2DictSize(dictByte));
            open = true;
            ended = false;
            lostWith = 0;
        } else if (!open) {
            problems.push_back(label + ": " + (lostWith ? "lost with entry " + std::to_string(lostWith) +
                                                              ", which its solid stream needs"
                                               : ended ? "continues an LZMA2 stream that has ended"
                                                       : "continues an LZMA2 stream that no entry started"));
            continue;
        } else if (e.part[1] != dictByte) {
            damaged("dictionary byte " + std::to_string(e.part[1]) + " differs from its stream's " +
                    std::to_string(dictByte));
            continue;
        }

        // The file: exactly decodedSize bytes from the entry's chunks, then
        // nothing but perhaps the stream's end marker.
        const std::span<const std::uint8_t> data = e.part.subspan(2);
        Bytes file;
        file.reserve(static_cast<std::size_t>(
            std::min<std::uint64_t>(MostDecoded(e), 1 << 26))); // a damaged size may be huge
        std::size_t taken = 0;
        int result;
        do { // again only after the dictionary's end
            unsigned long in = static_cast<unsigned long>(data.size() - taken), out = 0;
            result = Lzma2Decode(decoder.get(), data.data() + taken, &in,
                                 e.decodedSize - static_cast<unsigned long>(file.size()), &out);
            taken += in;
            file.insert(file.end(), decoder->dic + decoder->dicPos - out, decoder->dic + decoder->dicPos);
        } while (result == Lzma2DicEnd);
        if (result == Lzma2Damaged) {
            damaged("its LZMA2 data is damaged (stopped after " + std::to_string(file.size()) +
                    " of " + std::to_string(e.decodedSize) + " bytes)");
            continue;
        }
        if (file.size() < e.decodedSize) {
            damaged(std::string(result == Lzma2StreamEnd ? "its LZMA2 stream ends" : "its LZMA2 data ends") +
                    " after " + std::to_string(file.size()) + " of " + std::to_string(e.decodedSize) +
                    " bytes");
            continue;
        }
        if (result != Lzma2StreamEnd) {
            unsigned long in = static_cast<unsigned long>(data.size() - taken), out = 0;
            result = Lzma2Decode(decoder.get(), data.data() + taken, &in, 0, &out);
            taken += in;
        }
        if (!Lzma2AtChunkBoundary(decoder.get())) {
            damaged("the file ends inside an LZMA2 chunk");
            continue;
        }
        if (taken != data.size()) {
            damaged(std::to_string(data.size() - taken) + " bytes follow the file's last LZMA2 chunk");
            continue;
        }
        if (result == Lzma2StreamEnd) {
            open = false;
            ended = true;
        }
        if (flags & kFlagX86) {
            BcjX86 state;
            BcjX86Begin(&state);
            BcjX86Code(&state, file.data(), file.size(), 0);
        }
        sink(index, file);
    }
    return problems;
}

} // namespace lzmapack
