#include "cli/CliCommon.h"

#include "platform/Console.h"
#include "platform/Mounts.h"
#include "search/DbxFileSearch.h"
#include "search/SearchPaths.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace cli {

namespace {

constexpr const char* kUsage =
    "usage: quillmend-cli find [PATH...] [--json]\n"
    "Searches folders for Outlook Express mail files (*.dbx, any case) and prints\n"
    "each as it is found: its size in bytes, a tab and its path. Without PATH it\n"
    "searches every local disk, each mounted disk on its own. Links inside the\n"
    "folders are not followed; network and system mounts are not entered.\n"
    "  --json   one JSON object per line: {\"path\": ..., \"size\": ...}\n"
    "exit status: 0 mail files found, 1 none found, 2 usage error or a PATH that\n"
    "does not exist.\n";

constexpr int kExitNoneFound = 1;

// Prints each mail file as the walk finds it; on a terminal, stderr shows
// the folder being searched, redrawn at most ten times a second.
class FindPrinter final : public search::ISearchObserver {
public:
    explicit FindPrinter(bool json)
        : json_(json), progress_(platform::StderrIsTerminal()), outIsTerminal_(platform::StdoutIsTerminal())
    {
    }
    ~FindPrinter() override { ClearProgress(); }

    bool SearchDirectory(const std::string& path) override
    {
        if (!progress_)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown_ < std::chrono::milliseconds(100))
            return true;
        lastShown_ = now;
        std::string shown = ForTerminal(path);
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
        if (json_) {
            std::printf("{\"path\": %s, \"size\": %llu}\n", JsonString(path).c_str(),
                        static_cast<unsigned long long>(size));
        } else {
            // Scripts get the name's bytes; a terminal gets no control characters.
            const std::string shown = outIsTerminal_ ? ForTerminal(path) : path;
            std::printf("%llu\t%s\n", static_cast<unsigned long long>(size), shown.c_str());
        }
        std::fflush(stdout);
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

    bool json_;
    bool progress_;
    bool outIsTerminal_;
    bool progressShown_ = false;
    long long found_ = 0;
    std::chrono::steady_clock::time_point lastShown_{};
};

} // namespace

int RunFind(const std::vector<std::string>& args)
{
    bool json = false;
    std::vector<std::string> paths;
    if (const auto done = ReadJsonOption("find", kUsage, args, args.size(), json, paths))
        return *done;
    for (const std::string& path : paths) {
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        if (!std::filesystem::exists(status)) {
            Error("find: " + path + ": no such folder");
            return kExitUsage;
        }
        if (!std::filesystem::is_directory(status)) {
            Error("find: " + path + ": not a folder");
            return kExitUsage;
        }
    }
    // Without PATH: every drive, each staying on its own file system.
    const bool drives = paths.empty();
    if (drives)
        paths = platform::LogicalDriveRoots();

    FindPrinter printer(json);
    search::DbxFileSearch search(printer, search::FileSystemBoundary::OfThisSystem());
    for (const std::string& path : paths)
        search.SearchTree(search::NormaliseSearchPath(path), drives);
    return printer.Found() > 0 ? kExitOk : kExitNoneFound;
}

} // namespace cli
