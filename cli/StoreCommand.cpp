#include "cli/CliCommon.h"

#include "store/StoreDiscovery.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace cli {

namespace {

constexpr int kExitNoStore = 1;

constexpr const char* kUsage =
    "usage: quillmend-cli store [--json]\n"
    "Shows the Outlook Express store the desktop program lists at start: the\n"
    "store folder of the first identity in the registry (outside Windows, the\n"
    "registry of the Wine prefix $WINEPREFIX, default ~/.wine) and its .dbx files.\n"
    "  --json   one JSON object: registryValue, folder (null when none), files\n"
    "exit status: 0 a store folder was found (even without mail files), 1 none\n"
    "was found, 2 usage error.\n";

void PrintJson(const store::StoreFolder& found)
{
    std::string out = "{\"registryValue\":" + JsonString(found.registryValue);
    out += "," + (found.found ? JsonPathMembers("folder", found.folder) : std::string("\"folder\":null"));
    out += ",\"files\":[";
    for (std::size_t i = 0; i < found.files.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += "{" + JsonPathMembers("path", found.files[i].path) + ",\"size\":" + std::to_string(found.files[i].size) + "}";
    }
    out += found.files.empty() ? "]}\n" : "\n]}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

} // namespace

int RunStore(const std::vector<std::string>& args)
{
    bool json = false;
    std::vector<std::string> none;
    if (const auto done = ReadJsonOption("store", kUsage, args, 0, json, none))
        return *done;
    std::string why;
    const std::string value = store::FindStoreFolder(&why);
    store::StoreFolder found = store::OpenStoreFolder(value);
    if (!found.found) {
        // Only the store's own files: an empty value lists a drive's root
        // in the desktop program, which is no store.
        found.files.clear();
        Error("store: no Outlook Express store found: " + (value.empty() ? why : found.why));
    }
    if (json) {
        PrintJson(found);
    } else if (found.found) {
        std::printf("%s\n", found.folder.c_str());
        for (const store::MailFile& file : found.files)
            std::printf("%" PRIu64 "\t%s\n", file.size, file.path.c_str());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return kExitSomeNotWritten;
    return found.found ? kExitOk : kExitNoStore;
}

} // namespace cli
