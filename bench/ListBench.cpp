// The message list with 200,000 e-mails: filling it (the view asks only for
// the rows it shows) and sorting it by subject.

#include "ui/CMessageListCtrl.h"
#include "ui/CMessageListModel.h"

#include <QApplication>

#include <benchmark/benchmark.h>

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
