// How fast the search walks a large folder tree (50,000 directories and
// 200,000 files, a few hundred of them mail files) that is in the kernel's
// caches, next to find(1) looking for the same names on the same tree.
// Goal: the walk within 1.5 times find's time.
//
// The tree is made once in the build tree (QUILLMEND_SEARCH_TREE names
// another place) and kept; a marker file says it is complete.

#include "search/DbxFileSearch.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kDirectories = 50'000;
constexpr int kFilesPerDirectory = 4;  // 200,000 files
constexpr int kFanOut = 6;

// Names as a Windows disk holds them: documents, pictures, dotted folders,
// and now and then an Outlook Express store.
void Fill(const fs::path& dir, int index)
{
    static const char* const kFiles[] = {"notes.txt", "Photo %d.JPG", "report-%d.doc", "setup.log",
                                         "desktop.ini", "Budget %d.xls", "thumbs.db", "readme"};
    for (int k = 0; k < kFilesPerDirectory; ++k) {
        std::string name;
        if (index % 160 == 0 && k == 0)
            name = "Inbox.dbx";
        else if (index % 160 == 0 && k == 1)
            name = "Sent Items.DBX";
        else
            name = kFiles[(index + k) % 8];
        if (const auto at = name.find("%d"); at != std::string::npos)
            name.replace(at, 2, std::to_string(index * 4 + k));
        std::ofstream(dir / name) << name;
    }
}

std::string MakeTree()
{
    const char* env = std::getenv("QUILLMEND_SEARCH_TREE");
    const fs::path root = env && *env ? fs::path(env) : fs::path(QUILLMEND_BENCH_DATA) / "search-tree";
    if (fs::exists(root / ".complete"))
        return root.string();
    fs::remove_all(root);
    fs::create_directories(root);
    // Breadth first, kFanOut subdirectories each, until there are enough.
    std::deque<fs::path> queue{root};
    int made = 0;
    int filled = 0;
    while (!queue.empty()) {
        const fs::path dir = queue.front();
        queue.pop_front();
        if (filled < kDirectories)
            Fill(dir, filled++);
        for (int k = 0; k < kFanOut && made < kDirectories - 1; ++k, ++made) {
            const std::string name = k == 0 ? "Backup." + std::to_string(2000 + made % 20)
                                     : k == 1 ? "Local Settings"
                                              : "folder" + std::to_string(made);
            fs::create_directory(dir / name);
            queue.push_back(dir / name);
        }
    }
    std::ofstream(root / ".complete") << "";
    return root.string();
}

const std::string& Tree()
{
    static const std::string root = MakeTree();
    return root;
}

class Counter final : public search::ISearchObserver {
public:
    bool SearchDirectory(const std::string&) override
    {
        ++directories;
        return true;
    }
    void MailFileFound(const std::string&, std::uint64_t) override { ++files; }
    long directories = 0;
    long files = 0;
};

void BM_SearchWalk(benchmark::State& state)
{
    const std::string& root = Tree();
    const search::FileSystemBoundary boundary = search::FileSystemBoundary::OfThisSystem();
    Counter counter;
    for (auto _ : state) {
        counter = Counter();
        search::DbxFileSearch walk(counter, boundary);
        walk.SearchTree(root, false);
    }
    state.counters["directories"] = static_cast<double>(counter.directories);
    state.counters["mail_files"] = static_cast<double>(counter.files);
}
BENCHMARK(BM_SearchWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same names found by find(1), process start included (about a
// millisecond).
void BM_FindCommand(benchmark::State& state)
{
    const std::string command = "find '" + Tree() + "' -iname '*.dbx' >/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("find failed");
}
BENCHMARK(BM_FindCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
