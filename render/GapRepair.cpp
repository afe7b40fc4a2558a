#include "render/GapRepair.h"

#include "render/GMimeLibrary.h"
#include "render/Gaps.h"
#include "render/Limits.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string_view>

namespace render {
namespace {

// Words the repair may restore. A longer list finds more names, but also
// leaves more gaps with two names that fit (and so unrepaired).
constexpr std::string_view kHeaderNames[] = {
    "Return-Path", "Received", "Message-ID", "From", "To", "Cc", "Bcc", "Subject", "Date", "Reply-To",
    "Sender", "In-Reply-To", "References", "MIME-Version", "Content-Type", "Content-Transfer-Encoding",
    "Content-Disposition", "Content-ID", "Content-Description", "Content-Location", "Content-Base",
    "Content-Language", "X-Priority", "X-MSMail-Priority", "X-Mailer", "X-MimeOLE", "X-Unsent",
    "X-Originating-IP", "X-Original-To", "Delivered-To", "Organization", "Importance", "Thread-Topic",
    "Thread-Index", "Disposition-Notification-To", "Return-Receipt-To", "X-Sender", "X-UIDL", "Status",
    "User-Agent", "X-Newsreader", "Newsgroups", "Path", "Xref", "Lines", "NNTP-Posting-Host", "Followup-To",
    "Comments", "Keywords", "Precedence", "Errors-To", "List-Unsubscribe", "List-Id", "X-Spam-Status",
    "X-Virus-Scanned", "X-Accept-Language", "X-MS-Has-Attach", "X-MS-TNEF-Correlator",
};
constexpr std::string_view kParameterNames[] = {
    "charset", "boundary", "name", "filename", "type", "start", "format", "reply-type", "delsp", "size",
    "creation-date", "modification-date", "protocol", "micalg", "report-type",
};
constexpr std::string_view kEncodings[] = {"7bit", "8bit", "binary", "quoted-printable", "base64", "x-uuencode"};
constexpr std::string_view kMediaTypes[] = {
    "text/plain", "text/html", "text/enriched", "text/calendar", "text/x-vcard", "multipart/mixed",
    "multipart/alternative", "multipart/related", "multipart/signed", "multipart/report", "multipart/digest",
    "message/rfc822", "message/delivery-status", "application/octet-stream", "application/pdf",
    "application/msword", "application/vnd.ms-excel", "application/vnd.ms-powerpoint", "application/zip",
    "application/x-zip-compressed", "application/ms-tnef", "application/pkcs7-signature",
    "application/x-pkcs7-signature", "image/jpeg", "image/pjpeg", "image/gif", "image/png", "image/bmp",
    "image/tiff", "audio/wav", "audio/x-wav", "audio/mpeg", "video/mpeg", "video/avi",
};
constexpr std::string_view kCharsets[] = {
    "us-ascii", "utf-8", "utf-7", "iso-8859-1", "iso-8859-2", "iso-8859-3", "iso-8859-4", "iso-8859-5",
    "iso-8859-6", "iso-8859-7", "iso-8859-8", "iso-8859-9", "iso-8859-13", "iso-8859-15", "windows-1250",
    "windows-1251", "windows-1252", "windows-1253", "windows-1254", "windows-1255", "windows-1256",
    "windows-1257", "windows-1258", "koi8-r", "koi8-u", "big5", "gb2312", "gbk", "gb18030", "shift_jis",
    "euc-jp", "iso-2022-jp", "euc-kr", "ks_c_5601-1987", "tis-620", "cp866", "ibm866",
};
// Boundary lines longer than this are not taken for boundaries, and no
// more different ones than this are looked at.
constexpr std::size_t kMaxBoundary = 200;
constexpr std::size_t kMaxBoundaryLines = 1000;
// Multiparts open at once whose boundary lines are repaired (real mail
// nests a few deep).
constexpr std::size_t kMaxOpen = 64;
// A parameter template starts with a blank ('\t' stands for any).
constexpr char kBlank = '\t';

bool IsGap(char c) { return c == kGapByte; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool HasGap(std::string_view text)
{
    return text.find(kGapByte) != std::string_view::npos;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Lower(x) == Lower(y);
           });
}

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.';
}

std::size_t LineEnd(std::string_view text, std::size_t at)  // after its '\n'
{
    const std::size_t newline = text.find('\n', at);
    return newline == std::string_view::npos ? text.size() : newline + 1;
}

// Whether `word` can stand at `at`: every surviving byte it covers is the
// word's (letters in either case unless caseSensitive; kBlank any blank).
// `touchesGap` is set when it covers a gap.
bool Fits(std::string_view text, std::size_t at, std::string_view word, bool caseSensitive, bool& touchesGap)
{
    if (at > text.size() || word.size() > text.size() - at)
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = text[at + i];
        if (IsGap(c))
            touchesGap = true;
        else if (word[i] == kBlank ? !IsBlank(c) : caseSensitive ? c != word[i] : Lower(c) != Lower(word[i]))
            return false;
    }
    return true;
}

// Whether a line break can have stood just before `s`, in the gap, with the
// line it ends beginning at `lineStart`: its LF at s - 1, its CR at s - 2
// (lost as well, or surviving). A header line must not become empty.
bool BreakFits(std::string_view text, std::size_t lineStart, std::size_t s, bool mayEmpty)
{
    if (s < 2 || !IsGap(text[s - 1]) || s - 2 < lineStart)
        return false;
    if (!mayEmpty && s - 2 == lineStart)
        return false;
    return IsGap(text[s - 2]) || text[s - 2] == '\r';
}

// The one word of `words` that `value` can be, gaps standing for its lost
// letters and, at either end, for blanks or quotes; empty when none or
// more than one fit.
std::string_view FitUnique(std::string_view value, const std::string_view* words, std::size_t count,
                           bool caseSensitive)
{
    const auto trim = [](char c) { return IsBlank(c) || c == '"' || c == '\r' || c == '\n'; };
    while (!value.empty() && trim(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && trim(value.back()))
        value.remove_suffix(1);
    // The word must cover every surviving byte: it starts at or before the
    // first and ends after the last.
    const std::size_t first = value.find_first_not_of(kGapByte);
    const std::size_t last = value.find_last_not_of(kGapByte);
    std::string_view found;
    for (std::size_t w = 0; w < count; ++w) {
        const std::string_view word = words[w];
        bool fits = false;
        for (std::size_t o = 0; !fits && o + word.size() <= value.size() && (first == std::string_view::npos || o <= first);
             ++o) {
            bool touches = false;
            fits = (last == std::string_view::npos || o + word.size() > last)
                && Fits(value, o, word, caseSensitive, touches);
        }
        if (fits && !found.empty() && found != word)
            return {};
        if (fits)
            found = word;
    }
    return found;
}

template <std::size_t N>
std::string_view FitUnique(std::string_view value, const std::string_view (&words)[N])
{
    return FitUnique(value, words, N, false);
}

// ---- one header block

struct Reading {
    std::size_t at = 0;
    std::string word;        // what stood from `at` on
    bool lineBreak = false;  // and a line break just before it, lost
    bool isName = false;     // a header name (else a parameter)
};

struct ContentType {
    bool multipart = false;
    bool message = false;  // message/rfc822: a header block follows this one
    std::string boundary;
};

// The logical header lines of a block: where each begins, and its colon.
struct HeaderLine {
    std::size_t begin = 0;
    std::size_t colon = 0;  // npos when it has none
    std::size_t end = 0;    // where the next one begins
};

std::vector<HeaderLine> HeaderLines(std::string_view block)
{
    std::vector<HeaderLine> lines;
    for (std::size_t at = 0; at < block.size(); at = LineEnd(block, at)) {
        if (!lines.empty() && IsBlank(block[at])) {
            lines.back().end = LineEnd(block, at);
            continue;
        }
        const std::size_t end = LineEnd(block, at);
        const std::size_t colon = block.substr(at, end - at).find(':');
        lines.push_back({at, colon == std::string_view::npos ? colon : at + colon, end});
    }
    return lines;
}

class BlockRepair {
public:
    BlockRepair(std::string& block, GapRepair& report, bool ofMessage, const std::vector<std::string>& boundaries,
                const std::vector<std::string>& charsets, std::string_view nextBoundary)
        : block_(block), report_(report), ofMessage_(ofMessage), boundaries_(boundaries), charsets_(charsets),
          nextBoundary_(nextBoundary)
    {
    }

    void Run()
    {
        RestoreWords();
        NameTheUntold();
        RepairValues();
    }

private:
    void RestoreWords();
    void Apply(const Reading& reading);
    bool TakesParameters(std::size_t lineStart);
    void NameTheUntold();
    void RepairValues();
    std::string RepairContentType(std::string_view value) const;

    std::string& block_;
    GapRepair& report_;
    bool ofMessage_;
    const std::vector<std::string>& boundaries_;
    const std::vector<std::string>& charsets_;  // named elsewhere in the message
    std::string_view nextBoundary_;  // the first boundary line after the block
    std::vector<std::size_t> repairedAt_;  // where the names restored in the message's header begin
    std::size_t askedLine_ = std::string::npos;  // the line TakesParameters answered for last
    bool askedAnswer_ = false;
};

void BlockRepair::RestoreWords()
{
    std::size_t ls = 0;    // where the line of the gap begins
    std::size_t seen = 0;  // bytes looked at for line starts
    for (std::size_t h = block_.find(kGapByte); h != std::string::npos; h = block_.find(kGapByte, h + 1)) {
        std::size_t end = h;
        while (end < block_.size() && IsGap(block_[end]))
            ++end;
        for (; seen < h; ++seen)
            ls = block_[seen] == '\n' ? seen + 1 : ls;
        std::vector<Reading> readings;
        // Letters and a colon right after the gap are the end of a name: a
        // name that ends inside the gap would leave them without one.
        std::size_t after = end;
        while (after < block_.size() && IsNameChar(block_[after]))
            ++after;
        const bool nameAfter = after > end && after < block_.size() && block_[after] == ':';
        // A header name at the line's start, or after a line break the gap took.
        for (std::size_t s = ls; s <= end; s = s == ls ? std::max(h + 1, ls + 1) : s + 1) {
            const bool lineBreak = s != ls;
            if (lineBreak && !BreakFits(block_, ls, s, false))
                continue;
            for (const std::string_view name : kHeaderNames) {
                bool touches = lineBreak;
                const std::string word = std::string(name) + ':';
                if ((!nameAfter || s + name.size() == after) && Fits(block_, s, word, false, touches) && touches)
                    readings.push_back({s, word, lineBreak, true});
            }
        }
        // A parameter name, in a header that has them.
        if (TakesParameters(ls)) {
            for (const std::string_view name : kParameterNames) {
                const std::string word = kBlank + std::string(name) + '=';
                for (std::size_t s = std::max(ls, h + 1 > word.size() ? h + 1 - word.size() : 0); s < end; ++s) {
                    const char before = s > ls ? block_[s - 1] : ' ';
                    bool touches = false;
                    if ((IsBlank(before) || before == ';' || IsGap(before)) && Fits(block_, s, word, false, touches)
                        && touches)
                        readings.push_back({s, word, false, false});
                }
            }
        }
        if (readings.size() == 1)
            Apply(readings.front());
        h = end - 1;
    }
    if (!ofMessage_ || repairedAt_.empty())
        return;
    // How many lines of the same name come before each restored one.
    std::size_t next = 0;
    std::vector<std::string> names;
    for (const HeaderLine& line : HeaderLines(block_)) {
        if (line.colon == std::string::npos)
            continue;
        const std::string name = block_.substr(line.begin, line.colon - line.begin);
        for (; next < repairedAt_.size() && repairedAt_[next] < line.end; ++next) {
            RepairedName& repaired = report_.messageNames[report_.messageNames.size() - repairedAt_.size() + next];
            repaired.occurrence = static_cast<int>(
                std::count_if(names.begin(), names.end(), [&](const std::string& n) { return EqualsNoCase(n, name); }));
        }
        names.push_back(name);
    }
}

void BlockRepair::Apply(const Reading& r)
{
    std::string mask;
    for (std::size_t i = 0; i < r.word.size(); ++i) {
        char& c = block_[r.at + i];
        mask += IsGap(c) ? '^' : ' ';
        if (IsGap(c))
            c = r.word[i] != kBlank ? r.word[i] : r.at == 0 || block_[r.at - 1] == '\n' ? '\t' : ' ';
    }
    if (r.lineBreak) {
        block_[r.at - 1] = '\n';
        if (IsGap(block_[r.at - 2]))
            block_[r.at - 2] = '\r';
    }
    if (!r.isName)
        return;
    const std::size_t after = r.at + r.word.size();
    if (after < block_.size() && IsGap(block_[after]))
        block_[after] = ' ';  // the blank every mail program writes after the colon
    const std::string name = block_.substr(r.at, r.word.size() - 1);
    mask.pop_back();
    report_.repaired.push_back(name);
    if (ofMessage_) {
        report_.messageNames.push_back({name, mask, 0});
        repairedAt_.push_back(r.at);
    }
}

bool BlockRepair::TakesParameters(std::size_t lineStart)
{
    // Gaps on one line ask about the same header.
    if (lineStart == askedLine_)
        return askedAnswer_;
    askedLine_ = lineStart;
    askedAnswer_ = false;
    // Back to the line the header begins on (a line that starts with a gap
    // may be a continuation that lost its blank), but not far: a header
    // with parameters is short.
    constexpr std::size_t kFar = 1024;
    std::size_t ls = lineStart;
    while (ls > 0 && (IsBlank(block_[ls]) || IsGap(block_[ls]))) {
        --ls;  // onto the line break that ends the line before
        while (ls > 0 && block_[ls - 1] != '\n') {
            if (lineStart - ls > kFar)
                return false;
            --ls;
        }
    }
    const std::string_view line = std::string_view(block_).substr(ls, kFar);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view name = line.substr(0, colon);
    askedAnswer_ = EqualsNoCase(name, "Content-Type") || EqualsNoCase(name, "Content-Disposition");
    return askedAnswer_;
}

void BlockRepair::NameTheUntold()
{
    std::string out;
    out.reserve(block_.size() + 64);
    for (std::size_t at = 0; at < block_.size();) {
        const std::size_t end = LineEnd(block_, at);
        const std::string_view line = std::string_view(block_).substr(at, end - at);
        const std::size_t colon = line.find(':');
        const std::string_view name = line.substr(0, colon == std::string_view::npos ? 0 : colon);
        const bool damagedName = !name.empty() && HasGap(name) && std::all_of(name.begin(), name.end(), [](char c) {
            return IsNameChar(c) || IsGap(c);
        });
        if (damagedName || (at == 0 && !line.empty() && IsGap(line.front()))) {
            // A header whose name cannot be told keeps its value under a
            // stand-in name (a name with gaps in it is no name to a parser).
            std::string stand = kUntoldName;
            if (ofMessage_) {
                stand += std::to_string(report_.untoldNames.size());
                report_.untoldNames.emplace_back(damagedName ? name : std::string_view(&kGapByte, 1));
            } else {
                stand += "part";
            }
            out += stand;
            out += damagedName ? std::string(line.substr(name.size())) : ": " + std::string(line);
        } else if (!line.empty() && IsGap(line.front())) {
            out += ' ';  // no name: the rest of the line before it, folded
            out += line;
        } else {
            out += line;
        }
        at = end;
    }
    block_ = std::move(out);
}

std::string BlockRepair::RepairContentType(std::string_view value) const
{
    // The media type, then the parameters, each between surviving ';'.
    std::vector<std::string> pieces;
    for (std::size_t at = 0;;) {
        const std::size_t semicolon = value.find(';', at);
        pieces.emplace_back(value.substr(at, semicolon - at));
        if (semicolon == std::string_view::npos)
            break;
        at = semicolon + 1;
    }
    if (HasGap(pieces[0])) {
        if (const std::string_view type = FitUnique(pieces[0], kMediaTypes); !type.empty())
            pieces[0] = " " + std::string(type);
    }
    bool hasBoundary = false;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        std::string& piece = pieces[i];
        const std::size_t eq = piece.find('=');
        if (eq == std::string::npos)
            continue;
        std::size_t nameStart = 0;
        while (nameStart < eq && (IsBlank(piece[nameStart]) || piece[nameStart] == '\r' || piece[nameStart] == '\n'))
            ++nameStart;
        const std::string_view name = std::string_view(piece).substr(nameStart, eq - nameStart);
        const std::string_view rawValue = std::string_view(piece).substr(eq + 1);
        std::string_view fit;
        if (EqualsNoCase(name, "charset") && HasGap(rawValue)) {
            // Of the charsets that fit, the one the message names elsewhere.
            fit = FitUnique(rawValue, kCharsets);
            std::vector<std::string_view> named(charsets_.begin(), charsets_.end());
            if (fit.empty())
                fit = FitUnique(rawValue, named.data(), named.size(), false);
        } else if (EqualsNoCase(name, "boundary")) {
            std::vector<std::string_view> words(boundaries_.begin(), boundaries_.end());
            if (HasGap(rawValue))
                fit = FitUnique(rawValue, words.data(), words.size(), true);
            hasBoundary = !HasGap(rawValue) || !fit.empty();
        }
        if (!fit.empty())
            piece = piece.substr(0, eq + 1) + '"' + std::string(fit) + '"';
    }
    std::string out = pieces[0];
    for (std::size_t i = 1; i < pieces.size(); ++i)
        out += ';' + pieces[i];
    // A multipart whose boundary was lost takes the one its body uses.
    bool touches = false;
    const std::string_view type = std::string_view(out).substr(out.find_first_not_of(" \t"));
    if (!hasBoundary && !nextBoundary_.empty() && Fits(type, 0, "multipart/", false, touches) && !touches)
        out += ";\r\n\tboundary=\"" + std::string(nextBoundary_) + "\"";
    return out;
}

void BlockRepair::RepairValues()
{
    if (!HasGap(block_))
        return;
    std::string out;
    for (const HeaderLine& line : HeaderLines(block_)) {
        const std::string_view all = std::string_view(block_).substr(line.begin, line.end - line.begin);
        if (line.colon == std::string::npos) {
            out += all;
            continue;
        }
        const std::string_view name = all.substr(0, line.colon - line.begin);
        std::string_view value = all.substr(name.size() + 1);
        std::string_view lineBreak;
        if (!value.empty() && value.back() == '\n') {
            const std::size_t cut = value.size() >= 2 && value[value.size() - 2] == '\r' ? 2 : 1;
            lineBreak = value.substr(value.size() - cut);
            value.remove_suffix(cut);
        }
        std::string repaired(value);
        if (HasGap(value) && EqualsNoCase(name, "Content-Transfer-Encoding")) {
            if (const std::string_view fit = FitUnique(value, kEncodings); !fit.empty())
                repaired = " " + std::string(fit);
        } else if (HasGap(value) && EqualsNoCase(name, "Content-Type")) {
            repaired = RepairContentType(value);
        }
        out += name;
        out += ':';
        out += repaired;
        out += lineBreak;
    }
    block_ = std::move(out);
}

ContentType ParseContentType(std::string_view block)
{
    ContentType result;
    for (const HeaderLine& line : HeaderLines(block)) {
        if (line.colon == std::string::npos
            || !EqualsNoCase(block.substr(line.begin, line.colon - line.begin), "Content-Type"))
            continue;
        std::string value(block.substr(line.colon + 1, line.end - line.colon - 1));
        std::replace_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        InitGMime();
        GMimeContentType* type = g_mime_content_type_parse(nullptr, value.c_str());
        if (type == nullptr)
            return result;
        result.multipart = g_mime_content_type_is_type(type, "multipart", "*") != FALSE;
        result.message = g_mime_content_type_is_type(type, "message", "rfc822") != FALSE;
        if (const char* boundary = g_mime_content_type_get_parameter(type, "boundary"))
            result.boundary = boundary;
        g_object_unref(type);
        return result;
    }
    return result;
}

// ---- the whole message

class MessageRepair {
public:
    explicit MessageRepair(std::string text, GapRepair& report) : in_(std::move(text)), report_(report)
    {
        FindBoundaryLines();
        FindCharsets();
    }

    std::string Run();

private:
    void FindBoundaryLines();
    void FindCharsets();
    std::string_view NextBoundaryLine(std::size_t from) const;
    ContentType HeaderBlock(bool ofMessage);
    bool BoundaryLine(std::string_view line, int& level, bool& closing) const;
    bool RepairBoundaryLine(std::size_t lineStart, int& level, bool& closing);

    std::string in_;
    std::string out_;
    std::size_t pos_ = 0;
    GapRepair& report_;
    std::vector<std::string> boundaryLines_;  // what follows "--" on undamaged lines, each once
    std::vector<std::pair<std::size_t, std::size_t>> boundaryAt_;  // where each such line is, and which
    std::vector<std::string> open_;           // boundaries of the multiparts open here
    std::vector<std::string> charsets_;       // named in parameters and encoded words, each once
    std::size_t work_ = 0;                    // boundary comparisons made
};

void MessageRepair::FindBoundaryLines()
{
    std::map<std::string_view, std::size_t> index;
    for (std::size_t at = 0; at < in_.size(); at = LineEnd(in_, at)) {
        if (in_.compare(at, 2, "--") != 0)
            continue;
        std::string_view line = std::string_view(in_).substr(at + 2, LineEnd(in_, at) - at - 2);
        while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r' || line.back() == '\n'))
            line.remove_suffix(1);
        if (line.size() > 2 && line.substr(line.size() - 2) == "--")
            line.remove_suffix(2);
        if (line.empty() || line.size() > kMaxBoundary || HasGap(line))
            continue;
        auto [it, added] = index.emplace(line, boundaryLines_.size());
        if (added && boundaryLines_.size() >= kMaxBoundaryLines)
            break;  // no real message has this many
        if (added)
            boundaryLines_.emplace_back(line);
        boundaryAt_.emplace_back(at, it->second);
    }
}

void MessageRepair::FindCharsets()
{
    constexpr std::size_t kMaxCharsets = 50;
    constexpr std::string_view kParameter = "charset=";
    const auto add = [&](std::size_t at) {
        std::size_t end = at;
        while (end < in_.size() && end - at < 40 && (IsNameChar(in_[end]) || in_[end] == ':'))
            ++end;
        std::string name = in_.substr(at, end - at);
        std::transform(name.begin(), name.end(), name.begin(), Lower);
        if (!name.empty() && (end == in_.size() || !IsGap(in_[end]))
            && std::find(charsets_.begin(), charsets_.end(), name) == charsets_.end())
            charsets_.push_back(std::move(name));
    };
    for (std::size_t at = in_.find('='); at != std::string::npos && charsets_.size() < kMaxCharsets;
         at = in_.find('=', at + 1)) {
        if (at + 1 < in_.size() && in_[at + 1] == '?')
            add(at + 2);  // an encoded word
        else if (at + 1 >= kParameter.size()
                 && EqualsNoCase(std::string_view(in_).substr(at + 1 - kParameter.size(), kParameter.size()), kParameter))
            add(at + 1 < in_.size() && in_[at + 1] == '"' ? at + 2 : at + 1);
    }
}

std::string_view MessageRepair::NextBoundaryLine(std::size_t from) const
{
    const auto it = std::lower_bound(boundaryAt_.begin(), boundaryAt_.end(), std::make_pair(from, std::size_t{0}));
    return it == boundaryAt_.end() ? std::string_view() : std::string_view(boundaryLines_[it->second]);
}

ContentType MessageRepair::HeaderBlock(bool ofMessage)
{
    std::size_t end = pos_;  // the empty line that ends the block
    while (end < in_.size() && in_[end] != '\n' && in_.compare(end, 2, "\r\n") != 0)
        end = LineEnd(in_, end);
    std::string block = in_.substr(pos_, end - pos_);
    const std::size_t after = end < in_.size() ? LineEnd(in_, end) : end;
    if (HasGap(block))
        BlockRepair(block, report_, ofMessage, boundaryLines_, charsets_, NextBoundaryLine(after)).Run();
    out_ += block;
    out_ += std::string_view(in_).substr(end, after - end);
    pos_ = after;
    return ParseContentType(block);
}

bool MessageRepair::BoundaryLine(std::string_view line, int& level, bool& closing) const
{
    if (line.substr(0, 2) != "--")
        return false;
    for (int i = static_cast<int>(open_.size()) - 1; i >= 0; --i) {
        const std::string& boundary = open_[static_cast<std::size_t>(i)];
        if (boundary.empty() || line.compare(2, boundary.size(), boundary) != 0)
            continue;
        std::string_view rest = line.substr(2 + boundary.size());
        closing = rest.substr(0, 2) == "--";
        if (closing)
            rest.remove_prefix(2);
        if (rest.find_first_not_of(" \t\r\n") != std::string_view::npos)
            continue;
        level = i;
        return true;
    }
    return false;
}

bool MessageRepair::RepairBoundaryLine(std::size_t ls, int& level, bool& closing)
{
    const std::size_t le = LineEnd(in_, ls);
    struct Fit {
        std::size_t at;
        int level;
        bool lineBreak;
    };
    std::vector<Fit> fits;
    for (std::size_t h = in_.find(kGapByte, ls); h < le; h = in_.find(kGapByte, h + 1)) {
        std::size_t end = h;
        while (end < le && IsGap(in_[end]))
            ++end;
        for (std::size_t s = ls; s <= end; s = s == ls ? std::max(h + 1, ls + 1) : s + 1) {
            const bool lineBreak = s != ls;
            if (lineBreak && !BreakFits(in_, ls, s, true))
                continue;
            for (std::size_t i = 0; i < open_.size(); ++i) {
                const std::string word = "--" + open_[i];
                bool touches = lineBreak;
                if (!Fits(in_, s, word, true, touches) || !touches || s + word.size() > le)
                    continue;
                const std::size_t q = s + word.size();
                if (q == le || std::string_view("\r\n- \t").find(in_[q]) != std::string_view::npos || IsGap(in_[q]))
                    fits.push_back({s, static_cast<int>(i), lineBreak});
            }
        }
        h = end - 1;
    }
    if (fits.size() != 1)
        return false;
    const Fit& fit = fits.front();
    const std::string word = "--" + open_[static_cast<std::size_t>(fit.level)];
    std::string line = in_.substr(ls, fit.at - ls);
    if (fit.lineBreak) {
        line.back() = '\n';
        if (IsGap(line[line.size() - 2]))
            line[line.size() - 2] = '\r';
    }
    line += word;
    std::size_t q = fit.at + word.size();
    std::size_t gaps = 0;
    while (q + gaps < le && IsGap(in_[q + gaps]))
        ++gaps;
    const std::string_view rest = std::string_view(in_).substr(q + gaps, le - q - gaps);
    if (gaps > 0 && rest.find_first_not_of("\r\n") == std::string_view::npos) {
        line += gaps == 2 ? "--" : "";  // all that can stand there: the closing dashes
        q += gaps;
    } else if (gaps > 0) {
        // The gap took the line break; what follows it begins the next line.
        const std::size_t taken = std::min<std::size_t>(gaps, 2);
        line += taken == 2 ? "\r\n" : "\n";
        out_ += line;
        pos_ = q + taken;
        level = fit.level;
        closing = false;
        return true;
    }
    line += std::string_view(in_).substr(q, le - q);
    out_ += line;
    pos_ = le;
    level = fit.level;
    closing = line.compare(fit.at - ls + word.size(), 2, "--") == 0;
    return true;
}

std::string MessageRepair::Run()
{
    ContentType type = HeaderBlock(true);
    bool headersNext = type.message;
    if (type.multipart && !type.boundary.empty())
        open_.push_back(type.boundary);
    while (pos_ < in_.size()) {
        if (work_ > limits::kMaxBoundaryWork) {
            out_ += std::string_view(in_).substr(pos_);  // a hostile shape: the rest as it is
            break;
        }
        if (headersNext) {
            type = HeaderBlock(false);
            headersNext = type.message;
            if (type.multipart && !type.boundary.empty() && open_.size() < kMaxOpen)
                open_.push_back(type.boundary);
            continue;
        }
        const std::size_t end = LineEnd(in_, pos_);
        const std::string_view line = std::string_view(in_).substr(pos_, end - pos_);
        if (line.substr(0, 2) == "--" || HasGap(line))
            work_ += open_.size() * (HasGap(line) ? 8 : 1);
        int level = 0;
        bool closing = false;
        if (!open_.empty() && BoundaryLine(line, level, closing)) {
            out_ += line;
            pos_ = end;
        } else if (!open_.empty() && HasGap(line) && RepairBoundaryLine(pos_, level, closing)) {
            // out_ and pos_ moved on
        } else {
            out_ += line;
            pos_ = end;
            continue;
        }
        open_.resize(static_cast<std::size_t>(level) + (closing ? 0 : 1));
        headersNext = !closing;
    }
    return std::move(out_);
}

} // namespace

GapRepair RepairGaps(std::string text)
{
    GapRepair report;
    if (!HasGap(text)) {
        report.text = std::move(text);
        return report;
    }
    report.text = MessageRepair(std::move(text), report).Run();
    return report;
}

} // namespace render
