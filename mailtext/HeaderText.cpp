#include "mailtext/HeaderText.h"

#include "dbx/DisplayText.h"
#include "mailtext/Charsets.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace mailtext {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct EncodedWord {
    std::string_view charset;
    char encoding;          // 'B' or 'Q'
    std::string_view text;  // the encoded text
    std::size_t end;        // one past the closing "?="
};

// The encoded word that starts at s[at] ("=?"), if its form is whole.
std::optional<EncodedWord> WordAt(std::string_view s, std::size_t at)
{
    const std::size_t mark = s.find('?', at + 2);
    if (mark == std::string_view::npos || mark == at + 2 || mark + 2 >= s.size() || s[mark + 2] != '?')
        return std::nullopt;
    const std::string_view charset = s.substr(at + 2, mark - at - 2);
    const char encoding = static_cast<char>(s[mark + 1] & ~0x20);  // upper case
    if (encoding != 'B' && encoding != 'Q')
        return std::nullopt;
    const std::size_t close = s.find("?=", mark + 3);
    if (close == std::string_view::npos)
        return std::nullopt;
    const std::string_view text = s.substr(mark + 3, close - mark - 3);
    if (std::any_of(charset.begin(), charset.end(), IsBlank) || std::any_of(text.begin(), text.end(), IsBlank))
        return std::nullopt;
    return EncodedWord{charset, encoding, text, close + 2};
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c & ~0x20);
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Base64 with optional padding; false for a byte outside the alphabet, data
// after padding or a lone sixth of a byte at the end.
bool DecodeB(std::string_view text, std::string& out)
{
    std::uint32_t bits = 0;
    int digits = 0;
    bool padded = false;
    for (const char c : text) {
        int v = -1;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else if (c == '=') { padded = true; continue; }
        if (v < 0 || padded)
            return false;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++digits == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            digits = 0;
        }
    }
    if (digits == 1)
        return false;
    if (digits == 2)
        out += static_cast<char>(bits >> 4);
    if (digits == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return true;
}

// Q: "_" is a space, "=XX" a byte; false for "=" without two hex digits.
bool DecodeQ(std::string_view text, std::string& out)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] != '=') {
            out += text[i];
        } else {
            if (i + 2 >= text.size())
                return false;
            const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        }
    }
    return true;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

// Builds the display text: plain stretches by the text rule, runs of
// encoded words in one charset converted together.
class Decoder {
public:
    explicit Decoder(std::string_view value) : value_(value) {}

    std::string Run()
    {
        std::size_t plainFrom = 0;
        for (std::size_t at = value_.find("=?"); at != std::string_view::npos; at = value_.find("=?", at)) {
            const std::optional<EncodedWord> word = WordAt(value_, at);
            std::string bytes;
            const bool decoded = word && (word->encoding == 'B' ? DecodeB(word->text, bytes)
                                                                : DecodeQ(word->text, bytes));
            if (!decoded || !Known(word->charset)) {
                at += 2;  // not a word that can be shown decoded: plain text
                continue;
            }
            const std::string_view between = value_.substr(plainFrom, at - plainFrom);
            const bool adjacent = wordEnd_ == plainFrom && wordEnd_ != 0
                                  && std::all_of(between.begin(), between.end(), IsBlank);
            if (!adjacent) {
                FlushWords();
                AppendPlain(between);
            }
            if (!runCharset_.empty() && !EqualsIgnoreCase(runCharset_, word->charset))
                FlushWords();
            runCharset_ = word->charset;
            runBytes_ += bytes;
            plainFrom = wordEnd_ = word->end;
            at = word->end;
        }
        FlushWords();
        AppendPlain(value_.substr(plainFrom));
        return Finish(std::move(out_));
    }

    // Tabs and line ends as spaces, ends trimmed, cut at a character boundary.
    static std::string Finish(std::string text)
    {
        std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
        const std::size_t first = text.find_first_not_of(' ');
        if (first == std::string::npos)
            return {};
        text.erase(0, first);
        if (text.size() > kMaxDisplayText) {
            std::size_t cut = kMaxDisplayText;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
                --cut;
            text.resize(cut);
        }
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }

private:
    bool Known(std::string_view charset)
    {
        std::string probe;
        return AppendAsUtf8({}, charset, probe);
    }

    void AppendPlain(std::string_view plain)
    {
        if (!plain.empty())
            out_ += dbx::ToDisplayUtf8(plain);
    }

    void FlushWords()
    {
        if (!runCharset_.empty())
            AppendAsUtf8(runBytes_, runCharset_, out_);
        runCharset_ = {};
        runBytes_.clear();
    }

    std::string_view value_;
    std::string out_;
    std::string_view runCharset_;  // the charset of the words not yet converted
    std::string runBytes_;
    std::size_t wordEnd_ = 0;       // one past the last word taken
};

} // namespace

std::string DecodeHeaderText(std::string_view value)
{
    // The usual case: plain ASCII without an encoded word.
    const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (value.find("=?") == std::string_view::npos)
        return Decoder::Finish(ascii ? std::string(value) : dbx::ToDisplayUtf8(value));
    return Decoder(value).Run();
}

const std::string& RecordField(const dbx::EmailRecord& record, dbx::HeaderField field)
{
    static const std::string kNone;
    switch (field) {
    case dbx::HeaderField::kFrom: return record.from;
    case dbx::HeaderField::kTo: return record.to;
    case dbx::HeaderField::kSubject: return record.subject;
    default: return kNone;
    }
}

void ReadDisplayTexts(std::string_view view, const dbx::EmailRecord& record, unsigned fields,
                      dbx::HeaderLines& texts)
{
    ReadDisplayTexts(dbx::ViewSource(view), record, fields, texts);
}

void ReadDisplayTexts(const dbx::ByteSource& source, const dbx::EmailRecord& record, unsigned fields,
                      dbx::HeaderLines& texts)
{
    // Only the fields the engine found have a line to read again.
    unsigned found = 0;
    for (const dbx::HeaderField f : {dbx::HeaderField::kFrom, dbx::HeaderField::kTo, dbx::HeaderField::kSubject})
        if ((fields & dbx::HeaderBit(f)) && !RecordField(record, f).empty())
            found |= dbx::HeaderBit(f);
    dbx::ReadHeaderLines(source, record, found, texts);
    for (const dbx::HeaderField f : {dbx::HeaderField::kFrom, dbx::HeaderField::kTo, dbx::HeaderField::kSubject}) {
        std::string& text = texts[static_cast<std::size_t>(f)];
        if (found & dbx::HeaderBit(f))
            text = DecodeHeaderText(text.empty() ? std::string_view(RecordField(record, f)) : std::string_view(text));
    }
}

} // namespace mailtext
