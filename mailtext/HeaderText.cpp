#include "mailtext/HeaderText.h"

#include "dbx/DisplayText.h"
#include "mailtext/Charsets.h"
#include "platform/GuardedRead.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// Text outside encoded words: UTF-8 as it is; other 8-bit text in the
// message's charset when it names one that is known, else by the text rule.
std::string PlainText(std::string_view plain, std::string_view charset)
{
    std::string out;
    if (!charset.empty() && !dbx::IsValidUtf8(plain) && AppendAsUtf8(plain, charset, out))
        return out;
    return dbx::ToDisplayUtf8(plain);
}

// A charset the system can convert from.
bool Known(std::string_view charset)
{
    std::string probe;
    return AppendAsUtf8({}, charset, probe);
}

// Calls visit(at, word, bytes) for each encoded word of `value` that is
// shown decoded, in order: at where it begins, bytes what it decodes to.
// What lies between them is plain text.
template <class Visit>
void ForEachShownWord(std::string_view value, Visit&& visit)
{
    for (std::size_t at = value.find("=?"); at != std::string_view::npos; at = value.find("=?", at)) {
        const std::optional<EncodedWord> word = WordAt(value, at);
        std::string bytes;
        const bool decoded = word && (word->encoding == 'B' ? DecodeB(word->text, bytes) : DecodeQ(word->text, bytes));
        if (!decoded || !Known(word->charset)) {
            at += 2;  // not a word that can be shown decoded: plain text
            continue;
        }
        visit(at, *word, bytes);
        at = word->end;
    }
}

// Whether only blanks lie between two words.
bool Adjacent(std::string_view value, std::size_t end, std::size_t next)
{
    const std::string_view between = value.substr(end, next - end);
    return std::all_of(between.begin(), between.end(), IsBlank);
}

// Builds the display text: plain stretches by the text rule, runs of
// encoded words in one charset converted together.
class Decoder {
public:
    Decoder(std::string_view value, std::string_view charset) : value_(value), charset_(charset) {}

    std::string Run()
    {
        std::size_t plainFrom = 0;
        ForEachShownWord(value_, [&](std::size_t at, const EncodedWord& word, const std::string& bytes) {
            if (wordEnd_ == 0 || !Adjacent(value_, wordEnd_, at)) {
                FlushWords();
                AppendPlain(value_.substr(plainFrom, at - plainFrom));
            }
            if (!runCharset_.empty() && !EqualsIgnoreCase(runCharset_, word.charset))
                FlushWords();
            runCharset_ = word.charset;
            runBytes_ += bytes;
            plainFrom = wordEnd_ = word.end;
        });
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
    void AppendPlain(std::string_view plain)
    {
        out_ += PlainText(plain, charset_);
    }

    void FlushWords()
    {
        if (!runCharset_.empty())
            AppendAsUtf8(runBytes_, runCharset_, out_);
        runCharset_ = {};
        runBytes_.clear();
    }

    std::string_view value_;
    std::string_view charset_;     // the message's own, for raw 8-bit text
    std::string out_;
    std::string_view runCharset_;  // the charset of the words not yet converted
    std::string runBytes_;
    std::size_t wordEnd_ = 0;       // one past the last word taken
};

} // namespace

std::string DecodeHeaderText(std::string_view value, std::string_view charset)
{
    // The usual case: plain ASCII without an encoded word.
    const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (value.find("=?") == std::string_view::npos)
        return Decoder::Finish(ascii ? std::string(value) : PlainText(value, charset));
    return Decoder(value, charset).Run();
}

bool UnorderedWideWordsAsUtf8(std::string_view value, std::string& out)
{
    struct ShownWord {
        std::size_t begin, end;
        std::string_view charset;
        std::string bytes;
    };
    std::vector<ShownWord> words;
    ForEachShownWord(value, [&](std::size_t at, const EncodedWord& word, const std::string& bytes) {
        words.push_back({at, word.end, word.charset, bytes});
    });
    // Runs as DecodeHeaderText converts them: adjacent words in one charset.
    const auto joins = [&](std::size_t a, std::size_t b) {
        return Adjacent(value, words[a].end, words[b].begin) && EqualsIgnoreCase(words[a].charset, words[b].charset);
    };
    std::string result;
    std::size_t copied = 0;              // value before this is in result
    std::string_view shownCharset;       // the charset the last word goes on in
    for (std::size_t first = 0, last = 0; first < words.size(); first = ++last) {
        std::string bytes = words[first].bytes;
        while (last + 1 < words.size() && joins(last, last + 1))
            bytes += words[++last].bytes;
        const std::string_view charset = words[first].charset;
        const bool afterWord = first > 0 && Adjacent(value, words[first - 1].end, words[first].begin);
        const std::string_view previous = afterWord ? shownCharset : std::string_view();
        shownCharset = charset;
        if (!HasUnstatedByteOrder(charset))
            continue;
        std::string text;
        AppendAsUtf8(bytes, charset, text);
        std::erase(text, '\0');  // a NUL would end the parser's text
        // A word even when empty, so that blanks around it go as before. An
        // empty word must not go on a UTF-8 run before it, which a UTF-8 word
        // after it could then join (a character split between the two would
        // read otherwise): it is in a charset of its own there.
        shownCharset = text.empty() && NamesUtf8(previous) ? "US-ASCII" : "UTF-8";
        result.append(value.substr(copied, words[first].begin - copied));
        result.append("=?").append(shownCharset).append("?Q?");
        for (const char c : text) {
            const auto b = static_cast<unsigned char>(c);
            if ((b >= '0' && b <= '9') || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z'))
                result += c;
            else
                result += {'=', "0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
        }
        result += "?=";
        copied = words[last].end;
    }
    if (copied == 0)
        return false;
    result.append(value.substr(copied));
    out = std::move(result);
    return true;
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
    // A From or To line exists exactly where the engine's value is not
    // empty; a Subject line may have an empty value there (an encoded word
    // whose bytes begin with a zero, as UTF-16 text does), so its line decides.
    unsigned found = fields & dbx::HeaderBit(dbx::HeaderField::kSubject);
    for (const dbx::HeaderField f : {dbx::HeaderField::kFrom, dbx::HeaderField::kTo})
        if ((fields & dbx::HeaderBit(f)) && !RecordField(record, f).empty())
            found |= dbx::HeaderBit(f);
    if (record.date != 0)
        found |= fields & dbx::HeaderBit(dbx::HeaderField::kDate);
    dbx::ReadHeaderLines(source, record, found, texts);
    // Raw 8-bit text is read in the message's charset: looked up only for
    // such text, which real mail seldom has.
    std::optional<std::string> charset;
    for (const dbx::HeaderField f : {dbx::HeaderField::kFrom, dbx::HeaderField::kTo, dbx::HeaderField::kSubject}) {
        std::string& text = texts[static_cast<std::size_t>(f)];
        if (!(found & dbx::HeaderBit(f)))
            continue;
        const std::string_view value = text.empty() ? std::string_view(RecordField(record, f)) : std::string_view(text);
        if (!charset && !dbx::IsValidUtf8(value))
            charset = MessageCharset(source, record);
        text = DecodeHeaderText(value, charset ? std::string_view(*charset) : std::string_view());
    }
}

std::string MessageCharset(std::string_view view, const dbx::EmailRecord& record)
{
    return MessageCharset(dbx::ViewSource(view), record);
}

std::string MessageCharset(const dbx::ByteSource& source, const dbx::EmailRecord& record)
{
    // The header of a real message lies in its first few blocks.
    constexpr std::size_t kBlocks = 16, kPayload = 512, kHeaderSize = 16;
    std::string head;
    for (std::size_t b = 0; b < record.blocks.size() && b < kBlocks; ++b) {
        const std::uint64_t start = std::uint64_t{record.blocks[b].offset} + kHeaderSize;
        if (start >= source.Size())
            break;
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({record.blocks[b].dataLength, kPayload, source.Size() - start}));
        const std::size_t at = head.size();
        head.resize(at + n);
        if (source.Read(start, head.data() + at, n) != n) {
            head.resize(at);
            break;
        }
        if (head.find("\r\n\r\n") != std::string::npos || head.find('\0') != std::string::npos)
            break;
    }
    head.resize(std::min({head.size(), head.find("\r\n\r\n"), head.find('\0')}));
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    for (std::size_t line = 0; line < lower.size();) {
        const std::size_t next = std::min(lower.find('\n', line), lower.size());
        if (lower.compare(line, 13, "content-type:") == 0) {
            // The field with its folded lines, up to the next field.
            std::size_t end = next;
            while (end + 1 < lower.size() && (lower[end + 1] == ' ' || lower[end + 1] == '\t'))
                end = std::min(lower.find('\n', end + 1), lower.size());
            const std::size_t param = lower.find("charset=", line);
            if (param == std::string::npos || param >= end)
                return {};
            std::size_t from = param + 8, to = from;
            if (from < end && head[from] == '"') {
                to = head.find('"', ++from);
                to = to == std::string::npos || to > end ? from : to;
            } else {
                while (to < end && (std::isalnum(static_cast<unsigned char>(head[to])) || std::strchr("-_.:+", head[to])))
                    ++to;
            }
            return to - from <= 64 ? head.substr(from, to - from) : std::string();
        }
        line = next + 1;
    }
    return {};
}

std::string SubjectText(const dbx::DbxFile& file, int index)
{
    const dbx::EmailRecord* record = file.GetAt(index);
    if (!record)
        return {};
    dbx::HeaderLines texts;
    ReadDisplayTexts(file.View(), *record, dbx::HeaderBit(dbx::HeaderField::kSubject), texts);
    return std::move(texts[static_cast<std::size_t>(dbx::HeaderField::kSubject)]);
}

} // namespace mailtext
