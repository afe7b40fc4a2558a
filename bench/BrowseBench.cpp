// The desktop program's first look at a big mail file: the time from
// selecting its node in the tree to the full list (the scan with its
// progress window, then the rows), on a 2 GiB mailbox of the real shape in
// the page cache. QUILLMEND_GUI_BENCH_SIZE changes the size (e.g. 512M);
// QUILLMEND_THREADS the threads.

#include "app/CQuillmendDlg.h"
#include "browse/CDbxBrowseWindow.h"
#include "dbx/DbxFile.h"
#include "platform/WorkerPool.h"
#include "ui/CMessageListCtrl.h"

#include <QApplication>
#include <QTest>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

std::string BenchSize()
{
    const char* size = std::getenv("QUILLMEND_GUI_BENCH_SIZE");
    return size && *size ? size : "2G";
}

// The mailbox, made on first use and brought into the page cache.
const std::string& Mailbox()
{
    static const std::string path = [] {
        const std::string dir = QUILLMEND_BENCH_DATA;
        std::filesystem::create_directories(dir);
        const std::string file = dir + "/real-mail-" + BenchSize() + ".dbx";
        if (!std::filesystem::exists(file)) {
            const std::string command = std::string(QUILLMEND_MKDBX) + " bench --size " + BenchSize() +
                                        " --shape real --seed 7 '" + file + "' >/dev/null";
            if (std::system(command.c_str()) != 0)
                std::abort();
        }
        std::ifstream in(file, std::ios::binary);
        std::string buffer(1 << 20, '\0');
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
            ;
        return file;
    }();
    return path;
}

void BM_SelectToFullList(benchmark::State& state)
{
    const std::string& path = Mailbox();
    // Preview files go to a private folder, as in the program's own runs.
    const std::string runtime = (std::filesystem::temp_directory_path() / "quillmend-browse-bench").string();
    std::filesystem::create_directories(runtime);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
    int rows = 0;
    for (auto _ : state) {
        auto dlg = std::make_unique<CQuillmendDlg>();
        dlg->show();
        if (!QTest::qWaitForWindowExposed(dlg.get()))
            state.SkipWithError("the window was not shown");
        CDbxBrowseWindow& browse = dlg->BrowseWindow();
        QTreeWidgetItem* folder = browse.AddFolderNode(QStringLiteral("Bench"));
        browse.AddDbxFile(folder, path);
        QTreeWidgetItem* node = folder->child(folder->childCount() - 1);
        QCoreApplication::processEvents();

        const auto start = std::chrono::steady_clock::now();
        browse.Tree().setCurrentItem(node);  // scans, then fills the list
        QCoreApplication::processEvents();   // and paints it
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        rows = browse.MessageList().GetItemCount();
    }
    qunsetenv("XDG_RUNTIME_DIR");
    state.counters["rows"] = rows;
    state.counters["threads"] = platform::WorkerThreads();
    state.counters["MiB"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
}
BENCHMARK(BM_SelectToFullList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
