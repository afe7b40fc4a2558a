#include "search/CSearchDbxSettingDlg.h"

#include "platform/Mounts.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "search/SearchDialogFrame.h"
#include "search/SearchPaths.h"
#include "ui/DialogUnits.h"
#include "ui/EnginePath.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString SystemFolderPicker(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title, QDir::homePath(), QFileDialog::ShowDirsOnly);
}

} // namespace

CSearchDbxSettingDlg::CSearchDbxSettingDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      picker_(SystemFolderPicker)
{
    search::SetUpSearchDialog(*this, "search_setting", 235, 150);

    // The group boxes first, so that the controls lie above them.
    auto* drives = new QGroupBox(tr("Look in harddrives:"), this);
    drives->setGeometry(ui::DluRect(7, 7, 221, 54));
    auto* folder = new QGroupBox(tr("Select a path to search: "), this);
    folder->setGeometry(ui::DluRect(7, 68, 221, 43));

    driveEdit_ = new QLineEdit(this);
    driveEdit_->setObjectName(QStringLiteral("edit_%1").arg(IDC_DRIVE_LIST));
    driveEdit_->setGeometry(ui::DluRect(16, 21, 203, 14));
    searchNow_ = new QPushButton(tr("&Search Now"), this);
    searchNow_->setObjectName(QStringLiteral("button_%1").arg(IDC_SEARCH_NOW));
    searchNow_->setGeometry(ui::DluRect(154, 40, 65, 14));
    searchNow_->setDefault(true);  // Enter in the edit box searches
    browse_ = new QPushButton(tr("&Browse"), this);
    browse_->setObjectName(QStringLiteral("button_%1").arg(IDC_BROWSE_FOLDER));
    browse_->setGeometry(ui::DluRect(154, 86, 65, 14));
    cancel_ = new QPushButton(tr("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setGeometry(ui::DluRect(163, 126, 65, 14));

    connect(searchNow_, &QPushButton::clicked, this, &CSearchDbxSettingDlg::OnSearchNow);
    connect(browse_, &QPushButton::clicked, this, &CSearchDbxSettingDlg::OnBrowse);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    // Every drive the machine offers; the user may edit the list.
    driveRoots_ = platform::LogicalDriveRoots();
    driveEdit_->setText(ui::ShownPath(search::DriveListText(driveRoots_)));
    driveEdit_->setFocus();
}

CSearchDbxSettingDlg::~CSearchDbxSettingDlg() = default;

QString CSearchDbxSettingDlg::DriveList() const
{
    return driveEdit_->text();
}

void CSearchDbxSettingDlg::OnSearchNow()
{
    searchPaths_.clear();
    for (const std::string& entry : search::SplitSearchPaths(DriveList().toStdString()))
        searchPaths_.push_back(PathOfEntry(entry));
    fromDriveList_ = true;
    accept();
}

std::string CSearchDbxSettingDlg::PathOfEntry(const std::string& entry) const
{
    // A drive as offered keeps the bytes of its name, which the text may
    // not hold.
    for (const std::string& root : driveRoots_) {
        if (search::NormaliseSearchPath(ui::ShownPath(root).toStdString()) == entry)
            return search::DropTrailingSeparator(root);
    }
    const QString text = QString::fromStdString(entry);
    const ui::DialogPath found = ui::PathFromDialog(text);
    return found.path.empty() ? ui::EnginePath(text) : found.path;
}

void CSearchDbxSettingDlg::OnBrowse()
{
    // The picker has no owner window, as the system's folder browser had.
    const QString folder = picker_ ? picker_(nullptr, res::Text(IDS_SEARCH_FOLDER_TITLE)) : QString();
    if (folder.isEmpty())
        return;
    // A name that is not text reaches us with replacement characters: the
    // folder's own bytes are looked up. One that cannot be told is searched
    // as it reads, and the search names it as not found.
    const QString text = QDir::toNativeSeparators(folder);
    const ui::DialogPath found = ui::PathFromDialog(text);
    searchPaths_ = {found.path.empty() ? ui::EnginePath(text) : found.path};
    fromDriveList_ = false;
    accept();
}

void CSearchDbxSettingDlg::keyPressEvent(QKeyEvent* event)
{
    // A help request (F1) does nothing here.
    if (!search::SwallowHelpKey(event))
        QDialog::keyPressEvent(event);
}
