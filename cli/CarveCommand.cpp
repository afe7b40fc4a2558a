#include "cli/CarveParts.h"
#include "cli/CliCommon.h"
#include "cli/EmailOutput.h"

#include "archive/Sha256.h"
#include "platform/Console.h"
#include "platform/FsPath.h"
#include "platform/Interrupt.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cli {

namespace {

constexpr const char* kCarveUsage =
    "usage: quillmend-cli carve IMAGE [--json] [--extract FOLDER]\n"
    "Finds the mail of Outlook Express where no mail file tells where it is: in a\n"
    "disk image or a whole disk (mail files deleted, the disk reformatted, files\n"
    "in pieces), or in a damaged mail file (blocks moved, the start overwritten).\n"
    "Reads IMAGE once from start to end, never writes it, and lists the former\n"
    "mail files found with their e-mails. Ctrl-C stops the reading early and\n"
    "lists what was found so far.\n"
    "  --json            one JSON object for scripts: the image, the former mail\n"
    "                    files (where they lay, their pieces) and their e-mails\n"
    "  --extract FOLDER  also write each former mail file into FOLDER as a .dbx\n"
    "                    file (list, cat, show and save then work on it), with a\n"
    "                    manifest.json naming the image, its SHA-256 and where\n"
    "                    each block came from\n";

// Reading progress on a terminal: bytes, rate, what was found so far.
class TerminalCarveProgress final : public dbx::ICarveProgress {
public:
    TerminalCarveProgress(std::string name, bool show) : name_(std::move(name)), show_(show) {}
    ~TerminalCarveProgress() override
    {
        if (show_)
            std::fputs("\r\033[K", stderr);
    }

    void Reading(std::uint64_t done, std::uint64_t total, std::uint64_t blocks, std::uint64_t files) override
    {
        if (!show_)
            return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double rate = seconds > 0.05 ? static_cast<double>(done) / seconds : 0.0;
        std::fprintf(stderr, "\r\033[KCarving %s: %s of %s (%d %%), %s/s, %llu block headers, %llu likely mail file%s",
                     name_.c_str(), HumanBytes(done).c_str(), HumanBytes(total).c_str(),
                     total ? static_cast<int>(done * 100 / total) : 100,
                     HumanBytes(static_cast<std::uint64_t>(rate)).c_str(), static_cast<unsigned long long>(blocks),
                     static_cast<unsigned long long>(files), files == 1 ? "" : "s");
        std::fflush(stderr);
    }
    bool Stopped() override { return platform::Interrupted(); }

private:
    std::string name_;
    bool show_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

class DigestObserver final : public dbx::IByteObserver {
public:
    void Bytes(const std::uint8_t* data, std::size_t n) override { sha.Update(data, n); }
    archive::Sha256 sha;
};

struct FileSummary {
    int existing = 0;
    int deleted = 0;
    std::uint64_t first = 0, last = 0;  // dates, 0 = none
};

FileSummary Summarize(const dbx::DbxFile& file)
{
    FileSummary s;
    for (const dbx::EmailRecord& r : file.Records()) {
        ++(r.isDeleted ? s.deleted : s.existing);
        if (r.date != 0) {
            s.first = s.first == 0 ? r.date : std::min(s.first, r.date);
            s.last = std::max(s.last, r.date);
        }
    }
    return s;
}

std::string DateOnly(std::uint64_t fileTime)
{
    return FormatDate(fileTime).substr(0, 10);
}

void PrintTable(const std::string& image, const dbx::Carver& carver)
{
    const auto& files = carver.Files();
    std::printf("Former mail files in %s (%s):\n", ForTerminal(image).c_str(), HumanBytes(carver.ImageSize()).c_str());
    std::printf("%5s  %14s  %10s  %6s  %8s  %7s  %s\n", "File", "Start", "Extent", "Pieces", "Existing", "Deleted",
                "Dates");
    int total = 0;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const dbx::CarvedFile& c = *files[f];
        const FileSummary s = Summarize(c.File());
        const std::string dates = s.first ? DateOnly(s.first) + " to " + DateOnly(s.last) : "";
        std::printf("%5zu  %14lld  %10s  %6zu  %8d  %7d  %s\n", f, static_cast<long long>(c.Start()),
                    HumanBytes(c.Extent()).c_str(), c.Pieces().size(), s.existing, s.deleted, dates.c_str());
        total += c.File().GetCount();
    }
    for (std::size_t f = 0; f < files.size(); ++f) {
        const dbx::CarvedFile& c = *files[f];
        std::printf("\nFile %zu, at %lld:\n", f, static_cast<long long>(c.Start()));
        PrintEmailHeading();
        for (int i = 0; i < c.File().GetCount(); ++i)
            PrintEmailRow(c.File(), i);
    }
    std::printf("\n%d e-mail%s in %zu former mail file%s\n", total, total == 1 ? "" : "s", files.size(),
                files.size() == 1 ? "" : "s");
}

std::string Number(std::uint64_t n)
{
    return std::to_string(n);
}

void PrintJson(const std::string& image, const dbx::Carver& carver)
{
    const dbx::CarveCounts& k = carver.Counts();
    std::string out = "{\"image\":" + JsonString(image) + ",\"size\":" + Number(k.imageSize) +
                      ",\"bytesRead\":" + Number(k.bytesRead) + ",\"stopped\":" + (k.stopped ? "true" : "false") +
                      ",\"sectorSize\":" + Number(k.sectorSize) + ",\"unreadableSectors\":" + Number(k.unreadableSectors) +
                      ",\"blockHeaders\":" + Number(k.headers) + ",\"blockHeadersLeftOut\":" + Number(k.headersLeftOut) +
                      ",\"filesLeftOut\":" + Number(k.filesLeftOut) + ",\"linksUndecided\":" +
                      Number(k.layout.linksUndecided) + ",\"files\":[";
    const auto& files = carver.Files();
    for (std::size_t f = 0; f < files.size(); ++f) {
        const dbx::CarvedFile& c = *files[f];
        const FileSummary s = Summarize(c.File());
        out += f == 0 ? "\n" : ",\n";
        out += "{\"index\":" + Number(f) + ",\"start\":" + std::to_string(c.Start()) + ",\"extent\":" + Number(c.Extent()) +
               ",\"signature\":" + (c.HasSignature() ? "true" : "false") + ",\"existing\":" + std::to_string(s.existing) +
               ",\"deleted\":" + std::to_string(s.deleted) + ",\"firstDate\":\"" + FormatDate(s.first) +
               "\",\"lastDate\":\"" + FormatDate(s.last) + "\",\"pieces\":[";
        for (std::size_t p = 0; p < c.Pieces().size(); ++p) {
            const dbx::Piece& piece = c.Pieces()[p];
            out += (p ? ",{" : "{") + std::string("\"from\":") + Number(piece.from) + ",\"to\":" + Number(piece.to) +
                   ",\"position\":" + Number(piece.Position(piece.from)) + ",\"shift\":" + std::to_string(piece.shift) + "}";
        }
        out += "],\"emails\":[";
        for (int i = 0; i < c.File().GetCount(); ++i) {
            const dbx::CarvedFile::Where where = c.Locate(i);
            std::string extra = ",\"position\":" + Number(where.firstBlock) + ",\"shifts\":[";
            for (std::size_t w = 0; w < where.shifts.size(); ++w)
                extra.append(w ? "," : "").append(std::to_string(where.shifts[w]));  // not "," + string: -Wrestrict at -O3
            out += i == 0 ? "\n" : ",\n";
            AppendEmailJson(out, c.File(), i, extra + "]");
            if (out.size() > (1u << 16)) {
                std::fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
        }
        out += "]}";
    }
    out += "\n]}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// What the list leaves out or could not read, on stderr; true when the
// list is incomplete.
bool WarnAboutGaps(const std::string& image, const dbx::Carver& carver)
{
    const dbx::CarveCounts& k = carver.Counts();
    const std::string name = ForTerminal(image);
    bool incomplete = false;
    if (k.stopped) {
        Error(name + ": stopped after " + HumanBytes(k.bytesRead) + " of " + HumanBytes(k.imageSize) +
              "; the list holds what was found before");
        incomplete = true;
    }
    if (k.unreadableSectors > 0)
        Error(name + ": " + Number(k.unreadableSectors) + " sector" + (k.unreadableSectors == 1 ? "" : "s") + " of " +
              Number(k.sectorSize) + " bytes could not be read; they were read as zeros");
    if (k.headersLeftOut > 0 || k.filesLeftOut > 0 || k.chainsLeftOut > 0) {
        Error(name + ": warning: the list is incomplete: " + Number(k.headersLeftOut) + " block headers, " +
              Number(k.filesLeftOut) + " former files and " + Number(k.chainsLeftOut) +
              " chains were left out (the image holds far more block headers than real mail can)");
        incomplete = true;
    }
    if (k.layout.linksUndecided > 0)
        Error(name + ": " + Number(k.layout.linksUndecided) + " e-mail" + (k.layout.linksUndecided == 1 ? "" : "s") +
              " may end early: where a piece of a file ends, more than one piece could go on and nothing told which");
    return incomplete;
}

} // namespace

std::string HumanBytes(std::uint64_t bytes)
{
    static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string CarveOpenError(const std::string& path, platform::ImageFile::OpenError error, int errorNumber,
                           bool isDisk, const std::string& ownerGroup)
{
    using E = platform::ImageFile::OpenError;
    const std::string name = ForTerminal(path);
    switch (error) {
    case E::kMissing: return name + ": no such file or disk";
    case E::kEmpty: return name + ": it is empty";
    case E::kNotFileOrDisk: return name + ": not a file or a disk";
    case E::kNoPermission:
        if (isDisk)
            return name + ": this disk may not be read by you: reading it needs read permission on " + name +
                   (ownerGroup.empty() ? std::string() : " (the members of the group '" + ownerGroup + "' have it)") +
                   "; the disk is only ever read";
        return name + ": permission denied (reading it needs read permission on the file)";
    default: return name + ": cannot be opened (" + std::strerror(errorNumber) + ")";
    }
}

int RunCarve(const std::vector<std::string>& args)
{
    bool json = false;
    std::string extract;
    std::vector<std::string> operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kCarveUsage, stdout);
            return kExitOk;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--extract" || arg.starts_with("--extract=")) {
            extract = arg == "--extract" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(10);
            if (extract.empty()) {
                Error("carve: --extract needs a folder");
                return kExitUsage;
            }
        } else if (arg.starts_with("-") || !operands.empty()) {
            Error("carve: unexpected argument '" + arg + "'");
            std::fputs(kCarveUsage, stderr);
            return kExitUsage;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.empty()) {
        std::fputs(kCarveUsage, stderr);
        return kExitUsage;
    }
    const std::string& image = operands.front();
    dbx::Carver carver;
    if (!carver.Open(image)) {
        std::error_code ec;
        Error(CarveOpenError(image, carver.OpenError(), carver.OpenErrno(), std::filesystem::is_block_file(platform::ToFsPath(image), ec),
                             platform::ImageFile::ReadingGroup(image)));
        return kExitUsage;
    }
    DigestObserver digest;
    platform::CatchInterrupt();
    {
        TerminalCarveProgress progress(ForTerminal(platform::FromFsPath(platform::ToFsPath(image).filename())),
                                       platform::StderrIsTerminal());
        carver.Run(progress, extract.empty() ? nullptr : &digest);
    }
    platform::ReleaseInterrupt();
    if (json)
        PrintJson(image, carver);
    else
        PrintTable(image, carver);
    const bool printed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const bool incomplete = WarnAboutGaps(image, carver);
    bool extracted = true;
    if (!extract.empty()) {
        const std::string sha = carver.Counts().stopped ? std::string() : digest.sha.HexDigest();
        extracted = ExtractFormerFiles(carver, image, sha, extract);
    }
    return printed && !incomplete && extracted ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
