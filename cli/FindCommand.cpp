#include "cli/CliCommon.h"

#include "platform/Console.h"
#include "platform/FolderList.h"
#include "platform/Mounts.h"
#include "search/DbxFileSearch.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace cli {

namespace {

constexpr const char* kFindUsage =
    "usage: quillmend-cli find [-0 | --json] [--] [PATH...]\n"
    "Searches folders for Outlook Express mail files (*.dbx, any case) and prints\n"
    "each as it is found: its size in bytes, a tab and its path. Without PATH it\n"
    "searches every local disk wherever it is mounted (removable disks under\n"
    "/media or /run/media too), each disk on its own. From a PATH it goes on only\n"
    "into local disks. Links inside the folders are not followed; network,\n"
    "memory and system file systems are not entered.\n"
    "The plain output is for people: names are shown as text, control\n"
    "characters as '?'. Scripts use -0 or --json.\n"
    "  -0       each record ends with a NUL byte, the name as its exact bytes\n"
    "           (SIZE, a tab, PATH, NUL), as find -print0 ends names\n"
    "  --json   one JSON object per line: {\"path\": ..., \"size\": ...}; a path\n"
    "           that is not UTF-8 also has \"pathHex\", its bytes in hex. Folders\n"
    "           that could not be read follow in one last line:\n"
    "           {\"unreadable\": [{\"path\": ..., \"error\": ...}, ...]}\n"
    "Each folder that could not be read is named on stderr.\n"
    "exit status: 0 mail files found and every folder read, 1 none found and\n"
    "every folder read, 2 usage error, a PATH that does not exist or output that\n"
    "could not be written, 3 some folder could not be read (whether or not mail\n"
    "files were found).\n";

constexpr int kExitNoneFound = 1;
constexpr int kExitNotAllRead = 3;

enum class Output { kPlain, kNul, kJson };

// "path": ..., and "pathHex": ... where needed, spaced as find's JSON is.
std::string PathMembers(const std::string& path)
{
    const JsonPath values = JsonPathValues(path);
    return "\"path\": " + values.text + (values.hex.empty() ? "" : ", \"pathHex\": " + values.hex);
}

// Prints each mail file as the walk finds it; on a terminal, stderr shows
// the folder being searched, redrawn at most ten times a second.
class FindPrinter final : public search::ISearchObserver {
public:
    explicit FindPrinter(Output output) : output_(output), progress_(platform::StderrIsTerminal()) {}
    ~FindPrinter() override { ClearProgress(); }

    bool SearchDirectory(const std::string& path) override
    {
        if (!progress_)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown_ < std::chrono::milliseconds(100))
            return true;
        lastShown_ = now;
        std::string shown = PathForTerminal(path);
        constexpr std::size_t kMax = 68;
        if (shown.size() > kMax) {
            // Keep the end, cut at the start of a UTF-8 character.
            std::size_t cut = shown.size() - kMax + 3;
            while (cut < shown.size() && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
                ++cut;
            shown = "..." + shown.substr(cut);
        }
        std::fprintf(stderr, "\r\033[Ksearching %s", shown.c_str());
        std::fflush(stderr);
        progressShown_ = true;
        return true;
    }

    void MailFileFound(const std::string& path, std::uint64_t size) override
    {
        ClearProgress();
        ++found_;
        const auto bytes = static_cast<unsigned long long>(size);
        switch (output_) {
        case Output::kJson:
            std::printf("{%s, \"size\": %llu}\n", PathMembers(path).c_str(), bytes);
            break;
        case Output::kNul:
            std::printf("%llu\t", bytes);
            std::fwrite(path.data(), 1, path.size(), stdout);
            std::fputc('\0', stdout);
            break;
        case Output::kPlain:
            std::printf("%llu\t%s\n", bytes, PathForTerminal(path).c_str());
            break;
        }
        std::fflush(stdout);
    }

    void DirectoryUnreadable(const std::string& path, const std::string& why) override
    {
        ClearProgress();
        Error("find: " + PathForTerminal(path) + ": " + why);
        if (!unreadable_.empty())
            unreadable_ += ", ";
        unreadable_ += '{';
        unreadable_ += PathMembers(path);
        unreadable_ += ", \"error\": ";
        unreadable_ += JsonString(why);
        unreadable_ += '}';
    }

    // The last line of --json: the folders that could not be read.
    void PrintUnreadable() const
    {
        if (output_ == Output::kJson && !unreadable_.empty())
            std::printf("{\"unreadable\": [%s]}\n", unreadable_.c_str());
    }

    long long Found() const { return found_; }

private:
    void ClearProgress()
    {
        if (progressShown_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            progressShown_ = false;
        }
    }

    Output output_;
    bool progress_;
    bool progressShown_ = false;
    long long found_ = 0;
    std::string unreadable_;  // JSON objects, comma-separated
    std::chrono::steady_clock::time_point lastShown_{};
};

} // namespace

int RunFind(const std::vector<std::string>& args)
{
    bool json = false;
    bool nul = false;
    bool operandsOnly = false;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (operandsOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            paths.push_back(arg);  // a path as given, spaces and all
        } else if (arg == "--") {
            operandsOnly = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kFindUsage, stdout);
            return kExitOk;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "-0") {
            nul = true;
        } else {
            Error("find: unexpected argument '" + ForTerminal(arg) + "'");
            std::fputs(kFindUsage, stderr);
            return kExitUsage;
        }
    }
    if (json && nul) {
        Error("find: -0 and --json cannot be used together");
        return kExitUsage;
    }
    for (const std::string& path : paths) {
        if (!platform::Exists(path)) {
            Error("find: " + PathForTerminal(path) + ": no such folder");
            return kExitUsage;
        }
        if (!platform::IsFolder(path)) {
            Error("find: " + PathForTerminal(path) + ": not a folder");
            return kExitUsage;
        }
    }
    // Without PATH: every drive, each staying on its own file system.
    const bool drives = paths.empty();
    if (drives)
        paths = platform::LogicalDriveRoots();

    FindPrinter printer(json ? Output::kJson : nul ? Output::kNul : Output::kPlain);
    search::DbxFileSearch search(printer, search::FileSystemBoundary::OfThisSystem());
    for (const std::string& path : paths)
        search.SearchTree(path, drives);
    printer.PrintUnreadable();
    // A list cut short must not pass for a whole one.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Error("find: the list could not be written in full");
        return kExitUsage;
    }
    if (search.UnreadableCount() > 0)
        return kExitNotAllRead;
    return printer.Found() > 0 ? kExitOk : kExitNoneFound;
}

} // namespace cli
