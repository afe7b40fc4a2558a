#include "cli/CliCommon.h"
#include "cli/SaveParts.h"

#include "archive/Sha256.h"
#include "dbx/HeaderFields.h"
#include "dbx/SaveNaming.h"
#include "mailtext/HeaderText.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <unordered_map>

namespace cli {

namespace {

constexpr std::size_t kRound = 4096;  // e-mails named, then written, together
constexpr std::size_t kAhead = 64;    // e-mails written past the last one told
using Clock = std::chrono::steady_clock;
constexpr auto kFlushEvery = std::chrono::milliseconds(20);

// One chosen e-mail on its way to a file.
struct EmlJob {
    int index = 0;
    std::string stem;            // the name its subject gives
    std::uint64_t dateUtc = 0;
    std::ptrdiff_t before = -1;  // the job before it in this round with the same stem
    bool stemTaken = false;      // its stem's file is taken by it or an earlier e-mail
    dbx::SaveOutcome outcome;
    std::string sha256;
    std::vector<std::string> warnings;  // told before its line
    std::atomic<int> done{0};
};

// Wakes the threads of a round that wait for an e-mail to be written or for
// lines to be printed. Not std::atomic::wait: where the C++ runtime has no
// futex (MinGW-w64's, GCC 12), its notify does not take the lock its wait
// sleeps under, and a wake-up between a waiter's check and its sleep is
// lost for good (a Windows save then hung now and then).
class RoundProgress {
public:
    template <typename Ready>
    void WaitUntil(Ready ready)
    {
        if (ready())
            return;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, ready);
    }
    // After a change that a waiter's `ready` reads: a waiter checks under
    // the lock, so it either sees the change or is asleep by now.
    void Changed()
    {
        { std::lock_guard lock(mutex_); }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

// Prints what became of a job, as the e-mails are saved: a line on stdout
// means the file exists and was written whole (closed without an error).
void Report(EmlJob& job, SaveTally& tally, std::vector<SavedEmail>& saved)
{
    const int i = job.index;
    // Standard error comes after the lines before it, as on a terminal
    // that shows both.
    if (!job.warnings.empty() || job.outcome.result != dbx::DbxFile::WriteResult::kWhole)
        std::fflush(stdout);
    for (const std::string& warning : job.warnings)
        Error(warning);
    switch (job.outcome.result) {
    case dbx::DbxFile::WriteResult::kWhole:
        ++tally.whole;
        std::printf("%d\t%s\n", i, PathForTerminal(job.outcome.path).c_str());
        break;
    case dbx::DbxFile::WriteResult::kCutShort:
        ++tally.cutShort;
        std::printf("%d\t%s\n", i, PathForTerminal(job.outcome.path).c_str());
        std::fflush(stdout);
        Error("e-mail " + std::to_string(i) + " is incomplete: the mail file shrank while it was read; " +
              PathForTerminal(job.outcome.path) + " holds what could be read");
        break;
    case dbx::DbxFile::WriteResult::kNotCreated:
        ++tally.failed;
        Error("could not save e-mail " + std::to_string(i) + " as " + PathForTerminal(job.outcome.path));
        break;
    }
    SavedEmail email;
    email.index = i;
    email.result = job.outcome.result;
    email.savedAs = std::move(job.outcome.path);
    if (job.outcome.Created()) {
        email.dateUtc = job.outcome.dateUtc;
        email.mtimeSet = job.outcome.dated;
        email.sha256 = std::move(job.sha256);
    }
    saved.push_back(std::move(email));
}

} // namespace

void SaveAsEml(const dbx::DbxFile& file, const std::vector<int>& chosen, const EmlOptions& o,
               std::vector<SavedEmail>& saved, SaveTally& tally)
{
    // The names are what one e-mail after the other would get: a subject's
    // name goes to the first e-mail with it whose file could be created,
    // the others get names from the clock. Every thread names and writes
    // e-mails of a round; an e-mail whose name an earlier one may take
    // waits for that one. The lines come out in order.
    std::unordered_map<std::string, bool> taken;  // stems of earlier rounds: whether their file exists
    Clock::time_point flushed = Clock::now();
    std::vector<EmlJob> jobs(std::min(kRound, chosen.size()));
    // Only a mapped file is read by several threads at once.
    const bool shared = !file.View().empty();
    const auto share = [&](auto&& job) {
        if (shared)
            platform::SharedWorkers().Run(job);
        else
            job(0u);
    };
    for (std::size_t first = 0; first < chosen.size(); first += kRound) {
        const std::size_t count = std::min(kRound, chosen.size() - first);
        std::atomic<std::size_t> next{0};
        share([&](unsigned) {
            dbx::HeaderLines texts;
            for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
                EmlJob& job = jobs[k];
                job.index = chosen[first + k];
                job.warnings.clear();
                job.sha256.clear();
                job.done.store(0, std::memory_order_relaxed);
                const dbx::EmailRecord& record = *file.GetAt(job.index);
                // The subject's display text and the Date line, in one read.
                mailtext::ReadDisplayTexts(file.Source(), record,
                                           dbx::HeaderBit(dbx::HeaderField::kSubject) | dbx::HeaderBit(dbx::HeaderField::kDate),
                                           texts);
                job.stem = dbx::MakeSaveName(texts[static_cast<std::size_t>(dbx::HeaderField::kSubject)]);
                job.dateUtc = dbx::DateUtcOfLine(texts[static_cast<std::size_t>(dbx::HeaderField::kDate)]);
            }
        });
        std::unordered_map<std::string_view, std::size_t> last;  // stem -> its last job so far in this round
        for (std::size_t k = 0; k < count; ++k) {
            EmlJob& job = jobs[k];
            job.before = -1;
            job.stemTaken = false;
            if (job.stem.empty())
                continue;
            const auto [at, fresh] = last.try_emplace(job.stem, k);
            if (!fresh) {
                job.before = static_cast<std::ptrdiff_t>(at->second);
                at->second = k;
            } else if (const auto it = taken.find(job.stem); it != taken.end()) {
                job.stemTaken = it->second;  // decided by an earlier round
            }
        }

        // Lines are printed by the calling thread; the others write at most
        // kAhead e-mails past the last line printed, so that a reader who
        // takes the lines slowly holds the save back as before.
        std::atomic<std::size_t> reported{0};
        RoundProgress progress;
        const auto isDone = [](const EmlJob& job) { return job.done.load(std::memory_order_acquire) != 0; };
        bool unflushed = false;
        const auto flush = [&] {
            std::fflush(stdout);
            flushed = Clock::now();
            unflushed = false;
        };
        const auto reportDone = [&] {
            std::size_t r = reported.load(std::memory_order_relaxed);
            const std::size_t from = r;
            while (r < count && jobs[r].done.load(std::memory_order_acquire))
                Report(jobs[r++], tally, saved);
            if (r > from) {
                // Lines go out as they come, a few milliseconds' worth at a
                // time rather than one system call each.
                unflushed = true;
                if (Clock::now() - flushed >= kFlushEvery || r == count)
                    flush();
                reported.store(r, std::memory_order_release);
                progress.Changed();
            }
        };
        // Before the printing thread waits, no line it holds waits with it.
        const auto waitFor = [&](const EmlJob& job) {
            if (unflushed)
                flush();
            progress.WaitUntil([&] { return isDone(job); });
        };
        next = 0;
        share([&](unsigned slot) {
            for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
                EmlJob& job = jobs[k];
                // Every job this one waits for below lies inside the window,
                // so none of them waits on the window in turn.
                for (std::size_t r; k >= (r = reported.load(std::memory_order_acquire)) + kAhead;) {
                    if (slot == 0) {
                        waitFor(jobs[r]);
                        reportDone();
                    } else {
                        progress.WaitUntil([&] { return reported.load(std::memory_order_acquire) != r; });
                    }
                }
                if (job.before >= 0) {
                    // Jobs are taken in order, so the one before is done or
                    // being done by another thread.
                    const EmlJob& before = jobs[static_cast<std::size_t>(job.before)];
                    if (slot == 0)
                        waitFor(before);
                    else
                        progress.WaitUntil([&] { return isDone(before); });
                    job.stemTaken = before.stemTaken;
                }
                bool created = false;
                job.outcome = dbx::WriteEml(file, o.folder, job.index, job.index, job.stem, !job.stemTaken,
                                            job.dateUtc, o.dateFiles, &created);
                job.stemTaken = job.stemTaken || created;
                if (job.outcome.Created()) {
                    if (o.dateFiles && job.dateUtc != 0 && !job.outcome.dated)
                        job.warnings.push_back("warning: could not date " + PathForTerminal(job.outcome.path));
                    std::uint64_t size = 0;
                    if (o.hash && !archive::HashFile(job.outcome.path, job.sha256, size))
                        job.warnings.push_back(PathForTerminal(job.outcome.path) + ": could not be read back for its SHA-256");
                }
                job.done.store(1, std::memory_order_release);
                progress.Changed();
                if (slot == 0)
                    reportDone();  // only the calling thread prints
            }
            // The calling thread prints on until every e-mail of the round
            // is told, which lets the others go on.
            for (std::size_t r; slot == 0 && (r = reported.load(std::memory_order_relaxed)) < count;) {
                waitFor(jobs[r]);
                reportDone();
            }
        });
        reportDone();
        for (const auto& [stem, k] : last)
            taken[std::string(stem)] = jobs[k].stemTaken;
    }
}

} // namespace cli
