#include "app/CHelpWindow.h"

#include "res/Strings.h"
#include "res/resource.h"

#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace {

// Bytes read of one page or picture of the guide.
constexpr qint64 kMaxGuideFileBytes = 8 << 20;

} // namespace

// --- the viewer --------------------------------------------------------------------

CHelpBrowser::CHelpBrowser(QWidget* parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("help_browser"));
    // Links are followed here, never handed to the desktop.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setSearchPaths({});
    document()->setDocumentMargin(10);
}

QString CHelpBrowser::GuideFile(const QUrl& link) const
{
    if (guideFolder_.isEmpty())
        return {};
    const QUrl url = link.isRelative() ? source().resolved(link) : link;
    if (!url.isLocalFile())
        return {};
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    if (file.isEmpty() || QFileInfo(file).absolutePath() != guideFolder_)
        return {};
    return file;
}

QVariant CHelpBrowser::loadResource(int type, const QUrl& name)
{
    const QString file = GuideFile(name);
    if (file.isEmpty())
        return {};  // the network, other folders: nothing
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = in.read(kMaxGuideFileBytes);
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(bytes);
    return bytes;
}

// --- the window --------------------------------------------------------------------

CHelpWindow::CHelpWindow(QWidget* owner) : QDialog(owner), browser_(new CHelpBrowser(this))
{
    setObjectName(QStringLiteral("help_window"));
    setWindowTitle(res::Text(IDS_HELP_TITLE));
    // A window of its own beside the main window, not a modal dialog.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(640, 600);
    connect(browser_, &QTextBrowser::anchorClicked, this, &CHelpWindow::FollowLink);
}

CHelpWindow::~CHelpWindow() = default;

QTextBrowser& CHelpWindow::Browser()
{
    return *browser_;
}

void CHelpWindow::ShowPage(const QString& path)
{
    const QFileInfo page(path);
    if (path.isEmpty() || !page.isFile()) {
        browser_->SetGuideFolder({});
        browser_->setSource({});
        browser_->setPlainText(res::Text(IDS_HELP_MISSING));
        return;
    }
    browser_->SetGuideFolder(page.canonicalPath());
    browser_->setSource(QUrl::fromLocalFile(page.canonicalFilePath()), QTextDocument::HtmlResource);
}

void CHelpWindow::FollowLink(const QUrl& link)
{
    const QString file = browser_->GuideFile(link);
    if (file.isEmpty())
        return;  // leads out of the guide
    QUrl target = QUrl::fromLocalFile(file);
    target.setFragment(browser_->source().resolved(link).fragment());
    browser_->setSource(target, QTextDocument::HtmlResource);
}
