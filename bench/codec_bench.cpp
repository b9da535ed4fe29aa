// LZHUF throughput on a corpus of real files: headers, licences, programs.
// With BENCH_CORPUS naming a folder (bench/corpus.sh makes one), all of
// its files form the corpus instead.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "baseline_lzhuf.h"
#include "lzhuf.h"
#include "lzhuf_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// About 4 MB of real files, in a stable order.
const Bytes& Corpus()
{
    static const Bytes corpus = [] {
        Bytes all;
        if (const char* dir = std::getenv("BENCH_CORPUS")) {
            std::vector<std::filesystem::path> paths;
            for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
                if (e.is_regular_file() && e.path().filename() != "LIST") paths.push_back(e.path());
            std::sort(paths.begin(), paths.end());
            for (const auto& path : paths) {
                std::ifstream in(path, std::ios::binary);
                all.insert(all.end(), std::istreambuf_iterator<char>(in), {});
            }
            return all;
        }
        for (const char* dir : {"/usr/include", "/usr/share/common-licenses", "/usr/bin"}) {
            std::vector<std::filesystem::path> paths;
            std::error_code ec;
            for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
                 it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
                if (ec) break;
                if (it->is_regular_file(ec) && !it->is_symlink(ec)) paths.push_back(it->path());
            }
            std::sort(paths.begin(), paths.end());
            std::size_t budget = all.size() + 1400 * 1024;
            for (std::size_t i = 0; i < paths.size() && all.size() < budget; i += 1 + paths.size() / 40) {
                std::ifstream in(paths[i], std::ios::binary);
                Bytes data((std::istreambuf_iterator<char>(in)), {});
                data.resize(std::min<std::size_t>(data.size(), 256 * 1024));
                all.insert(all.end(), data.begin(), data.end());
            }
        }
        return all;
    }();
    return corpus;
}

int Discard(void*, const unsigned char*, unsigned long) { return 1; }

const Bytes& Stream()
{
    static const Bytes stream = lzhuf::Encode(Corpus(), lzhuf::kBest);
    return stream;
}

void BM_Decode(benchmark::State& state)
{
    const Bytes& corpus = Corpus();
    const Bytes& stream = Stream();
    Bytes block(14, 0);
    for (int i = 0; i < 4; i++) block[10 + i] = static_cast<std::uint8_t>(corpus.size() >> (8 * i));
    block.insert(block.end(), stream.begin(), stream.end());
    auto decoder = std::make_unique<LzhufDecoder>();
    for (auto _ : state) {
        int result = Decode(decoder.get(), block.data(), block.size(), Discard, nullptr);
        if (result != LzhufOk) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

// The plain 1988 decoder on the same stream: the yardstick.
void BM_DecodePlain(benchmark::State& state)
{
    const Bytes& corpus = Corpus();
    const Bytes& stream = Stream();
    for (auto _ : state) {
        Bytes out = baseline::Decode(stream.data(), stream.size(), static_cast<std::uint32_t>(corpus.size()));
        if (out.size() != corpus.size()) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(BM_DecodePlain)->Unit(benchmark::kMillisecond);

void BM_Encode(benchmark::State& state)
{
    const Bytes& corpus = Corpus();
    std::size_t packed = 0;
    for (auto _ : state) {
        Bytes stream = lzhuf::Encode(corpus, static_cast<int>(state.range(0)));
        packed = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus.size()));
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(corpus.size());
    state.counters["corpus_bytes"] = static_cast<double>(corpus.size());
}
BENCHMARK(BM_Encode)->Arg(1)->Arg(5)->Arg(9)->Unit(benchmark::kMillisecond);

} // namespace
