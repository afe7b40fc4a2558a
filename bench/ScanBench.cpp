// How fast the scan runs on a large realistic mailbox that is in the page
// cache, next to a plain pass that only sums the file's 32-bit words.
//
// The mailbox (512 MiB by default; QUILLMEND_BENCH_SIZE=2G for more) is made
// once by the fixture maker and kept in the build tree. Every case maps the
// file afresh per iteration, as opening a mail file does.

#include "dbx/DbxFile.h"
#include "mailtext/HeaderText.h"
#include "platform/MappedFile.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string BenchSize()
{
    const char* size = std::getenv("QUILLMEND_BENCH_SIZE");
    return size && *size ? size : "512M";
}

// The mailbox, made on first use.
const std::string& Mailbox()
{
    static const std::string path = [] {
        const std::string dir = QUILLMEND_BENCH_DATA;
        std::filesystem::create_directories(dir);
        const std::string file = dir + "/mailbox-" + BenchSize() + ".dbx";
        if (!std::filesystem::exists(file)) {
            const std::string command = std::string(QUILLMEND_MKDBX) + " bench --size " + BenchSize() +
                                        " --seed 7 '" + file + "' >/dev/null";
            if (std::system(command.c_str()) != 0)
                std::abort();
        }
        // Bring it into the page cache before anything is timed.
        std::ifstream in(file, std::ios::binary);
        std::string buffer(1 << 20, '\0');
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
            ;
        return file;
    }();
    return path;
}

long PeakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

void ResetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_PlainPass(benchmark::State& state)
{
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        platform::MappedFile file;
        if (!file.Open(Mailbox()))
            std::abort();
        const auto* words = reinterpret_cast<const std::uint32_t*>(file.Data());
        std::uint32_t sum = 0;
        for (std::size_t i = 0, n = file.Size() / 4; i < n; ++i)
            sum += words[i];
        benchmark::DoNotOptimize(sum);
        bytes += file.Size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

// Notes when the scan pass is over: the first position report that reaches
// the pass's last position.
class PassTimer final : public dbx::IProgressSink {
public:
    void SetTotal(std::int32_t total) override
    {
        start_ = std::chrono::steady_clock::now();
        lastPassPosition_ = static_cast<std::int32_t>(total / 1.2) - 5;
    }
    void SetPosRange(std::int32_t, std::int32_t last) override
    {
        if (!passDone_ && last >= lastPassPosition_) {
            passDone_ = true;
            end_ = std::chrono::steady_clock::now();
        }
    }
    double PassSeconds() const { return std::chrono::duration<double>(end_ - start_).count(); }

private:
    std::chrono::steady_clock::time_point start_, end_;
    std::int32_t lastPassPosition_ = 0;
    bool passDone_ = false;
};

void BM_ScanPass(benchmark::State& state)
{
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        dbx::DbxFile file;
        if (!file.Open(Mailbox()))
            std::abort();
        PassTimer timer;
        file.Scan(timer);
        state.SetIterationTime(timer.PassSeconds());
        bytes += file.View().size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void BM_WholeScan(benchmark::State& state)
{
    std::uint64_t bytes = 0;
    int records = 0;
    long peak = 0;
    for (auto _ : state) {
        ResetPeakRss();
        dbx::DbxFile file;
        if (!file.Open(Mailbox()))
            std::abort();
        dbx::NullProgressSink quiet;
        file.Scan(quiet);
        records = file.GetCount();
        bytes += file.View().size();
        peak = std::max(peak, PeakRssKiB());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["records"] = records;
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
}

// What `list --json` adds to a scan: From, To and Subject of every e-mail
// read again and decoded (the target: at most a tenth of BM_WholeScan).
void BM_DisplayTextsOfEveryEmail(benchmark::State& state)
{
    dbx::DbxFile file;
    dbx::NullProgressSink quiet;
    if (!file.Open(Mailbox()))
        std::abort();
    file.Scan(quiet);
    const unsigned fields = dbx::HeaderBit(dbx::HeaderField::kFrom) | dbx::HeaderBit(dbx::HeaderField::kTo)
                            | dbx::HeaderBit(dbx::HeaderField::kSubject);
    dbx::HeaderLines texts;
    for (auto _ : state) {
        for (const dbx::EmailRecord& record : file.Records()) {
            mailtext::ReadDisplayTexts(file.View(), record, fields, texts);
            benchmark::DoNotOptimize(texts);
        }
    }
    state.counters["records"] = file.GetCount();
}

} // namespace

BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ScanPass)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);
BENCHMARK(BM_WholeScan)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DisplayTextsOfEveryEmail)->Unit(benchmark::kMillisecond)->MinTime(3);

BENCHMARK_MAIN();
