#include "store/StoreDiscovery.h"

#include "platform/Directory.h"
#include "platform/FolderList.h"
#include "platform/NoCase.h"
#include "platform/Registry.h"

#include <algorithm>

namespace store {

namespace {

// Sub-key 0 of the key at `path`; "" when the key or the sub-key is missing.
std::string FirstSubKey(const std::string& path)
{
    platform::RegistryKey key;
    std::string name;
    if (!key.Open(path) || !key.EnumKey(0, name))
        return {};
    return name;
}

} // namespace

std::string FindStoreFolder(std::string* why)
{
    auto fail = [why](const std::string& reason) {
        if (why)
            *why = reason + " in " + platform::RegistryOrigin();
        return std::string();
    };
    const std::string identity = FirstSubKey("Identities");
    if (identity.empty())
        return fail("no Outlook Express identity");
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
