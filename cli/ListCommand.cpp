#include "cli/CliCommon.h"
#include "cli/EmailOutput.h"

#include "platform/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

namespace cli {

namespace {

constexpr const char* kListUsage =
    "usage: quillmend-cli list FILE.dbx [--json]\n"
    "Scans FILE.dbx and lists every e-mail found in it, deleted ones first, with\n"
    "From, To and Subject decoded for reading.\n"
    "  --json   one JSON array, an object per e-mail, for scripts: from, to and\n"
    "           subject as the mail file holds them, fromText, toText and\n"
    "           subjectText decoded\n";

// Writes the text `append(out, i)` makes of every e-mail i, in order. The
// texts of a mapped file's e-mails are made by every thread, a round at a
// time, each round written when it is done.
template <class Append>
void WriteEmails(const dbx::DbxFile& file, Append append)
{
    constexpr int kBatch = 64;        // e-mails a thread takes at a time
    constexpr int kRoundBatches = 64;
    std::vector<std::string> texts(kRoundBatches);
    const int count = file.GetCount();
    for (int first = 0; first < count; first += kBatch * kRoundBatches) {
        const int batches = std::min(kRoundBatches, (count - first + kBatch - 1) / kBatch);
        std::atomic<int> next{0};
        const auto make = [&](unsigned) {
            for (int b; (b = next.fetch_add(1, std::memory_order_relaxed)) < batches;) {
                texts[b].clear();
                for (int i = first + b * kBatch; i < std::min(count, first + (b + 1) * kBatch); ++i)
                    append(texts[b], i);
            }
        };
        // Only a mapped file is read by several threads at once.
        if (batches > 1 && !file.View().empty())
            platform::SharedWorkers().Run(make);
        else
            make(0);
        for (int b = 0; b < batches; ++b)
            std::fwrite(texts[b].data(), 1, texts[b].size(), stdout);
    }
}

void PrintTable(const dbx::DbxFile& file)
{
    PrintEmailHeading();
    WriteEmails(file, [&file](std::string& out, int i) { AppendEmailRow(out, file, i); });
    std::printf("%d e-mail%s\n", file.GetCount(), file.GetCount() == 1 ? "" : "s");
}

void PrintJson(const dbx::DbxFile& file)
{
    std::fputs("[", stdout);
    WriteEmails(file, [&file](std::string& out, int i) {
        out += i == 0 ? "\n" : ",\n";
        AppendEmailJson(out, file, i);
    });
    std::fputs("\n]\n", stdout);
}

} // namespace

int RunList(const std::vector<std::string>& args)
{
    bool json = false;
    std::vector<std::string> operands;
    if (const auto done = ReadJsonOption("list", kListUsage, args, 1, json, operands))
        return *done;
    if (operands.empty()) {
        std::fputs(kListUsage, stderr);
        return kExitUsage;
    }
    const std::string& path = operands.front();
    dbx::DbxFile file;
    if (!OpenAndScan(path, file))
        return kExitUsage;
    if (json)
        PrintJson(file);
    else
        PrintTable(file);
    const bool printed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const bool incomplete = WarnIfIncomplete(path, file);
    return printed && !incomplete ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
