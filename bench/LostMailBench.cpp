// The first selection of a large mail file in the browse window, from the
// click to its full list, and the search for e-mails in moved blocks that
// runs behind the list once it is shown: the list must come as fast as
// without that search. Beside them the scan and the search alone.
//
// The mailbox (512 MiB by default; QUILLMEND_BENCH_SIZE=2G for more) is made
// once by the fixture maker and kept in the build tree (the scan benchmark's).

#include "browse/CDbxBrowseWindow.h"
#include "dbx/DbxFile.h"
#include "dbx/MovedEmails.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>

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
        std::ifstream in(file, std::ios::binary);  // into the page cache first
        std::string buffer(1 << 20, '\0');
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
            ;
        return file;
    }();
    return path;
}

// The click on the file's node to its list, timed; then, not timed, the
// search behind the list to its end, reported as "behind_ms".
void BM_SelectToList(benchmark::State& state)
{
    double behind = 0;
    for (auto _ : state) {
        CDbxBrowseWindow window;
        window.resize(900, 600);
        window.show();
        QTreeWidgetItem* folder = window.AddFolderNode(QStringLiteral("bench"));
        window.AddDbxFile(folder, Mailbox());
        QCoreApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        window.Tree().setCurrentItem(folder->child(0));
        const auto listed = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(listed - start).count());
        if (window.MessageList().GetItemCount() == 0)
            std::abort();
        while (window.MovedSearch().Running() != -1)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        behind += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - listed).count();
    }
    state.counters["behind_ms"] = benchmark::Counter(behind / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SelectToList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Scan(benchmark::State& state)
{
    for (auto _ : state) {
        dbx::DbxFile file;
        if (!file.Open(Mailbox()))
            std::abort();
        dbx::NullProgressSink quiet;
        file.Scan(quiet);
        benchmark::DoNotOptimize(file.GetCount());
    }
}
BENCHMARK(BM_Scan)->Unit(benchmark::kMillisecond)->Iterations(3);

// The search for moved e-mails alone, on the scanned file.
void BM_FindMovedEmails(benchmark::State& state)
{
    dbx::DbxFile file;
    if (!file.Open(Mailbox()))
        std::abort();
    dbx::NullProgressSink quiet;
    file.Scan(quiet);
    for (auto _ : state) {
        dbx::ICarveProgress going;
        const dbx::MovedSearch found = dbx::FindMovedEmails(Mailbox(), file, going);
        benchmark::DoNotOptimize(found.records.size());
    }
}
BENCHMARK(BM_FindMovedEmails)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
