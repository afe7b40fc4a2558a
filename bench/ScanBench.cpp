// How fast mail files are listed, next to a plain pass over the same
// page-cached file (a loop that maps it and reads every 32-bit word): the
// whole `quillmend-cli list --json` as users run it (the scan and the
// decoded display fields), with one thread and with more, for two mailbox
// shapes, with the ratios printed. The targets: one thread within 3 times
// the plain pass, two threads within 2 times.
//
// The shapes (512 MiB each by default; QUILLMEND_BENCH_SIZE=2G for more),
// made once by the fixture maker and kept in the build tree:
//   usual  few, large messages (10,600 in 512 MiB), 20 % deleted;
//   real   shaped like real mailboxes: 36,300 messages, most 2-20 KB, a tail
//          to 300 KB, a third deleted, names and subjects in several
//          encodings.
// Every case maps the file afresh per iteration, as opening a mail file does.

#include "dbx/DbxFile.h"
#include "mailtext/HeaderText.h"
#include "platform/MappedFile.h"
#include "platform/WorkerPool.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string BenchSize()
{
    const char* size = std::getenv("QUILLMEND_BENCH_SIZE");
    return size && *size ? size : "512M";
}

enum Shape { kUsual, kReal };

// The mailbox of `shape`, made on first use and brought into the page cache.
const std::string& Mailbox(Shape shape)
{
    static std::string paths[2];
    std::string& path = paths[shape];
    if (path.empty()) {
        const std::string dir = QUILLMEND_BENCH_DATA;
        std::filesystem::create_directories(dir);
        const std::string file = dir + (shape == kReal ? "/real-mail-" : "/mailbox-") + BenchSize() + ".dbx";
        if (!std::filesystem::exists(file)) {
            const std::string command = std::string(QUILLMEND_MKDBX) + " bench --size " + BenchSize() +
                                        (shape == kReal ? " --shape real" : "") + " --seed 7 '" + file +
                                        "' >/dev/null";
            if (std::system(command.c_str()) != 0)
                std::abort();
        }
        std::ifstream in(file, std::ios::binary);
        std::string buffer(1 << 20, '\0');
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
            ;
        path = file;
    }
    return path;
}

const char* ShapeName(Shape shape)
{
    return shape == kReal ? "real" : "usual";
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

double CpuMs(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Run {
    double wallMs = 0;
    double cpuMs = 0;
};

// The floor: map the file and read every 32-bit word once.
Run PlainPass(const std::string& path)
{
    const double cpu = CpuMs(RUSAGE_SELF);
    const Clock::time_point start = Clock::now();
    platform::MappedFile file;
    if (!file.Open(path))
        std::abort();
    const auto* words = reinterpret_cast<const std::uint32_t*>(file.Data());
    std::uint32_t sum = 0;
    for (std::size_t i = 0, n = file.Size() / 4; i < n; ++i)
        sum += words[i];
    benchmark::DoNotOptimize(sum);
    file.Close();
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(), CpuMs(RUSAGE_SELF) - cpu};
}

// `quillmend-cli list --json PATH` with QUILLMEND_THREADS=threads, its
// output to /dev/null.
Run ListJson(const std::string& path, unsigned threads)
{
    std::vector<std::string> env{"QUILLMEND_THREADS=" + std::to_string(threads)};
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("QUILLMEND_THREADS=", 0) != 0)
            env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = QUILLMEND_CLI, list = "list", json = "--json", file = path;
    char* argv[] = {program.data(), list.data(), file.data(), json.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const double cpu = CpuMs(RUSAGE_CHILDREN);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    int status = 0;
    const bool ran = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) == 0
                     && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!ran)
        std::abort();
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(), CpuMs(RUSAGE_CHILDREN) - cpu};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The thread counts reported: 1, 2 and every usable processor.
std::vector<unsigned> ThreadCounts()
{
    std::vector<unsigned> counts{1, 2};
    if (platform::UsableProcessors() > 2)
        counts.push_back(std::min(platform::UsableProcessors(), platform::kMaxWorkerThreads));
    return counts;
}

// Per iteration the plain pass, then the listing with each thread count;
// the time reported is the plain pass's, with the listings' medians and
// their ratios to the plain pass's median beside it: in wall time, and for
// one thread also in processor time, which other programs on a busy machine
// disturb less.
void BM_ListAgainstPlainPass(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    const std::string& path = Mailbox(shape);
    const std::vector<unsigned> counts = ThreadCounts();
    std::vector<double> plain, plainCpu;
    std::vector<std::vector<double>> wall(counts.size()), cpu(counts.size());
    for (auto _ : state) {
        const Run pass = PlainPass(path);
        plain.push_back(pass.wallMs);
        plainCpu.push_back(pass.cpuMs);
        state.SetIterationTime(pass.wallMs / 1000);
        state.PauseTiming();
        for (std::size_t c = 0; c < counts.size(); ++c) {
            const Run run = ListJson(path, counts[c]);
            wall[c].push_back(run.wallMs);
            cpu[c].push_back(run.cpuMs);
        }
        state.ResumeTiming();
    }
    const double floor = Median(plain);
    state.counters["plain_ms"] = floor;
    for (std::size_t c = 0; c < counts.size(); ++c) {
        const std::string n = std::to_string(counts[c]);
        state.counters["list" + n + "_ms"] = Median(wall[c]);
        state.counters["list" + n + "_per_plain"] = floor > 0 ? Median(wall[c]) / floor : 0;
        if (counts[c] == 1 && Median(plainCpu) > 0)
            state.counters["cpu1_per_plain_cpu"] = Median(cpu[c]) / Median(plainCpu);
    }
    dbx::DbxFile file;
    dbx::NullProgressSink quiet;
    if (file.Open(path))
        file.Scan(quiet);
    state.counters["records"] = file.GetCount();
    state.SetLabel(ShapeName(shape));
}

// Notes when the scan pass is over: the first position report that reaches
// the pass's last position.
class PassTimer final : public dbx::IProgressSink {
public:
    void SetTotal(std::int32_t total) override
    {
        start_ = Clock::now();
        lastPassPosition_ = static_cast<std::int32_t>(total / 1.2) - 5;
    }
    void SetPosRange(std::int32_t, std::int32_t last) override
    {
        if (!passDone_ && last >= lastPassPosition_) {
            passDone_ = true;
            end_ = Clock::now();
        }
    }
    double PassSeconds() const { return std::chrono::duration<double>(end_ - start_).count(); }

private:
    Clock::time_point start_, end_;
    std::int32_t lastPassPosition_ = 0;
    bool passDone_ = false;
};

// The scan pass alone, and the whole scan, in this process with the
// thread count of range(1).
void BM_ScanPass(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    dbx::ScanOptions options;
    options.threads = static_cast<unsigned>(state.range(1));
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        dbx::DbxFile file;
        if (!file.Open(Mailbox(shape)))
            std::abort();
        PassTimer timer;
        file.Scan(timer, options);
        state.SetIterationTime(timer.PassSeconds());
        bytes += file.View().size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.SetLabel(ShapeName(shape));
}

void BM_WholeScan(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    dbx::ScanOptions options;
    options.threads = static_cast<unsigned>(state.range(1));
    std::uint64_t bytes = 0;
    int records = 0;
    long peak = 0;
    for (auto _ : state) {
        ResetPeakRss();
        dbx::DbxFile file;
        if (!file.Open(Mailbox(shape)))
            std::abort();
        dbx::NullProgressSink quiet;
        file.Scan(quiet, options);
        records = file.GetCount();
        bytes += file.View().size();
        peak = std::max(peak, PeakRssKiB());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["records"] = records;
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
    state.SetLabel(ShapeName(shape));
}

// What `list` adds to a scan: From, To and Subject of every e-mail read
// again and decoded, on one thread.
void BM_DisplayTextsOfEveryEmail(benchmark::State& state)
{
    const auto shape = static_cast<Shape>(state.range(0));
    dbx::DbxFile file;
    dbx::NullProgressSink quiet;
    if (!file.Open(Mailbox(shape)))
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
    state.SetLabel(ShapeName(shape));
}

void BothShapes(benchmark::internal::Benchmark* b)
{
    b->ArgName("shape")->Arg(kUsual)->Arg(kReal);
}

void BothShapesAndThreads(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"shape", "threads"});
    for (const Shape shape : {kUsual, kReal})
        for (const unsigned threads : ThreadCounts())
            b->Args({shape, static_cast<std::int64_t>(threads)});
}

} // namespace

BENCHMARK(BM_ListAgainstPlainPass)->Apply(BothShapes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);
BENCHMARK(BM_ScanPass)->Apply(BothShapesAndThreads)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2);
BENCHMARK(BM_WholeScan)->Apply(BothShapesAndThreads)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DisplayTextsOfEveryEmail)->Apply(BothShapes)->Unit(benchmark::kMillisecond)->MinTime(2);

BENCHMARK_MAIN();
