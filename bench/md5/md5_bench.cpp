// Throughput of CMD5 beside OpenSSL's MD5 on the same bytes, read the same
// way, with the ratio of the two printed at the end.

#include "cmd5.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t BufferSize = 32 * 1024;
constexpr std::size_t FileSize = 268435455; // the largest file CMD5 hashes
constexpr std::size_t ReadChunk = 64 * 1024;

std::vector<std::uint8_t> PatternBytes(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::mt19937 random(42);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::string UpperHex(const unsigned char* bytes, unsigned size)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned i = 0; i < size; ++i) {
        text += Digits[bytes[i] >> 4];
        text += Digits[bytes[i] & 0xF];
    }
    return text;
}

class OpenSslMd5 {
public:
    OpenSslMd5() { EVP_DigestInit_ex(context_.get(), EVP_md5(), nullptr); }
    void update(const void* data, std::size_t size) { EVP_DigestUpdate(context_.get(), data, size); }
    std::string hexDigest()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_DigestFinal_ex(context_.get(), digest, &size);
        return UpperHex(digest, size);
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

std::string OpenSslBufferDigest(const std::vector<std::uint8_t>& bytes)
{
    OpenSslMd5 md5;
    md5.update(bytes.data(), bytes.size());
    return md5.hexDigest();
}

// Reads like Md5_File_Calc: unbuffered stdio, 64 KiB at a time.
std::string OpenSslFileDigest(const fs::path& path)
{
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return {};
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    std::vector<unsigned char> chunk(ReadChunk);
    OpenSslMd5 md5;
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;)
        md5.update(chunk.data(), got);
    return md5.hexDigest();
}

// The test file lives in its own temporary folder for the run and is
// removed at exit.
class TestFile {
public:
    static const fs::path& path()
    {
        static const TestFile file;
        return file.path_;
    }

private:
    TestFile()
        : folder_(fs::temp_directory_path() / ("md5_bench_" + std::to_string(std::random_device{}()))),
          path_(folder_ / "largest.bin")
    {
        fs::create_directories(folder_);
        const auto block = PatternBytes(1 << 20);
        std::ofstream out(path_, std::ios::binary);
        for (std::size_t left = FileSize; left > 0;) {
            const std::size_t size = std::min(left, block.size());
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(size));
            left -= size;
        }
    }
    ~TestFile()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    fs::path folder_;
    fs::path path_;
};

void Check(benchmark::State& state, const std::string& ours, const std::string& openssl)
{
    if (ours != openssl)
        state.SkipWithError(("digests differ: " + ours + " / " + openssl).c_str());
}

void BufferCMD5(benchmark::State& state)
{
    const auto bytes = PatternBytes(BufferSize);
    portauth::CMD5 md5;
    Check(state, md5.MD5_Buffer_Calc(bytes), OpenSslBufferDigest(bytes));
    for (auto _ : state)
        benchmark::DoNotOptimize(md5.MD5_Buffer_Calc(bytes));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BufferSize));
}

void BufferOpenSsl(benchmark::State& state)
{
    const auto bytes = PatternBytes(BufferSize);
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenSslBufferDigest(bytes));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BufferSize));
}

void FileCMD5(benchmark::State& state)
{
    const std::u16string path = TestFile::path().u16string();
    portauth::CMD5 md5;
    Check(state, md5.Md5_File_Calc(path), OpenSslFileDigest(TestFile::path()));
    for (auto _ : state)
        benchmark::DoNotOptimize(md5.Md5_File_Calc(path));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(FileSize));
}

void FileOpenSsl(benchmark::State& state)
{
    const fs::path& path = TestFile::path();
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenSslFileDigest(path));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(FileSize));
}

// Prints the usual table, then ours / OpenSSL for each workload from the
// median throughput (or the single run without repetitions).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const auto rate = run.counters.find("bytes_per_second");
            if ((median || single) && !run.error_occurred && rate != run.counters.end())
                throughput_[run.run_name.function_name] = rate->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        auto& out = GetOutputStream();
        for (const char* workload : {"Buffer32KiB", "File256MiB"}) {
            const auto ours = throughput_.find(std::string(workload) + "/CMD5");
            const auto theirs = throughput_.find(std::string(workload) + "/OpenSSL");
            if (ours == throughput_.end() || theirs == throughput_.end() || theirs->second <= 0)
                continue;
            out << "ratio CMD5/OpenSSL " << workload << ": " << std::fixed << std::setprecision(3)
                << ours->second / theirs->second << " (" << std::setprecision(0) << ours->second / 1048576
                << " / " << theirs->second / 1048576 << " MiB/s)\n";
        }
    }

private:
    std::map<std::string, double> throughput_;
};

} // namespace

int main(int argc, char** argv)
{
    // Alternating the repetitions of the two sides evens out a busy machine.
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    benchmark::RegisterBenchmark("Buffer32KiB/CMD5", BufferCMD5)->Repetitions(9);
    benchmark::RegisterBenchmark("Buffer32KiB/OpenSSL", BufferOpenSsl)->Repetitions(9);
    benchmark::RegisterBenchmark("File256MiB/CMD5", FileCMD5)->Iterations(2)->Repetitions(5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("File256MiB/OpenSSL", FileOpenSsl)->Iterations(2)->Repetitions(5)->Unit(benchmark::kMillisecond);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
