#pragma once
// Finding the current user's Outlook Express store: the folder that the
// mail client's first identity records in the registry, and the .dbx mail
// files in it; then the stores of the other identities. Shared by the
// desktop program (which lists the stores at start) and the command-line
// tool. Reads the registry and the folders; writes nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace store {

// The "Store Root" value of the first identity as the registry holds it
// (it may begin with a variable such as %UserProfile%): the first sub-key
// of "Identities", then the first sub-key of its
// "Software\Microsoft\Outlook Express" key. Read whatever its type; ""
// when any step fails. When `why` is given it receives the reason for "",
// for people: what is wrong with the registry itself (a Wine prefix that
// does not exist, ...) or which step found nothing.
std::string FindStoreFolder(std::string* why = nullptr);

struct MailFile {
    std::string path;        // folder and name, in this system's terms
    std::uint64_t size = 0;  // bytes
};

struct StoreFolder {
    std::string registryValue;    // as FindStoreFolder gave it
    std::string folder;           // the folder searched, in this system's terms; "" when none
    bool found = false;           // the registry named a folder, and it exists
    std::vector<MailFile> files;  // its mail files, see ListMailFiles
    std::string why;              // when not found: why not, for people
};

// The folder `registryValue` names and its mail files: the value's
// variables expanded when it begins with '%' (only then), the result
// mapped to a folder of this system (an empty value names the current
// drive's root, which a system without drives does not have).
StoreFolder OpenStoreFolder(const std::string& registryValue);

// At most this many identities are looked at (a real registry has a
// handful; each costs a lookup of its folder, and a hostile one may hold a
// million).
inline constexpr std::size_t kMaxIdentities = 256;

// One Outlook Express identity and its store.
struct IdentityStore {
    std::string identity;  // its sub-key of "Identities", such as "{E0A3...}"
    std::string username;  // its "Username" value; "" when it has none
    StoreFolder store;     // see OpenStoreFolder; its `why` also says when the registry names no folder
};

// Every identity under "Identities" (at most kMaxIdentities): the first
// one (sub-key 0, the identity FindStoreFolder reads) first, then the
// others in the order Outlook Express picks one: the "Last User ID", then
// the "Default User ID", then by name ignoring case. Each identity once;
// a value naming no identity is passed over. Empty when there is no
// "Identities" key.
std::vector<IdentityStore> FindIdentityStores();

// The stores of `identities` (as FindIdentityStores gives them) after the
// first that get a place of their own: those whose folder exists, one per
// distinct folder (the first identity's folder counts as taken), in order.
std::vector<const IdentityStore*> FurtherStores(const std::vector<IdentityStore>& identities);

// The regular files of `folder` whose names end in ".dbx", ignoring case
// (as Windows matches "*.dbx"), in name order ignoring case, the order
// NTFS lists them in. Sub-folders and special files (a FIFO would block
// the opening) are left out. Empty when the folder cannot be read.
std::vector<MailFile> ListMailFiles(const std::string& folder);

} // namespace store
