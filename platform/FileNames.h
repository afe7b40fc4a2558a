#pragma once
// How this platform spells paths and file names.

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// Narrow file names are read in the system's code page, so message bytes
// may be used as they are.
inline constexpr bool kFileNamesAreUtf8 = false;
// Names match whatever their case: INBOX.DBX is a .dbx file.
inline constexpr bool kFileNamesIgnoreCase = true;
#else
inline constexpr char kPathSeparator = '/';
// File managers and terminals show names as UTF-8: other bytes show as
// replacement marks.
inline constexpr bool kFileNamesAreUtf8 = true;
// Names match only in their own case: a pattern must spell out both.
inline constexpr bool kFileNamesIgnoreCase = false;
#endif

} // namespace platform
