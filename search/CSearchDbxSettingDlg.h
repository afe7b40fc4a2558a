#pragma once
// The dialog that chooses what to search for mail files: the drive list (an
// editable list of drive roots, "C:\;D:\;" or "/;/mnt/win/;") searched with
// Search Now, or one folder picked with Browse. Either ends the dialog with
// Accepted; Cancel and the close box end it with Rejected.

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;

class CSearchDbxSettingDlg : public QDialog {
    Q_OBJECT
public:
    // Asks for a folder: given the owner window (may be null) and the title,
    // returns the chosen folder's path, or an empty text when cancelled.
    using FolderPicker = std::function<QString(QWidget* owner, const QString& title)>;

    // Fills the drive list from the drives of this machine. `parent` owns the
    // dialog's window.
    explicit CSearchDbxSettingDlg(QWidget* parent = nullptr);
    ~CSearchDbxSettingDlg() override;

    // What the edit box holds now.
    QString DriveList() const;
    // What to search (the bytes of each path), filled by Search Now or
    // Browse; empty before (and when the drive list held no entry).
    const std::vector<std::string>& SearchPaths() const { return searchPaths_; }
    // True when SearchPaths come from the drive list: each is then a drive of
    // its own, and its search stays on its file system.
    bool FromDriveList() const { return fromDriveList_; }

    // Replaces the system folder picker (tests).
    void SetFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }

    QLineEdit& DriveListEdit() { return *driveEdit_; }
    QPushButton& SearchNowButton() { return *searchNow_; }
    QPushButton& BrowseButton() { return *browse_; }
    QPushButton& CancelButton() { return *cancel_; }

    // Search Now: every entry of the drive list becomes a search path; ends
    // the dialog with Accepted, also when there is none.
    void OnSearchNow();
    // Browse: asks for one folder; when one is chosen it becomes the only
    // search path and the dialog ends with Accepted, otherwise it stays open.
    void OnBrowse();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The path an entry of the drive list (trimmed, as SplitSearchPaths
    // gives it) names.
    std::string PathOfEntry(const std::string& entry) const;

    QLineEdit* driveEdit_;
    QPushButton* searchNow_;
    QPushButton* browse_;
    QPushButton* cancel_;
    std::vector<std::string> driveRoots_;  // offered in the list
    std::vector<std::string> searchPaths_;
    bool fromDriveList_ = false;
    FolderPicker picker_;
};
