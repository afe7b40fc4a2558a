// How fast the carver reads a large disk image, next to `cat IMAGE >
// /dev/null` in the same run: with the image in the page cache (goal: within
// 1.5 times cat) and with it dropped from the cache (goal: as fast as the
// disk). Also its peak memory, and how much of a cold image it leaves in the
// cache.
//
// The image (4 GiB by default; QUILLMEND_CARVE_BENCH_SIZE=64G for more) is
// made once by the fixture maker and kept in the build tree: noise and
// zeros, with four mail files cut into pieces somewhere inside.

#include "dbx/Carver.h"
#include "tools/dbxgen/CarveImages.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::uint64_t ImageSize()
{
    const char* size = std::getenv("QUILLMEND_CARVE_BENCH_SIZE");
    const std::uint64_t gib = size && *size ? std::strtoull(size, nullptr, 10) : 4;
    return (gib ? gib : 4) << 30;
}

const std::string& Image()
{
    static const std::string path = [] {
        const std::string dir = QUILLMEND_BENCH_DATA;
        std::filesystem::create_directories(dir);
        const std::string file = dir + "/carve-" + std::to_string(ImageSize() >> 30) + "G.img";
        std::error_code ec;
        if (std::filesystem::file_size(file, ec) != ImageSize()) {
            const auto files = dbxgen::MakeMailFiles(4, 2u << 20, 9);
            if (!dbxgen::WriteLargeImage(file, ImageSize(), files, 4096, 9))
                std::abort();
        }
        return file;
    }();
    return path;
}

// Drops the image from the page cache (only this file's pages).
void MakeCold()
{
    const int fd = ::open(Image().c_str(), O_RDONLY);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void MakeWarm()
{
    std::ifstream in(Image(), std::ios::binary);
    std::string buffer(4 << 20, '\0');
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
        ;
}

// MiB of the image in the page cache.
double CachedMiB()
{
    const int fd = ::open(Image().c_str(), O_RDONLY);
    const std::size_t size = static_cast<std::size_t>(ImageSize());
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return -1;
    const std::size_t page = 4096;
    std::string cached((size + page - 1) / page, '\0');
    ::mincore(map, size, reinterpret_cast<unsigned char*>(cached.data()));
    ::munmap(map, size);
    std::size_t pages = 0;
    for (const char c : cached)
        pages += static_cast<unsigned char>(c) & 1;
    return static_cast<double>(pages * page) / (1 << 20);
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

double Seconds(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Cat()
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(("cat '" + Image() + "' > /dev/null").c_str()) != 0)
        std::abort();
    return Seconds(start);
}

void Carve(benchmark::State& state, bool cold)
{
    double catSeconds = 0, carveSeconds = 0;
    long peak = 0;
    std::size_t mails = 0;
    double cachedAfter = 0;
    for (auto _ : state) {
        cold ? MakeCold() : MakeWarm();
        catSeconds += Cat();
        cold ? MakeCold() : MakeWarm();
        std::ofstream("/proc/self/clear_refs") << "5";
        const auto start = std::chrono::steady_clock::now();
        dbx::Carver carver;
        if (!carver.Open(Image()))
            std::abort();
        dbx::ICarveProgress quiet;
        carver.Run(quiet);
        const double seconds = Seconds(start);
        state.SetIterationTime(seconds);
        carveSeconds += seconds;
        peak = std::max(peak, PeakRssKiB());
        mails = 0;
        for (const auto& file : carver.Files())
            mails += static_cast<std::size_t>(file->File().GetCount());
        if (cold)
            cachedAfter = CachedMiB();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["cat_s"] = catSeconds / n;
    state.counters["carve_s"] = carveSeconds / n;
    state.counters["ratio"] = carveSeconds / catSeconds;
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["emails"] = static_cast<double>(mails);
    if (cold)
        state.counters["cached_after_MiB"] = cachedAfter;
    state.SetBytesProcessed(static_cast<std::int64_t>(n * static_cast<double>(ImageSize())));
}

void BM_CarveWarm(benchmark::State& state)
{
    Carve(state, false);
}

void BM_CarveCold(benchmark::State& state)
{
    Carve(state, true);
}

} // namespace

BENCHMARK(BM_CarveWarm)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CarveCold)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

BENCHMARK_MAIN();
