// How close `quillmend-cli save` comes to the floor: a plain program that
// creates the same files with O_EXCL, writes each in one call and closes it.
// Both write into a RAM file system (/dev/shm when it is one, else the temp
// folder, which the output names), so the disk is out of the picture and
// what is left is the program's own work. The save is the whole command as
// a user runs it, the scan included, started as a process with its output
// going nowhere. The target: save within 1.5 times the floor.
//
// The mailbox is many small e-mails (about 36,900 in 512 MiB, 2 % with
// attachments; QUILLMEND_BENCH_SIZE=128M for a quicker run), made once by
// the fixture maker and kept in the build tree.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string BenchSize()
{
    const char* size = std::getenv("QUILLMEND_BENCH_SIZE");
    return size && *size ? size : "512M";
}

const std::string& Mailbox()
{
    static const std::string path = [] {
        const std::string dir = QUILLMEND_BENCH_DATA;
        fs::create_directories(dir);
        const std::string file = dir + "/small-mail-" + BenchSize() + ".dbx";
        if (!fs::exists(file)) {
            const std::string command = std::string(QUILLMEND_MKDBX) + " bench --size " + BenchSize() +
                                        " --attachment-share 0.02 --seed 7 '" + file + "' >/dev/null";
            if (std::system(command.c_str()) != 0)
                std::abort();
        }
        return file;
    }();
    return path;
}

bool IsRamFileSystem(const fs::path& dir)
{
    struct statfs info {};
    constexpr long kTmpfsMagic = 0x01021994;
    return ::statfs(dir.c_str(), &info) == 0 && static_cast<long>(info.f_type) == kTmpfsMagic;
}

// A fresh folder on a RAM file system for this run's output, removed with
// everything in it when the benchmark ends.
struct OutputFolder {
    fs::path path;
    OutputFolder()
    {
        const fs::path base = IsRamFileSystem("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = base / ("quillmend-savebench-" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~OutputFolder()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& OutputRoot()
{
    static const OutputFolder folder;
    return folder.path;
}

// Runs quillmend-cli with `args` after the program's name, stdout and
// stderr to /dev/null; false unless it exits 0.
bool RunCli(std::vector<std::string> args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = QUILLMEND_CLI;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool RunSave(const fs::path& folder)
{
    return RunCli({"save", Mailbox(), folder.string()});
}

// The scan alone (and one e-mail written to /dev/null): the part of the
// save that the floor has no counterpart for.
bool RunScan()
{
    return RunCli({"cat", Mailbox(), "0"});
}

struct OutputFile {
    std::string name;
    std::string bytes;
};

// The files one save writes, read back into memory for the floor.
const std::vector<OutputFile>& SavedFiles()
{
    static const std::vector<OutputFile> files = [] {
        const fs::path folder = OutputRoot() / "reference";
        if (!RunSave(folder))
            std::abort();
        std::vector<OutputFile> read;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            read.push_back({entry.path().filename().string(),
                            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});
        }
        fs::remove_all(folder);
        return read;
    }();
    return files;
}

// The floor: each file created exclusively, written in one call, closed.
bool WriteFloor(const fs::path& folder)
{
    fs::create_directory(folder);
    for (const OutputFile& file : SavedFiles()) {
        const int fd = ::open((folder / file.name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, file.bytes.data(), file.bytes.size()) == static_cast<ssize_t>(file.bytes.size());
        if (::close(fd) != 0 || !written)
            return false;
    }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Processor time (user and system) of this process or of its ended children.
double CpuMs(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Timed {
    double wallMs = 0;
    double cpuMs = 0;
};

// The wall time of f() and the processor time `who` spent on it.
template <class F>
Timed Time(int who, F&& f)
{
    const double cpu = CpuMs(who);
    const Clock::time_point start = Clock::now();
    if (!f())
        std::abort();
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(), CpuMs(who) - cpu};
}

// Floor and save in turns, each into a fresh folder (removed untimed); the
// time reported is the save's, with the floor and the ratio of the medians
// beside it, in wall time and in processor time (which other programs on
// a busy machine disturb less), and the scan's share of it in processor time.
void BM_SaveAgainstFloor(benchmark::State& state)
{
    const std::size_t files = SavedFiles().size();
    std::vector<double> floorMs, saveMs, floorCpu, saveCpu, scanCpu;
    for (auto _ : state) {
        const fs::path floorDir = OutputRoot() / "floor", saveDir = OutputRoot() / "save";
        const Timed floor = Time(RUSAGE_SELF, [&] { return WriteFloor(floorDir); });
        const Timed save = Time(RUSAGE_CHILDREN, [&] { return RunSave(saveDir); });
        state.PauseTiming();
        scanCpu.push_back(Time(RUSAGE_CHILDREN, [] { return RunScan(); }).cpuMs);
        state.ResumeTiming();
        floorMs.push_back(floor.wallMs);
        floorCpu.push_back(floor.cpuMs);
        saveMs.push_back(save.wallMs);
        saveCpu.push_back(save.cpuMs);
        state.SetIterationTime(save.wallMs / 1000);
        state.PauseTiming();
        fs::remove_all(floorDir);
        fs::remove_all(saveDir);
        state.ResumeTiming();
    }
    const double floor = Median(floorMs), save = Median(saveMs);
    state.counters["files"] = static_cast<double>(files);
    state.counters["floor_ms"] = floor;
    state.counters["save_ms"] = save;
    state.counters["save_per_floor"] = floor > 0 ? save / floor : 0;
    const double cpuFloor = Median(floorCpu);
    state.counters["cpu_save_per_floor"] = cpuFloor > 0 ? Median(saveCpu) / cpuFloor : 0;
    state.counters["cpu_scan_per_floor"] = cpuFloor > 0 ? Median(scanCpu) / cpuFloor : 0;
    state.SetLabel(IsRamFileSystem(OutputRoot()) ? "RAM file system" : "not a RAM file system: " + OutputRoot().string());
}

} // namespace

BENCHMARK(BM_SaveAgainstFloor)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

BENCHMARK_MAIN();
