#include "store/StoreDiscovery.h"

#include "platform/Directory.h"
#include "platform/FolderList.h"
#include "platform/NoCase.h"
#include "platform/Registry.h"

#include <algorithm>

namespace store {

namespace {

// Longer user names of identities are cut (Outlook Express takes names of
// a few dozen characters).
constexpr std::size_t kMaxUsernameBytes = 256;

// Sub-key 0 of the key at `path`; "" when the key or the sub-key is missing.
std::string FirstSubKey(const std::string& path)
{
    platform::RegistryKey key;
    std::string name;
    if (!key.Open(path) || !key.EnumKey(0, name))
        return {};
    return name;
}

// The "Store Root" value of identity `identity`: the first sub-key of its
// Outlook Express key, then the value. "" with `why` set when a step finds
// nothing.
std::string ReadStoreRoot(const std::string& identity, std::string& why)
{
    auto fail = [&why](const std::string& reason) {
        why = reason + " in " + platform::RegistryOrigin();
        return std::string();
    };
    std::string path = "Identities\\" + identity + "\\Software\\Microsoft\\Outlook Express";
    const std::string version = FirstSubKey(path);
    if (version.empty())
        return fail("no Outlook Express settings for identity " + identity);
    path += "\\" + version;
    platform::RegistryKey key;
    std::string storeRoot;
    if (!key.Open(path) || !key.QueryValue("Store Root", storeRoot) || storeRoot.empty())
        return fail("no \"Store Root\" value under " + path);
    return storeRoot;
}

// `name` cut to kMaxUsernameBytes, at a character's start: a name is
// shown in one line of the tree, and a hostile one may be megabytes.
std::string ShortName(std::string name)
{
    if (name.size() <= kMaxUsernameBytes)
        return name;
    std::size_t cut = kMaxUsernameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.resize(cut);
    return name;
}

} // namespace

std::string FindStoreFolder(std::string* why)
{
    std::string reason;
    std::string storeRoot;
    const std::string identity = FirstSubKey("Identities");
    if (!identity.empty())
        storeRoot = ReadStoreRoot(identity, reason);
    else if (reason = platform::RegistryProblem(); reason.empty())
        reason = "no Outlook Express identity in " + platform::RegistryOrigin();
    if (why && storeRoot.empty())
        *why = reason;
    return storeRoot;
}

std::vector<IdentityStore> FindIdentityStores()
{
    platform::RegistryKey identities;
    if (!identities.Open("Identities"))
        return {};
    std::vector<std::string> names;
    for (std::string name; names.size() < kMaxIdentities && identities.EnumKey(
                               static_cast<std::uint32_t>(names.size()), name);)
        names.push_back(name);
    // The first identity, then the one Outlook Express opened last, then
    // its default, then the others by name: each once, as the registry
    // spells its name.
    std::vector<std::string> order;
    auto add = [&order](const std::string& name) {
        if (std::none_of(order.begin(), order.end(), [&](const std::string& o) { return platform::SameName(o, name); }))
            order.push_back(name);
    };
    if (!names.empty())
        add(names.front());
    for (const char* value : {"Last User ID", "Default User ID"}) {
        std::string id;
        if (!identities.QueryValue(value, id))
            continue;
        const auto named = std::find_if(names.begin(), names.end(),
                                        [&](const std::string& name) { return platform::SameName(name, id); });
        if (named != names.end())
            add(*named);
    }
    for (const std::string& name : names)
        add(name);

    std::vector<IdentityStore> stores;
    for (const std::string& name : order) {
        IdentityStore& found = stores.emplace_back();
        found.identity = name;
        platform::RegistryKey key;
        if (key.Open("Identities\\" + name) && key.QueryValue("Username", found.username))
            found.username = ShortName(std::move(found.username));
        std::string why;
        const std::string storeRoot = ReadStoreRoot(name, why);
        if (storeRoot.empty()) {
            found.store.why = why;
            continue;
        }
        found.store = OpenStoreFolder(storeRoot);
    }
    return stores;
}

std::vector<const IdentityStore*> FurtherStores(const std::vector<IdentityStore>& identities)
{
    std::vector<std::string> taken;
    std::vector<const IdentityStore*> further;
    for (std::size_t i = 0; i < identities.size(); ++i) {
        const StoreFolder& store = identities[i].store;
        if (!store.found)
            continue;
        // However the registry spells it (case, "..", links): one folder.
        std::string folder = platform::CanonicalPath(store.folder);
        if (std::find(taken.begin(), taken.end(), folder) != taken.end())
            continue;
        taken.push_back(std::move(folder));
        if (i > 0)
            further.push_back(&identities[i]);
    }
    return further;
}

StoreFolder OpenStoreFolder(const std::string& registryValue)
{
    StoreFolder store;
    store.registryValue = registryValue;
    const std::string path =
        registryValue.starts_with('%') ? platform::ExpandEnvironment(registryValue) : registryValue;
    store.folder = platform::LocalFolder(path);
    if (store.folder.empty()) {
        store.why = path.empty() ? "no store folder" : "\"" + path + "\" names no folder on this system";
        return store;
    }
    if (!platform::IsFolder(store.folder)) {
        store.why = "the store folder " + store.folder + " does not exist";
        return store;
    }
    // An empty value still lists the drive's root (on Windows), but names
    // no store.
    store.files = ListMailFiles(store.folder);
    store.found = !registryValue.empty();
    if (!store.found)
        store.why = "no store folder";
    return store;
}

std::vector<MailFile> ListMailFiles(const std::string& folder)
{
    std::vector<platform::FolderEntry> entries = platform::ListFolder(folder);
    std::erase_if(entries, [](const platform::FolderEntry& entry) {
        const std::string& name = entry.name;
        return !entry.isFile || name.size() < 4 || platform::UpperName(name.substr(name.size() - 4)) != ".DBX";
    });
    // By name ignoring case; names that differ only in case (possible
    // outside Windows) in byte order, so that the order never varies.
    std::sort(entries.begin(), entries.end(), [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
        const int order = platform::CompareNames(a.name, b.name);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    std::vector<MailFile> files;
    files.reserve(entries.size());
    for (const platform::FolderEntry& entry : entries)
        files.push_back({platform::ChildPath(folder, entry.name), entry.size});
    return files;
}

} // namespace store
