#pragma once
// The search for mail files as the user watches it: a small window that
// shows the directory being searched and a Cancel button, while the walk
// runs on the user-interface thread and hands every mail file it finds to
// the browse window. Events are processed once per directory; pressing
// Cancel (or the close box) hides the window, and the next directory visit
// ends the search.

#include "search/DbxFileSearch.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class CDbxBrowseWindow;
class QLabel;
class QPushButton;
class QTreeWidgetItem;

class CSearchDbxDlg : public QDialog, public search::ISearchObserver {
    Q_OBJECT
public:
    // A hidden window owned by `owner` (may be null) that adds what it finds
    // to `browseWindow`, which must outlive it.
    CSearchDbxDlg(CDbxBrowseWindow& browseWindow, QWidget* owner);
    ~CSearchDbxDlg() override;

    // Searches `directory` and all below it (a drive of the drive list with
    // `oneFileSystem`: its search stays on that file system). Each directory
    // with mail files gets a folder node in the browse window's tree, its
    // files under it. Returns false once the search is cancelled: then every
    // later call returns false at its first directory. A directory searched
    // before by this window is not searched again. `directory` is the bytes
    // of its path.
    bool SearchTree(const std::string& directory, bool oneFileSystem);

    // One directory visit: makes `path` the current path (shown at once when
    // the walk is slow, else at most every 40 ms), processes pending events,
    // and returns false when the window has been hidden (cancelled).
    bool SearchDirectory(const std::string& path) override;
    // Processes every pending event once, without waiting for more.
    void PumpMessages();

    // The directory shown now; empty until the first visit.
    const QString& CurrentPath() const { return currentPath_; }
    // How many directories could not be read, or not wholly, so far; the
    // first kUnreadableNamed of them as "path: why".
    int UnreadableCount() const { return search_.UnreadableCount(); }
    const QStringList& Unreadable() const { return unreadable_; }
    static constexpr qsizetype kUnreadableNamed = 10;
    QLabel& PathLabel() { return *pathLabel_; }
    QPushButton& CancelButton() { return *cancel_; }

protected:
    void FolderFound(const std::string& shownPath) override;
    void MailFileFound(const std::string& path, std::uint64_t size) override;
    void DirectoryUnreadable(const std::string& path, const std::string& why) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr qint64 kShowEveryMs = 40;
    static constexpr qint64 kSlowVisitMs = 5;

    CDbxBrowseWindow& browseWindow_;
    QLabel* pathLabel_;
    QPushButton* cancel_;
    QString currentPath_;
    QTreeWidgetItem* folderNode_ = nullptr;
    QElapsedTimer clock_;
    qint64 lastShown_ = -kShowEveryMs;  // the first path shows at once
    qint64 lastVisit_ = 0;
    QStringList unreadable_;
    search::DbxFileSearch search_;
};

// What a whole search could not read: how many directories, and the first
// of them as "path: why".
struct SearchReport {
    int unreadable = 0;
    QStringList named;
};

// The whole search: shows a CSearchDbxDlg over the browse window's main
// window, searches each of `searchPaths` (the bytes of each path) in order
// (drives of the drive list with `fromDriveList`), then destroys the
// window. What was found before a Cancel stays in the tree.
SearchReport RunSearch(const std::vector<std::string>& searchPaths, bool fromDriveList,
                       CDbxBrowseWindow& browseWindow);
