#pragma once
// Small builders for engine tests: messages laid out as block chains at
// chosen offsets, files opened as DbxFile, a sink that records progress and
// a fixed clock.

#include "dbx/DbxFile.h"
#include "platform/FileTime.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DbxImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dbxtest {

// Splits `text` into 512-byte payloads at `offsets` (in chain order) and
// links them; the last block links to `lastNext`.
inline void PutChain(dbxgen::DbxImage& image, const std::vector<std::uint32_t>& offsets,
                     std::string_view text, bool deleted, std::uint32_t lastNext = 0)
{
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        const std::string_view part = text.substr(std::min(text.size(), i * 512), 512);
        const std::uint32_t next = i + 1 < offsets.size() ? offsets[i + 1] : lastNext;
        if (deleted)
            image.PutDeletedBlock(offsets[i], part, next);
        else
            image.PutLiveBlock(offsets[i], part, next);
    }
}

// `count` block offsets from `first`, `stride` bytes apart.
inline std::vector<std::uint32_t> Run(std::uint32_t first, std::size_t count, std::uint32_t stride = 528)
{
    std::vector<std::uint32_t> offsets(count);
    for (std::size_t i = 0; i < count; ++i)
        offsets[i] = first + static_cast<std::uint32_t>(i) * stride;
    return offsets;
}

// A header block of exactly `size` bytes with no zero byte in it, so that
// the text runs on into the next block.
inline std::string Filled(std::string head, std::size_t size = 512)
{
    head.resize(size, 'x');
    return head;
}

// Today's date and the zone offset fixed for one scope, so that dates
// missing a part do not depend on when the test runs.
class FixedClock {
public:
    explicit FixedClock(platform::FileTime now, std::optional<int> zoneMinutes = std::nullopt)
    {
        platform::SetNowForTesting(now);
        platform::SetZoneOffsetForTesting(zoneMinutes);
    }
    ~FixedClock()
    {
        platform::SetNowForTesting(std::nullopt);
        platform::SetZoneOffsetForTesting(std::nullopt);
    }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

class RecordingSink : public dbx::IProgressSink {
public:
    void SetTotal(std::int32_t total) override { totals.push_back(total); }
    void SetPos(std::int32_t pos) override { positions.push_back(pos); }
    std::vector<std::int32_t> totals;
    std::vector<std::int32_t> positions;
};

// Counts positions without storing them (for large scans).
class CountingSink : public dbx::IProgressSink {
public:
    void SetTotal(std::int32_t n) override { total = n; }
    void SetPosRange(std::int32_t first, std::int32_t last) override
    {
        if (last >= first) {
            calls += static_cast<std::uint64_t>(last - first) + 1;
            ordered = ordered && first == next;
            next = last + 1;
        }
    }
    std::int32_t total = -1;
    std::uint64_t calls = 0;
    std::int32_t next = 0;
    bool ordered = true;
};

// A scratch folder holding the image (or bytes) as a .dbx file.
class ScannedFile {
public:
    explicit ScannedFile(const dbxgen::DbxImage& image, bool scan = true) : ScannedFile(image.Bytes(), scan) {}
    explicit ScannedFile(const std::string& bytes, bool scan = true)
    {
        path = dir.File("test.dbx");
        testsupport::WriteFile(path, bytes);
        EXPECT_TRUE(file.Open(path));
        if (scan)
            file.Scan(sink);
    }
    std::string Text(int index) const
    {
        std::string text;
        EXPECT_TRUE(file.ReadMessage(index, text));
        return text;
    }
    // The index of the e-mail with `subject`; -1 when none.
    int IndexOf(std::string_view subject) const
    {
        for (int i = 0; i < file.GetCount(); ++i)
            if (file.GetAt(i)->subject == subject)
                return i;
        return -1;
    }
    std::vector<std::uint32_t> Offsets(int index) const
    {
        std::vector<std::uint32_t> offsets;
        if (const dbx::EmailRecord* r = file.GetAt(index))
            for (const dbx::BlockRef& b : r->blocks)
                offsets.push_back(b.offset);
        return offsets;
    }

    testsupport::TempDir dir;
    std::string path;
    dbx::DbxFile file;
    RecordingSink sink;
};

} // namespace dbxtest
