#include "browse/CDbxBrowseWindow.h"

#include "browse/CarvedFileLabel.h"
#include "dbx/Carver.h"
#include "dbx/DbxFile.h"
#include "platform/CrashGuard.h"
#include "platform/Directory.h"
#include "platform/Files.h"
#include "platform/ProgramPaths.h"
#include "res/Images.h"
#include "res/Menus.h"
#include "res/resource.h"
#include "ui/CEmailPreviewWindow.h"
#include "ui/CProgressWnd.h"
#include "ui/EnginePath.h"
#include "ui/PostedMessage.h"

#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QTreeWidget>

#include <algorithm>
#include <utility>

namespace {

constexpr int kTreeImageSize = 16;
constexpr int kFolderNodeData = -1;

// Image `index` of the tree's image list (bitmap 145, 16 px images).
QPixmap TreeImage(const QPixmap& strip, int index)
{
    return res::MaskedPixmap(strip.copy(index * kTreeImageSize, 0, kTreeImageSize, kTreeImageSize));
}

} // namespace

CDbxBrowseWindow::CDbxBrowseWindow(QWidget* parent)
    : QWidget(parent),
      tree_(new QTreeWidget(this)),
      messageList_(this),
      preview_(CEmailPreviewWindow::CreateObject()),
      grip_(new QWidget(this))
{
    // The band colour shows in the gaps between the panes.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(106, 160, 216));
    setPalette(pal);
    setAutoFillBackground(true);

    const QPixmap strip = res::LoadBitmap(IDB_TREE);
    folderIcon_.addPixmap(TreeImage(strip, 0));
    fileIcon_.addPixmap(TreeImage(strip, 1), QIcon::Normal);
    fileIcon_.addPixmap(TreeImage(strip, 2), QIcon::Selected);

    tree_->setObjectName(QStringLiteral("tree"));
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setAllColumnsShowFocus(true);
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->setIconSize(QSize(kTreeImageSize, kTreeImageSize));
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnTreeSelChanged(current); });

    messageList_.setObjectName(QStringLiteral("message_list"));
    messageList_.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&messageList_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { OnListContextMenu(pos); });
    connect(messageList_.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { OnListSelectionChanged(); });

    preview_->setParent(this);
    preview_->setObjectName(QStringLiteral("preview"));
    preview_->setFrameShape(QFrame::NoFrame);
    connect(preview_, &CEmailPreviewWindow::attachmentActivated, this, [this](int link) {
        if (link == CEmailPreviewWindow::kSaveAllLink)
            emit saveShownAttachmentsRequested();
        else
            emit saveAttachmentRequested(link);
    });

    // The grip paints nothing (the band colour shows through). Its cursor is
    // its own: set on this window, the panes would inherit it.
    grip_->setObjectName(QStringLiteral("splitter"));
    grip_->setCursor(Qt::SizeHorCursor);
    grip_->installEventFilter(this);

    startPage_ = platform::FindAsset("default.htm");
    if (startPage_.empty())
        startPage_ = platform::ProgramFolder() + "default.htm";  // shows an empty page
    previewFolder_ = platform::PrivateDirectory();
    connect(&movedSearch_, &MovedEmailSearch::finished, this, [this](int index) { OnMovedSearchFinished(index); });
    LayoutPanes();
}

CDbxBrowseWindow::~CDbxBrowseWindow()
{
    ClearAll();
}

QTreeWidgetItem* CDbxBrowseWindow::AddFolderNode(const QString& text)
{
    auto* node = new QTreeWidgetItem(tree_, QStringList{text});
    node->setIcon(0, folderIcon_);
    node->setData(0, Qt::UserRole, kFolderNodeData);
    return node;
}

void CDbxBrowseWindow::AddDbxFile(QTreeWidgetItem* folderNode, const std::string& path)
{
    if (!folderNode)
        return;
    // The node shows the name without its extension.
    std::size_t start = path.size();
    while (start > 0 && !platform::IsPathSeparator(path[start - 1]))
        --start;
    std::string name = path.substr(start);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos)
        name.resize(dot);
    auto* node = new QTreeWidgetItem(folderNode, QStringList{ui::ShownPath(name)});
    node->setIcon(0, fileIcon_);
    node->setToolTip(0, ui::ShownPath(path));
    node->setData(0, Qt::UserRole, static_cast<int>(files_.size()));
    FileEntry entry;
    entry.own = std::make_unique<dbx::DbxFile>();
    entry.lookForMoved = entry.own->Open(path);  // a file that fails to open stays listed, empty
    entry.file = entry.own.get();
    entry.path = path;
    files_.push_back(std::move(entry));
}

QTreeWidgetItem* CDbxBrowseWindow::AddCarvedImage(const QString& text, const std::string& imagePath,
                                                  std::unique_ptr<dbx::Carver> carver)
{
    QTreeWidgetItem* folder = AddFolderNode(text);
    folder->setToolTip(0, text);
    if (!carver)
        return folder;
    for (const auto& carved : carver->Files()) {
        auto* node = new QTreeWidgetItem(folder, QStringList{CarvedFileLabel(*carved)});
        node->setIcon(0, fileIcon_);
        node->setToolTip(0, CarvedFileTip(*carved, ui::ShownPath(imagePath)));
        node->setData(0, Qt::UserRole, static_cast<int>(files_.size()));
        FileEntry entry;
        entry.file = &carved->File();  // scanned already, as the carver found it
        entry.path = imagePath;
        files_.push_back(std::move(entry));
    }
    images_.push_back(std::move(carver));
    return folder;
}

dbx::DbxFile* CDbxBrowseWindow::GetCurrentDbxFile() const
{
    const QTreeWidgetItem* node = tree_->currentItem();
    if (!node)
        return nullptr;
    const auto index = static_cast<unsigned>(node->data(0, Qt::UserRole).toInt());
    return index < files_.size() ? files_[index].file : nullptr;
}

void CDbxBrowseWindow::OnTreeSelChanged(QTreeWidgetItem* current)
{
    const auto index = current ? static_cast<unsigned>(current->data(0, Qt::UserRole).toInt())
                               : static_cast<unsigned>(kFolderNodeData);
    if (index < files_.size()) {
        dbx::DbxFile& file = *files_[index].file;
        std::unique_ptr<CProgressWnd> progress;
        if (!file.IsScanned()) {
            // A first scan has the machine to itself: a search for moved
            // e-mails of another file starts again when that file is shown.
            movedSearch_.Stop();
            // The first selection scans the whole file, here on the UI
            // thread; the progress window paints itself as the scan goes.
            progress = std::make_unique<CProgressWnd>(this);
            progress->ShowNow();
            emit scanStarted(static_cast<int>(index));
            file.Scan(*progress);
            emit scanFinished(static_cast<int>(index));
        }
        // Every selection refills the list: ticks are not kept across them.
        messageList_.ResetList();
        messageList_.SetMailFile(&file);
        for (int i = 0; i < file.GetCount(); ++i)
            messageList_.AddRow(file.GetAt(i), i);
        messageList_.UpdateItemCount();
        listIncompleteNote_ = file.CutWhileScanned()      ? IDS_LIST_CUT_SHORT
                              : file.OmittedChains() > 0 ? IDS_LIST_INCOMPLETE
                                                         : 0;
        progress.reset();
    } else {
        messageList_.ResetList();
        messageList_.UpdateItemCount();
        listIncompleteNote_ = 0;
    }
    ShowStartPage();
    if (QWidget* parent = parentWidget())
        parent->update();  // the status line shows the new counts
    // Last, once the list and the preview's page are made: the search's
    // worker then takes no time from them.
    if (index < files_.size())
        StartMovedSearch(static_cast<int>(index));
}

void CDbxBrowseWindow::OnListSelectionChanged()
{
    const QModelIndexList selected = messageList_.selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;  // an item only lost its selection
    const ListRow* row = messageList_.GetRow(selected.first().row());
    dbx::DbxFile* file = GetCurrentDbxFile();
    if (row && file)
        ShowPreview(*file, *row, selected.first().row());
}

void CDbxBrowseWindow::OnListContextMenu(const QPoint& pos)
{
    QMenu* menu = res::LoadPopupMenu(IDR_LIST_MENU, this);
    // "This e-mail" is the one the preview shows, when it carries files.
    for (QAction* action : menu->actions())
        if (action->data().toInt() == ID_SAVE_ATTACHMENTS)
            action->setEnabled(shown_.file != nullptr && !preview_->Attachments().empty());
    const QAction* chosen = menu->exec(messageList_.viewport()->mapToGlobal(pos));
    const int command = chosen ? chosen->data().toInt() : 0;
    delete menu;
    if (command != 0)
        OnCommand(command);
}

void CDbxBrowseWindow::OnCommand(int command)
{
    switch (command) {
    case ID_SELECT_ALL:
        messageList_.TickAll();
        break;
    case ID_DESELECT_ALL:
        messageList_.UntickAll();
        break;
    case ID_SELECT_EXISTING:
        messageList_.TickExisting();
        break;
    case ID_SELECT_DELETED:
        messageList_.TickDeleted();
        break;
    case ID_SAVE_MBOX:
        emit saveMboxRequested();  // the main dialog saves, as with its Save button
        return;
    case ID_SAVE_ATTACHMENTS:
        emit saveShownAttachmentsRequested();
        return;
    case ID_SAVE_TICKED_ATTACHMENTS:
        emit saveTickedAttachmentsRequested();
        return;
    default:
        return;
    }
    InvalidateParentStatusStrip();
}

void CDbxBrowseWindow::InvalidateParentStatusStrip()
{
    if (QWidget* parent = parentWidget()) {
        QRect strip = parent->rect();
        strip.setTop(strip.bottom() + 1 - kStatusStripHeight);
        parent->update(strip);
    }
}

bool CDbxBrowseWindow::event(QEvent* event)
{
    if (ui::PostedMessage::As(event, ui::WM_TICKCHANGED)) {
        InvalidateParentStatusStrip();
        return true;
    }
    return QWidget::event(event);
}

// --- e-mails in moved blocks ---------------------------------------------------

void CDbxBrowseWindow::StartMovedSearch(int index)
{
    FileEntry& entry = files_[static_cast<std::size_t>(index)];
    if (entry.lookForMoved && entry.file->IsScanned() && movedSearch_.Running() != index)
        movedSearch_.Start(index, entry.path, *entry.file);
}

void CDbxBrowseWindow::OnMovedSearchFinished(int index)
{
    dbx::MovedSearch found = movedSearch_.TakeResult(index);
    if (index < 0 || static_cast<std::size_t>(index) >= files_.size() || found.stopped)
        return;
    files_[static_cast<std::size_t>(index)].lookForMoved = false;
    if (!found.records.empty()) {
        pendingMoved_.push_back({index, std::move(found.records)});
        AddPendingMoved();
    }
}

void CDbxBrowseWindow::HoldChanges(bool hold)
{
    holds_ += hold ? 1 : -1;
    AddPendingMoved();
}

void CDbxBrowseWindow::AddPendingMoved()
{
    if (holds_ > 0)
        return;
    for (PendingMoved& pending : std::exchange(pendingMoved_, {})) {
        dbx::DbxFile& file = *files_[static_cast<std::size_t>(pending.index)].file;
        const int first = file.GetCount();
        const int count = static_cast<int>(pending.records.size());
        file.AddMovedRecords(std::move(pending.records));
        // The records moved in memory: the list must point at them anew.
        if (GetCurrentDbxFile() == &file) {
            messageList_.AddRowsFrom(file, first);
            if (QWidget* parent = parentWidget())
                parent->update();  // the status line counts them
        }
        emit movedEmailsAdded(pending.index, count);
    }
}

// --- layout and splitter ---------------------------------------------------------

void CDbxBrowseWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutPanes();
}

void CDbxBrowseWindow::LayoutPanes()
{
    // Client rectangle (L, T, R, B) with R and B exclusive; the list and the
    // preview share the height half and half with a 2 px gap between them.
    const int L = 0, T = 0, R = width(), B = height();
    const int b2 = B / 2;
    const int right = splitX_ + kSplitterGap;
    const int paneWidth = std::max(0, (R - 1) - right);
    tree_->setGeometry(L + 1, T, std::max(0, splitX_ - (L + 1)), std::max(0, B - T));
    messageList_.setGeometry(right, T, paneWidth, std::max(0, b2 - T));
    preview_->setGeometry(right, b2 + 2, paneWidth, std::max(0, B - (b2 + 2)));
    grip_->setGeometry(splitX_, T, kSplitterGap, std::max(0, B - T));
}

void CDbxBrowseWindow::SplitterPress(int x)
{
    if (!dragging_ && OverSplitter(x))
        dragging_ = true;
}

void CDbxBrowseWindow::SplitterMove(int x, Qt::MouseButtons buttons)
{
    if (dragging_ && (buttons & Qt::LeftButton)) {
        const int R = width();
        splitX_ = x < kMinSplitX ? kMinSplitX : x > R - kRightKeep ? R - kRightKeep : x;
        LayoutPanes();
    }
}

void CDbxBrowseWindow::SplitterRelease()
{
    dragging_ = false;
}

void CDbxBrowseWindow::mousePressEvent(QMouseEvent* event)
{
    // Presses reach this window only in the gaps between the panes.
    if (event->button() == Qt::LeftButton)
        SplitterPress(event->position().toPoint().x());
    QWidget::mousePressEvent(event);
}

void CDbxBrowseWindow::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    SplitterMove(event->position().toPoint().x(), event->buttons());
}

void CDbxBrowseWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SplitterRelease();
    QWidget::mouseReleaseEvent(event);
}

bool CDbxBrowseWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The grip's mouse events drive the splitter in this window's coordinates;
    // while a drag lasts the grip holds the mouse, and with it its cursor.
    if (watched == grip_) {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse->button() == Qt::LeftButton)
                SplitterPress(grip_->mapToParent(mouse->position().toPoint()).x());
            return true;
        case QEvent::MouseMove:
            SplitterMove(grip_->mapToParent(mouse->position().toPoint()).x(), mouse->buttons());
            return true;
        case QEvent::MouseButtonRelease:
            if (mouse->button() == Qt::LeftButton)
                SplitterRelease();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- closing ---------------------------------------------------------------------

void CDbxBrowseWindow::ClearAll()
{
    // The list's rows point into the files' records: empty it before the
    // files go, so that nothing can read a record in between.
    messageList_.ResetList();
    messageList_.UpdateItemCount();
    shown_ = {};
    // No search may read a file any more.
    movedSearch_.Wait();
    pendingMoved_.clear();
    files_.clear();
    images_.clear();
    {
        // Removing the nodes must not start a selection's work on the way out.
        const QSignalBlocker quiet(tree_);
        tree_->clear();
    }
    if (!previewFile_.empty()) {
        platform::DeleteFile(previewFile_);
        previewFile_.clear();
        platform::SetFileToDeleteOnCrash(nullptr);
    }
}
