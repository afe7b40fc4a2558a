// The cost of an e-mail's attachments: finding and decoding them (what the
// preview pays for its list and a save pays for the bytes), at the largest
// size the renderer reads (64 MB of stored text), whole and deleted, and on
// hostile shapes that must stay linear.
//   Targets (CPU time, of the stored text): Base64 and uuencoded files
//   decode at 100 MB/s or more, deleted ones (a gap in every block, the
//   structure repaired around them first) at 40 MB/s or more; a save writes
//   them at the disk's pace; no hostile shape takes more than a second.

#include "dbx/DbxFile.h"
#include "dbx/TextDamage.h"
#include "platform/Files.h"
#include "render/AttachmentSaver.h"
#include "render/Attachments.h"
#include "tools/dbxgen/MailboxBuilder.h"
#include "tools/dbxgen/MimeText.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

std::string Bytes(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// A boundary as Outlook Express wrote them: a gap cannot hold all of it.
std::string WithFile(const std::string& headers, const std::string& body)
{
    const std::string b = "----=_NextPart_000_0012_01C8537A.2B5C3E40";
    return "From: a@example.com\r\nSubject: file\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b +
           "\r\nContent-Type: text/plain\r\n\r\nhere\r\n--" + b + "\r\n" + headers + "\r\n" + body + "\r\n--" + b + "--\r\n";
}

const std::string& Base64Message()
{
    static const std::string message =
        WithFile("Content-Type: image/jpeg; name=\"a.jpg\"\r\nContent-Transfer-Encoding: base64\r\n",
                 dbxgen::Base64(Bytes(44u << 20)));
    return message;
}

const std::string& UuencodedMessage()
{
    static const std::string message =
        "From: a@example.com\r\nSubject: uu\r\n\r\nhere:\r\n" + dbxgen::Uuencode("a.zip", Bytes(44u << 20));
    return message;
}

dbx::TextDamage EveryBlock(const std::string& message)
{
    dbx::TextDamage damage;
    damage.paddedEnd = true;
    for (std::size_t at = 0; at < message.size(); at += 512)
        damage.overwritten.push_back({at, 4});
    return damage;
}

// range(0): 1 = hand each file's bytes over (a save), 0 = only list them
// (the preview); range(1): 1 = deleted, a gap in every block.
void Decode(benchmark::State& state, const std::string& message)
{
    const dbx::TextDamage damage = state.range(1) != 0 ? EveryBlock(message) : dbx::TextDamage{};
    std::uint64_t bytes = 0;
    const render::AttachmentHandler take = [&](std::size_t, const render::Attachment&,
                                               const render::AttachmentContent& content) {
        bytes += content.bytes.size();
    };
    for (auto _ : state)
        benchmark::DoNotOptimize(render::FindAttachments(message, damage, state.range(0) != 0 ? take : nullptr));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size()));
    state.counters["decoded_MB"] = static_cast<double>(bytes) / state.iterations() / (1 << 20);
}

void BM_Base64File(benchmark::State& state)
{
    Decode(state, Base64Message());
}
BENCHMARK(BM_Base64File)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_UuencodedFile(benchmark::State& state)
{
    Decode(state, UuencodedMessage());
}
BENCHMARK(BM_UuencodedFile)->ArgsProduct({{1}, {0, 1}})->Unit(benchmark::kMillisecond);

// Hostile shapes of range(0) bytes: "begin" lines without data, one every
// 16 bytes; attached messages nested 40 deep around a large file (each
// level's end looked for); a body of lines that look like uuencoded data.
void BM_HostileShape(benchmark::State& state, int shape)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    std::string message = "Subject: hostile\r\n\r\n";
    if (shape == 0) {
        while (message.size() < size)
            message += "begin 644 x\r\nq\r\n";
    } else if (shape == 1) {
        message = WithFile("Content-Type: application/pdf; name=\"a.pdf\"\r\n", std::string(size, 'a'));
        for (int depth = 0; depth < 40; ++depth)
            message = "Subject: level\r\nContent-Type: multipart/mixed; boundary=\"l" + std::to_string(depth)
                + "\"\r\n\r\n--l" + std::to_string(depth) + "\r\nContent-Type: message/rfc822\r\n\r\n" + message
                + "\r\n--l" + std::to_string(depth) + "--\r\n";
    } else {
        message += "begin 644 a\r\n";
        while (message.size() < size)
            message += "M" + std::string(60, '\x01') + "\r\n";
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(render::FindAttachments(message, {}, [](std::size_t, const render::Attachment&,
                                                                          const render::AttachmentContent&) {}));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size()));
}
BENCHMARK_CAPTURE(BM_HostileShape, BeginLines, 0)->Arg(16 << 20)->Arg(32 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostileShape, NestedMessages, 1)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostileShape, GapLines, 2)->Arg(16 << 20)->Arg(32 << 20)->Unit(benchmark::kMillisecond);

// A save of the Base64 file from a mailbox into a folder: read, decode,
// write and flush.
void BM_SaveFromMailbox(benchmark::State& state)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quillmend_bench_attachments";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    dbxgen::MailboxBuilder builder;
    builder.AddText(Base64Message());
    const std::string mailbox = (folder / "Inbox.dbx").string();
    if (!builder.Build().WriteTo(mailbox)) {
        state.SkipWithError("mailbox not written");
        return;
    }
    dbx::DbxFile file;
    file.Open(mailbox);
    dbx::IProgressSink quiet;
    file.Scan(quiet);
    int round = 0;
    for (auto _ : state) {
        const std::string out = (folder / std::to_string(round++)).string();
        std::filesystem::create_directories(out);
        render::AttachmentSaver saver(file, out);
        benchmark::DoNotOptimize(saver.SaveAll(0, 0));
        platform::SyncFolder(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Base64Message().size()));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveFromMailbox)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
