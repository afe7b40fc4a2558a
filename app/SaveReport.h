#pragma once
// What the user is told when a Save has ended.

#include "app/SaveJob.h"

#include <QMessageBox>
#include <QString>

namespace app {

struct SaveReport {
    QMessageBox::Icon icon = QMessageBox::Information;
    QString text;
};

// The message for `tally` of a save into `folder` (as shown to the user):
// the success message only when every e-mail asked for was written whole and
// flushed; otherwise a warning that counts what was saved, what could not be
// written, what is incomplete and what a cancel left out.
SaveReport ReportSave(const SaveTally& tally, const QString& folder);

// The message for a save of the attachments of e-mails into `folder`:
// success only when every attachment was written whole and flushed; a note
// when the e-mails carry none; otherwise a warning that counts what was
// saved whole, saved damaged, not written and (in e-mails) left out.
SaveReport ReportAttachmentSave(const SaveTally& emails, const AttachmentTally& files, const QString& folder);

// The message for one attachment saved (`shownPath`: where it went, as
// shown).
SaveReport ReportAttachment(const SaveTally& emails, const AttachmentTally& file, const QString& shownPath);

} // namespace app
