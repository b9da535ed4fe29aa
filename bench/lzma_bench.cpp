// The LZMA method on a corpus: sizes against xz -9e (per file and over all
// files at once) and our decoder's speed against liblzma's on the same
// stream, natively.
//
//   lzma_bench DIR... [--runs N] [--dict MIB] [--preset N] [--extreme] [--ours-only]
//
// --ours-only reports our sizes alone (xz -9e and the speeds take minutes).
// Files are taken in the order mksetup build --root gives them (sorted by
// path below each DIR, the DIRs in turn). "ours" is what --method lzma
// stores behind the entries' headers: the stream parts of lzma_pack.h
// (flag and dictionary bytes, chunks), solid and per file; xz is liblzma's
// easy encoder as the xz tool runs it (.xz container, CRC64). Speeds are
// decoded bytes per second of CPU time, the best of N runs.
#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bcj_x86.h"
#include "lzma2_decode.h"
#include "lzma_pack.h"
#include "tool_error.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

std::size_t XzSize(const std::uint8_t* data, std::size_t size)
{
    Bytes out(lzma_stream_buffer_bound(size));
    std::size_t pos = 0;
    if (lzma_easy_buffer_encode(9 | LZMA_PRESET_EXTREME, LZMA_CHECK_CRC64, nullptr, data, size,
                                out.data(), &pos, out.size()) != LZMA_OK) {
        std::fprintf(stderr, "lzma_bench: xz encoding failed\n");
        std::exit(1);
    }
    return pos;
}

std::vector<Bytes> Pack(const std::vector<Bytes>& files, const lzmapack::Options& options)
{
    std::vector<lzmapack::InputFile> input;
    for (const Bytes& f : files) input.push_back({"", f});
    return lzmapack::Pack(input, options);
}

std::size_t Total(const std::vector<Bytes>& parts)
{
    std::size_t n = 0;
    for (const Bytes& p : parts) n += p.size();
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> dirs;
    int runs = 3;
    lzmapack::Options options;
    bool oursOnly = false;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (a == "--dict" && i + 1 < argc) options.dictSize = std::atoi(argv[++i]) << 20;
        else if (a == "--preset" && i + 1 < argc) options.preset = std::atoi(argv[++i]);
        else if (a == "--extreme") options.extreme = true;
        else if (a == "--ours-only") oursOnly = true;
        else dirs.push_back(a);
    }
    if (dirs.empty()) {
        std::fprintf(stderr, "usage: lzma_bench DIR... [--runs N] [--dict MIB] [--preset N] [--extreme]"
                             " [--ours-only]\n");
        return 2;
    }

    std::vector<Bytes> files;
    std::size_t total = 0, programs = 0, programBytes = 0;
    for (const std::string& dir : dirs) {
        std::vector<std::filesystem::path> paths;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
            if (e.is_regular_file() && e.path().filename() != "LIST") paths.push_back(e.path());
        std::sort(paths.begin(), paths.end());
        for (const auto& path : paths) {
            std::ifstream in(path, std::ios::binary);
            files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            total += files.back().size();
            if (lzmapack::IsX86Program(files.back())) programs++, programBytes += files.back().size();
        }
    }
    Bytes all;
    all.reserve(total);
    for (const Bytes& f : files) all.insert(all.end(), f.begin(), f.end());
    std::printf("corpus: %zu files, %zu bytes (%zu x86 programs, %zu bytes)\n", files.size(), total,
                programs, programBytes);

    try {
        // Sizes.
        const double t0 = CpuSeconds();
        const std::vector<Bytes> solid = Pack(files, options);
        const double packSeconds = CpuSeconds() - t0;
        lzmapack::Options separate = options;
        separate.solid = false;
        const std::size_t ours = Total(solid);
        const std::uint32_t dict = lzmapack::DictionaryFor(total, options);
        std::printf("ours, solid, preset %d%s, dictionary %u bytes: %zu bytes (%.4f; packed in %.1f s CPU)\n",
                    options.preset, options.extreme ? "e" : "", dict, ours, double(ours) / total,
                    packSeconds);
        if (oursOnly) return 0;
        const std::size_t oursSeparate = Total(Pack(files, separate));
        std::size_t xzFiles = 0;
        for (const Bytes& f : files) xzFiles += XzSize(f.data(), f.size());
        const std::size_t xzAll = XzSize(all.data(), all.size());
        std::printf("ours, one stream per file:                 %zu bytes (%.4f)\n", oursSeparate,
                    double(oursSeparate) / total);
        std::printf("xz -9e per file:                           %zu bytes (%.4f)\n", xzFiles,
                    double(xzFiles) / total);
        std::printf("xz -9e over all files at once:             %zu bytes (%.4f)\n", xzAll,
                    double(xzAll) / total);
        std::printf("ours / xz -9e per file %.3f, ours / xz -9e at once %.3f\n", double(ours) / xzFiles,
                    double(ours) / xzAll);

        // Speed: the solid stream's chunks back to back are one raw LZMA2
        // stream, for our decoder and liblzma's alike.
        Bytes stream;
        for (const Bytes& p : solid) stream.insert(stream.end(), p.begin() + 2, p.end());
        Bytes dic(std::max<std::size_t>(1, std::min<std::size_t>(Lzma2DictSize(solid[0][1]), total)));
        auto decoder = std::make_unique<Lzma2Decoder>();
        double ourBest = 1e9, libBest = 1e9, bcjBest = 1e9;
        Bytes check;
        for (int run = 0; run < runs; run++) {
            const double a = CpuSeconds();
            Lzma2Begin(decoder.get(), dic.data(), dic.size(), Lzma2DictSize(solid[0][1]));
            std::size_t taken = 0, produced = 0;
            std::uint32_t sum = 0;
            for (;;) {
                unsigned long in = std::min<std::size_t>(stream.size() - taken, 1 << 16), out = 0;
                const int r = Lzma2Decode(decoder.get(), stream.data() + taken, &in, ~0ul, &out);
                taken += in;
                produced += out;
                if (out) sum += decoder->dic[decoder->dicPos - 1];
                if (r == Lzma2Damaged || r == Lzma2StreamEnd || (r == Lzma2NeedInput && taken == stream.size()))
                    break;
            }
            const double b = CpuSeconds();
            lzma_options_lzma lo;
            lzma_lzma_preset(&lo, 6);
            lo.dict_size = Lzma2DictSize(solid[0][1]);
            const lzma_filter chain[2] = {{LZMA_FILTER_LZMA2, &lo}, {LZMA_VLI_UNKNOWN, nullptr}};
            lzma_stream s = LZMA_STREAM_INIT;
            if (lzma_raw_decoder(&s, chain) != LZMA_OK) return 1;
            Bytes buffer(1 << 20);
            s.next_in = stream.data();
            s.avail_in = stream.size();
            std::size_t libProduced = 0;
            for (;;) { // until the input is used up and nothing more comes
                s.next_out = buffer.data();
                s.avail_out = buffer.size();
                if (lzma_code(&s, LZMA_RUN) != LZMA_OK) break;
                const std::size_t got = buffer.size() - s.avail_out;
                libProduced += got;
                if (!got && !s.avail_in) break;
            }
            lzma_end(&s);
            const double c = CpuSeconds();
            if (produced != total || libProduced != total) {
                std::fprintf(stderr, "lzma_bench: decoded %zu (ours) and %zu (liblzma) of %zu bytes\n",
                             produced, libProduced, total);
                return 1;
            }
            // The x86 filter over every program, as the setup program
            // decodes them.
            check = all;
            const double d = CpuSeconds();
            std::size_t at = 0;
            for (const Bytes& f : files) {
                if (lzmapack::IsX86Program(f)) {
                    BcjX86 state;
                    BcjX86Begin(&state);
                    BcjX86Code(&state, check.data() + at, f.size(), 0);
                }
                at += f.size();
            }
            const double e = CpuSeconds();
            ourBest = std::min(ourBest, b - a);
            libBest = std::min(libBest, c - b);
            bcjBest = std::min(bcjBest, e - d);
            (void)sum;
        }
        std::printf("decoding, best of %d: ours %.1f MB/s, liblzma %.1f MB/s (ours / liblzma %.2f); "
                    "x86 filter %.0f MB/s of programs\n", runs, total / ourBest / 1e6, total / libBest / 1e6,
                    libBest / ourBest, programBytes / std::max(bcjBest, 1e-9) / 1e6);
    } catch (const mksetup::ToolError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
