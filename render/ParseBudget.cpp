#include "render/ParseBudget.h"

#include "render/GapFit.h"
#include "render/Limits.h"
#include "render/MimeStructure.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace render {
namespace {

// The parser gives up on nesting deeper than this, so no more boundaries
// can be open at once.
constexpr std::size_t kParserMaxDepth = 1024;

std::size_t CountBoundaryWords(std::string_view line)
{
    static constexpr std::string_view kWord = "boundary";
    std::size_t count = 0;
    for (std::size_t i = 0; i + kWord.size() <= line.size(); ++i) {
        if ((line[i] | 0x20) != 'b')
            continue;
        bool match = true;
        for (std::size_t k = 1; k < kWord.size() && match; ++k)
            match = std::tolower(static_cast<unsigned char>(line[i + k])) == kWord[k];
        count += match ? 1 : 0;
    }
    return count;
}

} // namespace

std::size_t MimeWorkPrefix(std::string_view raw)
{
    std::size_t boundaries = 0;
    std::size_t work = 0;
    for (std::size_t start = 0; start < raw.size();) {
        const std::size_t newline = raw.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? raw.size() : newline + 1;
        const std::string_view line = raw.substr(start, end - start);
        boundaries = std::min(boundaries + CountBoundaryWords(line), kParserMaxDepth);
        if (line.size() >= 2 && line[0] == '-' && line[1] == '-') {
            work += std::max<std::size_t>(boundaries, 1);
            if (work > limits::kMaxBoundaryWork)
                return start;
        }
        start = end;
    }
    return raw.size();
}

namespace {

bool IsSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

bool IsEmptyLine(std::string_view line)
{
    return line == "\n" || line == "\r\n";
}

// Fields the parser reads as lists of addresses (in a message's header).
bool IsAddressField(std::string_view name)
{
    if (name.size() > 7 && fit::EqualsNoCase(name.substr(0, 7), "Resent-"))
        name.remove_prefix(7);
    for (const std::string_view field : {"From", "Sender", "Reply-To", "To", "Cc", "Bcc"})
        if (fit::EqualsNoCase(name, field))
            return true;
    return false;
}

// Walks the message's structure as the parser will (header blocks, and
// boundary lines of the multiparts open), copying what is kept only once
// something is left out.
class ParserInput {
public:
    ParserInput(std::string_view raw, std::string& storage) : raw_(raw), out_(storage) {}

    std::string_view Run(bool& cut);

private:
    bool HeaderLine(std::size_t at, std::size_t end);
    void KeepOfField(std::size_t at, std::size_t end, std::size_t least);
    bool EndBlock();
    void StartBlock();
    void Drop(std::size_t from, std::size_t to);

    std::string_view raw_;
    std::string& out_;
    bool copying_ = false;
    std::size_t keptFrom_ = 0;  // raw_ from here on is not in out_ yet
    std::vector<std::string> open_;  // boundaries of the multiparts open
    std::size_t parts_ = 0;
    std::size_t fields_ = 0;
    std::size_t headerBytes_ = 0;
    std::size_t addressBytes_ = 0;
    // The header block being read, and its field.
    std::size_t blockFields_ = 0;
    std::string contentType_;  // the block's last Content-Type field, as kept
    bool fieldOpen_ = false;  // a line that begins with a blank goes on with it
    bool fieldKept_ = false;
    bool fieldIsAddress_ = false;
    bool fieldIsContentType_ = false;
    std::size_t fieldBytes_ = 0;
};

std::string_view ParserInput::Run(bool& cut)
{
    cut = false;
    bool header = true;
    StartBlock();
    std::size_t at = 0;
    for (; at < raw_.size();) {
        const std::size_t end = fit::LineEnd(raw_, at);
        const std::string_view line = raw_.substr(at, end - at);
        int level = 0;
        bool closing = false;
        if (header && IsEmptyLine(line)) {
            header = EndBlock();
            if (header && ++parts_ > limits::kMaxParts)
                break;
        } else if (!open_.empty() && MatchBoundary(line, open_, level, closing)) {
            // Also in a header block: the parser ends a part's header there.
            open_.resize(static_cast<std::size_t>(level) + (closing ? 0 : 1));
            if (!closing && ++parts_ > limits::kMaxParts)
                break;
            header = !closing;
            StartBlock();
        } else if (header && !HeaderLine(at, end)) {
            break;
        }
        at = end;
    }
    cut = at < raw_.size();
    if (!copying_)
        return raw_.substr(0, at);
    out_.append(raw_.substr(keptFrom_, at - keptFrom_));
    return out_;
}

bool ParserInput::HeaderLine(std::size_t at, std::size_t end)
{
    const std::string_view line = raw_.substr(at, end - at);
    if (IsSpaceOrTab(line.front()) && fieldOpen_) {  // the field goes on
        if (fieldKept_)
            KeepOfField(at, end, 2);
        else
            Drop(at, end);
        return true;
    }
    if (fields_ >= limits::kMaxMessageHeaderFields || headerBytes_ >= limits::kMaxMessageHeaderBytes)
        return false;
    fieldOpen_ = true;
    fieldKept_ = blockFields_ < limits::kMaxHeaderFields;
    if (!fieldKept_) {
        Drop(at, end);
        return true;
    }
    ++blockFields_;
    ++fields_;
    const std::size_t colon = line.find(':');
    std::string_view name = line.substr(0, colon == std::string_view::npos ? 0 : colon);
    while (!name.empty() && IsSpaceOrTab(name.back()))
        name.remove_suffix(1);
    fieldIsAddress_ = IsAddressField(name);
    fieldIsContentType_ = fit::EqualsNoCase(name, "Content-Type");
    if (fieldIsContentType_)
        contentType_.clear();  // the parser goes by the last one
    fieldBytes_ = 0;
    KeepOfField(at, end, colon == std::string_view::npos ? line.size() : colon + 2);
    return true;
}

// Keeps of a line of the field what its bounds allow, its line break
// always; a line of which fewer than `least` bytes could stay (which would
// no longer say what it is) goes whole, and so does the rest of the field
// once anything of it was left out.
void ParserInput::KeepOfField(std::size_t at, std::size_t end, std::size_t least)
{
    std::size_t content = end - at;
    while (content > 0 && (raw_[at + content - 1] == '\n' || raw_[at + content - 1] == '\r'))
        --content;
    std::size_t room = limits::kMaxFieldBytes - std::min(fieldBytes_, limits::kMaxFieldBytes);
    if (fieldIsAddress_)
        room = std::min(room, limits::kMaxAddressBytes - std::min(addressBytes_, limits::kMaxAddressBytes));
    const std::size_t keep = std::min(content, room);
    if (keep < content) {
        fieldKept_ = false;
        if (keep < std::min(least, content)) {
            Drop(at, end);
            return;
        }
        Drop(at + keep, at + content);
    }
    fieldBytes_ += keep;
    headerBytes_ += keep;
    if (fieldIsAddress_)
        addressBytes_ += keep;
    if (fieldIsContentType_)
        contentType_.append(raw_.substr(at, keep));
}

// At the empty line that ends a header block: true when another header
// block follows at once (an attached message's).
bool ParserInput::EndBlock()
{
    const std::size_t colon = contentType_.find(':');
    const ContentType type = colon == std::string::npos ? ContentType{}
                                                        : ParseContentTypeValue(std::string_view(contentType_).substr(colon + 1));
    if (type.multipart && !type.boundary.empty() && open_.size() < kParserMaxDepth)
        open_.push_back(type.boundary);
    StartBlock();
    return type.message;
}

void ParserInput::StartBlock()
{
    blockFields_ = 0;
    contentType_.clear();
    fieldOpen_ = false;
    fieldKept_ = false;
}

void ParserInput::Drop(std::size_t from, std::size_t to)
{
    if (!copying_) {
        out_.clear();
        out_.reserve(raw_.size());
        copying_ = true;
    }
    out_.append(raw_.substr(keptFrom_, from - keptFrom_));
    keptFrom_ = to;
}

} // namespace

std::string_view BoundForParser(std::string_view raw, std::string& storage, bool& cut)
{
    return ParserInput(raw, storage).Run(cut);
}

} // namespace render
