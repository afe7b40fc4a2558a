#include "archive/Mbox.h"

#include "platform/FileTime.h"

#include <algorithm>
#include <cstdio>

namespace archive {

namespace {

bool FitsSeparator(std::string_view address)
{
    return !address.empty() && std::all_of(address.begin(), address.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7F;
    });
}

// True when the line (without its end) is ">*From ".
bool NeedsQuote(std::string_view line)
{
    const std::size_t quotes = std::min(line.find_first_not_of('>'), line.size());
    return line.substr(quotes).starts_with("From ");
}

// "name: value" with a name of printable ASCII.
bool IsHeaderLine(std::string_view line)
{
    const std::size_t colon = line.find(':');
    return colon != 0 && colon != std::string_view::npos
           && std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
                  return c > 0x20 && c < 0x7F;
              });
}

} // namespace

std::string EnvelopeSender(std::string_view fromLine)
{
    std::string_view address;
    const std::size_t open = fromLine.find('<');
    const std::size_t close = open == std::string_view::npos ? open : fromLine.find('>', open);
    if (close != std::string_view::npos) {
        address = fromLine.substr(open + 1, close - open - 1);
    } else if (const std::size_t at = fromLine.find('@'); at != std::string_view::npos) {
        constexpr std::string_view kStops = " \t,;\"()";
        const std::size_t before = fromLine.find_last_of(kStops, at);
        const std::size_t begin = before == std::string_view::npos ? 0 : before + 1;
        const std::size_t end = std::min(fromLine.find_first_of(kStops, at), fromLine.size());
        address = fromLine.substr(begin, end - begin);
    }
    return FitsSeparator(address) ? std::string(address) : std::string("MAILER-DAEMON");
}

std::string SeparatorLine(std::string_view sender, std::uint64_t utc)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // The Unix epoch as a file time.
    constexpr std::uint64_t kEpoch = 116444736000000000ull;
    platform::SystemTime t;
    if (utc == 0 || !platform::FileTimeToSystemTime(utc, t))
        platform::FileTimeToSystemTime(kEpoch, t);
    char when[64];
    std::snprintf(when, sizeof when, "%s %s %2u %02u:%02u:%02u %u", kDays[t.dayOfWeek % 7],
                  kMonths[(t.month + 11) % 12], t.day, t.hour, t.minute, t.second, t.year);
    return "From " + std::string(sender) + " " + when + "\n";
}

void AppendMboxEntry(std::string_view message, bool deleted, std::string& out)
{
    if (deleted) {
        message = message.substr(0, message.find_last_not_of('\0') + 1);  // npos + 1 == 0
        // The spaces over a deleted e-mail's lost first bytes would make its
        // first line a continuation of nothing, which readers refuse.
        message.remove_prefix(std::min(message.find_first_not_of(' '), message.size()));
        const std::string_view first = message.substr(0, message.find_first_of("\r\n"));
        if (!first.empty() && !IsHeaderLine(first))
            out += kFragmentLabel;
    }
    out.reserve(out.size() + message.size() + message.size() / 32 + 2);
    for (std::size_t begin = 0; begin < message.size();) {
        std::size_t end = message.find('\n', begin);
        const std::size_t next = end == std::string_view::npos ? message.size() : end + 1;
        if (end == std::string_view::npos)
            end = message.size();
        std::string_view line = message.substr(begin, end - begin);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (NeedsQuote(line))
            out += '>';
        out += line;
        out += '\n';
        begin = next;
    }
    out += '\n';
}

std::string UnquoteMboxLine(std::string_view line)
{
    if (line.starts_with('>') && NeedsQuote(line))
        line.remove_prefix(1);
    return std::string(line);
}

} // namespace archive
