#pragma once
// Finding the current user's Outlook Express store: the folder that the
// mail client's first identity records in the registry, and the .dbx mail
// files in it. Shared by the desktop program (which lists the store at
// start) and the command-line tool. Reads the registry and the folder;
// writes nothing.

#include <cstdint>
#include <string>
#include <vector>

namespace store {

// The "Store Root" value of the first identity as the registry holds it
// (it may begin with a variable such as %UserProfile%): the first sub-key
// of "Identities", then the first sub-key of its
// "Software\Microsoft\Outlook Express" key. Read whatever its type; ""
// when any step fails. When `why` is given it receives the reason for "".
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

// The regular files of `folder` whose names end in ".dbx", ignoring case
// (as Windows matches "*.dbx"), in name order ignoring case, the order
// NTFS lists them in. Sub-folders and special files (a FIFO would block
// the opening) are left out. Empty when the folder cannot be read.
std::vector<MailFile> ListMailFiles(const std::string& folder);

} // namespace store
