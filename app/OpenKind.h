#pragma once
// Which way the program opens a file it is given: a mail file is scanned
// (its header need not be intact), anything else is read as a disk image.

#include <string>

namespace app {

enum class OpenKind {
    kNothing,   // no such file, or not one that can be read whole
    kMailFile,  // a regular file whose name ends in ".dbx", in any case
    kImage,     // any other regular file, or a disk or partition
};

// What `path` (its bytes) is opened as. The name decides, not the bytes: a
// damaged mail file is still scanned as one.
OpenKind KindToOpen(const std::string& path);

} // namespace app
