#pragma once
// The pieces of the carve command: its messages and the extraction of the
// former mail files. Internal to the command line.

#include "dbx/Carver.h"
#include "platform/ImageFile.h"

#include <string>
#include <vector>

namespace cli {

// What to tell a person whose image or disk `path` could not be opened.
std::string CarveOpenError(const std::string& path, platform::ImageFile::OpenError error, int errorNumber,
                           bool isDisk, const std::string& ownerGroup);

// Writes every former mail file `carver` found into `folder` (created when
// missing) as a sparse .dbx file, each block at its own offset, and a
// manifest.json naming the image, its SHA-256 (empty: not known, the carve
// was stopped) and where each block came from. Nothing that exists is
// overwritten. Prints each file written; false (with the reason on stderr)
// when something could not be written.
bool ExtractFormerFiles(const dbx::Carver& carver, const std::string& imagePath, const std::string& imageSha256,
                        const std::string& folder);

// "1.2 GiB" and the like.
std::string HumanBytes(std::uint64_t bytes);

} // namespace cli
