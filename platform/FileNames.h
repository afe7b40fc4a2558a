#pragma once
// How this platform spells paths and file names.

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// Names are UTF-16 there; inside the program a path is the UTF-8 of its
// wide name, converted at every Win32 call (platform/WidePath.h).
inline constexpr bool kFileNamesAreUtf8 = true;
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
