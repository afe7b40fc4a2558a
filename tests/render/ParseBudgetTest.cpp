// What the MIME parser is given of a message: real shapes whole and
// uncopied, hostile header blocks and part counts within their bounds.

#include "render/Limits.h"
#include "render/ParseBudget.h"

#include "VisibleText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace render::limits;

std::string Fields(std::size_t count, const std::string& line = "X-F: v\r\n")
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += line;
    return out;
}

std::string_view Bound(const std::string& message, std::string& storage, bool& cut)
{
    return render::BoundForParser(message, storage, cut);
}

} // namespace

TEST(ParseBudget, MessagesWithinTheBoundsPassWholeWithoutACopy)
{
    // Lines that look like header fields in bodies, parts whose header a
    // boundary line ends, a block whose last Content-Type is not multipart.
    const std::string message =
        "    : a deleted e-mail's From line\r\nTo: b@x,\r\n c@x\r\nSubject: s\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        "pre\r\n--b\r\nContent-Type: text/plain\r\n\r\n" + Fields(3000, "Key: value in the body\r\n")
        + "--not-a-boundary\r\n" + Fields(3000) + "--b\r\nContent-Type: message/rfc822\r\n\r\n"
        "Subject: inner\r\n\r\ninner body\r\n"
        "--b\r\n" + Fields(600) + "--b\r\n" + Fields(600) + "--b\r\n" + Fields(600) + "\r\nx\r\n"
        "--b\r\nContent-Type: multipart/mixed; boundary=c\r\nContent-Type: text/plain\r\n\r\n--c\r\n" + Fields(3000)
        + "--b--\r\nepilogue: " + std::string(300000, 'x') + "\r\n";
    std::string storage;
    bool cut = true;
    const std::string_view given = Bound(message, storage, cut);
    EXPECT_EQ(given.data(), message.data());
    EXPECT_EQ(given.size(), message.size());
    EXPECT_FALSE(cut);
}

TEST(ParseBudget, HeaderBlocksKeepTheirBoundedFieldsAndEveryBodyLine)
{
    struct Case {
        const char* name;
        std::string message;
        std::size_t fieldsKept;  // of the header field line repeated
        std::string kept;        // must be in what the parser gets
    };
    const std::string body = "\r\nbody: line\r\n" + Fields(1500, "in: body\r\n");
    const Case cases[] = {
        {"message header", "Subject: first\r\n" + Fields(5000) + "Subject: late\r\n" + body, kMaxHeaderFields - 1,
         "Subject: first\r\n"},
        {"part header", "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + Fields(5000) + body + "--b--\r\n",
         kMaxHeaderFields, "--b--\r\n"},
        {"attached message", "Content-Type: message/rfc822\r\n\r\n" + Fields(5000) + body, kMaxHeaderFields, ""},
        {"folded fields", Fields(5000, "X-F: v\r\n\tw\r\n") + body, kMaxHeaderFields, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string storage;
        bool cut = true;
        const std::string_view given = Bound(c.message, storage, cut);
        EXPECT_FALSE(cut);
        EXPECT_EQ(Count(given, "X-F: v\r\n"), c.fieldsKept);
        EXPECT_EQ(Count(given, "in: body\r\n"), 1500u);
        EXPECT_NE(given.find(body), std::string_view::npos);
        EXPECT_NE(given.find(c.kept), std::string_view::npos);
        EXPECT_EQ(given.find("late"), std::string_view::npos);
    }
}

TEST(ParseBudget, LongFieldsAndAddressesAreCutWithoutEndingTheHeader)
{
    const std::string longLine = "Subject: " + std::string(3 * kMaxFieldBytes, 's') + "\r\n";
    const std::string folded = "Subject: " + Fields(kMaxFieldBytes / 8, "abcdef\r\n ");
    const std::string addresses = Fields(kMaxAddressBytes / 1000 + 5, "To: " + std::string(996, 'a') + "\r\n");
    for (const std::string& field : {longLine, folded + "end\r\n", addresses}) {
        const std::string message = field + "Date: d\r\n\r\nbody\r\n";
        std::string storage;
        bool cut = true;
        const std::string_view given = Bound(message, storage, cut);
        EXPECT_FALSE(cut);
        EXPECT_LE(given.size(), kMaxFieldBytes * 5 / 4 + 100);  // line breaks do not count
        EXPECT_GE(given.size(), kMaxAddressBytes - 1000);
        EXPECT_EQ(given.find("\r\n\r\n"), given.size() - 10) << given.substr(given.size() - 40);
        EXPECT_NE(given.find("Date: d\r\n\r\nbody\r\n"), std::string_view::npos);
        EXPECT_EQ(given.find("\r\n \r\n"), std::string_view::npos);  // no line left blank
    }
}

TEST(ParseBudget, TheMessageEndsBeforeThePartOrFieldPastItsBound)
{
    std::string parts = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (std::size_t i = 0; i < kMaxParts + 50; ++i)
        parts += "--b\r\nX-Part: " + std::to_string(i) + "\r\n\r\nx\r\n";
    std::string fields = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (std::size_t i = 0; i < kMaxMessageHeaderFields / kMaxHeaderFields + 5; ++i)
        fields += "--b\r\n" + Fields(kMaxHeaderFields) + "\r\nx\r\n";
    struct Case {
        const std::string& message;
        std::string endsBefore;
    } const cases[] = {
        {parts, "--b\r\nX-Part: " + std::to_string(kMaxParts) + "\r\n"},
        {fields, ""},
    };
    for (const Case& c : cases) {
        std::string storage;
        bool cut = false;
        const std::string_view given = Bound(c.message, storage, cut);
        EXPECT_TRUE(cut);
        EXPECT_EQ(given.data(), c.message.data());  // a cut needs no copy
        if (!c.endsBefore.empty())
            EXPECT_EQ(given.size(), c.message.find(c.endsBefore));
        else
            EXPECT_EQ(Count(given, "X-F: v\r\n"), kMaxMessageHeaderFields - 1);  // and the Content-Type
    }
}
