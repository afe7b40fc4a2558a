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

} // namespace app
