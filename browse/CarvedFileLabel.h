#pragma once
// How a mail file found in a disk image is named in the tree, so that a
// person can tell the files of one image apart: where it lay, how many
// e-mails it holds, and the years of their dates.

#include <QString>

namespace dbx {
class CarvedFile;
}

// "at 1.2 GB — 412 emails, 2003–2006": where the file began in the image
// (where its first piece lies when its start is gone), its number of
// e-mails, and the first and last year of their dates (one year once, none
// when no e-mail has a date).
QString CarvedFileLabel(const dbx::CarvedFile& file);

// The node's tooltip: the image (`imageName` as shown), the existing and
// deleted e-mails, the pieces and the stretch of the image they lie in.
QString CarvedFileTip(const dbx::CarvedFile& file, const QString& imageName);
