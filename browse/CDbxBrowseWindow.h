#pragma once
// The middle of the main dialog: at the left a tree of the mail files the
// program knows, grouped under folder nodes; at the top right the e-mails of
// the file selected in the tree; at the bottom right the preview of the
// e-mail selected in the list. A splitter between tree and panes can be
// dragged. The window owns one DbxFile per file node: it opens a file when it
// is added, scans it the first time its node is selected and closes all of
// them when it goes. The mail files themselves are only ever read.

#include "browse/MovedEmailSearch.h"
#include "ui/CMessageListCtrl.h"

#include <QIcon>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace dbx {
class Carver;
class DbxFile;
}
class CEmailPreviewWindow;
class QTreeWidget;
class QTreeWidgetItem;
struct ListRow;

class CDbxBrowseWindow : public QWidget {
    Q_OBJECT
public:
    // Splitter limits: the tree is never narrower than kMinSplitX, and the
    // right-hand panes keep at least kRightKeep - 3 px.
    static constexpr int kInitialSplitX = 200;
    static constexpr int kMinSplitX = 50;
    static constexpr int kRightKeep = 51;
    // Width of the gap between the tree and the right-hand panes.
    static constexpr int kSplitterGap = 3;
    // Height of the main dialog's status line, repainted after tick changes.
    static constexpr int kStatusStripHeight = 23;

    // The tree, list and preview in the band colour, RGB(106, 160, 216),
    // which shows in the gaps. The preview shows nothing until a selection.
    explicit CDbxBrowseWindow(QWidget* parent = nullptr);
    // Closes every mail file and deletes the last preview file.
    ~CDbxBrowseWindow() override;

    // Appends a top-level folder node with `text`; returns it.
    QTreeWidgetItem* AddFolderNode(const QString& text);
    // Appends a file node for `path` (the name's bytes, any length) under
    // `folderNode` and opens the file; the node shows the name readably.
    // A file that cannot be opened stays listed (its list is empty). No
    // duplicate check: the same file twice gives two nodes and two copies.
    void AddDbxFile(QTreeWidgetItem* folderNode, const std::string& path);
    // Appends a folder node `text` for the disk image or disk at
    // `imagePath` (its bytes) with a file node for each former mail file
    // `carver` found in it, labelled with where it lay, its number of
    // e-mails and their years; the window keeps the carver (and with it the
    // open image) until it goes. Returns the folder node.
    QTreeWidgetItem* AddCarvedImage(const QString& text, const std::string& imagePath,
                                    std::unique_ptr<dbx::Carver> carver);
    // The file of the selected node; nullptr for a folder node or no selection.
    dbx::DbxFile* GetCurrentDbxFile() const;

    // While held (a save reads the listed file on another thread), e-mails
    // found in moved blocks wait; they are added when the last hold ends.
    void HoldChanges(bool hold);
    // The search for moved e-mails (tests wait on it).
    MovedEmailSearch& MovedSearch() { return movedSearch_; }

    QTreeWidget& Tree() { return *tree_; }
    CMessageListCtrl& MessageList() { return messageList_; }
    const CMessageListCtrl& MessageList() const { return messageList_; }
    CEmailPreviewWindow& Preview() { return *preview_; }

    // Where the tree ends and the right-hand panes begin (client x).
    int SplitX() const { return splitX_; }
    // The strip between the tree and the right-hand panes: it alone shows
    // the sizing cursor, and dragging it moves the splitter.
    QWidget& SplitterGrip() { return *grip_; }
    // The number of file nodes added so far.
    int FileCount() const { return static_cast<int>(files_.size()); }
    // The path of the `index`-th file added (0 .. FileCount() - 1), as given;
    // for a mail file found in a disk image, the image's.
    const std::string& FilePath(int index) const { return files_.at(static_cast<std::size_t>(index)).path; }
    // While the list shows less than its file holds, the string id that
    // says why: the file shrank while it was scanned (IDS_LIST_CUT_SHORT), or
    // the scan left chains of blocks unexamined in a file packed with fake
    // block headers (IDS_LIST_INCOMPLETE). 0 while the list is whole.
    int ListIncompleteNote() const { return listIncompleteNote_; }
    // The preview file written last; empty when none.
    const std::string& PreviewFile() const { return previewFile_; }

    // Menu commands of the list's popup (ID_SELECT_ALL .. ID_SELECT_DELETED).
    void OnCommand(int command);
    // Repaints the parent's status line: its bottom 23 px.
    void InvalidateParentStatusStrip();

    // Shows the start page in the preview.
    void ShowStartPage();
    // Writes the e-mail of `row` of `file` to a new preview file and shows it;
    // `displayIndex` is the row's place in the list (-1: its message index).
    void ShowPreview(dbx::DbxFile& file, const ListRow& row, int displayIndex = -1);

    // The e-mail the preview shows: its file (nullptr when the preview shows
    // none), its index there and its row's place in the list.
    struct ShownEmail {
        const dbx::DbxFile* file = nullptr;
        int messageIndex = 0;
        int displayIndex = 0;
    };
    const ShownEmail& Shown() const { return shown_; }

signals:
    // A mail file's first scan starts / has ended (tests and status use).
    void scanStarted(int fileIndex);
    void scanFinished(int fileIndex);
    // E-mails found in moved blocks of a listed mail file were added after
    // its own (`count` of them; the list shows them when it shows the file).
    void movedEmailsAdded(int fileIndex, int count);
    // The list's menu asks to save the ticked e-mails as one mbox file.
    void saveMboxRequested();
    // The preview's list asks to save attachment `number` of the e-mail
    // shown; the preview's "save all" link or the list's menu asks to save
    // all of them; the list's menu asks to save those of the ticked e-mails.
    void saveAttachmentRequested(int number);
    void saveShownAttachmentsRequested();
    void saveTickedAttachmentsRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void LayoutPanes();
    void OnTreeSelChanged(QTreeWidgetItem* current);
    void OnListSelectionChanged();
    void OnListContextMenu(const QPoint& pos);
    void ClearAll();
    bool OverSplitter(int x) const { return x <= splitX_ + kSplitterGap; }
    void SplitterPress(int x);
    void SplitterMove(int x, Qt::MouseButtons buttons);
    void SplitterRelease();
    void StartMovedSearch(int index);
    void OnMovedSearchFinished(int index);
    void AddPendingMoved();

    QIcon folderIcon_;
    QIcon fileIcon_;
    QTreeWidget* tree_;
    CMessageListCtrl messageList_;
    CEmailPreviewWindow* preview_;  // a child widget; deleted with this window
    QWidget* grip_;                 // a child widget over the splitter gap
    int splitX_ = kInitialSplitX;
    bool dragging_ = false;
    int listIncompleteNote_ = 0;
    std::string startPage_;     // the installed start page
    std::string previewFolder_; // private folder of the preview files
    std::string previewFile_;
    ShownEmail shown_;
    struct FileEntry {
        std::unique_ptr<dbx::DbxFile> own;  // a mail file opened here
        dbx::DbxFile* file = nullptr;       // `own`, or a mail file found in an image
        std::string path;                   // as given; for a found file the image's
        bool lookForMoved = false;          // moved e-mails not looked for yet
    };
    struct PendingMoved {
        int index;
        std::vector<dbx::EmailRecord> records;
    };
    std::vector<FileEntry> files_;
    std::vector<std::unique_ptr<dbx::Carver>> images_;  // the images' files live in them
    MovedEmailSearch movedSearch_;
    std::vector<PendingMoved> pendingMoved_;
    int holds_ = 0;
};
