// lh1tool: moves the benchmark corpus between our decoder and other LZH
// programs. Archives are plain LHA level-0 archives of -lh1- members, the
// format lhasa and jLHA read, so every program decodes the same streams.
//
//   lh1tool pack ARCHIVE DIR [LEVEL]   encode DIR's files with our encoder
//   lh1tool wrap ARCHIVE DIR STREAMS   wrap streams made elsewhere: the
//                                      stream of DIR/x is STREAMS/x
//   lh1tool setup ARCHIVE PROGRAM      wrap the entries of a setup program
//                                      made by mksetup, streams unchanged
//   lh1tool test ARCHIVE               decode every member, check its CRC
//   lh1tool extract ARCHIVE DIR        decode every member to DIR/name
//   lh1tool inproc ARCHIVE RUNS        time our decoder against the plain
//                                      one in this process, alternating
//
// test and extract decode with the stub's own decoder source; they read the
// archive whole, as the stub holds an entry's data whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "baseline_lzhuf.h"
#include "lzhuf.h"
#include "lzhuf_encoder.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "lh1tool: %s\n", message.c_str());
    std::exit(2);
}

Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read " + path.string());
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

void WriteAll(const fs::path& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) Fail("cannot write " + path.string());
}

// CRC-16 as LHA stores it: polynomial 0x8005 reflected (0xA001), start 0.
struct Crc16 {
    std::uint16_t table[256];
    Crc16()
    {
        for (unsigned i = 0; i < 256; i++) {
            unsigned crc = i;
            for (int k = 0; k < 8; k++) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            table[i] = static_cast<std::uint16_t>(crc);
        }
    }
    std::uint16_t Update(std::uint16_t crc, const unsigned char* data, std::size_t size) const
    {
        for (std::size_t i = 0; i < size; i++) crc = static_cast<std::uint16_t>(table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
        return crc;
    }
};
const Crc16 crc16;

void PutLe(Bytes& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t GetLe(const std::uint8_t* p, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; i--) value = (value << 8) | p[i];
    return value;
}

void AppendMember(Bytes& archive, const std::string& name, const Bytes& original, const Bytes& stream)
{
    if (name.size() > 200) Fail("name too long: " + name);
    Bytes header;
    for (char c : std::string("-lh1-")) header.push_back(static_cast<std::uint8_t>(c));
    PutLe(header, static_cast<std::uint32_t>(stream.size()), 4);
    PutLe(header, static_cast<std::uint32_t>(original.size()), 4);
    PutLe(header, (12u << 11) | (34u << 5), 2);
    PutLe(header, ((2020u - 1980) << 9) | (6u << 5) | 15, 2);
    header.push_back(0x20);
    header.push_back(0);
    header.push_back(static_cast<std::uint8_t>(name.size()));
    header.insert(header.end(), name.begin(), name.end());
    PutLe(header, crc16.Update(0, original.data(), original.size()), 2);
    std::uint8_t sum = 0;
    for (std::uint8_t b : header) sum = static_cast<std::uint8_t>(sum + b);
    archive.push_back(static_cast<std::uint8_t>(header.size()));
    archive.push_back(sum);
    archive.insert(archive.end(), header.begin(), header.end());
    archive.insert(archive.end(), stream.begin(), stream.end());
}

// The files below dir in a stable order, as paths relative to it.
std::vector<std::string> Files(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename() != "LIST")
            names.push_back(fs::relative(e.path(), dir).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Member {
    std::string name;
    std::uint32_t size = 0;     // decoded
    std::uint16_t crc = 0;
    std::uint8_t* block = nullptr; // entry block for Decode: 14 bytes, stream
    std::uint32_t blockSize = 0;
};

// Parses a level-0 archive in place and turns the 14 bytes before each
// member's stream into the entry header Decode reads (name length 0,
// decoded size); the archive's own header bytes there are no longer needed.
std::vector<Member> ParseArchive(Bytes& archive)
{
    std::vector<Member> members;
    std::size_t pos = 0;
    while (pos < archive.size() && archive[pos] != 0) {
        std::size_t headerSize = archive[pos];
        if (pos + 2 + headerSize > archive.size() || headerSize < 24) Fail("bad member header");
        const std::uint8_t* h = &archive[pos + 2];
        if (std::memcmp(h, "-lh1-", 5) != 0) Fail("not an -lh1- member");
        Member m;
        std::uint32_t packed = GetLe(h + 5, 4);
        m.size = GetLe(h + 9, 4);
        unsigned nameLength = h[19];
        if (22u + nameLength > headerSize) Fail("bad name length");
        m.name.assign(reinterpret_cast<const char*>(h + 20), nameLength);
        m.crc = static_cast<std::uint16_t>(GetLe(h + 20 + nameLength, 2));
        std::size_t data = pos + 2 + headerSize;
        if (data + packed > archive.size()) Fail("member cut short: " + m.name);
        std::uint8_t* block = &archive[data - 14];
        block[9] = 0;
        for (int i = 0; i < 4; i++) block[10 + i] = static_cast<std::uint8_t>(m.size >> (8 * i));
        m.block = block;
        m.blockSize = packed + 14;
        members.push_back(m);
        pos = data + packed;
    }
    return members;
}

struct CrcSink {
    std::uint16_t crc = 0;
    std::uint64_t size = 0;
};

int CrcTake(void* context, const unsigned char* data, unsigned long size)
{
    auto* s = static_cast<CrcSink*>(context);
    s->crc = crc16.Update(s->crc, data, size);
    s->size += size;
    return 1;
}

struct FileSink {
    int fd;
    std::uint16_t crc = 0;
};

int FileTake(void* context, const unsigned char* data, unsigned long size)
{
    auto* s = static_cast<FileSink*>(context);
    s->crc = crc16.Update(s->crc, data, size);
    while (size > 0) {
        ssize_t n = ::write(s->fd, data, size);
        if (n <= 0) return 0;
        data += n;
        size -= static_cast<unsigned long>(n);
    }
    return 1;
}

struct BufferSink {
    std::uint8_t* next;
};

int BufferTake(void* context, const unsigned char* data, unsigned long size)
{
    auto* s = static_cast<BufferSink*>(context);
    std::memcpy(s->next, data, size);
    s->next += size;
    return 1;
}

int Pack(const fs::path& archivePath, const fs::path& dir, const fs::path* streams, int level)
{
    Bytes archive;
    for (const std::string& name : Files(dir)) {
        Bytes original = ReadAll(dir / name);
        Bytes stream = streams ? ReadAll(*streams / name) : lzhuf::Encode(original, level);
        AppendMember(archive, name, original, stream);
    }
    archive.push_back(0);
    WriteAll(archivePath, archive);
    return 0;
}

// The entries of a setup program (the archive behind the 38,914-byte
// stub) as members of the same streams; each is decoded once with our
// decoder for the CRC the member header needs.
int FromSetup(const fs::path& archivePath, const fs::path& programPath)
{
    Bytes program = ReadAll(programPath);
    Bytes archive;
    auto decoder = std::make_unique<LzhufDecoder>();
    std::size_t offset = 38914;
    for (int number = 1; offset < program.size(); number++) {
        if (program.size() - offset < 18) Fail("entry header cut off");
        std::uint32_t length = GetLe(&program[offset + 4], 4);
        if (length < 18 || length > program.size() - offset) Fail("bad entry length");
        const std::uint8_t* block = &program[offset + 4];
        unsigned nameLength = block[9];
        if (18u + nameLength > length) Fail("bad name length");
        std::string name(reinterpret_cast<const char*>(block + 10), nameLength);
        std::replace(name.begin(), name.end(), '\\', '_');
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%03d-", number);
        Bytes original;
        BufferSink sink{nullptr};
        original.resize(GetLe(block + 10 + nameLength, 4));
        sink.next = original.data();
        if (Decode(decoder.get(), block, length - 4, BufferTake, &sink) != LzhufOk)
            Fail("entry " + std::to_string(number) + " does not decode");
        Bytes stream(block + 14 + nameLength, block + length - 4);
        AppendMember(archive, prefix + name, original, stream);
        offset += length;
    }
    archive.push_back(0);
    WriteAll(archivePath, archive);
    return 0;
}

int Test(const fs::path& archivePath, const fs::path* outDir)
{
    Bytes archive = ReadAll(archivePath);
    auto decoder = std::make_unique<LzhufDecoder>();
    int bad = 0;
    for (const Member& m : ParseArchive(archive)) {
        int result;
        std::uint16_t crc;
        if (outDir) {
            fs::path target = *outDir / m.name;
            fs::create_directories(target.parent_path());
            FileSink sink{::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
            if (sink.fd < 0) Fail("cannot create " + target.string());
            result = Decode(decoder.get(), m.block, m.blockSize, FileTake, &sink);
            ::close(sink.fd);
            crc = sink.crc;
        } else {
            CrcSink sink;
            result = Decode(decoder.get(), m.block, m.blockSize, CrcTake, &sink);
            crc = sink.crc;
        }
        if (result != LzhufOk || crc != m.crc) {
            std::fprintf(stderr, "lh1tool: %s: %s\n", m.name.c_str(),
                         result != LzhufOk ? "damaged" : "CRC error");
            bad = 1;
        }
    }
    return bad;
}

// CPU time of this thread: other work on the machine counts less than
// with a wall clock.
double Seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Our decoder and the plain one over the same members, run after run in
// turn, per kind (the first folder of a member's name) and in all. Both
// write into a buffer of the decoded size; the first run checks that the
// two agree byte for byte with the stored CRC.
int InProcess(const fs::path& archivePath, int runs)
{
    Bytes archive = ReadAll(archivePath);
    std::vector<Member> members = ParseArchive(archive);
    std::map<std::string, std::vector<const Member*>> kinds;
    for (const Member& m : members) {
        std::string kind = m.name.substr(0, m.name.find('/'));
        kinds[kind].push_back(&m);
        kinds["all"].push_back(&m);
    }
    auto decoder = std::make_unique<LzhufDecoder>();
    Bytes buffer;
    std::printf("%-8s %10s %10s %12s %12s %7s\n", "kind", "bytes", "packed", "ours MB/s",
                "plain MB/s", "ratio");
    for (const auto& [kind, list] : kinds) {
        std::uint64_t bytes = 0, packed = 0;
        for (const Member* m : list) {
            bytes += m->size;
            packed += m->blockSize - 14;
        }
        std::vector<double> ours, plain, ratios;
        for (int run = 0; run < runs; run++) {
            double t0 = Seconds();
            for (const Member* m : list) {
                buffer.resize(m->size);
                BufferSink sink{buffer.data()};
                if (Decode(decoder.get(), m->block, m->blockSize, BufferTake, &sink) != LzhufOk)
                    Fail(m->name + ": our decoder failed");
                if (run == 0 && crc16.Update(0, buffer.data(), buffer.size()) != m->crc)
                    Fail(m->name + ": our decoder's CRC differs");
            }
            double t1 = Seconds();
            for (const Member* m : list) {
                Bytes out = baseline::Decode(m->block + 14, m->blockSize - 14, m->size);
                if (run == 0 && crc16.Update(0, out.data(), out.size()) != m->crc)
                    Fail(m->name + ": plain decoder's CRC differs");
            }
            double t2 = Seconds();
            double a = t1 - t0;
            double b = t2 - t1;
            ours.push_back(a);
            plain.push_back(b);
            ratios.push_back(b / a);
        }
        double mb = static_cast<double>(bytes) / 1e6;
        std::printf("%-8s %10llu %10llu %12.1f %12.1f %6.2fx\n", kind.c_str(),
                    static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(packed),
                    mb / Median(ours), mb / Median(plain), Median(ratios));
    }
    return 0;
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: lh1tool pack ARCHIVE DIR [LEVEL]\n"
                 "       lh1tool wrap ARCHIVE DIR STREAMS\n"
                 "       lh1tool setup ARCHIVE PROGRAM\n"
                 "       lh1tool test ARCHIVE\n"
                 "       lh1tool extract ARCHIVE DIR\n"
                 "       lh1tool inproc ARCHIVE RUNS\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) Usage();
    std::string command = argv[1];
    fs::path archive = argv[2];
    if (command == "pack" && (argc == 4 || argc == 5))
        return Pack(archive, argv[3], nullptr, argc == 5 ? std::atoi(argv[4]) : lzhuf::kBest);
    if (command == "wrap" && argc == 5) {
        fs::path streams = argv[4];
        return Pack(archive, argv[3], &streams, 0);
    }
    if (command == "setup" && argc == 4) return FromSetup(archive, argv[3]);
    if (command == "test" && argc == 3) return Test(archive, nullptr);
    if (command == "extract" && argc == 4) {
        fs::path dir = argv[3];
        return Test(archive, &dir);
    }
    if (command == "inproc" && argc == 4) return InProcess(archive, std::max(1, std::atoi(argv[3])));
    Usage();
}
