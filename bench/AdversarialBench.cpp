// Hostile block layouts at two sizes: the scan's work and memory must grow
// with the file, not with its square. Each layout is scanned in-process for
// the time and once more in a child process for its peak memory (the child's
// maximum resident size less that of an idle child, which includes the pages
// of the mapped file it read, and the peak of the bytes it had allocated). At
// the end a summary gives the processor time(2n)/time(n) and the peak memory
// as a share of the file size.
//
// Layouts (blocks 528 bytes apart, every payload full and free of zero
// bytes, so each chain's text runs through all of its blocks):
//   SharedTail           half the blocks form one ascending chain, the other
//                        half are e-mails that each link to its head
//   InterleavedBackwards one message stored backwards, an unrelated block
//                        after each of its blocks, a Subject in every block
//   DenseSharedTail      as SharedTail, but packed as tightly as headers go:
//                        32-byte e-mails linking to a tail of bare 16-byte
//                        headers

#include "dbx/DbxFile.h"
#include "tools/dbxgen/DbxImage.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <new>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// --- counting the bytes allocated ---------------------------------------------------

namespace {

std::atomic<std::size_t> g_liveBytes{0};
std::atomic<std::size_t> g_peakBytes{0};

// Out of line, so that the compiler does not pair the free() below with a
// new-expression it sees inlined.
[[gnu::noinline]] void* Allocated(void* p)
{
    if (!p)
        throw std::bad_alloc();
    const std::size_t now = g_liveBytes += malloc_usable_size(p);
    std::size_t peak = g_peakBytes.load();
    while (now > peak && !g_peakBytes.compare_exchange_weak(peak, now)) {
    }
    return p;
}

[[gnu::noinline]] void Released(void* p) noexcept
{
    if (p) {
        g_liveBytes -= malloc_usable_size(p);
        std::free(p);
    }
}

} // namespace

void* operator new(std::size_t n) { return Allocated(std::malloc(n ? n : 1)); }
void* operator new[](std::size_t n) { return Allocated(std::malloc(n ? n : 1)); }
void operator delete(void* p) noexcept { Released(p); }
void operator delete[](void* p) noexcept { Released(p); }
void operator delete(void* p, std::size_t) noexcept { Released(p); }
void operator delete[](void* p, std::size_t) noexcept { Released(p); }

// --- the layouts ---------------------------------------------------------------------

namespace {

constexpr std::uint32_t kSpan = dbxgen::kBlockSpan;
constexpr std::size_t kMiB = std::size_t{1} << 20;

std::string FullPayload(std::string head)
{
    head.resize(dbxgen::kPayloadSize, 'a');
    return head;
}

dbxgen::DbxImage SharedTail(std::size_t size)
{
    dbxgen::DbxImage image(size);
    const auto slots = static_cast<std::uint32_t>(size / kSpan);
    const std::uint32_t tail = slots / 2;
    const std::string filler = FullPayload("");
    const std::string mail = FullPayload("Subject: s\r\n");
    for (std::uint32_t i = 0; i < tail; ++i)
        image.PutLiveBlock(i * kSpan, filler, i + 1 < tail ? (i + 1) * kSpan : 0);
    for (std::uint32_t i = tail; i < slots; ++i)
        image.PutLiveBlock(i * kSpan, mail, 0);
    return image;
}

dbxgen::DbxImage InterleavedBackwards(std::size_t size)
{
    dbxgen::DbxImage image(size);
    const auto pairs = static_cast<std::uint32_t>(size / kSpan / 2) - 1;
    const std::string part = FullPayload("Subject: part\r\n");
    const std::string other = FullPayload("");
    auto at = [](std::uint32_t k) { return kSpan + 2 * kSpan * k; };
    for (std::uint32_t k = 0; k < pairs; ++k) {
        image.PutLiveBlock(at(k), part, k == 0 ? 0 : at(k - 1));
        image.PutLiveBlock(at(k) + kSpan, other, 0);
    }
    return image;
}

dbxgen::DbxImage DenseSharedTail(std::size_t size)
{
    dbxgen::DbxImage image(size);
    const std::size_t half = size / 2;
    std::uint32_t at = 0;
    for (; at + 32 < half; at += 16)
        image.PutLiveBlock(at, "", at + 16);
    image.PutLiveBlock(at, "", 0);
    for (at = static_cast<std::uint32_t>(half); at + 32 <= size; at += 32)
        image.PutLiveBlock(at, "Subject: s\r\n", 0);
    return image;
}

using Maker = dbxgen::DbxImage (*)(std::size_t);

struct Workspace {
    Workspace() : dir(std::filesystem::temp_directory_path() / ("quillmend-bench-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(dir);
    }
    ~Workspace() { std::filesystem::remove_all(dir); }

    // The layout's file, written on first use.
    std::string File(const std::string& name, Maker make, std::size_t size)
    {
        const std::string path = (dir / (name + "-" + std::to_string(size / kMiB) + ".dbx")).string();
        if (!std::filesystem::exists(path))
            make(size).WriteTo(path);
        return path;
    }

    std::filesystem::path dir;
};

Workspace& Files()
{
    static Workspace workspace;
    return workspace;
}

struct Result {
    double seconds = 0;
    double fileMiB = 0;
    double heapMiB = 0;
    double rssMiB = 0;
};
std::map<std::string, std::map<std::size_t, Result>>& Results()
{
    static std::map<std::string, std::map<std::size_t, Result>> results;
    return results;
}

double CpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::size_t ScanOnce(const std::string& path)
{
    dbx::DbxFile file;
    if (!file.Open(path))
        std::abort();
    dbx::NullProgressSink quiet;
    file.Scan(quiet);
    std::size_t blocks = 0;
    for (const dbx::EmailRecord& r : file.Records())
        blocks += r.blocks.size();
    return blocks;
}

// Peak memory of a fresh process that scans `path` (or does nothing when
// empty): {resident MiB, allocated MiB}. A forked copy of this process would
// start with its heap already resident, so the program runs itself anew.
std::pair<double, double> ChildPeak(const std::string& path)
{
    int fds[2];
    if (::pipe(fds) != 0)
        std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl("/proc/self/exe", "quillmend_bench_adversarial", "--peak-of", path.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char text[64] = {};
    const ssize_t got = ::read(fds[0], text, sizeof text - 1);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::abort();
    char* rest = nullptr;
    const double residentKiB = std::strtod(text, &rest);
    const double heap = std::strtod(rest, nullptr);
    return {residentKiB / 1024.0, heap / static_cast<double>(kMiB)};
}

// The child's side of ChildPeak: its peak resident size (VmHWM; the rusage
// of a child would carry over the parent's from before exec) and the peak of
// its allocated bytes.
int ReportPeak(const char* path)
{
    if (*path)
        ScanOnce(path);
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long residentKiB = -1;
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld kB", &residentKiB) == 1)
            break;
    if (status)
        std::fclose(status);
    std::printf("%ld %zu\n", residentKiB, g_peakBytes.load());
    return residentKiB < 0 ? 1 : 0;
}

void ScanLayout(benchmark::State& state, const char* name, Maker make)
{
    const auto size = static_cast<std::size_t>(state.range(0)) * kMiB;
    const std::string path = Files().File(name, make, size);
    std::size_t blocks = 0;
    double seconds = 0;
    for (auto _ : state) {
        // Processor time: the machine may be busy with other work meanwhile.
        const double start = CpuSeconds();
        blocks = ScanOnce(path);
        seconds += CpuSeconds() - start;
        benchmark::DoNotOptimize(blocks);
    }
    Result& r = Results()[name][size];
    r.seconds = seconds / static_cast<double>(state.iterations());
    r.fileMiB = static_cast<double>(size) / static_cast<double>(kMiB);
    const double idle = ChildPeak("").first;
    const auto [rss, heap] = ChildPeak(path);
    r.rssMiB = rss - idle;
    r.heapMiB = heap;
    state.counters["blocks_listed"] = static_cast<double>(blocks);
    state.counters["heap_MiB"] = heap;
    state.counters["rss_MiB"] = r.rssMiB;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

} // namespace

BENCHMARK_CAPTURE(ScanLayout, SharedTail, "SharedTail", SharedTail)
    ->Arg(50)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ScanLayout, InterleavedBackwards, "InterleavedBackwards", InterleavedBackwards)
    ->Arg(50)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ScanLayout, DenseSharedTail, "DenseSharedTail", DenseSharedTail)
    ->Arg(50)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--peak-of")
        return ReportPeak(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-22s %10s %10s %9s %12s %12s\n", "layout", "n (MiB)", "2n (MiB)", "t2n/tn",
                "heap/size", "rss/size");
    for (const auto& [name, bySize] : Results()) {
        if (bySize.size() != 2)
            continue;
        const Result& n = bySize.begin()->second;
        const Result& n2 = bySize.rbegin()->second;
        std::printf("%-22s %10.0f %10.0f %9.2f %5.2f %5.2f  %5.2f %5.2f\n", name.c_str(), n.fileMiB, n2.fileMiB,
                    n2.seconds / n.seconds, n.heapMiB / n.fileMiB, n2.heapMiB / n2.fileMiB, n.rssMiB / n.fileMiB,
                    n2.rssMiB / n2.fileMiB);
    }
    return 0;
}
