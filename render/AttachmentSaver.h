#pragma once
// Saving the attachments of e-mails into files, as the desktop program and
// the command line both do. Never overwrites a file, never makes one
// executable, never opens or runs what it writes.

#include "dbx/DbxFile.h"
#include "dbx/SaveNaming.h"
#include "render/Attachments.h"
#include "render/RenderedMessage.h"

#include <cstddef>
#include <string>
#include <vector>

namespace render {

// What became of one attachment.
struct SavedAttachment {
    std::size_t number = 0;  // its place in its e-mail's list of attachments
    Attachment attachment;
    // kWhole: the file holds every byte the sender sent; kCutShort: it was
    // written but is damaged (bytes lost, zeros in their place, or its end
    // missing); kNotCreated: no file (the partial one is removed).
    dbx::DbxFile::WriteResult result = dbx::DbxFile::WriteResult::kNotCreated;
    std::string path;  // the file written, or the last name tried
};

class AttachmentSaver {
public:
    // Saves into `folder` (its bytes). `file` must outlive the saver.
    AttachmentSaver(const dbx::DbxFile& file, std::string folder);

    // Saves every attachment of record `messageIndex` under its SaveName();
    // a name that is taken (or that this saver gave before) gets another:
    // "<stem> <tick count><tag><ending>", the tag made of `displayIndex` and
    // the attachment's number. One entry per attachment, in order; none
    // when the e-mail has none or is not a record.
    std::vector<SavedAttachment> SaveAll(int messageIndex, int displayIndex);

    // Saves attachment `number` of record `messageIndex` as the file named
    // `name` in the folder, or, when that is taken, under another name as
    // SaveAll does. result kNotCreated when there is no such attachment.
    SavedAttachment SaveOne(int messageIndex, std::size_t number, const std::string& name);

private:
    // Reads record `messageIndex` and hands each of its attachments to
    // `each` (see FindAttachments); false when it is not a record.
    bool ForEach(int messageIndex, const AttachmentHandler& each) const;
    SavedAttachment Write(std::size_t number, const Attachment& attachment, const std::string& content,
                          const std::string& name, const std::string& tag);

    const dbx::DbxFile& file_;
    dbx::FreeNames names_;
};

} // namespace render
