#include "CQuillmendDlg.h"

#include "CAboutDlg.h"
#include "StoreFolder.h"
#include "CHelpWindow.h"
#include "app/OpenKind.h"
#include "platform/Directory.h"
#include "platform/ProgramPaths.h"
#include "platform/SystemMenu.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "search/CSearchDbxDlg.h"
#include "search/CSearchDbxSettingDlg.h"
#include "ui/CBitmapDC.h"
#include "ui/EnginePath.h"
#include "ui/PostedMessage.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QTreeWidget>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <filesystem>

namespace {

// Space kept between the status line's hint and its counts.
constexpr int kHintGap = 12;

// Where the header's middle and right parts start in bitmap 129.
constexpr int kHeaderMiddleX = 404;
constexpr int kHeaderMiddleWidth = 240;
constexpr int kHeaderRightX = 644;

struct ButtonSpec {
    int command;
    int left;
    int right;
    int caption;
    int icon;
    int hint;
};

constexpr ButtonSpec kButtons[] = {
    {IDC_BUTTON_SAVE, 30, 90, IDS_CAPTION_SAVE, IDI_SAVE, IDS_HINT_SAVE},
    {IDC_BUTTON_LOAD, 91, 210, IDS_CAPTION_LOAD, IDI_LOAD, IDS_HINT_LOAD},
    {IDC_BUTTON_SEARCH, 211, 340, IDS_CAPTION_SEARCH, IDI_SEARCH, IDS_HINT_SEARCH},
    {IDC_BUTTON_HELP, 341, 398, IDS_CAPTION_HELP, IDI_HELP, IDS_HINT_HELP},
    {IDC_BUTTON_DISKS, 399, 474, IDS_CAPTION_DISKS, IDI_DISKS, IDS_HINT_DISKS},
};

// Fills the two "%d" of the counts text in order. Done by hand rather than
// with printf, so that a translation with other directives cannot misread
// the arguments.
QString FormatCounts(QString pattern, int all, int selected) {
    for (int value : {all, selected}) {
        const qsizetype at = pattern.indexOf(QStringLiteral("%d"));
        if (at < 0)
            break;
        pattern.replace(at, 2, QString::number(value));
    }
    return pattern;
}

} // namespace

CQuillmendDlg::CQuillmendDlg(QWidget* parent)
    : QDialog(parent),
      icon_(res::LoadIcon(IDR_MAINFRAME)),
      headerBitmap_(res::LoadBitmap(IDB_HEADER)),
      statusBitmap_(res::LoadBitmap(IDB_STATUS)) {
    setWindowTitle(QStringLiteral("Quillmend"));
    // A main window: resizable, with minimise and maximise boxes.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    // Painting covers the whole client area; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The platform's dialog font at 8 points: the buttons' fixed widths are
    // made for captions of that size.
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    saveButton_.setObjectName(QStringLiteral("save"));
    loadButton_.setObjectName(QStringLiteral("load"));
    searchButton_.setObjectName(QStringLiteral("search"));
    helpButton_.setObjectName(QStringLiteral("help"));
    disksButton_.setObjectName(QStringLiteral("disks"));
    browseWindow_.setObjectName(QStringLiteral("browse"));
    // The status line counts the message list's items and ticked rows.
    SetCountSource([this] { return browseWindow_.MessageList().GetItemCount(); },
                   [this] { return browseWindow_.MessageList().GetTickedCount(); });
    // F1 from anywhere in the window, whichever pane has the focus: the
    // preview keeps the keys it does not use from its own key handling.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &CQuillmendDlg::OnHelp);
}

CQuillmendDlg::~CQuillmendDlg() = default;

CMainButton* CQuillmendDlg::Button(int commandId) {
    switch (commandId) {
    case IDC_BUTTON_SAVE:
        return &saveButton_;
    case IDC_BUTTON_LOAD:
        return &loadButton_;
    case IDC_BUTTON_SEARCH:
        return &searchButton_;
    case IDC_BUTTON_HELP:
        return &helpButton_;
    case IDC_BUTTON_DISKS:
        return &disksButton_;
    default:
        return nullptr;
    }
}

void CQuillmendDlg::setVisible(bool visible) {
    if (visible && !initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

bool CQuillmendDlg::OnInitDialog() {
    // The About entry: the system menu where the window system lets us extend
    // it (Windows), else the header's context menu.
    const QString about = res::Text(IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        aboutInSystemMenu_ = platform::AppendSystemMenuItem(reinterpret_cast<void*>(winId()), IDM_ABOUTBOX,
                                                            about.toStdString());
    }
    setWindowIcon(icon_);

    for (const ButtonSpec& spec : kButtons) {
        CMainButton* button = Button(spec.command);
        button->setParent(this);
        button->setText(res::Text(spec.caption));
        button->setGeometry(spec.left, kButtonTop, spec.right - spec.left, kButtonHeight);
        button->SetIconId(spec.icon);
        button->setFont(font());
        button->SetNoFocusRect(1);
        button->SetHintOwner(this);
        button->SetHintId(spec.hint);
        button->show();
    }
    connect(&saveButton_, &QPushButton::clicked, this, &CQuillmendDlg::OnSave);
    connect(&browseWindow_, &CDbxBrowseWindow::saveMboxRequested, this, &CQuillmendDlg::OnSaveMbox);
    connect(&browseWindow_, &CDbxBrowseWindow::saveAttachmentRequested, this, &CQuillmendDlg::OnSaveAttachment);
    connect(&browseWindow_, &CDbxBrowseWindow::saveShownAttachmentsRequested, this,
            &CQuillmendDlg::OnSaveShownAttachments);
    connect(&browseWindow_, &CDbxBrowseWindow::saveTickedAttachmentsRequested, this,
            &CQuillmendDlg::OnSaveTickedAttachments);
    connect(&loadButton_, &QPushButton::clicked, this, &CQuillmendDlg::OnLoad);
    connect(&searchButton_, &QPushButton::clicked, this, &CQuillmendDlg::OnSearch);
    connect(&helpButton_, &QPushButton::clicked, this, &CQuillmendDlg::OnHelp);
    connect(&disksButton_, &QPushButton::clicked, this, &CQuillmendDlg::OnDisks);

    bandBrush_ = QColor(106, 160, 216);
    browseWindow_.setParent(this);
    browseWindow_.setGeometry(0, 0, 1, 1);
    browseWindow_.show();

    PlaceWindow();
    storeNote_ = LoadStoreFolder(browseWindow_);
    // Files named on the command line come after the store's node.
    if (!pendingFiles_.empty())
        OpenFiles(std::exchange(pendingFiles_, {}));
    return true;
}

void CQuillmendDlg::PlaceWindow() {
    // Sizes are outer sizes (frame included); the frame is known only once a
    // window manager has framed the window, so this runs again after showing.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const int frameW = frame.left() + frame.right();
    const int frameH = frame.top() + frame.bottom();
    setMinimumSize(kMinOuterWidth - frameW, kMinOuterHeight - frameH);
    resize(kOuterWidth - frameW, kOuterHeight - frameH);
    if (QScreen* s = screen()) {
        QRect outer(0, 0, kOuterWidth, kOuterHeight);
        outer.moveCenter(s->availableGeometry().center());
        move(outer.topLeft());
    }
}

void CQuillmendDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!placedAfterShow_) {
        placedAfterShow_ = true;
        QTimer::singleShot(0, this, [this] {
            const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
            if (!frame.isNull())
                PlaceWindow();
        });
    }
}

CQuillmendDlg::HeaderLayout CQuillmendDlg::LayoutHeader(int clientWidth, int headerWidth) {
    HeaderLayout layout;
    const int n = (clientWidth - 165) / kHeaderMiddleWidth;
    for (int k = 0; k < n; ++k)
        layout.middleCopies.push_back(kHeaderMiddleX + kHeaderMiddleWidth * k);
    layout.rightPartX = clientWidth - headerWidth + kHeaderRightX;
    return layout;
}

void CQuillmendDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (browseWindow_.parentWidget() == this)
        browseWindow_.setGeometry(0, kBrowseTop, width(), height() - kBrowseTop - statusBitmap_.height());
    update();
}

QRect CQuillmendDlg::StatusStripRect() const {
    QRect r = rect();
    r.setTop(r.bottom() + 1 - statusBitmap_.height());
    return r;
}

void CQuillmendDlg::InvalidateStatusStrip() {
    update(StatusStripRect());
}

void CQuillmendDlg::SetCountSource(std::function<int()> itemCount, std::function<int()> tickedCount) {
    itemCount_ = std::move(itemCount);
    tickedCount_ = std::move(tickedCount);
    InvalidateStatusStrip();
}

namespace {

// The deepest folder that holds every one of `files` (absolute paths).
std::string CommonFolder(const std::vector<std::string>& files) {
    std::filesystem::path common = std::filesystem::path(files.front()).parent_path();
    for (const std::string& file : files) {
        const std::filesystem::path folder = std::filesystem::path(file).parent_path();
        std::filesystem::path shared;
        for (auto a = common.begin(), b = folder.begin(); a != common.end() && b != folder.end() && *a == *b; ++a, ++b)
            shared /= *a;
        common = std::move(shared);
    }
    return common.empty() ? std::string(1, platform::kPathSeparator) : common.string();
}

// `path` made absolute, "." and ".." taken out, as its bytes.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

// The shown paths of `paths`, one a line.
QString ShownLines(const std::vector<std::string>& paths) {
    QStringList lines;
    for (const std::string& path : paths)
        lines << QDir::toNativeSeparators(ui::ShownPath(path));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QTreeWidgetItem* CQuillmendDlg::AddFilesUnderOneNode(const std::vector<std::string>& files) {
    const std::string folder = files.size() == 1 ? files.front() : CommonFolder(files);
    QTreeWidgetItem* node = browseWindow_.AddFolderNode(QDir::toNativeSeparators(ui::ShownPath(folder)));
    for (const std::string& file : files)
        browseWindow_.AddDbxFile(node, file);
    node->setExpanded(true);
    return node;
}

void CQuillmendDlg::OpenFiles(const std::vector<std::string>& paths) {
    if (!initialised_) {
        pendingFiles_.insert(pendingFiles_.end(), paths.begin(), paths.end());
        return;
    }
    std::vector<std::string> files, images, missing;
    for (const std::string& path : paths) {
        std::string absolute = AbsolutePath(path);
        switch (app::KindToOpen(absolute)) {
        case app::OpenKind::kMailFile: files.push_back(std::move(absolute)); break;
        case app::OpenKind::kImage: images.push_back(std::move(absolute)); break;
        case app::OpenKind::kNothing: missing.push_back(std::move(absolute)); break;
        }
    }
    QTreeWidgetItem* node = files.empty() ? nullptr : AddFilesUnderOneNode(files);
    if (!missing.empty()) {
        RunWhenPainted([this, missing] {
            Dialogs().Tell(this, QMessageBox::Warning,
                           res::Text(IDS_FILES_NOT_FOUND) + QLatin1Char('\n') + ShownLines(missing));
        });
    }
    // The first scan shows its progress over this window: select once the
    // window is on the screen.
    if (node) {
        RunWhenPainted([this, node] {
            if (node->childCount() > 0)
                browseWindow_.Tree().setCurrentItem(node->child(0));
        });
    }
    // Images are read over the window, one after the other; without a mail
    // file named, the first mail file found is shown.
    if (!images.empty()) {
        RunWhenPainted([this, images, show = node == nullptr] {
            QTreeWidgetItem* first = nullptr;
            for (const std::string& image : images) {
                QTreeWidgetItem* folder = OpenImage(image);
                if (!first && folder && folder->childCount() > 0)
                    first = folder->child(0);
            }
            if (show && first)
                browseWindow_.Tree().setCurrentItem(first);
        });
    }
}

void CQuillmendDlg::RunWhenPainted(std::function<void()> step) {
    if (painted_)
        QTimer::singleShot(0, this, std::move(step));
    else
        afterFirstPaint_.push_back(std::move(step));
}

QString CQuillmendDlg::CountsText() const {
    const int all = itemCount_ ? itemCount_() : 0;
    const int ticked = tickedCount_ ? tickedCount_() : 0;
    return FormatCounts(res::Text(IDS_STATUS_COUNTS), all, ticked);
}

QString CQuillmendDlg::HintText() const {
    const QString hint = res::Text(hintId_);
    if (!hint.isEmpty())
        return hint;
    // In place of the notice: the list does not show everything in the
    // file; else, while no mail file is selected, what the store lookup
    // found wrong (it explains an empty store node).
    if (const int note = browseWindow_.ListIncompleteNote())
        return res::Text(note);
    if (!storeNote_.isEmpty() && !browseWindow_.GetCurrentDbxFile())
        return storeNote_;
    return res::Text(IDS_NOTICE);
}

void CQuillmendDlg::paintEvent(QPaintEvent*) {
    if (!painted_) {
        painted_ = true;
        for (std::function<void()>& step : afterFirstPaint_)
            QTimer::singleShot(0, this, std::move(step));
        afterFirstPaint_.clear();
    }
    // Minimised windows are drawn by the window system from the window icon.
    QPainter p(this);
    const int L = 0;
    const int R = width();
    const int B = height();
    const int W = headerBitmap_.width();
    const int H = headerBitmap_.height();
    {
        // The header: whole bitmap, its middle part repeated, the right part
        // flush with the right edge.
        CBitmapDC header(headerBitmap_, 0, 0);
        header.BitBlt(p, 0, 0, W, H, 0, 0);
        const HeaderLayout layout = LayoutHeader(R - L, W);
        for (int x : layout.middleCopies)
            header.BitBlt(p, x, 0, kHeaderMiddleWidth, H, kHeaderMiddleX, 0);
        header.BitBlt(p, layout.rightPartX, 0, W - kHeaderRightX, H, kHeaderRightX, 0);
    }
    const int w = statusBitmap_.width();
    const int h = statusBitmap_.height();
    if (w > 0) {
        CBitmapDC status(statusBitmap_, 0, 0);
        const int m = (R - L + w - 1) / w;
        for (int i = 0; i < m; ++i)
            status.BitBlt(p, i * w, B - h, w, h, 0, 0);
    }
    const QRect text(QPoint(L + 20, B - h), QPoint(R - 10 - 1, B - 1));
    p.save();
    p.setPen(Qt::black);
    p.setFont(font());
    const QString counts = CountsText();
    p.drawText(text, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, counts);
    // A long hint (a path in the store's note) ends short of the counts.
    const int room = text.width() - p.fontMetrics().horizontalAdvance(counts) - kHintGap;
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               p.fontMetrics().elidedText(HintText(), Qt::ElideRight, std::max(room, 0)));
    p.restore();
    p.fillRect(QRect(L, H, R - L, kBandHeight), bandBrush_.isValid() ? bandBrush_ : QColor(106, 160, 216));
}

bool CQuillmendDlg::event(QEvent* event) {
    if (const auto* hint = ui::PostedMessage::As(event, ui::WM_BUTTONHINT)) {
        hintId_ = static_cast<int>(hint->WParam());
        InvalidateStatusStrip();
        return true;
    }
    return QDialog::event(event);
}

void CQuillmendDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            OnOK();
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);  // Esc comes back as reject()
}

void CQuillmendDlg::reject() {
    OnCancel();
}

void CQuillmendDlg::OnOK() {
    // Not while a search runs (Save disabled): the window would vanish with
    // the walk still going.
    if (!saveButton_.isEnabled())
        return;
    QDialog::accept();
}

void CQuillmendDlg::OnCancel() {
    // A search runs with the Save button disabled; the program cannot end then.
    if (!saveButton_.isEnabled())
        return;
    // No is the default: Enter on the question keeps the program running.
    const auto answer = Dialogs().Ask(this, QMessageBox::Question, res::Text(IDS_EXIT_NOW),
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        QDialog::reject();
}

void CQuillmendDlg::OnHelp() {
    // The program's own window, so that Help works the same with or without
    // a web browser on the machine.
    if (!helpWindow_)
        helpWindow_ = new CHelpWindow(this);
    const std::string path = platform::FindAsset("help.htm");
    helpWindow_->ShowPage(path.empty() ? QString() : ui::QtPath(path));
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void CQuillmendDlg::OnSearch() {
    CSearchDbxSettingDlg settings(this);
    if (settings.exec() != QDialog::Accepted)
        return;
    // The commands that change the tree wait, and the window cannot close
    // (OnCancel), while the search pumps events.
    CMainButton* const commands[] = {&saveButton_, &loadButton_, &searchButton_, &disksButton_};
    for (CMainButton* button : commands)
        button->setEnabled(false);
    const SearchReport report = RunSearch(settings.SearchPaths(), settings.FromDriveList(), browseWindow_);
    for (CMainButton* button : commands)
        button->setEnabled(true);
    // What could not be read may hold mail files: the user should know.
    if (report.unreadable > 0) {
        QString text = res::Format(IDS_SEARCH_UNREADABLE, {QString::number(report.unreadable)}) + QLatin1Char('\n') +
                       report.named.join(QLatin1Char('\n'));
        if (report.unreadable > report.named.size())
            text += QStringLiteral("\n\u2026");
        Dialogs().Tell(this, QMessageBox::Warning, text);
    }
}

void CQuillmendDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
    }
}

QMenu* CQuillmendDlg::CreateHeaderMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const QString about = res::Text(IDS_ABOUTBOX);
    if (!aboutInSystemMenu_ && !about.isEmpty()) {
        QAction* action = menu->addAction(icon_, about);
        action->setData(IDM_ABOUTBOX);
    }
    return menu;
}

void CQuillmendDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (event->pos().y() >= headerBitmap_.height()) {
        QDialog::contextMenuEvent(event);
        return;
    }
    QMenu* menu = CreateHeaderMenu(this);
    if (!menu->isEmpty()) {
        if (QAction* chosen = menu->exec(event->globalPos()))
            OnSysCommand(chosen->data().toUInt());
    }
    delete menu;
}

bool CQuillmendDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (aboutInSystemMenu_ && platform::IsSystemCommand(message, IDM_ABOUTBOX)) {
        OnSysCommand(IDM_ABOUTBOX);
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
