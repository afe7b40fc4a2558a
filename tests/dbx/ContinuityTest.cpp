// The evidence that a block's text goes on where a chain's text stops.

#include "dbx/Continuity.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kB64Line = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0\r\n";  // 76
const std::string kText = "and so on\r\n"
                          "the quarterly figures were sent to the office before the meeting on\r\n"
                          "Friday and the budget review follows next week with the whole team\r\n"
                          "present so that everyone knows the plan for March and the contract\r\n";

} // namespace

TEST(Continuity, TellsTheTextThatGoesOnFromTheTextThatDoesNot)
{
    const std::string head = "From: a@b\r\nContent-Type: multipart/mixed; boundary=\"----=_Part_1234567890\"\r\n\r\n";
    const struct {
        const char* what;
        std::string tail, next;
        std::size_t blockAt;
        bool deleted;
        int sign;  // +1 goes on, -1 does not, 0 cannot tell
    } cases[] = {
        {"base64 line goes on at its column", kB64Line + kB64Line + kB64Line + "QUJDREVG", kB64Line.substr(8), 0, false, +1},
        {"base64 line broken off", kB64Line + kB64Line + kB64Line + "QUJDREVG", "hello world, this is text\r\n", 0, false, -1},
        {"base64 line end in a deleted block's lost bytes", kB64Line + kB64Line + kB64Line.substr(0, 74),
         "    " + kB64Line, 0, true, 0},
        {"the message's boundary turns up", "end of a part\r\n", "more\r\n------=_Part_1234567890\r\nX", 0, false, +1},
        {"another message's boundary", "end of a part\r\n", "more\r\n------=_NextPart_000_0001_01C0\r\nX", 0, false, -1},
        {"a new message begins", kText, "Return-Path: <a@b>\r\nReceived: from x\r\n", 0, false, -1},
        {"a MIME part header is no new message", kText, "Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n",
         0, false, 0},
        {"zeros inside the rest of a linked block", kText, std::string("abc\0\0\0def", 9) + "x", 9, false, -1},
        {"zeros after a message's end go on", std::string("bye\r\n\0\0\0", 8), std::string(8, '\0'), 0, false, +1},
        {"text after a message's end does not", std::string("bye\r\n\0\0\0", 8), "Dear Sir,\r\n", 0, false, -1},
        {"a word cut in two", kText + "the quar", "terly figures\r\n", 0, false, +1},
        {"a wrapped line grown too long", kText + "the quarterly figures were sent",
         " to the office before the meeting on Friday and more and more\r\n", 0, false, -1},
        {"binary inside text", kText, std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c", 10), 0, false, -1},
    };
    for (const auto& c : cases) {
        const int score = dbx::ContinuityScore(head, c.tail, c.next, c.blockAt, c.deleted);
        if (c.sign > 0)
            EXPECT_GT(score, 0) << c.what;
        else if (c.sign < 0)
            EXPECT_LT(score, 0) << c.what;
        else
            EXPECT_GE(score, 0) << c.what;
    }
}
