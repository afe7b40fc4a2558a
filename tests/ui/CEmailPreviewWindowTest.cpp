#include "ui/CEmailPreviewWindow.h"

#include "dbx/DbxFile.h"
#include "platform/Files.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QHBoxLayout>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

using testsupport::TempDir;
using testsupport::WriteFile;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The window around the preview, as the browse window is: it notes what
// reaches it from the preview.
class Host : public QWidget {
public:
    int keys = 0;
    int mouseButtons = 0;
    int contextMenus = 0;

protected:
    void keyPressEvent(QKeyEvent*) override { ++keys; }
    void mousePressEvent(QMouseEvent*) override { ++mouseButtons; }
    void contextMenuEvent(QContextMenuEvent*) override { ++contextMenus; }
};

QByteArray Png(QColor colour, QSize size = QSize(48, 24))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::string HtmlMessageWithPicture(const char* cid, QColor colour)
{
    return std::string("From: =?utf-8?Q?Ren=C3=A9e_Dupont?= <renee@example.fr>\r\n"
                       "To: Team <team@example.com>\r\nCc: boss@example.com\r\n"
                       "Subject: =?utf-8?B?UXVhcnRlcmx5IHJlcG9ydCDigJMgUTM=?=\r\n"
                       "Date: Tue, 14 Oct 2003 09:30:00 +0200\r\n"
                       "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n"
                       "--mix\r\nContent-Type: multipart/related; boundary=\"rel\"\r\n\r\n"
                       "--rel\r\nContent-Type: text/html; charset=utf-8\r\n"
                       "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                       "<html><head><script>document.title=3D'x'</script></head><body>"
                       "<h2 style=3D\"color:#24527a\">Quarterly report</h2>"
                       "<p>Hello team,</p><p>the figures for Q3 are <b>up 12%</b>. "
                       "Chart: <img src=3D\"cid:")
        + cid
        + "\" alt=3D\"chart\"></p>"
          "<p><img src=3D\"http://tracker.example/open.gif?u=3D1\" alt=3D\"\">"
          "Details on <a href=3D\"http://intranet.example/q3\">the intranet</a>.</p>"
          "<p>Regards,<br>Ren=C3=A9e</p></body></html>\r\n"
          "--rel\r\nContent-Type: image/png\r\nContent-ID: <"
        + cid + ">\r\nContent-Transfer-Encoding: base64\r\n\r\n" + Png(colour).toBase64().toStdString()
        + "\r\n--rel--\r\n"
          "--mix\r\nContent-Type: application/vnd.ms-excel; name=\"figures.xls\"\r\n"
          "Content-Disposition: attachment; filename=\"figures.xls\"\r\n"
          "Content-Transfer-Encoding: base64\r\n\r\nAAECAwQFBgcICQ==\r\n--mix--\r\n";
}

class PreviewTest : public ::testing::Test {
protected:
    PreviewTest()
    {
        host.resize(760, 560);
        auto* layout = new QHBoxLayout(&host);  // more views side by side, where a test adds them
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(4);
        view = CEmailPreviewWindow::CreateObject();
        layout->addWidget(view);
        host.show();
        view->setFocus();
    }

    // Shows the file in `in` (the view by default) and waits until it reports it loaded.
    void Show(const std::string& path, const dbx::TextDamage& damage = {}, CEmailPreviewWindow* in = nullptr)
    {
        in = in ? in : view;
        QSignalSpy complete(in, &CEmailPreviewWindow::documentComplete);
        in->Navigate2(QString::fromStdString(path), damage);
        ASSERT_TRUE(complete.wait(5000));
        ASSERT_EQ(complete.first().first().toString(), QString::fromStdString(path));
    }

    std::string ShowMessage(std::string_view bytes, const char* name = "1234.mht", const dbx::TextDamage& damage = {},
                            CEmailPreviewWindow* in = nullptr)
    {
        const std::string path = dir.File(name);
        WriteFile(path, bytes);
        Show(path, damage, in);
        return path;
    }

    // The start page, read-only as installed, in the test's folder.
    std::string StartPage()
    {
        const std::string page = dir.File("default.htm");
        std::filesystem::copy_file(QUILLMEND_ASSETS_DIR "/default.htm", page);
        EXPECT_TRUE(platform::SetReadOnly(page));
        return page;
    }

    void Screenshot(const QString& name)
    {
        EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(host), name).isEmpty());
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view, static_cast<Qt::Key>(key), modifiers);
    }

    TempDir dir;
    Host host;
    CEmailPreviewWindow* view = nullptr;
};

// The share of `original` that `shown` keeps, in order: the longest common
// subsequence of the two, in characters, over the original's length.
double ShareKept(const QString& shown, const QString& original)
{
    std::vector<int> row(static_cast<std::size_t>(shown.size()) + 1, 0);
    for (const QChar c : original) {
        int diagonal = 0;
        for (qsizetype j = 1; j <= shown.size(); ++j) {
            const int above = row[static_cast<std::size_t>(j)];
            row[static_cast<std::size_t>(j)] = c == shown[j - 1] ? diagonal + 1
                                                                  : std::max(above, row[static_cast<std::size_t>(j - 1)]);
            diagonal = above;
        }
    }
    return original.isEmpty() ? 1.0 : static_cast<double>(row.back()) / static_cast<double>(original.size());
}

std::string LongPlainMessage()
{
    std::string message = "Subject: long\r\n\r\nSee http://example.com/page for more.\r\n";
    for (int i = 0; i < 300; ++i)
        message += "Line " + std::to_string(i) + " of a long message.\r\n";
    return message;
}

} // namespace

// ---- what the user sees

// Only the message's own parts are served, never the network or the disk;
// the start page may use files beside it.
TEST_F(PreviewTest, ShowsAnHtmlMessageWithItsOwnPicturesAndNothingFromOutside)
{
    const auto load = [&](const QByteArray& url) {
        return view->loadResource(QTextDocument::ImageResource, QUrl(QString::fromUtf8(url)));
    };
    // Mailers reuse ids such as "image001.png@01C3..." in every message.
    ShowMessage(HtmlMessageWithPicture("image001.png@01C3", Qt::red), "1.mht");
    host.grab();  // lays out, loading the picture
    ShowMessage(HtmlMessageWithPicture("image001.png@01C3", QColor(40, 160, 90)), "2.mht");
    host.grab();
    const std::string text = view->toPlainText().toStdString();
    EXPECT_THAT(text, HasSubstr("Renée Dupont <renee@example.fr>"));
    EXPECT_THAT(text, HasSubstr("Quarterly report – Q3"));
    EXPECT_THAT(text, HasSubstr("the figures for Q3 are up 12%"));
    EXPECT_THAT(text, HasSubstr("figures.xls (application/vnd.ms-excel, 10 bytes)"));
    EXPECT_THAT(text, Not(HasSubstr("document.title")));
    EXPECT_EQ(view->document()->toHtml().indexOf("tracker.example"), -1);
    const QImage shown =
        view->document()->resource(QTextDocument::ImageResource, QUrl("cid:image001.png@01C3")).value<QImage>();
    EXPECT_EQ(shown.size(), QSize(48, 24));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(40, 160, 90));  // the second message's, not the first's
    Screenshot("preview_html_message");

    WriteFile(dir.File("logo.png"), Png(Qt::green).toStdString());
    std::filesystem::create_directory(dir.Path() / "sub");
    WriteFile(dir.File("sub/inner.png"), Png(Qt::green).toStdString());
    EXPECT_FALSE(load("cid:image001.png@01C3").value<QImage>().isNull());
    EXPECT_FALSE(load("data:image/png;base64," + Png(Qt::red).toBase64()).value<QImage>().isNull());
    for (const QByteArray& url : {QByteArray("http://example.com/a.png"), QByteArray("https://example.com/a.png"),
                                 QByteArray("ftp://example.com/a.png"), QByteArray("logo.png"),
                                 QUrl::fromLocalFile(QString::fromStdString(dir.File("logo.png"))).toEncoded()})
        EXPECT_FALSE(load(url).isValid()) << url.toStdString();

    Show(StartPage());
    EXPECT_FALSE(load("logo.png").value<QImage>().isNull());
    for (const char* url : {"sub/inner.png", "sub/../../logo.png", "cid:image001.png@01C3", "http://example.com/a.png"})
        EXPECT_FALSE(load(url).isValid()) << url;
}

TEST_F(PreviewTest, ShowsAPlainTextMessageInItsCharset)
{
    ShowMessage("From: =?koi8-r?B?6dfBzg==?= <ivan@example.ru>\r\nTo: anna@example.ru\r\n"
                "Subject: =?windows-1251?B?zvL3uPIg5+Ag7ODw8g==?=\r\nDate: Mon, 3 Mar 2003 10:15:00 +0300\r\n"
                "Content-Type: text/plain; charset=windows-1251\r\n\r\n"
                "\xc0\xed\xed\xe0, \xe4\xee\xe1\xf0\xfb\xe9 \xe4\xe5\xed\xfc!\r\n\r\n"
                "\xce\xf2\xf7\xb8\xf2 \xe7\xe0 \xec\xe0\xf0\xf2 \xe2\xee \xe2\xeb\xee\xe6\xe5\xed\xe8\xe8.\r\n"
                "    indented line\r\n> quoted line\r\n\r\n-- \r\nhttp://example.ru/\r\n");
    const std::string text = view->toPlainText().toStdString();
    EXPECT_THAT(text, HasSubstr("Иван <ivan@example.ru>"));
    EXPECT_THAT(text, HasSubstr("Отчёт за март"));
    EXPECT_THAT(text, HasSubstr("Анна, добрый день!"));
    EXPECT_THAT(text, HasSubstr("    indented line"));
    Screenshot("preview_plain_message");
}

// A message file goes once shown; a missing file shows an empty page; the
// start page, read-only, stays however often it is shown.
TEST_F(PreviewTest, ShownFilesGoButTheStartPageStays)
{
    const std::string message = ShowMessage("Subject: hello\r\n\r\nbody\r\n");
    EXPECT_FALSE(std::filesystem::exists(message));
    EXPECT_THAT(view->toPlainText().toStdString(), HasSubstr("body"));
    Show(dir.File("gone.mht"));
    Show(dir.File("gone.htm"));
    EXPECT_TRUE(view->toPlainText().trimmed().isEmpty());

    const std::string page = StartPage();
    Show(page);
    Show(page);
    EXPECT_TRUE(std::filesystem::exists(page));
    const std::string text = view->toPlainText().toStdString();
    EXPECT_THAT(text, HasSubstr("Select a mail file"));
    EXPECT_THAT(text, HasSubstr("Tick the e-mails"));
    EXPECT_THAT(text, HasSubstr("Save"));
    // Self-contained: nothing to fetch, nothing to run.
    const std::string source = testsupport::ReadFile(page);
    for (const char* outside : {"http:", "https:", "src=", "href=", "<script", "@import", "url("})
        EXPECT_THAT(source, Not(HasSubstr(outside)));
    Screenshot("preview_start_page");
}

// A newsletter's styles reach the view as the sanitiser rewrote them: its
// colours show, its own picture is the cell's background, and the tracker
// hidden behind a CSS escape is gone.
TEST_F(PreviewTest, StylesOfAnHtmlMessageShowAndLoadOnlyItsOwnPictures)
{
    ShowMessage("Subject: styled\r\nContent-Type: multipart/related; boundary=r\r\n\r\n"
                "--r\r\nContent-Type: text/html\r\n\r\n"
                "<style>.note { color: #c00000; behavior: url(x.htc) } @import url(http://tracker.example/a.css);</style>"
                "<table><tr><td style=\"background-color: #ffe08a; background-image: url(cid:bg@x); height: 80px\">"
                "Cell</td></tr></table><p class=note>Red note</p>"
                "<p style=\"background: u\\72l(http://tracker.example/x.gif); color: #1a7f37\">Green</p>\r\n"
                "--r\r\nContent-Type: image/png\r\nContent-ID: <bg@x>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                + Png(QColor(90, 140, 220)).toBase64().toStdString() + "\r\n--r--\r\n");
    host.grab();  // lays out, loading the pictures
    EXPECT_FALSE(view->document()->resource(QTextDocument::ImageResource, QUrl("cid:bg@x")).value<QImage>().isNull());
    EXPECT_EQ(view->document()->toHtml().indexOf("tracker.example"), -1);
    const auto colourOf = [&](const QString& text) {
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
            if (block.text().trimmed() == text)
                return block.begin().fragment().charFormat().foreground().color();
        return QColor();
    };
    EXPECT_EQ(colourOf("Red note"), QColor(0xc0, 0, 0));
    EXPECT_EQ(colourOf("Green"), QColor(0x1a, 0x7f, 0x37));
    Screenshot("preview_styled_message");
}

// The demo mailbox's deleted e-mails side by side: as the stored bytes read
// on their own, read around their gaps, and the original (the undeleted
// copy where the mailbox keeps one, else the message as the maker wrote it).
TEST_F(PreviewTest, DeletedDemoEmailsReadAsTheOriginalAroundMarkedGaps)
{
    const dbxgen::Mailbox demo = dbxgen::MakeDemoMailbox();
    ASSERT_TRUE(demo.WriteTo(dir.File("Inbox.dbx")));
    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(dir.File("Inbox.dbx")));
    dbx::IProgressSink quiet;
    file.Scan(quiet);
    const auto messages = dbxgen::DemoMessages();
    const auto order = demo.RecoveryOrder();
    ASSERT_EQ(static_cast<int>(order.size()), file.GetCount());
    CEmailPreviewWindow* const panes[] = {view, CEmailPreviewWindow::CreateObject(),
                                          CEmailPreviewWindow::CreateObject()};
    host.layout()->addWidget(panes[1]);
    host.layout()->addWidget(panes[2]);
    host.resize(3 * 520, 640);
    const auto shown = [&](int pane, const std::string& bytes, const dbx::TextDamage& damage = {}) {
        ShowMessage(bytes, "deleted.mht", damage, panes[pane]);
        return panes[pane]->toPlainText();
    };

    int deleted = 0;
    for (int i = 0; i < file.GetCount(); ++i) {
        if (!file.GetAt(i)->isDeleted)
            continue;
        ++deleted;
        std::string stored;
        ASSERT_TRUE(file.ReadMessage(i, stored));
        std::string original = messages[static_cast<std::size_t>(order[static_cast<std::size_t>(i)]->id)].first.text;
        const char* origin = "as written";
        for (int k = 0; k < file.GetCount(); ++k) {
            if (!file.GetAt(k)->isDeleted && file.GetAt(k)->subject == file.GetAt(i)->subject) {
                original.clear();
                ASSERT_TRUE(file.ReadMessage(k, original));
                origin = "undeleted copy";
            }
        }
        const QString before = shown(0, stored);
        const QString after = shown(1, stored, file.Damage(i));
        const QString reference = shown(2, original);
        ASSERT_TRUE(after.startsWith(QStringLiteral("Deleted e-mail: 4 bytes of every 512 were overwritten"))) << i;
        // The banner's own sample mark and the marks in the text.
        const QString body = after.mid(after.indexOf(QLatin1Char('\n')) + 1);
        const double shareBefore = ShareKept(before, reference);
        const double shareAfter = ShareKept(body, reference);
        std::printf("deleted e-mail %d (%s): %.1f %% of the original's text before, %.1f %% after, %lld gaps marked\n",
                    i, origin, 100 * shareBefore, 100 * shareAfter,
                    static_cast<long long>(body.count(QStringLiteral("\u2591\u2591\u2591"))));
        EXPECT_GT(shareAfter, shareBefore) << i;
        EXPECT_GE(shareAfter, 0.97) << i;
        Screenshot(QStringLiteral("deleted_demo_%1").arg(i));
    }
    EXPECT_EQ(deleted, 4);
}

// ---- no context menu, no shortcuts, no clicks on the view itself

// No context menu, and mouse buttons on the view itself are ignored; the page
// still selects.
TEST_F(PreviewTest, ShowsNoContextMenuAndTakesNoClicksOnItsFrame)
{
    ShowMessage(LongPlainMessage());
    // A menu would block the test: each one shown is counted and closed.
    struct MenuCounter : QObject {
        int shown = 0;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (auto* w = qobject_cast<QWidget*>(o); w && e->type() == QEvent::Show && w->windowType() == Qt::Popup) {
                ++shown;
                QMetaObject::invokeMethod(w, &QWidget::close, Qt::QueuedConnection);
            }
            return false;
        }
    } menus;
    qApp->installEventFilter(&menus);
    const QPoint at(100, 60);
    QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &byMouse);
    QContextMenuEvent byKey(QContextMenuEvent::Keyboard, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &byKey);
    QTest::keyClick(view, Qt::Key_Menu);
    // The scroll bars too: Qt's own menu there ("Scroll here", "Top", ...).
    ASSERT_TRUE(view->verticalScrollBar()->isVisible());
    for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()}) {
        const QPoint middle = bar->rect().center();
        QTest::mouseClick(bar, Qt::RightButton, Qt::NoModifier, middle);
        QContextMenuEvent onBar(QContextMenuEvent::Mouse, middle, bar->mapToGlobal(middle));
        QApplication::sendEvent(bar, &onBar);
    }
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&menus);
    EXPECT_EQ(menus.shown, 0);
    EXPECT_EQ(host.contextMenus, 0);

    // The view's own window (its frame, outside the page).
    const int buttons = host.mouseButtons;
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick}) {
        for (const auto button : {Qt::LeftButton, Qt::RightButton}) {
            QMouseEvent e(type, QPointF(0, 0), view->mapToGlobal(QPointF(0, 0)), button, button, Qt::NoModifier);
            QApplication::sendEvent(view, &e);
        }
    }
    EXPECT_EQ(host.mouseButtons, buttons);
    EXPECT_FALSE(view->textCursor().hasSelection());

    // In the page a double click selects a word, and a click on a link
    // follows nothing.
    const QTextCursor word = view->document()->find("Line");
    ASSERT_FALSE(word.isNull());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->cursorRect(word).center());
    EXPECT_EQ(view->textCursor().selectedText(), QString("Line"));

    QSignalSpy navigated(view, &QTextBrowser::sourceChanged);
    const QString before = view->toHtml();
    const QTextCursor link = view->document()->find("http://example.com/page");
    ASSERT_FALSE(link.isNull());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->cursorRect(link).center());
    EXPECT_EQ(navigated.count(), 0);
    EXPECT_EQ(view->toHtml(), before);
}

TEST_F(PreviewTest, ShortcutKeysDoNothingWhileNavigationKeysScrollAndTheWindowsShortcutsWork)
{
    ShowMessage(LongPlainMessage());
    QSignalSpy followed(view, &QTextBrowser::anchorClicked);
    QSignalSpy navigated(view, &QTextBrowser::sourceChanged);
    const QString before = view->toHtml();

    // Back, forward, home, refresh, find, print, new window, stop, zoom,
    // moving to a link and following it.
    const QKeyCombination ignored[] = {Qt::ALT | Qt::Key_Left, Qt::ALT | Qt::Key_Right, Qt::ALT | Qt::Key_Home,
                                       Qt::Key_Backspace,      Qt::Key_F5,              Qt::CTRL | Qt::Key_F,
                                       Qt::CTRL | Qt::Key_P,   Qt::CTRL | Qt::Key_N,    Qt::Key_Back,
                                       Qt::Key_Forward,        Qt::Key_Refresh,         Qt::CTRL | Qt::Key_Plus,
                                       Qt::Key_Tab};
    for (const QKeyCombination key : ignored)
        Key(key.key(), key.keyboardModifiers());
    view->setFocus();
    Key(Qt::Key_Return);
    Key(Qt::Key_A);
    EXPECT_EQ(followed.count(), 0);
    EXPECT_EQ(navigated.count(), 0);
    EXPECT_EQ(view->toHtml(), before);
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    EXPECT_EQ(host.keys, 1);  // Return goes on to the window, for its default button

    // Moving through the page, selecting and copying still work.
    Key(Qt::Key_PageDown);
    EXPECT_GT(view->verticalScrollBar()->value(), 0);
    Key(Qt::Key_Space);
    EXPECT_GT(view->verticalScrollBar()->value(), view->verticalScrollBar()->pageStep());
    Key(Qt::Key_End);
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(view->textCursor().hasSelection());

    // The window's own shortcuts still work while the preview has the focus.
    QShortcut save(QKeySequence(Qt::ALT | Qt::Key_S), &host);
    QSignalSpy activated(&save, &QShortcut::activated);
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    view->setFocus();
    Key(Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(activated.count(), 1);
}

// ---- the attachments' list: links a click, Tab and Enter use

TEST_F(PreviewTest, AttachmentNamesAreLinksThatAClickOrEnterUsesAndTabReaches)
{
    ShowMessage("From: a@example.com\r\nSubject: files\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
                "--m\r\nContent-Type: text/html\r\n\r\n<p>Click <a href=\"attachment:0\">forged</a>, "
                "<a href=\"attachment:all\">all</a> or <a href=\"http://example.com/\">web</a>.</p>\r\n"
                "--m\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\n\r\n%PDF\r\n"
                "--m\r\nContent-Type: image/jpeg; name=\"=?utf-8?Q?photo=E2=80=AEgpj.exe?=\"\r\n\r\nJFIF\r\n--m--\r\n");
    ASSERT_EQ(view->Attachments().size(), 2u);
    EXPECT_THAT(view->toPlainText().toStdString(), HasSubstr("photogpj.exe (image/jpeg, 4 bytes)"));
    EXPECT_FALSE(view->toPlainText().contains(QChar(0x202E)));
    QSignalSpy activated(view, &CEmailPreviewWindow::attachmentActivated);
    const auto click = [&](const QString& text) {
        const QTextCursor at = view->document()->find(text);
        ASSERT_FALSE(at.isNull()) << text.toStdString();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->cursorRect(at).center());
    };
    // The message's own links, whatever they name, save nothing.
    click(QStringLiteral("forged"));
    click(QStringLiteral("web"));
    EXPECT_EQ(activated.count(), 0);
    click(QStringLiteral("photogpj.exe"));
    click(QStringLiteral("Save all attachments"));
    ASSERT_EQ(activated.count(), 2);
    EXPECT_EQ(activated.at(0).first().toInt(), 1);
    EXPECT_EQ(activated.at(1).first().toInt(), CEmailPreviewWindow::kSaveAllLink);

    // Tab goes from name to name and to "save all", then on; Enter on one
    // is the preview's, elsewhere it goes on to the window.
    activated.clear();
    view->setFocus();
    const int expected[] = {0, 1, CEmailPreviewWindow::kSaveAllLink};
    for (const int link : expected) {
        Key(Qt::Key_Tab);
        EXPECT_EQ(view->FocusedLink(), link);
        Key(Qt::Key_Return);
    }
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("Save all attachments\u2026"));
    Screenshot("preview_attachment_links");
    ASSERT_EQ(activated.count(), 3);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(activated.at(static_cast<qsizetype>(i)).first().toInt(), expected[i]);
    EXPECT_EQ(host.keys, 0);
    view->setFocus();
    Key(Qt::Key_Tab);  // past the last link: none has the focus
    EXPECT_EQ(view->FocusedLink(), CEmailPreviewWindow::kNoLink);
    view->setFocus();
    Key(Qt::Key_Tab);
    click(QStringLiteral("Click"));  // a click elsewhere in the page: neither
    EXPECT_EQ(view->FocusedLink(), CEmailPreviewWindow::kNoLink);
    Key(Qt::Key_Tab);
    auto* other = new QLineEdit(&host);  // another control taking the focus: neither
    host.layout()->addWidget(other);
    other->show();
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(view->FocusedLink(), CEmailPreviewWindow::kNoLink);
    view->setFocus();
    Key(Qt::Key_Return);
    EXPECT_EQ(host.keys, 1);
    EXPECT_EQ(activated.count(), 3);
}
