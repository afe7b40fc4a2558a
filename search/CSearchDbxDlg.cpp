#include "search/CSearchDbxDlg.h"

#include "browse/CDbxBrowseWindow.h"
#include "res/resource.h"
#include "search/SearchDialogFrame.h"
#include "ui/EnginePath.h"
#include "ui/DialogUnits.h"
#include "ui/ShowNow.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

// A path laid out on at most `maxLines` lines `width` px wide, broken after
// separators (a folder name is cut only when it is wider than a line). A
// path too long for the lines keeps its first line and its end.
QString PathLines(const QString& path, const QFontMetrics& fm, int width, int maxLines)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] == QLatin1Char('/') || path[i] == QLatin1Char('\\')) {
            parts << path.mid(start, i + 1 - start);
            start = i + 1;
        }
    }
    if (start < path.size())
        parts << path.mid(start);

    QStringList lines;
    QString line;
    for (const QString& part : parts) {
        if (fm.horizontalAdvance(line + part) <= width) {
            line += part;
            continue;
        }
        if (!line.isEmpty())
            lines << line;
        line = part;
        while (line.size() > 1 && fm.horizontalAdvance(line) > width) {
            qsizetype fits = 1;
            while (fits < line.size() && fm.horizontalAdvance(line.left(fits + 1)) <= width)
                ++fits;
            lines << line.left(fits);
            line.remove(0, fits);
        }
    }
    if (!line.isEmpty())
        lines << line;
    if (maxLines >= 2 && lines.size() > maxLines) {
        QStringList kept{lines.front()};
        kept << lines.mid(lines.size() - (maxLines - 1));
        kept[1] = fm.elidedText(QStringLiteral("\u2026") + kept[1], Qt::ElideRight, width);
        lines = kept;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

CSearchDbxDlg::CSearchDbxDlg(CDbxBrowseWindow& browseWindow, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      browseWindow_(browseWindow),
      pathLabel_(new QLabel(this)),
      cancel_(new QPushButton(tr("&Cancel"), this)),
      search_(*this, search::FileSystemBoundary::OfThisSystem())
{
    search::SetUpSearchDialog(*this, "search_progress", 274, 92);

    auto* caption = new QLabel(tr("Searching path:"), this);
    caption->setGeometry(ui::DluRect(7, 7, 260, 8));
    pathLabel_->setObjectName(QStringLiteral("static_%1").arg(IDC_CURRENT_PATH));
    pathLabel_->setGeometry(ui::DluRect(7, 19, 260, 33));
    pathLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pathLabel_->setTextFormat(Qt::PlainText);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setGeometry(ui::DluRect(112, 71, 50, 14));
    // Cancel hides the window (the end of a modeless dialog); the search
    // notices at its next directory.
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    clock_.start();
}

CSearchDbxDlg::~CSearchDbxDlg() = default;

bool CSearchDbxDlg::SearchTree(const std::string& directory, bool oneFileSystem)
{
    return search_.SearchTree(directory, oneFileSystem);
}

bool CSearchDbxDlg::SearchDirectory(const std::string& path)
{
    currentPath_ = ui::ShownPath(path);
    // Laying out and painting the path costs many times what reading a
    // cached directory does: show it when the walk is slow (then every
    // directory shows) and otherwise some 25 times a second.
    const qint64 now = clock_.elapsed();
    if (now - lastShown_ >= kShowEveryMs || now - lastVisit_ >= kSlowVisitMs) {
        const QFontMetrics fm = pathLabel_->fontMetrics();
        pathLabel_->setText(
            PathLines(currentPath_, fm, pathLabel_->width(), pathLabel_->height() / std::max(1, fm.lineSpacing())));
        lastShown_ = now;
    }
    lastVisit_ = now;
    PumpMessages();
    return isVisible();
}

void CSearchDbxDlg::PumpMessages()
{
    QCoreApplication::processEvents();
}

void CSearchDbxDlg::FolderFound(const std::string& shownPath)
{
    folderNode_ = browseWindow_.AddFolderNode(ui::ShownPath(shownPath));
}

void CSearchDbxDlg::MailFileFound(const std::string& path, std::uint64_t)
{
    browseWindow_.AddDbxFile(folderNode_, path);
}

void CSearchDbxDlg::DirectoryUnreadable(const std::string& path, const std::string& why)
{
    if (unreadable_.size() < kUnreadableNamed)
        unreadable_ << ui::ShownPath(path) + QStringLiteral(": ") + QString::fromStdString(why);
}

void CSearchDbxDlg::keyPressEvent(QKeyEvent* event)
{
    // A help request (F1) does nothing here.
    if (!search::SwallowHelpKey(event))
        QDialog::keyPressEvent(event);
}

SearchReport RunSearch(const std::vector<std::string>& searchPaths, bool fromDriveList, CDbxBrowseWindow& browseWindow)
{
    CSearchDbxDlg dlg(browseWindow, browseWindow.window());
    ui::ShowNow(dlg);
    // After a Cancel each remaining path ends at its first directory.
    for (const std::string& path : searchPaths)
        dlg.SearchTree(path, fromDriveList);
    return {dlg.UnreadableCount(), dlg.Unreadable()};
}
