#include "render/GapRepair.h"

#include "render/GapFit.h"
#include "render/HeaderBlockRepair.h"
#include "render/Limits.h"
#include "render/MimeStructure.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace render {

namespace {

// Boundary lines longer than this are not taken for boundaries, and no
// more different ones than this are looked at.
constexpr std::size_t kMaxBoundary = 200;
constexpr std::size_t kMaxBoundaryLines = 1000;
// Multiparts open at once whose boundary lines are repaired (real mail
// nests a few deep).
constexpr std::size_t kMaxOpen = 64;

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
    void CopyVerbatim(std::size_t from, std::size_t to);
    ContentType HeaderBlock(bool ofMessage);
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
    for (std::size_t at = 0; at < in_.size(); at = fit::LineEnd(in_, at)) {
        if (in_.compare(at, 2, "--") != 0)
            continue;
        std::string_view line = std::string_view(in_).substr(at + 2, fit::LineEnd(in_, at) - at - 2);
        while (!line.empty() && (fit::IsBlank(line.back()) || line.back() == '\r' || line.back() == '\n'))
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
        while (end < in_.size() && end - at < 40 && (fit::IsNameChar(in_[end]) || in_[end] == ':'))
            ++end;
        std::string name = in_.substr(at, end - at);
        std::transform(name.begin(), name.end(), name.begin(), fit::Lower);
        if (!name.empty() && (end == in_.size() || !fit::IsGap(in_[end]))
            && std::find(charsets_.begin(), charsets_.end(), name) == charsets_.end())
            charsets_.push_back(std::move(name));
    };
    for (std::size_t at = in_.find('='); at != std::string::npos && charsets_.size() < kMaxCharsets;
         at = in_.find('=', at + 1)) {
        if (at + 1 < in_.size() && in_[at + 1] == '?')
            add(at + 2);  // an encoded word
        else if (at + 1 >= kParameter.size()
                 && fit::EqualsNoCase(std::string_view(in_).substr(at + 1 - kParameter.size(), kParameter.size()), kParameter))
            add(at + 1 < in_.size() && in_[at + 1] == '"' ? at + 2 : at + 1);
    }
}

std::string_view MessageRepair::NextBoundaryLine(std::size_t from) const
{
    const auto it = std::lower_bound(boundaryAt_.begin(), boundaryAt_.end(), std::make_pair(from, std::size_t{0}));
    return it == boundaryAt_.end() ? std::string_view() : std::string_view(boundaryLines_[it->second]);
}

// Appends in_[from, to) unchanged, and notes where it came from.
void MessageRepair::CopyVerbatim(std::size_t from, std::size_t to)
{
    if (to <= from)
        return;
    auto& stretches = report_.verbatim;
    if (!stretches.empty() && stretches.back().text + stretches.back().length == out_.size()
        && stretches.back().input + stretches.back().length == from)
        stretches.back().length += to - from;
    else
        stretches.push_back({out_.size(), from, to - from});
    out_.append(in_, from, to - from);
}

ContentType MessageRepair::HeaderBlock(bool ofMessage)
{
    std::size_t end = pos_;  // the empty line that ends the block
    while (end < in_.size() && in_[end] != '\n' && in_.compare(end, 2, "\r\n") != 0)
        end = fit::LineEnd(in_, end);
    std::string block = in_.substr(pos_, end - pos_);
    const std::size_t after = end < in_.size() ? fit::LineEnd(in_, end) : end;
    if (HasGap(block)) {
        RepairHeaderBlock(block, report_, ofMessage, boundaryLines_, charsets_, NextBoundaryLine(after));
        out_ += block;
    } else {
        CopyVerbatim(pos_, end);
    }
    CopyVerbatim(end, after);
    pos_ = after;
    return ParseContentType(block);
}

bool MessageRepair::RepairBoundaryLine(std::size_t ls, int& level, bool& closing)
{
    const std::size_t le = fit::LineEnd(in_, ls);
    struct Fit {
        std::size_t at;
        int level;
        bool lineBreak;
    };
    std::vector<Fit> fits;
    for (std::size_t h = in_.find(kGapByte, ls); h < le; h = in_.find(kGapByte, h + 1)) {
        std::size_t end = h;
        while (end < le && fit::IsGap(in_[end]))
            ++end;
        for (std::size_t s = ls; s <= end; s = s == ls ? std::max(h + 1, ls + 1) : s + 1) {
            const bool lineBreak = s != ls;
            if (lineBreak && !fit::BreakFits(in_, ls, s, true))
                continue;
            for (std::size_t i = 0; i < open_.size(); ++i) {
                const std::string word = "--" + open_[i];
                bool touches = lineBreak;
                if (!fit::Fits(in_, s, word, true, touches) || !touches || s + word.size() > le)
                    continue;
                const std::size_t q = s + word.size();
                if (q == le || std::string_view("\r\n- \t").find(in_[q]) != std::string_view::npos || fit::IsGap(in_[q]))
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
        if (fit::IsGap(line[line.size() - 2]))
            line[line.size() - 2] = '\r';
    }
    line += word;
    std::size_t q = fit.at + word.size();
    std::size_t gaps = 0;
    while (q + gaps < le && fit::IsGap(in_[q + gaps]))
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
            CopyVerbatim(pos_, in_.size());  // a hostile shape: the rest as it is
            break;
        }
        if (headersNext) {
            type = HeaderBlock(false);
            headersNext = type.message;
            if (type.multipart && !type.boundary.empty() && open_.size() < kMaxOpen)
                open_.push_back(type.boundary);
            continue;
        }
        const std::size_t end = fit::LineEnd(in_, pos_);
        const std::string_view line = std::string_view(in_).substr(pos_, end - pos_);
        if (line.substr(0, 2) == "--" || HasGap(line))
            work_ += open_.size() * (HasGap(line) ? 8 : 1);
        int level = 0;
        bool closing = false;
        if (!open_.empty() && MatchBoundary(line, open_, level, closing)) {
            CopyVerbatim(pos_, end);
            pos_ = end;
        } else if (!open_.empty() && HasGap(line) && RepairBoundaryLine(pos_, level, closing)) {
            // out_ and pos_ moved on
        } else {
            CopyVerbatim(pos_, end);
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
        report.verbatim.push_back({0, 0, text.size()});
        report.text = std::move(text);
        return report;
    }
    report.text = MessageRepair(std::move(text), report).Run();
    return report;
}

} // namespace render
