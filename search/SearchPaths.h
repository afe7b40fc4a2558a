#pragma once
// The texts of a search: which names are mail files, the drive list the
// user edits, and the search paths taken from it.

#include <string>
#include <string_view>
#include <vector>

namespace search {

// True for the name of an Outlook Express mail-folder file: it ends in
// ".dbx", in any case (".DBX", "Inbox.Dbx").
bool IsDbxName(std::string_view name);

// The drive list as the user first sees it: each root followed by ";". Roots
// of drive A (floppy drives, slow to ask) are left out.
std::string DriveListText(const std::vector<std::string>& roots);

// `path` without one trailing separator: "/mnt/win/" is "/mnt/win"; the
// root "/" stays "/".
std::string DropTrailingSeparator(std::string_view path);

// One entry of the drive list as a search path: spaces around it trimmed and
// one trailing separator dropped, so that "C:\" becomes "C:" and "/mnt/win/"
// "/mnt/win"; the root "/" stays "/".
std::string NormaliseSearchPath(std::string_view entry);

// The search paths of a drive list: its entries split at ";", normalised,
// the last one taken too, empty ones left out.
std::vector<std::string> SplitSearchPaths(std::string_view driveList);

} // namespace search
