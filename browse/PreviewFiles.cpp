// The preview pane is never handed text: what it shows is written to a file
// and the pane is sent there. It deletes each file once shown; the start page
// is made read-only first so that it survives that.

#include "browse/CDbxBrowseWindow.h"

#include "dbx/DbxFile.h"
#include "platform/CrashGuard.h"
#include "platform/FileTime.h"
#include "platform/Files.h"
#include "ui/CEmailPreviewWindow.h"
#include "ui/EnginePath.h"
#include "ui/ListRow.h"


#include <string>

void CDbxBrowseWindow::ShowStartPage()
{
    platform::SetReadOnly(startPage_);  // may fail for an installed copy: it is read-only anyway
    preview_->Navigate2(ui::QtPath(startPage_));
    shown_ = {};
}

void CDbxBrowseWindow::ShowPreview(dbx::DbxFile& file, const ListRow& row, int displayIndex)
{
    // Named after the millisecond clock, as a signed number; two previews
    // within one millisecond reuse the name, so whatever is there goes first.
    const auto tick = static_cast<std::int32_t>(platform::GetTickCount());
    const std::string path = previewFolder_.empty() ? std::string()
                                                    : previewFolder_ + std::to_string(tick) + ".mht";
    if (!path.empty())
        platform::DeleteFile(path);
    if (!previewFile_.empty() && previewFile_ != path)
        platform::DeleteFile(previewFile_);  // usually gone already: the pane deletes what it has shown
    if (!path.empty())
        file.WriteMessage(row.messageIndex, path);  // on failure the pane shows an empty page
    // The file holds the stored bytes, as Save writes them; where a deleted
    // e-mail's bytes were overwritten travels beside it, for the pane to
    // read around and mark.
    preview_->Navigate2(ui::QtPath(path), file.Damage(row.messageIndex));
    previewFile_ = path;
    shown_ = {&file, row.messageIndex, displayIndex < 0 ? row.messageIndex : displayIndex};
    // A crash must not leave the message's text behind in the private folder.
    platform::SetFileToDeleteOnCrash(path.c_str());
}
