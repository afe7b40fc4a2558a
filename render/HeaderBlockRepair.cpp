#include "render/HeaderBlockRepair.h"

#include "render/GapFit.h"

#include <unordered_map>

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

struct Reading {
    std::size_t at = 0;
    std::string word;        // what stood from `at` on
    bool lineBreak = false;  // and a line break just before it, lost
    bool isName = false;     // a header name (else a parameter)
};


class BlockRepair {
public:
    BlockRepair(std::string& block, GapRepair& report, bool ofMessage, const std::vector<std::string>& boundaries,
                const std::vector<std::string>& charsets, std::string_view nextBoundary)
        : block_(block), report_(report), ofMessage_(ofMessage), boundaries_(boundaries.begin(), boundaries.end()),
          charsets_(charsets.begin(), charsets.end()), nextBoundary_(nextBoundary)
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
    const std::vector<std::string_view> boundaries_;
    const std::vector<std::string_view> charsets_;  // named elsewhere in the message
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
        while (end < block_.size() && fit::IsGap(block_[end]))
            ++end;
        for (; seen < h; ++seen)
            ls = block_[seen] == '\n' ? seen + 1 : ls;
        std::vector<Reading> readings;
        // Letters and a colon right after the gap are the end of a name: a
        // name that ends inside the gap would leave them without one.
        std::size_t after = end;
        while (after < block_.size() && fit::IsNameChar(block_[after]))
            ++after;
        const bool nameAfter = after > end && after < block_.size() && block_[after] == ':';
        // A header name at the line's start, or after a line break the gap
        // took; a name that lies wholly in the gap has nothing to fit.
        for (std::size_t s = ls; s <= end; s = s == ls ? std::max(h + 1, ls + 1) : s + 1) {
            const bool lineBreak = s != ls;
            if (lineBreak && !fit::BreakFits(block_, ls, s, false))
                continue;
            for (const std::string_view name : kHeaderNames) {
                bool touches = lineBreak;
                const std::string word = std::string(name) + ':';
                if ((!nameAfter || s + name.size() == after) && (s < h || s + word.size() > end)
                    && fit::Fits(block_, s, word, false, touches) && touches)
                    readings.push_back({s, word, lineBreak, true});
            }
        }
        // A parameter name, in a header that has them.
        if (TakesParameters(ls)) {
            for (const std::string_view name : kParameterNames) {
                const std::string word = fit::kBlank + std::string(name) + '=';
                for (std::size_t s = std::max(ls, h + 1 > word.size() ? h + 1 - word.size() : 0); s < end; ++s) {
                    const char before = s > ls ? block_[s - 1] : ' ';
                    bool touches = false;
                    if ((fit::IsBlank(before) || before == ';' || fit::IsGap(before)) && fit::Fits(block_, s, word, false, touches)
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
    // How many lines of the same name come before each restored one: a
    // running count per name, as a block may hold a restored name in every
    // one of thousands of blocks.
    std::size_t next = 0;
    std::unordered_map<std::string, int> counts;  // by the name in lower case
    for (std::size_t at = 0; at < block_.size() && next < repairedAt_.size();) {
        const fit::HeaderLine line = fit::HeaderLineAt(block_, at);
        at = line.end;
        if (line.colon == std::string::npos)
            continue;
        std::string name = block_.substr(line.begin, line.colon - line.begin);
        std::transform(name.begin(), name.end(), name.begin(), fit::Lower);
        int& count = counts[name];
        for (; next < repairedAt_.size() && repairedAt_[next] < line.end; ++next)
            report_.messageNames[report_.messageNames.size() - repairedAt_.size() + next].occurrence = count;
        ++count;
    }
}

void BlockRepair::Apply(const Reading& r)
{
    std::string mask;
    for (std::size_t i = 0; i < r.word.size(); ++i) {
        char& c = block_[r.at + i];
        mask += fit::IsGap(c) ? '^' : ' ';
        if (fit::IsGap(c))
            c = r.word[i] != fit::kBlank ? r.word[i] : r.at == 0 || block_[r.at - 1] == '\n' ? '\t' : ' ';
    }
    if (r.lineBreak) {
        block_[r.at - 1] = '\n';
        if (fit::IsGap(block_[r.at - 2]))
            block_[r.at - 2] = '\r';
    }
    if (!r.isName)
        return;
    const std::size_t after = r.at + r.word.size();
    if (after < block_.size() && fit::IsGap(block_[after]))
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
    while (ls > 0 && (fit::IsBlank(block_[ls]) || fit::IsGap(block_[ls]))) {
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
    askedAnswer_ = fit::EqualsNoCase(name, "Content-Type") || fit::EqualsNoCase(name, "Content-Disposition");
    return askedAnswer_;
}

void BlockRepair::NameTheUntold()
{
    std::string out;
    out.reserve(block_.size() + 64);
    for (std::size_t at = 0; at < block_.size();) {
        const std::size_t end = fit::LineEnd(block_, at);
        const std::string_view line = std::string_view(block_).substr(at, end - at);
        const std::size_t colon = line.find(':');
        const std::string_view name = line.substr(0, colon == std::string_view::npos ? 0 : colon);
        const bool damagedName = !name.empty() && HasGap(name) && std::all_of(name.begin(), name.end(), [](char c) {
            return fit::IsNameChar(c) || fit::IsGap(c);
        });
        if (damagedName || (at == 0 && !line.empty() && fit::IsGap(line.front()))) {
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
            if (damagedName) {
                out += line.substr(name.size());
            } else {
                out += ": ";
                out += line;
            }
        } else if (!line.empty() && fit::IsGap(line.front())) {
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
        if (const std::string_view type = fit::FitUnique(pieces[0], kMediaTypes); !type.empty())
            pieces[0].assign(1, ' ').append(type);
    }
    bool hasBoundary = false;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        std::string& piece = pieces[i];
        const std::size_t eq = piece.find('=');
        if (eq == std::string::npos)
            continue;
        std::size_t nameStart = 0;
        while (nameStart < eq && (fit::IsBlank(piece[nameStart]) || piece[nameStart] == '\r' || piece[nameStart] == '\n'))
            ++nameStart;
        const std::string_view name = std::string_view(piece).substr(nameStart, eq - nameStart);
        const std::string_view rawValue = std::string_view(piece).substr(eq + 1);
        std::string_view fit;
        if (fit::EqualsNoCase(name, "charset") && HasGap(rawValue)) {
            // Of the charsets that fit, the one the message names elsewhere.
            fit = fit::FitUnique(rawValue, kCharsets);
            if (fit.empty())
                fit = fit::FitUnique(rawValue, charsets_.data(), charsets_.size(), false);
        } else if (fit::EqualsNoCase(name, "boundary")) {
            if (HasGap(rawValue))
                fit = fit::FitUnique(rawValue, boundaries_.data(), boundaries_.size(), true);
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
    if (!hasBoundary && !nextBoundary_.empty() && fit::Fits(type, 0, "multipart/", false, touches) && !touches)
        out.append(";\r\n\tboundary=\"").append(nextBoundary_).append("\"");
    return out;
}

void BlockRepair::RepairValues()
{
    if (!HasGap(block_))
        return;
    std::string out;
    out.reserve(block_.size() + 64);
    for (std::size_t at = 0; at < block_.size();) {
        const fit::HeaderLine line = fit::HeaderLineAt(block_, at);
        at = line.end;
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
        if (HasGap(value) && fit::EqualsNoCase(name, "Content-Transfer-Encoding")) {
            if (const std::string_view fit = fit::FitUnique(value, kEncodings); !fit.empty())
                repaired.assign(1, ' ').append(fit);
        } else if (HasGap(value) && fit::EqualsNoCase(name, "Content-Type")) {
            repaired = RepairContentType(value);
        }
        out += name;
        out += ':';
        out += repaired;
        out += lineBreak;
    }
    block_ = std::move(out);
}

} // namespace

void RepairHeaderBlock(std::string& block, GapRepair& report, bool ofMessage, const std::vector<std::string>& boundaries,
                       const std::vector<std::string>& charsets, std::string_view nextBoundary)
{
    BlockRepair(block, report, ofMessage, boundaries, charsets, nextBoundary).Run();
}

} // namespace render
