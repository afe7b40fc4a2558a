#include "ui/CEmailPreviewWindow.h"

#include "platform/Files.h"
#include "render/Limits.h"
#include "render/RenderMessage.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QFile>
#include <QFocusEvent>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

// Bytes read of a page, or of a file a page uses.
constexpr qint64 kMaxPageBytes = 8 << 20;
// Pictures larger than this are not decoded (a few lines of a hostile PNG
// can claim gigabytes of pixels).
constexpr qint64 kMaxImagePixels = 40'000'000;
constexpr int kImageAllocationLimitMb = 256;

QByteArray ReadAtMost(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(limit);
}

QImage DecodeImage(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kImageAllocationLimitMb);
    const QSize size = reader.size();
    if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > kMaxImagePixels)
        return {};
    return reader.read();
}

// The picture in a "data:image/...;base64," URL, or a null image.
QImage DataUrlImage(const QUrl& url)
{
    const QByteArray text = QByteArray::fromPercentEncoding(url.toEncoded());
    const qsizetype comma = text.indexOf(',');
    if (comma < 0 || !text.startsWith("data:image/") || !text.left(comma).endsWith(";base64"))
        return {};
    return DecodeImage(QByteArray::fromBase64(text.mid(comma + 1)));
}

// In place of a picture that lost bytes when its e-mail was deleted and no
// longer decodes: a mark in the colours of the text's gaps.
QImage DamagedPicture()
{
    QImage image(220, 40, QImage::Format_RGB32);
    image.fill(QColor(0xfd, 0xe2, 0xe2));
    QPainter painter(&image);
    painter.setPen(QColor(0x9b, 0x1c, 0x1c));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    painter.drawText(image.rect(), Qt::AlignCenter, CEmailPreviewWindow::tr("\u2591\u2591\u2591 picture damaged when deleted"));
    return image;
}

// A page in the charset it declares, UTF-8 when it declares none.
QString DecodePage(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::encodingForHtml(bytes).value_or(QStringConverter::Utf8));
    return decoder.decode(bytes);
}

// Keys the preview acts on: moving through the page and copying what is
// selected. Everything else a browser would take as a command (Back,
// Forward, Refresh, Find, Print, moving to and following links, ...) does
// nothing here.
bool IsKeptKey(const QKeyEvent* e)
{
    if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll))
        return true;
    if (e->modifiers() & (Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Space:  // a page down, as in a browser
        return true;
    default:
        return false;
    }
}

// Keys that belong to the dialog around the preview (default button,
// cancel): passed on untouched, as from any other control.
bool IsDialogKey(const QKeyEvent* e)
{
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    return plain && (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter);
}

bool IsEnter(const QKeyEvent* e)
{
    return (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
        && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter);
}

// The link of the attachments' list an URL names; kNoLink for any other.
int LinkOf(const QUrl& url)
{
    if (url.scheme() != QLatin1String(render::kAttachmentUrlScheme))
        return CEmailPreviewWindow::kNoLink;
    if (url.toString() == QLatin1String(render::kSaveAllAttachmentsUrl))
        return CEmailPreviewWindow::kSaveAllLink;
    bool number = false;
    const int n = url.path().toInt(&number);
    return number && n >= 0 ? n : CEmailPreviewWindow::kNoLink;
}

QString LinkUrl(int link)
{
    return link == CEmailPreviewWindow::kSaveAllLink
        ? QString::fromLatin1(render::kSaveAllAttachmentsUrl)
        : QString::fromLatin1(render::kAttachmentUrlScheme) + QLatin1Char(':') + QString::number(link);
}

bool IsMouseButtonEvent(const QEvent* e)
{
    return e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease
        || e->type() == QEvent::MouseButtonDblClick;
}

} // namespace

CEmailPreviewWindow* CEmailPreviewWindow::CreateObject()
{
    return new CEmailPreviewWindow();
}

CEmailPreviewWindow::CEmailPreviewWindow()
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    // Selecting with the mouse, and links that look like links; no caret,
    // and no moving to or following links by keyboard.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    setContextMenuPolicy(Qt::PreventContextMenu);
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
    // Nor on the scroll bars, which have their own ("Scroll here", "Top", ...).
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()})
        bar->setContextMenuPolicy(Qt::PreventContextMenu);
    setSearchPaths({});
    // The view deletes the file before anyone else hears of the event.
    connect(this, &CEmailPreviewWindow::documentComplete, this, &CEmailPreviewWindow::OnDocumentComplete);
    // Of the page's links only the attachments' list does anything.
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        const int link = LinkOf(url);
        const int count = static_cast<int>(Attachments().size());
        if ((link >= 0 && link < count) || (link == kSaveAllLink && count > 1))
            emit attachmentActivated(link);
    });
}

CEmailPreviewWindow::~CEmailPreviewWindow() = default;

void CEmailPreviewWindow::Navigate2(const QString& path, const dbx::TextDamage& damage)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    message_.reset();
    pageFolder_.clear();
    focusedLink_ = kNoLink;
    if (suffix == QLatin1String("htm") || suffix == QLatin1String("html")) {
        pageFolder_ = info.canonicalPath();
        setHtml(DecodePage(ReadAtMost(path, kMaxPageBytes)));
    } else {
        // One byte past the renderer's limit lets it say that it cut.
        const QByteArray bytes = ReadAtMost(path, static_cast<qint64>(render::limits::kMaxInputBytes) + 1);
        message_ = std::make_unique<render::RenderedMessage>(render::RenderMessage(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), damage));
        setHtml(QString::fromStdString(message_->html));
    }
    // Raised from the event loop, like the browser's own event.
    QMetaObject::invokeMethod(this, [this, path] { emit documentComplete(path); }, Qt::QueuedConnection);
}

void CEmailPreviewWindow::OnDocumentComplete(const QString& path)
{
    // A read-only file (the start page), or one already gone, stays as it is.
    platform::DeleteFile(path.toStdString());
}

QVariant CEmailPreviewWindow::loadResource(int type, const QUrl& name)
{
    const QString scheme = name.scheme().toLower();
    if (scheme == QLatin1String("cid")) {
        if (!message_ || type != QTextDocument::ImageResource)
            return {};
        const render::Part* part = render::FindInlinePart(*message_, name.toEncoded().toStdString());
        if (part == nullptr)
            return {};
        const QImage image = DecodeImage(QByteArray(part->bytes.data(), static_cast<qsizetype>(part->bytes.size())));
        return image.isNull() && part->damaged ? DamagedPicture() : image;
    }
    if (scheme == QLatin1String("data"))
        return type == QTextDocument::ImageResource ? QVariant(DataUrlImage(name)) : QVariant();
    return PageFile(type, name);
}

const std::vector<render::Attachment>& CEmailPreviewWindow::Attachments() const
{
    static const std::vector<render::Attachment> none;
    return message_ ? message_->attachments : none;
}

std::vector<int> CEmailPreviewWindow::Links() const
{
    std::vector<int> links;
    const int count = static_cast<int>(Attachments().size());
    for (int i = 0; i < count; ++i)
        links.push_back(i);
    if (count > 1)
        links.push_back(kSaveAllLink);
    return links;
}

void CEmailPreviewWindow::FocusLink(int link)
{
    focusedLink_ = link;
    QTextCursor cursor(document());
    if (link != kNoLink) {
        // The link's text: the fragments that carry its address.
        const QString url = LinkUrl(link);
        int begin = -1, end = -1;
        for (QTextBlock block = document()->begin(); block.isValid() && end < 0; block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const bool ofLink = fragment.charFormat().isAnchor() && fragment.charFormat().anchorHref() == url;
                if (ofLink && begin < 0)
                    begin = fragment.position();
                if (ofLink)
                    end = fragment.position() + fragment.length();
                else if (begin >= 0)
                    break;
            }
        }
        if (begin >= 0) {
            cursor.setPosition(begin);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
        }
    }
    setTextCursor(cursor);
    ensureCursorVisible();
}

QVariant CEmailPreviewWindow::PageFile(int type, const QUrl& name) const
{
    if (pageFolder_.isEmpty())
        return {};
    const QUrl url = name.isRelative() ? QUrl::fromLocalFile(pageFolder_ + QLatin1Char('/')).resolved(name) : name;
    if (!url.isLocalFile())
        return {};
    // Only files directly in the page's folder, after following "..".
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    if (file.isEmpty() || QFileInfo(file).absolutePath() != pageFolder_)
        return {};
    const QByteArray bytes = ReadAtMost(file, kMaxPageBytes);
    if (type == QTextDocument::ImageResource)
        return DecodeImage(bytes);
    if (type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(bytes);
    return {};
}

bool CEmailPreviewWindow::event(QEvent* e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        // Enter on a link of the attachments' list is the preview's own.
        if (focusedLink_ != kNoLink && IsEnter(static_cast<QKeyEvent*>(e))) {
            e->accept();
            return true;
        }
        // Keys the preview does not act on are left to the window's own
        // shortcuts; the preview itself swallows them in keyPressEvent.
        if (!IsKeptKey(static_cast<QKeyEvent*>(e))) {
            e->ignore();
            return true;
        }
    }
    if (IsMouseButtonEvent(e)) {
        // Mouse buttons on the view's own window (its frame) do nothing;
        // clicks in the page arrive through viewportEvent.
        e->accept();
        return true;
    }
    return QTextBrowser::event(e);
}

bool CEmailPreviewWindow::viewportEvent(QEvent* e)
{
    // A click in the page moves the focus off a link of the attachments.
    if (e->type() == QEvent::MouseButtonPress)
        focusedLink_ = kNoLink;
    if (IsMouseButtonEvent(e)) {
        const auto button = static_cast<QMouseEvent*>(e)->button();
        if (button == Qt::BackButton || button == Qt::ForwardButton) {
            e->accept();  // no history to move through
            return true;
        }
    }
    if (e->type() == QEvent::ContextMenu) {
        e->accept();
        return true;
    }
    return QTextBrowser::viewportEvent(e);
}

void CEmailPreviewWindow::focusOutEvent(QFocusEvent* e)
{
    // Another control taking the focus takes it from the link as well; a
    // dialog the link opened gives it back on closing.
    const Qt::FocusReason reason = e->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && focusedLink_ != kNoLink)
        FocusLink(kNoLink);
    QTextBrowser::focusOutEvent(e);
}

void CEmailPreviewWindow::keyPressEvent(QKeyEvent* e)
{
    if (focusedLink_ != kNoLink && IsEnter(e)) {
        e->accept();
        emit attachmentActivated(focusedLink_);
        return;
    }
    if (IsKeptKey(e)) {
        QTextBrowser::keyPressEvent(e);
        return;
    }
    if (IsDialogKey(e)) {
        e->ignore();
        return;
    }
    e->accept();
}

void CEmailPreviewWindow::contextMenuEvent(QContextMenuEvent* e)
{
    e->accept();  // no menu, and none from the window around the view either
}

bool CEmailPreviewWindow::focusNextPrevChild(bool next)
{
    // Tab moves through the links of the attachments' list, then on to the
    // next control; never to the message's own links.
    const std::vector<int> links = Links();
    const auto at = std::find(links.begin(), links.end(), focusedLink_);
    const std::ptrdiff_t position = at == links.end() ? (next ? -1 : static_cast<std::ptrdiff_t>(links.size()))
                                                      : at - links.begin();
    const std::ptrdiff_t wanted = position + (next ? 1 : -1);
    if (hasFocus() && wanted >= 0 && wanted < static_cast<std::ptrdiff_t>(links.size())) {
        FocusLink(links[static_cast<std::size_t>(wanted)]);
        return true;
    }
    if (focusedLink_ != kNoLink)
        FocusLink(kNoLink);
    return QWidget::focusNextPrevChild(next);
}
