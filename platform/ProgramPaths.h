#pragma once
// Where the program lives and where it may write.

#include <string>

namespace platform {

// The full path of the running executable; empty when it cannot be found.
std::string ExecutablePath();

// The executable's folder, ending with a path separator; empty when unknown.
std::string ProgramFolder();

// The per-user directory for the files the program writes (preview files,
// crash report): `quillmend-<uid>` under $XDG_RUNTIME_DIR, else under the
// temporary directory, created with mode 0700 when missing. Returns it with a
// trailing separator, or empty when it cannot be made safe (it exists as a
// symlink or non-directory, or belongs to another user).
std::string PrivateDirectory();

// Like PrivateDirectory, under `base` instead of the usual locations.
std::string PrivateDirectoryUnder(const std::string& base);

// The path of the read-only file `name` (help page, start page) shipped with
// the program: looked for in the program folder, then in
// `<program folder>/../share/quillmend/`. Empty when it is in neither.
std::string FindAsset(const std::string& name);

// The same search starting from `programFolder` instead of the real one.
std::string FindAssetFrom(const std::string& programFolder, const std::string& name);

// A program shipped with this one (`name` without ".exe"), looked for where
// FindAsset looks; empty when it is in neither place.
std::string FindProgram(const std::string& name);

} // namespace platform
