#pragma once
// Paths handed between the windows and the engine and platform layer. The
// engine keeps a path as the bytes of the name on disk (UTF-8 on Windows,
// where the platform layer widens it); a QString holds text, which cannot
// hold a name that is not UTF-8 (Qt reads its bytes as replacement
// characters). So paths cross as bytes, and become text only to be shown.

#include <QString>

#include <string>

namespace ui {

// `path` (text) as the engine takes it, for a name that is valid text: the
// text's own encoding. See PathFromDialog for a name a dialog returned.
std::string EnginePath(const QString& path);

// The other way, for paths the program makes itself (its private folder,
// its installed pages), which are text: `path` for Qt to open.
QString QtPath(const std::string& path);

// A path of the engine's as people read it (dbx::PathToDisplay): a name
// that is not UTF-8 reads as Windows-1252. For showing only, never for
// opening.
QString ShownPath(const std::string& path);

// What an existing file or folder that a dialog returned as text is on disk.
struct DialogPath {
    std::string path;        // its bytes; empty when no entry matched
    bool ambiguous = false;  // several entries of a folder read as the name
};

// The existing file or folder that `text`, an absolute path from a file
// dialog, names: its own encoding when that exists, otherwise, component by
// component, the one entry of each folder whose name Qt reads as that
// component. Nothing when no entry matches, or (`ambiguous`) when several
// do: their names differ only in bytes that are not text.
DialogPath PathFromDialog(const QString& text);

} // namespace ui
