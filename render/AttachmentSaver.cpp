#include "render/AttachmentSaver.h"

#include "dbx/AttachmentNaming.h"
#include "platform/Directory.h"
#include "platform/Files.h"

#include <tuple>

namespace render {

AttachmentSaver::AttachmentSaver(const dbx::DbxFile& file, std::string folder)
    : file_(file), names_(std::move(folder))
{
}

SavedAttachment AttachmentSaver::Write(std::size_t number, const Attachment& attachment, const std::string& content,
                                       const std::string& name, const std::string& tag)
{
    SavedAttachment saved{number, attachment, dbx::DbxFile::WriteResult::kNotCreated, {}};
    const dbx::NameParts parts = dbx::SplitEnding(name);
    std::tie(saved.result, saved.path) =
        names_.Create(parts.stem, parts.stem + " ", tag, parts.ending, [&](const std::string& path) {
            // Created anew (never over a file that exists), with no
            // permission to run it whatever the e-mail said.
            platform::ExclusiveFile out;
            if (!out.Create(path))
                return dbx::DbxFile::WriteResult::kNotCreated;
            if (!out.Write(content.data(), content.size())) {
                out.Discard();
                return dbx::DbxFile::WriteResult::kNotCreated;
            }
            if (!out.Commit())
                return dbx::DbxFile::WriteResult::kNotCreated;
            return attachment.Damaged() ? dbx::DbxFile::WriteResult::kCutShort : dbx::DbxFile::WriteResult::kWhole;
        });
    return saved;
}

bool AttachmentSaver::ForEach(int messageIndex, const AttachmentHandler& each) const
{
    std::string text;
    if (file_.GetAt(messageIndex) == nullptr)
        return false;
    const bool complete = file_.ReadMessage(messageIndex, text);
    FindAttachments(text, file_.Damage(messageIndex), each, complete);
    return true;
}

std::vector<SavedAttachment> AttachmentSaver::SaveAll(int messageIndex, int displayIndex)
{
    // Each file is written as soon as it is decoded: one attachment's bytes
    // in memory at a time.
    std::vector<SavedAttachment> saved;
    ForEach(messageIndex, [&](std::size_t number, const Attachment& attachment, const AttachmentContent& content) {
        const std::string tag = std::to_string(displayIndex) + "-" + std::to_string(number + 1);
        saved.push_back(Write(number, attachment, content.bytes, attachment.SaveName(), tag));
    });
    return saved;
}

SavedAttachment AttachmentSaver::SaveOne(int messageIndex, std::size_t number, const std::string& name)
{
    SavedAttachment saved;
    saved.number = number;
    saved.path = platform::ChildPath(names_.Folder(), name);
    ForEach(messageIndex, [&](std::size_t found, const Attachment& attachment, const AttachmentContent& content) {
        if (found == number)
            saved = Write(number, attachment, content.bytes, name, std::to_string(number + 1));
    });
    return saved;
}

} // namespace render
