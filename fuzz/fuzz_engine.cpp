// The whole engine on arbitrary file bytes: open them as a mail file, scan
// it (on one thread, and shared among threads), read every e-mail and save
// some of them. Beyond "no crash, no hang",
// every listed record must make sense: its blocks are real headers of one
// kind linked one to the next, the records come in the promised order, the
// saved text is the read text, and the header fields are what a plain
// search of the text gives.

#include "FuzzCheck.h"
#include "FuzzScratch.h"

#include "dbx/DbxFile.h"
#include "dbx/DisplayText.h"
#include "dbx/HeaderFields.h"
#include "dbx/Simd.h"
#include "mailtext/HeaderText.h"
#include "platform/FileTime.h"
#include "tests/dbx/PlainHeader.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

// Progress must start at 0 and run on without gaps or steps back.
class CheckingSink : public dbx::IProgressSink {
public:
    void SetTotal(std::int32_t steps) override
    {
        FUZZ_CHECK(totals++ == 0);
        total = steps;
    }
    void SetPos(std::int32_t pos) override { SetPosRange(pos, pos); }
    void SetPosRange(std::int32_t first, std::int32_t last) override
    {
        if (last < first)
            return;
        FUZZ_CHECK(first == next);
        next = last + 1;
    }
    int totals = 0;
    std::int32_t total = -1;
    std::int32_t next = 0;
};

std::uint32_t U32(std::string_view view, std::uint64_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(view[at + static_cast<std::uint64_t>(i)]);
    return v;
}

void CheckRecord(std::string_view view, const dbx::EmailRecord& r)
{
    FUZZ_CHECK(!r.blocks.empty());
    FUZZ_CHECK(!r.from.empty() || !r.to.empty() || !r.subject.empty());
    FUZZ_CHECK(r.from.size() <= 511 && r.to.size() <= 511 && r.subject.size() <= 511);
    for (std::size_t k = 0; k < r.blocks.size(); ++k) {
        const dbx::BlockRef& b = r.blocks[k];
        FUZZ_CHECK(b.offset % 4 == 0);
        FUZZ_CHECK(std::uint64_t{b.offset} + 16 <= view.size());
        FUZZ_CHECK(U32(view, b.offset) == b.offset);
        FUZZ_CHECK(U32(view, b.offset + 12) == b.nextOffset);
        if (r.isDeleted) {
            FUZZ_CHECK(b.blockSize == 528 && b.dataLength == 512);
            FUZZ_CHECK(U32(view, b.offset + 4) == 508 && U32(view, b.offset + 8) == 528);
        } else {
            FUZZ_CHECK(b.blockSize == 512 && b.dataLength <= 512);
            FUZZ_CHECK(U32(view, b.offset + 4) == 512 && U32(view, b.offset + 8) == b.dataLength);
        }
        if (k > 0)
            FUZZ_CHECK(r.blocks[k - 1].nextOffset == b.offset);  // each block is the one linked to
        for (std::size_t e = 0; e < k; ++e)
            FUZZ_CHECK(r.blocks[e].offset != b.offset);  // no block twice in a chain
    }

    bool subjectIsRaw = false;
    const dbx::EmailRecord plain = dbxtest::PlainExtract(view, r, subjectIsRaw);
    FUZZ_CHECK(r.hasAttachment == plain.hasAttachment);
    FUZZ_CHECK(r.from == plain.from);
    FUZZ_CHECK(r.to == plain.to);
    FUZZ_CHECK(r.date == plain.date);
    if (subjectIsRaw)  // encoded words have a target of their own
        FUZZ_CHECK(r.subject == plain.subject);

    // The header lines read again: each begins with the engine's value (the
    // rest of its line and continuation lines may follow), each is bounded,
    // and their display texts are valid UTF-8.
    dbx::HeaderLines lines;
    dbx::ReadHeaderLines(view, r, 0xF, lines);
    const std::string* fields[] = {&r.from, &r.to, nullptr, &r.subject};
    for (std::size_t f = 0; f < lines.size(); ++f) {
        FUZZ_CHECK(lines[f].size() <= dbx::kMaxHeaderLine);
        FUZZ_CHECK(lines[f].find_first_of("\r\n") == std::string::npos);
        if (fields[f] && !fields[f]->empty() && f != 3) {
            const std::string_view first = std::string_view(*fields[f]).substr(0, fields[f]->find('\n'));
            FUZZ_CHECK(std::string_view(lines[f]).starts_with(first.substr(0, first.find_last_not_of(" \t") + 1)));
        }
    }
    // Read from the value positions the scan kept, as a fresh search would.
    dbx::EmailRecord unkept = r;
    unkept.valueAt.fill(dbx::EmailRecord::kNotSought);
    dbx::HeaderLines searched;
    dbx::ReadHeaderLines(view, unkept, 0xF, searched);
    FUZZ_CHECK(searched == lines);
    dbx::HeaderLines texts;
    mailtext::ReadDisplayTexts(view, r, 0xF, texts);
    for (const dbx::HeaderField f : {dbx::HeaderField::kFrom, dbx::HeaderField::kTo, dbx::HeaderField::kSubject}) {
        const std::string& text = texts[static_cast<std::size_t>(f)];
        FUZZ_CHECK(dbx::IsValidUtf8(text) && text.size() <= mailtext::kMaxDisplayText);
    }
    // The Date line comes as it stands, and only where the list shows a date.
    const std::size_t date = static_cast<std::size_t>(dbx::HeaderField::kDate);
    FUZZ_CHECK(texts[date] == (r.date != 0 ? lines[date] : std::string()));
}

std::string ReadBack(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static FuzzScratch scratch;
    static const bool clockFixed = [] {
        platform::SetNowForTesting(platform::FileTime{128'000'000'000'000'000});
        return true;
    }();
    (void)clockFixed;

    const std::string path = scratch.File("input.dbx");
    std::filesystem::remove(path);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        FUZZ_CHECK(out.flush());
    }

    dbx::DbxFile file;
    if (!file.Open(path)) {
        FUZZ_CHECK(size == 0);
        return 0;
    }
    CheckingSink sink;
    file.Scan(sink, dbx::ScanOptions{1});
    FUZZ_CHECK(file.IsScanned());
    FUZZ_CHECK(sink.totals == 1);
    FUZZ_CHECK(sink.total == static_cast<std::int32_t>(static_cast<double>(size / 4) * 1.2));
    FUZZ_CHECK(sink.next >= static_cast<std::int32_t>(size / 4 > 4 ? size / 4 - 4 : 0));

    // Shared among the process's threads (QUILLMEND_THREADS of them) in
    // pieces small enough for many seams and rounds, and through the 16-byte
    // inner loops where the first scan took wider ones, the scan lists the
    // same and reports the same steps.
    {
        dbx::DbxFile shared;
        FUZZ_CHECK(shared.Open(path));
        CheckingSink sharedSink;
        dbx::simd::SetBaselineForTesting(true);
        shared.Scan(sharedSink, dbx::ScanOptions{0, 1 + size % 61, 1 + size % 5});
        dbx::simd::SetBaselineForTesting(false);
        FUZZ_CHECK(shared.Records() == file.Records());
        FUZZ_CHECK(shared.OmittedChains() == file.OmittedChains());
        FUZZ_CHECK(sharedSink.next == sink.next && sharedSink.total == sink.total);
    }

    const std::string_view view = file.View();
    FUZZ_CHECK(view.size() == size && std::memcmp(view.data(), data, size) == 0);
    const int count = file.GetCount();
    FUZZ_CHECK(file.GetAt(-1) == nullptr && file.GetAt(count) == nullptr);
    for (int i = 0; i < count; ++i) {
        const dbx::EmailRecord* r = file.GetAt(i);
        FUZZ_CHECK(r != nullptr);
        CheckRecord(view, *r);
        if (i > 0) {
            // Deleted e-mails first, each group in the order of its chains' first blocks.
            const dbx::EmailRecord& before = *file.GetAt(i - 1);
            FUZZ_CHECK(before.isDeleted >= r->isDeleted);
            if (before.isDeleted == r->isDeleted)
                FUZZ_CHECK(before.blocks.front().offset < r->blocks.front().offset);
        }

        std::string text;
        FUZZ_CHECK(file.ReadMessage(i, text));
        FUZZ_CHECK(text.size() == file.MessageSize(i));
        if (i < 4) {
            const std::string saved = scratch.File("saved.eml");
            std::filesystem::remove(saved);
            FUZZ_CHECK(file.WriteMessage(i, saved) == dbx::DbxFile::WriteResult::kWhole);
            FUZZ_CHECK(ReadBack(saved) == text);
            FUZZ_CHECK(file.WriteMessage(i, saved) == dbx::DbxFile::WriteResult::kNotCreated);  // never over an existing file
        }
    }

    // A second scan of a file with records changes nothing.
    if (count > 0) {
        const std::vector<dbx::EmailRecord> first = file.Records();
        file.Scan(sink);
        FUZZ_CHECK(file.Records() == first);
    }
    return 0;
}
