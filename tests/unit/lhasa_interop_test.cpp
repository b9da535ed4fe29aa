// Interop with LZHUF code no one here wrote: lhasa must extract our
// encoder's streams wrapped as -lh1- archive members bit for bit, and our
// decoder must read the -lh1- streams jLHA's encoder makes. Skipped when
// the tools are not installed.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "lzhuf.h"
#include "lh1_support.h"
#include "lzhuf_encoder.h"

namespace fs = std::filesystem;

namespace {

using lh1::AppendMember;
using lh1::DecodeStream;

using Bytes = std::vector<std::uint8_t>;

const char kJlhaJar[] = "/usr/share/java/jlha.jar";

bool HaveProgram(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "lzhuf-interop-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

void WriteAll(const fs::path& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

struct Sample {
    std::string name;
    Bytes data;
};

std::vector<Sample> Samples()
{
    std::vector<Sample> samples;
    samples.push_back({"empty.bin", {}});
    samples.push_back({"one.txt", {'!'}});
    samples.push_back({"spaces.txt", Bytes(5000, ' ')});
    Bytes mixed;
    std::mt19937 rng(42);
    for (int i = 0; i < 150000; i++)
        mixed.push_back(static_cast<std::uint8_t>(i % 997 < 500 ? "interop "[i % 8] : rng() % 256));
    samples.push_back({"mixed.bin", mixed});
    for (const char* path : {"/usr/include/stdio.h", "/usr/share/common-licenses/GPL-3",
                             "/bin/sh", "/usr/bin/env"}) {
        Bytes data = ReadAll(path);
        if (data.size() > 300000) data.resize(300000);
        if (!data.empty()) samples.push_back({fs::path(path).filename().string() + ".dat", data});
    }
    return samples;
}


// Encodes each input file with jLHA's -lh1- encoder into the output file
// that follows it on the command line.
const char kJlhaEncoder[] = R"(
import java.io.*;
import java.nio.file.*;
import jp.gr.java_conf.dangan.util.lha.*;
public class Lh1Encode {
    public static void main(String[] args) throws Exception {
        for (int i = 0; i + 1 < args.length; i += 2) {
            byte[] in = Files.readAllBytes(Paths.get(args[i]));
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            OutputStream encoder = CompressMethod.connectEncoder(
                bytes, CompressMethod.LH1, LhaProperty.getProperties());
            encoder.write(in);
            encoder.close();
            Files.write(Paths.get(args[i + 1]), bytes.toByteArray());
        }
    }
}
)";

} // namespace

TEST(LhasaInterop, ExtractsOurStreamsBitForBit)
{
    if (!HaveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
    TempDir dir;
    std::vector<Sample> samples = Samples();
    Bytes archive;
    int level = 0;
    for (const Sample& s : samples) {
        // Every level once or more: all must be plain -lh1-.
        level = level % lzhuf::kBest + 1;
        AppendMember(archive, s.name, s.data, lzhuf::Encode(s.data, level));
    }
    archive.push_back(0); // end of archive
    WriteAll(dir.path() / "ours.lzh", archive);
    fs::create_directory(dir.path() / "out");
    std::string command = "cd '" + dir.path().string() + "' && lhasa -xqw=out ours.lzh >log 2>&1";
    ASSERT_EQ(Shell(command), 0) << std::string(ReadAll(dir.path() / "log").begin(),
                                                 ReadAll(dir.path() / "log").end());
    for (const Sample& s : samples) {
        fs::path extracted = dir.path() / "out" / s.name;
        ASSERT_TRUE(fs::exists(extracted)) << s.name;
        EXPECT_TRUE(ReadAll(extracted) == s.data) << s.name;
    }
    // lhasa's own test of the archive checks each member's CRC.
    EXPECT_EQ(Shell("cd '" + dir.path().string() + "' && lhasa -tq ours.lzh >/dev/null 2>&1"), 0);
}

TEST(LhasaInterop, ReportsACorruptedMemberThroughItsCrc)
{
    // Guards the test above: a wrong CRC must make lhasa fail, so a pass
    // there means the bytes really matched.
    if (!HaveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
    TempDir dir;
    Bytes data(3000, 'q');
    Bytes other = data;
    other[1000] = 'x';
    Bytes archive;
    AppendMember(archive, "q.txt", other, lzhuf::Encode(data));
    archive.push_back(0);
    WriteAll(dir.path() / "bad.lzh", archive);
    EXPECT_NE(Shell("cd '" + dir.path().string() + "' && lhasa -tq bad.lzh >/dev/null 2>&1"), 0);
}

TEST(JlhaInterop, DecodesStreamsMadeByJlha)
{
    if (!HaveProgram("java") || !fs::exists(kJlhaJar)) GTEST_SKIP() << "java or jLHA missing";
    TempDir dir;
    std::ofstream(dir.path() / "Lh1Encode.java") << kJlhaEncoder;
    std::vector<Sample> samples = Samples();
    std::string command = "cd '" + dir.path().string() + "' && java -cp " + kJlhaJar +
                          " Lh1Encode.java";
    for (std::size_t i = 0; i < samples.size(); i++) {
        WriteAll(dir.path() / ("in" + std::to_string(i)), samples[i].data);
        command += " in" + std::to_string(i) + " out" + std::to_string(i);
    }
    command += " >log 2>&1";
    if (Shell(command) != 0) GTEST_SKIP() << "jLHA could not run here";
    for (std::size_t i = 0; i < samples.size(); i++) {
        Bytes stream = ReadAll(dir.path() / ("out" + std::to_string(i)));
        Bytes decoded;
        SCOPED_TRACE(samples[i].name);
        EXPECT_EQ(DecodeStream(stream, static_cast<std::uint32_t>(samples[i].data.size()), decoded),
                  LzhufOk);
        EXPECT_TRUE(decoded == samples[i].data);
    }
}
