#include "cli/CliCommon.h"

#include "store/StoreDiscovery.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace cli {

namespace {

constexpr int kExitNoStore = 1;

constexpr const char* kStoreUsage =
    "usage: quillmend-cli store [--json]\n"
    "Shows the Outlook Express stores the desktop program lists at start: the\n"
    "store folder of the first identity in the registry (outside Windows, the\n"
    "registry of the Wine prefix $WINEPREFIX, default ~/.wine), then that of\n"
    "every other identity with a store folder of its own (the one Outlook\n"
    "Express opened last, its default one, the others by name). Each store\n"
    "is a line IDENTITY: FOLDER, then SIZE<TAB>PATH per .dbx file in it.\n"
    "  --json   one JSON object: registryValue, folder (null when none), files\n"
    "           and reason (null, or why there is no folder) of the first\n"
    "           identity, and identities: every identity with identity,\n"
    "           username, registryValue, folder, files and reason\n"
    "exit status: 0 a store folder was found (even without mail files), 1 none\n"
    "was found, 2 usage error.\n";

// The members registryValue, folder, files and reason of `store`,
// appended to `out`.
void AppendStoreMembers(std::string& out, const store::StoreFolder& store)
{
    out += "\"registryValue\":";
    out += JsonString(store.registryValue);
    out += ',';
    out += store.found ? JsonPathMembers("folder", store.folder) : std::string("\"folder\":null");
    out += ",\"files\":[";
    // Only the store's own files: an empty value lists a drive's root in
    // the desktop program, which is no store.
    const std::vector<store::MailFile> none;
    const std::vector<store::MailFile>& files = store.found ? store.files : none;
    for (std::size_t i = 0; i < files.size(); ++i) {
        out += i == 0 ? "\n{" : ",\n{";
        out += JsonPathMembers("path", files[i].path);
        out += ",\"size\":";
        out += std::to_string(files[i].size);
        out += '}';
    }
    out += files.empty() ? "]" : "\n]";
    out += ",\"reason\":";
    out += store.found ? std::string("null") : JsonString(store.why);
}

void PrintJson(const store::StoreFolder& first, const std::vector<store::IdentityStore>& identities)
{
    std::string out = "{";
    AppendStoreMembers(out, first);
    out += ",\"identities\":[";
    for (std::size_t i = 0; i < identities.size(); ++i) {
        out += i == 0 ? "\n{\"identity\":" : ",\n{\"identity\":";
        out += JsonString(identities[i].identity);
        out += ",\"username\":";
        out += JsonString(identities[i].username);
        out += ',';
        AppendStoreMembers(out, identities[i].store);
        out += '}';
    }
    out += identities.empty() ? "]}\n" : "\n]}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// "Main Identity {E0A3...}", for people.
std::string IdentityName(const store::IdentityStore& identity)
{
    if (identity.username.empty())
        return ForTerminal(identity.identity);
    return ForTerminal(identity.username) + " " + ForTerminal(identity.identity);
}

void PrintStore(const store::IdentityStore& identity)
{
    std::printf("%s: %s\n", IdentityName(identity).c_str(), PathForTerminal(identity.store.folder).c_str());
    for (const store::MailFile& file : identity.store.files)
        std::printf("%" PRIu64 "\t%s\n", file.size, PathForTerminal(file.path).c_str());
}

} // namespace

int RunStore(const std::vector<std::string>& args)
{
    bool json = false;
    std::vector<std::string> none;
    if (const auto done = ReadJsonOption("store", kStoreUsage, args, 0, json, none))
        return *done;
    std::string why;
    const std::string value = store::FindStoreFolder(&why);
    store::StoreFolder first = store::OpenStoreFolder(value);
    if (value.empty())
        first.why = why;
    const std::vector<store::IdentityStore> identities = store::FindIdentityStores();
    const std::vector<const store::IdentityStore*> further = store::FurtherStores(identities);

    if (!first.found && further.empty())
        Error("store: no Outlook Express store found: " + first.why);
    else if (!first.found)
        Error("store: the first identity" + (identities.empty() ? std::string() : ", " + IdentityName(identities[0]) + ",")
              + " has no store: " + first.why);
    if (json) {
        PrintJson(first, identities);
    } else {
        if (first.found && !identities.empty())
            PrintStore(identities[0]);
        for (const store::IdentityStore* identity : further)
            PrintStore(*identity);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return kExitSomeNotWritten;
    return first.found || !further.empty() ? kExitOk : kExitNoStore;
}

} // namespace cli
