// The message list with 200,000 e-mails: filling it (the view asks only for
// the rows it shows) and sorting it by subject, from records alone and from
// a mail file whose header lines are read and decoded for the sort.

#include "dbx/DbxFile.h"
#include "tools/dbxgen/DbxImage.h"
#include "ui/CMessageListCtrl.h"
#include "ui/CMessageListModel.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 200'000;

const std::vector<dbx::EmailRecord>& Records()
{
    static const std::vector<dbx::EmailRecord> records = [] {
        std::mt19937 rng(42);
        const char* prefixes[] = {"", "Re: ", "Fwd: ", "RE: ", "[list] "};
        const char* words[] = {"meeting", "invoice", "Hello", "report", "party", "budget", "Urgent", "lunch",
                               "photos", "update", "draft", "question", "\xE9t\xE9", "plan", "notes", "Zebra"};
        std::vector<dbx::EmailRecord> out(kRows);
        for (int i = 0; i < kRows; ++i) {
            dbx::EmailRecord& r = out[static_cast<std::size_t>(i)];
            r.subject = prefixes[rng() % 5];
            for (unsigned w = 0, n = 2 + rng() % 6; w < n; ++w) {
                r.subject += words[rng() % 16];
                r.subject += ' ';
            }
            r.subject += std::to_string(rng() % 1000);
            r.from = "user" + std::to_string(rng() % 5000) + "@example.com";
            r.to = "me@example.com";
            r.date = 0x01C8000000000000ull + rng();
            r.isDeleted = rng() % 4 == 0;
            r.hasAttachment = rng() % 7 == 0;
        }
        return out;
    }();
    return records;
}

void Fill(CMessageListCtrl& list)
{
    const auto& records = Records();
    list.ResetList();
    for (int i = 0; i < kRows; ++i)
        list.AddRow(&records[static_cast<std::size_t>(i)], i);
    list.UpdateItemCount();
}

// A mail file of 200,000 one-block e-mails, a third of them with plain
// subjects, a third with UTF-8 Q words folded over two lines, a third with
// Windows-1251 B words; scanned once.
const dbx::DbxFile& MailFile()
{
    static const std::unique_ptr<dbx::DbxFile> file = [] {
        const std::string path = (std::filesystem::temp_directory_path() / "quillmend-list-bench.dbx").string();
        dbxgen::DbxImage image(4096 + std::size_t{kRows} * 528);
        std::mt19937 rng(7);
        const char* plain[] = {"Re: meeting", "invoice 2231", "Hello", "report for May", "[list] party"};
        for (int i = 0; i < kRows; ++i) {
            std::string subject;
            switch (i % 3) {
            case 0: subject = plain[rng() % 5] + std::string(" ") + std::to_string(rng() % 1000); break;
            case 1: subject = "=?utf-8?Q?Cat=C3=B3lica_" + std::to_string(rng() % 1000) + "?=\r\n =?utf-8?Q?_=E2=80=93_ok?="; break;
            default: subject = "=?windows-1251?B?zvL3uPIg5+Ag6uLg8PLg6w==?= " + std::to_string(rng() % 1000); break;
            }
            const std::string text = "From: user" + std::to_string(rng() % 5000) + "@example.com\r\nTo: me@example.com\r\n"
                                     "Subject: " + subject + "\r\nDate: Tue, 15 Jan 2008 10:20:30 +0100\r\n\r\nbody\r\n";
            image.PutLiveBlock(static_cast<std::uint32_t>(4096 + std::size_t(i) * 528), text, 0);
        }
        if (!image.WriteTo(path))
            std::abort();
        auto opened = std::make_unique<dbx::DbxFile>();
        dbx::NullProgressSink quiet;
        if (!opened->Open(path))
            std::abort();
        opened->Scan(quiet);
        std::filesystem::remove(path);  // stays mapped
        return opened;
    }();
    return *file;
}

void FillFromFile(CMessageListCtrl& list)
{
    const dbx::DbxFile& file = MailFile();
    list.ResetList();
    list.SetMailFile(&file);
    for (int i = 0; i < file.GetCount(); ++i)
        list.AddRow(file.GetAt(i), i);
    list.UpdateItemCount();
}

std::unique_ptr<CMessageListCtrl> ShownList()
{
    auto list = std::make_unique<CMessageListCtrl>();
    list->resize(800, 600);
    list->show();
    QCoreApplication::processEvents();
    return list;
}

// Refill and paint at once, as the first selection of a large file does.
void BM_FillAndPaint200k(benchmark::State& state)
{
    auto list = ShownList();
    std::uint64_t asked = 0;
    for (auto _ : state) {
        const std::uint64_t before = list->Model()->DataRequests();
        Fill(*list);
        list->viewport()->repaint();
        asked += list->Model()->DataRequests() - before;
    }
    state.counters["items"] = list->GetItemCount();
    state.counters["rows_shown"] = list->rowAt(list->viewport()->height() - 1) - list->rowAt(0) + 1;
    state.counters["cells_asked_per_fill"] = static_cast<double>(asked) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FillAndPaint200k)->Unit(benchmark::kMillisecond);

void SortBySubject(benchmark::State& state, int clicks)
{
    auto list = ShownList();
    for (auto _ : state) {
        state.PauseTiming();
        Fill(*list);
        for (int c = 1; c < clicks; ++c)
            list->OnColumnClick(CMessageListModel::kColumnSubject);
        state.ResumeTiming();
        list->OnColumnClick(CMessageListModel::kColumnSubject);
        list->viewport()->repaint();
    }
}

// First click: ascending, from record order.
void BM_SortBySubject200k(benchmark::State& state)
{
    SortBySubject(state, 1);
}
BENCHMARK(BM_SortBySubject200k)->Unit(benchmark::kMillisecond);

// Second click: descending, from ascending order.
void BM_SortBySubjectAgain200k(benchmark::State& state)
{
    SortBySubject(state, 2);
}
BENCHMARK(BM_SortBySubjectAgain200k)->Unit(benchmark::kMillisecond);

// First click after a refill from a mail file: every row's subject is read
// from the file and decoded, then the rows are sorted.
void BM_SortBySubjectFromFile200k(benchmark::State& state)
{
    auto list = ShownList();
    for (auto _ : state) {
        state.PauseTiming();
        FillFromFile(*list);
        state.ResumeTiming();
        list->OnColumnClick(CMessageListModel::kColumnSubject);
        list->viewport()->repaint();
    }
    state.counters["rows"] = list->GetItemCount();
}
BENCHMARK(BM_SortBySubjectFromFile200k)->Unit(benchmark::kMillisecond);

// The status line's count of ticked rows, read at every repaint.
void BM_TickedCount200k(benchmark::State& state)
{
    CMessageListCtrl list;
    Fill(list);
    list.TickExisting();
    for (auto _ : state)
        benchmark::DoNotOptimize(list.GetTickedCount());
}
BENCHMARK(BM_TickedCount200k)->Unit(benchmark::kMicrosecond);

} // namespace
