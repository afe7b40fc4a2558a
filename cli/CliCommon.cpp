#include "cli/CliCommon.h"

#include "dbx/DisplayText.h"
#include "platform/Console.h"
#include "platform/FileTime.h"
#include "platform/Files.h"
#include "platform/FsPath.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cli {

namespace {

// A progress bar on stderr that redraws only when the percentage changes.
class TerminalProgress final : public dbx::IProgressSink {
public:
    explicit TerminalProgress(std::string name) : name_(std::move(name)) {}
    ~TerminalProgress() override { std::fputs("\r\033[K", stderr); }

    void SetTotal(std::int32_t total) override
    {
        total_ = total;
        shown_ = -1;
        SetPos(0);
    }
    void SetPos(std::int32_t pos) override { SetPosRange(pos, pos); }
    void SetPosRange(std::int32_t, std::int32_t last) override
    {
        if (total_ <= 0)
            return;
        const int percent = static_cast<int>(std::min<std::int64_t>(100, std::int64_t{last} * 100 / total_));
        if (percent == shown_)
            return;
        shown_ = percent;
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\rScanning %s [%.*s%*s] %3d%%", name_.c_str(), filled,
                     "##############################", kWidth - filled, "", percent);
        std::fflush(stderr);
    }

private:
    std::string name_;
    std::int32_t total_ = 0;
    int shown_ = -1;
};

std::string WhyNotOpened(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path fsPath = platform::ToFsPath(path);
    const auto status = std::filesystem::status(fsPath, ec);
    if (ec)
        return ec.message();
    if (std::filesystem::is_directory(status))
        return "is a directory";
    if (!std::filesystem::is_regular_file(status))
        return "not a regular file";
    std::FILE* probe = platform::OpenForReading(path);
    if (!probe)
        return std::strerror(errno);
    std::fclose(probe);
    if (std::filesystem::file_size(fsPath, ec) == 0)
        return "file is empty";
    return "cannot be mapped into memory";
}

} // namespace

void Error(std::string_view message)
{
    std::fprintf(stderr, "%s: %.*s\n", kProgram, static_cast<int>(message.size()), message.data());
}

bool OpenAndScan(const std::string& path, dbx::DbxFile& file)
{
    if (!file.Open(path)) {
        Error(PathForTerminal(path) + ": " + WhyNotOpened(path));
        return false;
    }
    if (platform::StderrIsTerminal()) {
        TerminalProgress progress(PathForTerminal(platform::FromFsPath(platform::ToFsPath(path).filename())));
        file.Scan(progress);
    } else {
        dbx::NullProgressSink quiet;
        file.Scan(quiet);
    }
    return true;
}

bool WarnIfIncomplete(const std::string& path, const dbx::DbxFile& file)
{
    if (file.CutWhileScanned())
        Error(PathForTerminal(path) + ": warning: the list is incomplete: the file shrank while it was read");
    if (file.OmittedChains() != 0)
        Error(PathForTerminal(path) + ": warning: the list is incomplete: " + std::to_string(file.OmittedChains()) +
              " chains of blocks were not examined (the file holds far more block headers than real mail can)");
    return file.CutWhileScanned() || file.OmittedChains() != 0;
}

void AppendDate(std::string& out, std::uint64_t fileTime)
{
    platform::SystemTime st;
    if (fileTime == 0 || !platform::FileTimeToSystemTime(fileTime, st))
        return;
    // "%04u-%02u-%02u %02u:%02u:%02u", without printf's cost per e-mail:
    // each field's digits put in place, the text appended once.
    char text[] = "0000-00-00 00:00:00";
    const auto put = [&text](unsigned value, std::size_t end, std::size_t width) {
        for (std::size_t k = 0; k < width; ++k, value /= 10)
            text[end - 1 - k] = static_cast<char>('0' + value % 10);
    };
    put(st.year, 4, 4);
    put(st.month, 7, 2);
    put(st.day, 10, 2);
    put(st.hour, 13, 2);
    put(st.minute, 16, 2);
    put(st.second, 19, 2);
    if (st.year > 9999)
        out += static_cast<char>('0' + st.year / 10000);  // the digit before the four (a year is at most 65535)
    out.append(text, sizeof text - 1);
}

std::string FormatDate(std::uint64_t fileTime)
{
    std::string text;
    AppendDate(text, fileTime);
    return text;
}

std::string ForTerminal(std::string_view bytes)
{
    return dbx::ReplaceControls(dbx::ToDisplayUtf8(bytes), '?');
}

namespace {

// What a byte of a JSON string's text needs: kAsIs, an escape, or (when
// the text is not known to be UTF-8) the display conversion of the whole
// text first. A table: lists print thousands of these strings.
enum ByteNeed : std::uint8_t { kAsIs, kEscape, kNotAscii };
constexpr std::array<ByteNeed, 256> kByteNeeds = [] {
    std::array<ByteNeed, 256> needs{};
    for (int c = 0; c < 0x20; ++c)
        needs[c] = kEscape;
    needs['"'] = needs['\\'] = kEscape;
    for (int c = 0x80; c < 0x100; ++c)
        needs[c] = kNotAscii;
    return needs;
}();

void AppendEscape(std::string& out, char c)
{
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default: {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
        out += esc;
    }
    }
}

// Whether any of 8 bytes needs more than a copy: a control byte, a quote
// or a backslash, or (with `asciiOnly`) a byte that is not ASCII. Exact for
// the word as a whole, which is all a skip needs.
template <bool asciiOnly>
bool WordNeedsMore(std::uint64_t w)
{
    constexpr std::uint64_t kOnes = ~std::uint64_t{0} / 255, kHigh = kOnes * 0x80;
    const auto zeroIn = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    const std::uint64_t control = (w - kOnes * 0x20) & ~w & kHigh;
    const std::uint64_t marks = zeroIn(w ^ (kOnes * '"')) | zeroIn(w ^ (kOnes * '\\'));
    return (control | marks | (asciiOnly ? w & kHigh : 0)) != 0;
}

// `text` as a JSON string literal. With `asciiOnly`, stops at the first byte
// that is not ASCII and returns false, having appended part of it; else
// `text` is UTF-8, and its other bytes stand as they are.
template <bool asciiOnly>
bool AppendJsonQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t i = 0;;) {
        // A run that stands as it is, in one append: eight bytes at a step
        // while none needs more, then byte by byte.
        std::size_t run = i;
        for (std::uint64_t w; run + 8 <= text.size(); run += 8) {
            std::memcpy(&w, text.data() + run, 8);
            if (WordNeedsMore<asciiOnly>(w))
                break;
        }
        ByteNeed need = kAsIs;
        while (run < text.size()) {
            need = kByteNeeds[static_cast<unsigned char>(text[run])];
            if (need == kEscape || (asciiOnly && need == kNotAscii))
                break;
            ++run;
        }
        out.append(text.data() + i, run - i);
        if (run == text.size())
            break;
        if (asciiOnly && need == kNotAscii)
            return false;
        AppendEscape(out, text[run]);
        i = run + 1;
    }
    out += '"';
    return true;
}

std::string JsonQuote(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    AppendJsonQuoted<false>(out, text);
    return out;
}

} // namespace

void AppendJsonString(std::string& out, std::string_view bytes)
{
    // ASCII, as most header texts are, is its own display text.
    const std::size_t start = out.size();
    if (AppendJsonQuoted<true>(out, bytes))
        return;
    out.resize(start);
    AppendJsonQuoted<false>(out, dbx::ToDisplayUtf8(bytes));
}

std::string JsonString(std::string_view bytes)
{
    std::string out;
    AppendJsonString(out, bytes);
    return out;
}

std::string PathForTerminal(std::string_view path)
{
    return dbx::ReplaceControls(dbx::PathToDisplay(path), '?');
}

JsonPath JsonPathValues(std::string_view path)
{
    JsonPath values{JsonQuote(dbx::PathToDisplay(path)), {}};
    if (dbx::IsValidUtf8(path))
        return values;
    static constexpr char kDigits[] = "0123456789abcdef";
    values.hex.assign(1, '"');
    for (const char c : path) {
        values.hex += kDigits[static_cast<unsigned char>(c) >> 4];
        values.hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    values.hex += '"';
    return values;
}

std::string JsonPathMembers(std::string_view key, std::string_view path)
{
    const JsonPath values = JsonPathValues(path);
    // Appended piece by piece: "literal" + string trips GCC's -O3 -Wrestrict.
    std::string out = "\"";
    out.append(key).append("\":").append(values.text);
    if (!values.hex.empty())
        out.append(",\"").append(key).append("Hex\":").append(values.hex);
    return out;
}

std::optional<int> ParseIndex(std::string_view text)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::optional<int> ReadJsonOption(const std::string& command, const char* usage,
                                  const std::vector<std::string>& args, std::size_t maxOperands, bool& json,
                                  std::vector<std::string>& operands)
{
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return kExitOk;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg.starts_with("-") || operands.size() == maxOperands) {
            Error(command + ": unexpected argument '" + arg + "'");
            std::fputs(usage, stderr);
            return kExitUsage;
        } else {
            operands.push_back(arg);
        }
    }
    return std::nullopt;
}

std::optional<int> ReadOneEmail(const std::string& command, const char* usage,
                                const std::vector<std::string>& args, OneEmail& email)
{
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return kExitOk;
        }
    }
    if (args.size() != 2) {
        std::fputs(usage, stderr);
        return kExitUsage;
    }
    const std::optional<int> index = ParseIndex(args[1]);
    if (!index) {
        Error(command + ": '" + args[1] + "' is not an e-mail index");
        return kExitUsage;
    }
    if (!OpenAndScan(args[0], email.file))
        return kExitUsage;
    if (*index >= email.file.GetCount()) {
        Error(args[0] + ": no e-mail with index " + args[1] + " (it holds " + std::to_string(email.file.GetCount()) + ")");
        return kExitUsage;
    }
    email.index = *index;
    email.complete = email.file.ReadMessage(*index, email.text);
    if (!email.complete)
        Error(args[0] + ": the file shrank while it was read; e-mail " + args[1] + " is incomplete");
    return std::nullopt;
}

bool WriteToStdout(std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
}

} // namespace cli
