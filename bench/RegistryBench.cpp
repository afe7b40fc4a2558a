// Reading a Wine registry file at start: indexing a big user.reg and
// looking up the store's keys, and shapes that could make the index slow
// (a key with very many sub-keys, one very deep key path, one huge value).
// Counters give bytes indexed per second and keys per file. Then a whole
// prefix read from disk whose [Environment] values refer to each other
// (each value's references doubling into gigabytes, or millions of values
// of one long variable): the counters give the bytes the expansion put in
// and the longest value.

#include "platform/RegistryFile.h"
#include "platform/WinePrefix.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string kHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n";

// About `bytes` of keys as Wine writes them: three values each (a string,
// a dword, a wrapped hex value), spread over a few levels, with the
// store's key near the end.
std::string TypicalHive(std::size_t bytes)
{
    std::string text = kHeader;
    for (int i = 0; text.size() < bytes; ++i) {
        text += "\n[Software\\\\Vendor" + std::to_string(i % 97) + "\\\\Product" + std::to_string(i) + "] 1700000000\n";
        text += "#time=1d9a5b2c3d4e5f6\n\"Name\"=\"Product \\x4e2d " + std::to_string(i) + "\"\n";
        text += "\"Count\"=dword:0000002a\n\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
                "  15,16,17,18,19,1a,1b,1c,1d,1e,1f\n";
    }
    text += "\n[Identities\\\\{A1}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1700000000\n"
            "\"Store Root\"=str(2):\"%UserProfile%\\\\Local Settings\\\\Identities\"\n";
    return text;
}

std::string ManySiblings(std::size_t bytes)
{
    std::string text = kHeader;
    for (int i = 0; text.size() < bytes; ++i)
        text += "[Identities\\\\{" + std::to_string(i * 7919 % 1000003) + "}] 1\n";
    return text;
}

std::string DeepPath(std::size_t bytes)
{
    std::string text = kHeader + "[";
    while (text.size() < bytes)
        text += "k\\\\";
    return text + "] 1\n\"v\"=\"x\"\n";
}

std::string HugeValue(std::size_t bytes)
{
    std::string text = kHeader + "[Identities\\\\{A1}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1\n"
                                 "\"Store Root\"=hex(2):41,00";
    while (text.size() < bytes)
        text += ",41,00,41,00,41,00,41,00,41,00,41,00,41,00,41,00,41,00,41,00,41,00,41,00,\\\n  41,00";
    return text + ",00,00\n";
}

void Index(benchmark::State& state, const std::string& text, const char* storeKey)
{
    std::size_t keys = 0;
    for (auto _ : state) {
        auto file = platform::RegistryFile::Parse(text);
        if (!file) {
            state.SkipWithError("not parsed");
            break;
        }
        keys = file->KeyCount();
        const auto key = file->FindKey(storeKey);
        const auto first = file->SubKeyName(platform::RegistryFile::kRoot, 0);
        benchmark::DoNotOptimize(first);
        if (key)
            benchmark::DoNotOptimize(file->FindValue(*key, "Store Root"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["keys"] = static_cast<double>(keys);
}

const char* const kStoreKey = "Identities\\{A1}\\Software\\Microsoft\\Outlook Express\\5.0";

void BM_TypicalHive32MiB(benchmark::State& state)
{
    static const std::string text = TypicalHive(32u << 20);
    Index(state, text, kStoreKey);
}

void BM_ManySiblings16MiB(benchmark::State& state)
{
    static const std::string text = ManySiblings(16u << 20);
    Index(state, text, "Identities");
}

void BM_DeepPath16MiB(benchmark::State& state)
{
    static const std::string text = DeepPath(16u << 20);
    Index(state, text, "k\\k\\k");
}

void BM_HugeValue16MiB(benchmark::State& state)
{
    static const std::string text = HugeValue(16u << 20);
    Index(state, text, kStoreKey);
}

// A prefix folder holding `userReg` as its user.reg, removed at the end.
class PrefixOnDisk {
public:
    explicit PrefixOnDisk(const std::string& userReg)
        : root_(std::filesystem::temp_directory_path() / ("quillmend-registry-bench-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(root_);
        std::ofstream(root_ / "user.reg", std::ios::binary) << userReg;
    }
    ~PrefixOnDisk() { std::filesystem::remove_all(root_); }
    std::string Root() const { return root_.string(); }

private:
    std::filesystem::path root_;
};

// An [Environment] key whose values each refer `repeat` times to the one
// before, the first being `start` characters long.
std::string ChainedVariables(int values, int repeat, std::size_t start)
{
    std::string text = kHeader + "[Environment] 1700000000\n\"V0\"=\"" + std::string(start, 'x') + "\"\n";
    for (int i = 1; i < values; ++i) {
        text += "\"V" + std::to_string(i) + "\"=str(2):\"";
        for (int n = 0; n < repeat; ++n)
            text += "%V" + std::to_string(i - 1) + "%";
        text += "\"\n";
    }
    return text;
}

// About `bytes` of values that each name one 30,000-character variable.
std::string ManyLongReferences(std::size_t bytes)
{
    std::string text = kHeader + "[Environment] 1700000000\n\"BIG\"=\"" + std::string(30000, 'b') + "\"\n";
    for (int i = 0; text.size() < bytes; ++i)
        text += "\"M" + std::to_string(i) + "\"=str(2):\"%BIG%%BIG%\"\n";
    return text;
}

void ReadPrefix(benchmark::State& state, const std::string& userReg)
{
    const PrefixOnDisk folder(userReg);
    std::size_t work = 0;
    std::size_t longest = 0;
    for (auto _ : state) {
        const platform::WinePrefix prefix(folder.Root(), "bench");
        work = prefix.ExpansionWork();
        longest = 0;
        for (const auto& [name, value] : prefix.Variables())
            longest = std::max(longest, value.chars);
    }
    state.counters["expandedBytes"] = static_cast<double>(work);
    state.counters["longestValue"] = static_cast<double>(longest);
}

// 2 KB: five values, each 64 references to the one before, from 1,000
// characters (unbounded, the last would be 16 GB).
void BM_ChainedVariables2KiB(benchmark::State& state)
{
    ReadPrefix(state, ChainedVariables(5, 64, 1000));
}

// The same with four values (unbounded, 262 MB), to compare with a build
// that has no bounds.
void BM_ChainedVariablesFourDeep(benchmark::State& state)
{
    ReadPrefix(state, ChainedVariables(4, 64, 1000));
}

void BM_ManyLongReferences16MiB(benchmark::State& state)
{
    static const std::string text = ManyLongReferences(16u << 20);
    ReadPrefix(state, text);
}

} // namespace

BENCHMARK(BM_TypicalHive32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManySiblings16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepPath16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeValue16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChainedVariables2KiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChainedVariablesFourDeep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManyLongReferences16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
