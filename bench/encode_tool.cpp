// Encodes a list of files with mksetup's LZHUF encoder, for the encoder
// comparison script.
//
//   encode_tool LEVEL LIST sizes   "<index> <stream bytes> <original> <path>"
//                                  per file; every stream is decoded again
//                                  and checked against its file
//   encode_tool LEVEL LIST time    "<nanoseconds> <bytes>": one pass over
//                                  the files, read into memory beforehand
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "lzhuf.h"
#include "lzhuf_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

int Collect(void* context, const unsigned char* data, unsigned long size)
{
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), data, data + size);
    return 1;
}

bool DecodesTo(const Bytes& stream, const Bytes& original)
{
    Bytes block(14, 0);
    auto size = static_cast<std::uint32_t>(original.size());
    for (int i = 0; i < 4; i++) block[10 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    block.insert(block.end(), stream.begin(), stream.end());
    auto decoder = std::make_unique<LzhufDecoder>();
    Bytes out;
    return Decode(decoder.get(), block.data(), block.size(), Collect, &out) == LzhufOk &&
           out == original;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[3], "sizes") != 0 && std::strcmp(argv[3], "time") != 0)) {
        std::fprintf(stderr, "usage: encode_tool LEVEL LIST sizes|time\n");
        return 2;
    }
    int level = std::atoi(argv[1]);
    std::vector<std::string> paths;
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) paths.push_back(line);

    if (std::strcmp(argv[3], "sizes") == 0) {
        for (std::size_t i = 0; i < paths.size(); i++) {
            Bytes data = ReadAll(paths[i]);
            Bytes stream = lzhuf::Encode(data, level);
            if (!DecodesTo(stream, data)) {
                std::fprintf(stderr, "level %d: %s does not decode back\n", level, paths[i].c_str());
                return 1;
            }
            std::printf("%zu %zu %zu %s\n", i, stream.size(), data.size(), paths[i].c_str());
        }
        return 0;
    }
    std::vector<Bytes> files;
    for (const std::string& p : paths) files.push_back(ReadAll(p));
    std::size_t packed = 0;
    auto start = std::chrono::steady_clock::now();
    for (const Bytes& data : files) packed += lzhuf::Encode(data, level).size();
    auto elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%lld %zu\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()),
                packed);
    return 0;
}
