#pragma once
// Images for carving tests and benchmarks: mail files made by the fixture
// maker, put into FAT32 and ext4 file systems with the systems' own tools (no
// root needed), cut into pieces and shuffled into random data, damaged at the
// start, or with an e-mail's blocks moved inside the file.

#include "tools/dbxgen/Mailbox.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbxgen {

struct MailFile {
    std::string name;   // e.g. "Inbox.dbx"
    std::string bytes;  // the whole .dbx file
};

// `count` mail files of about `size` bytes each, every one a different
// folder of realistic e-mails (text, HTML, Base64 attachments; about a
// quarter deleted). The same seed gives the same files.
std::vector<MailFile> MakeMailFiles(int count, std::size_t size, std::uint64_t seed);

// Where a stretch of a mail file lies in an image.
struct PiecePlacement {
    std::size_t file = 0;            // index into the files given
    std::uint64_t fileOffset = 0;
    std::uint64_t length = 0;
    std::uint64_t position = 0;      // in the image
};

struct FragmentedImage {
    std::string bytes;
    std::vector<PiecePlacement> pieces;   // in image order
};

// Cuts each file into 2 to 8 pieces at multiples of `cluster` and puts all
// pieces, in random order, at cluster boundaries inside random data.
FragmentedImage MakeFragmentedImage(const std::vector<MailFile>& files, std::uint32_t cluster, std::uint64_t seed);

// One thing done to a file system: a file of the list copied in, or a file
// deleted. Copying into the space a deleted file left fragments the copy.
struct FsStep {
    bool remove = false;
    std::string name;
};

// Writes a large image of `size` bytes straight to `path` for benchmarks:
// noise and zeros, with the files cut into 2 to 8 pieces each placed at
// cluster boundaries spread over the whole image. Memory stays small.
// Returns false when it could not be written.
bool WriteLargeImage(const std::string& path, std::uint64_t size, const std::vector<MailFile>& files,
                     std::uint32_t cluster, std::uint64_t seed);

// A FAT32 image of `size` bytes (512-byte clusters) made with mtools
// (mformat, mcopy, mdel), the steps done in order. Returns "" when done,
// else what failed.
std::string MakeFat32Image(const std::string& path, std::uint64_t size, const std::vector<MailFile>& files,
                           const std::vector<FsStep>& steps);

// An ext4 image of `size` bytes (4 KiB blocks): the files copied before the
// first deletion go in with mke2fs -d, the later steps are done with debugfs
// (write, rm). Returns "" when done, else what failed.
std::string MakeExt4Image(const std::string& path, std::uint64_t size, const std::vector<MailFile>& files,
                          const std::vector<FsStep>& steps);

// Writes over the first `length` bytes of `file` with noise in which no
// block header can appear.
void OverwriteStart(MailFile& file, std::size_t length, std::uint64_t seed);

// A mail file in which one e-mail's blocks no longer lie where their headers
// say: they were copied down into the place of a filler message that lists
// nothing (a negative shift, as in a real file of 2002), and their old place
// was overwritten. `original` is the file before the move.
struct MovedEmailFile {
    MailFile file;
    MailFile original;      // the same file before the move
    std::string movedSubject;
};
struct MoveOptions {
    bool deleted = false;       // the e-mail moved is a deleted one
    bool keepOriginal = false;  // its old place is left as it was: a copy
};
MovedEmailFile MakeMovedEmailFile(std::uint64_t seed, MoveOptions options = {});

} // namespace dbxgen
