// The rules of the repair, one gap at a time: what it restores where exactly
// one known word fits, and what it leaves where none or two do. '#' stands
// for a lost byte.

#include "render/GapRepair.h"
#include "render/Gaps.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct RepairCase {
    const char* name;
    const char* text;
    const char* shows;  // in the repaired text ('#': a gap left)
    std::vector<std::string> repaired;
};

const RepairCase kRepairCases[] = {
    {"name at the start", "####rn-Path: <a@x>\r\nSubject: s\r\n\r\nbody", "Return-Path: <a@x>\r\n", {"Return-Path"}},
    {"name inside", "Subject: s\r\nContent-Transfe####coding: base64\r\n\r\n", "Content-Transfer-Encoding: base64",
     {"Content-Transfer-Encoding"}},
    {"colon and blank lost", "Subjec####ello\r\n\r\n", "Subject: #ello", {"Subject"}},
    {"line break and name start", "X-Mailer: Mail####Priority: 3\r\n\r\n", "Mail\r\nX-Priority: 3", {"X-Priority"}},
    {"four names fit", "Subject: s\r\n####: Ann <a@x>\r\n\r\n", "X-Quillmend-Untold-0: Ann <a@x>", {}},
    {"letters after the gap end a name", "####ect: s\r\n\r\n", "Subject: s", {"Subject"}},
    {"a name wholly in the gap fits nothing", "Subject: s\r\n####Ann\r\n\r\n", "Subject: s\r\n ####Ann", {}},
    {"no name fits", "Subject: s\r\n####zzq: 1\r\n\r\n", "X-Quillmend-Untold-0: 1", {}},
    {"continuation lost its blank", "Content-Type: text/plain;\r\n####rset=\"koi8-r\"\r\n\r\n",
     "text/plain;\r\n\tcharset=\"koi8-r\"", {}},
    {"transfer encoding value", "Content-Transfer-Encoding: bas####\r\n\r\n", "Content-Transfer-Encoding: base64\r\n",
     {}},
    {"two encodings fit", "Content-Transfer-Encoding: ####\r\n\r\n", "Content-Transfer-Encoding: ####\r\n", {}},
    {"charset named elsewhere", "Subject: =?windows-1251?B?zvL3?=\r\nContent-Type: text/plain;\r\n\tcharset=\"windows-####\"\r\n\r\n",
     "charset=\"windows-1251\"", {}},
    {"boundary from its lines", "Content-Type: multipart/mixed; boundary=\"=_ab####1234\"\r\n\r\n--=_abcdef1234\r\n\r\nx\r\n--=_abcdef1234--\r\n",
     "boundary=\"=_abcdef1234\"", {}},
    {"boundary line", "Content-Type: multipart/mixed; boundary=\"=_abcdef1234\"\r\n\r\npre\r\n####abcdef1234\r\nContent-Type: text/plain\r\n\r\nx\r\n--=_abcdef1234--\r\n",
     "pre\r\n--=_abcdef1234\r\nContent-Type", {}},
    {"boundary line with the break before it", "Content-Type: multipart/mixed; boundary=\"=_abcdef1234\"\r\n\r\npre####=_abcdef1234\r\nContent-Type: text/plain\r\n\r\nx\r\n",
     "pre\r\n--=_abcdef1234\r\n", {}},
    {"part header after a boundary", "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Transfe####coding: 7bit\r\n\r\nx\r\n",
     "Content-Transfer-Encoding: 7bit", {"Content-Transfer-Encoding"}},
};

std::string Gaps(std::string text)
{
    std::replace(text.begin(), text.end(), '#', render::kGapByte);
    return text;
}

} // namespace

TEST(GapRepair, RestoresOnlyWhereExactlyOneWordFits)
{
    for (const RepairCase& c : kRepairCases) {
        SCOPED_TRACE(c.name);
        const render::GapRepair r = render::RepairGaps(Gaps(c.text));
        EXPECT_NE(r.text.find(Gaps(c.shows)), std::string::npos) << r.text;
        EXPECT_EQ(r.repaired, c.repaired);
    }
    // Text without gaps passes unchanged.
    const std::string plain = "Subject: s\r\n    indented: line\r\n\r\n--b\r\n";
    EXPECT_EQ(render::RepairGaps(plain).text, plain);
}

TEST(GapRepair, CountsTheEarlierLinesOfARestoredName)
{
    // Letter case aside; other names and the parts' headers do not count.
    const render::GapRepair r = render::RepairGaps(
        Gaps("##ceived: a\r\nX: c\r\nreceived: b\r\n##CEIVED: d\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
             "--b\r\n##ceived: e\r\n\r\nx\r\n--b--\r\n"));
    ASSERT_EQ(r.messageNames.size(), 2u);
    EXPECT_EQ(r.messageNames[0].occurrence, 0);
    EXPECT_EQ(r.messageNames[1].occurrence, 2);
    EXPECT_EQ(r.repaired.size(), 3u);
}
