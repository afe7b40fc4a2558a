#include "app/CQuillmendDlg.h"

#include "app/CAboutDlg.h"
#include "app/CHelpWindow.h"
#include "ui/CEmailPreviewWindow.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "support/WhenShown.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

namespace {

const QRgb kBand = qRgb(106, 160, 216);

using testsupport::WhenShown;

struct SeenBox {
    bool shown = false;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next message box with `answer` (NoButton: Enter) and records
// what it showed.
std::shared_ptr<SeenBox> Answer(QMessageBox::StandardButton answer)
{
    auto seen = std::make_shared<SeenBox>();
    WhenShown<QMessageBox>([seen, answer](QMessageBox* box) {
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        seen->defaultButton = box->standardButton(box->defaultButton());
        if (answer == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Return);  // Enter takes the default
        else
            box->button(answer)->click();
    });
    return seen;
}

class MainDialogTest : public testsupport::MainDialogTest {
protected:
    void SetUp() override
    {
        QCursor::setPos(QPoint(1, 1));  // over no button
        testsupport::MainDialogTest::SetUp();
    }
    void TearDown() override
    {
        testsupport::EndWhenShownWatches();
        testsupport::MainDialogTest::TearDown();
    }

    void MoveTo(QWidget& widget, QPoint pos)
    {
        QTest::mouseMove(&widget, pos);
        QCoreApplication::processEvents();
    }

    // Makes the client area `width` x `height` and lets it repaint.
    void ResizeClient(int width, int height)
    {
        dlg->resize(width, height);
        QCoreApplication::processEvents();
        ASSERT_EQ(dlg->size(), QSize(width, height));
    }
};

} // namespace

// --- the window ------------------------------------------------------------------

TEST_F(MainDialogTest, OpensAt660By560CentredAndKeepsItsMinimumSize)
{
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Quillmend"));
    EXPECT_FALSE(dlg->windowIcon().isNull());
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dlg->frameGeometry().size(), QSize(660, 560));
    const QPoint screenCentre = dlg->screen()->availableGeometry().center();
    EXPECT_LE((dlg->frameGeometry().center() - screenCentre).manhattanLength(), 1);

    // Both sizes are outer sizes, frame included.
    const QSize frame = dlg->frameGeometry().size() - dlg->size();
    EXPECT_EQ(dlg->minimumSize() + frame, QSize(600, 400));
    dlg->resize(500, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg->frameGeometry().size(), QSize(600, 400));
}

TEST_F(MainDialogTest, ButtonsStandAtTheirRectanglesWithCaptionsHintsAndADisabledLook)
{
    const struct {
        int command;
        QRect rect;
        const char* caption;
        int hint;
    } expected[] = {
        {IDC_BUTTON_SAVE, QRect(30, 105, 60, 25), "&Save", 104},
        {IDC_BUTTON_LOAD, QRect(91, 105, 119, 25), "&Load DBX files...", 105},
        {IDC_BUTTON_SEARCH, QRect(211, 105, 129, 25), "Se&arch DBX files...", 106},
        {IDC_BUTTON_HELP, QRect(341, 105, 57, 25), "&Help", 107},
        {IDC_BUTTON_DISKS, QRect(399, 105, 75, 25), "&Disks...", IDS_HINT_DISKS},
    };
    for (const auto& e : expected) {
        CMainButton* button = dlg->Button(e.command);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->parentWidget(), dlg.get());
        EXPECT_TRUE(button->isVisible());
        EXPECT_EQ(button->geometry(), e.rect) << e.command;
        EXPECT_EQ(button->text().toStdString(), e.caption);
        EXPECT_EQ(button->HintId(), e.hint);
        EXPECT_EQ(button->StateTextColor(CCoolButton::kNormal), QColor(255, 255, 255));
        EXPECT_EQ(button->StateTextColor(CCoolButton::kDisabled), QColor(96, 96, 96));
    }
    EXPECT_EQ(dlg->Button(106), nullptr);

    // Disabled, as while a search runs, they look it; Help stays as it was.
    const QImage normal = testsupport::Grab(*dlg);
    for (int id : {IDC_BUTTON_SAVE, IDC_BUTTON_LOAD, IDC_BUTTON_SEARCH})
        dlg->Button(id)->setEnabled(false);
    const QImage searching = testsupport::Grab(*dlg);
    testsupport::SaveScreenshot(searching, QStringLiteral("main_window_buttons_disabled"));
    EXPECT_NE(searching, normal);
    const QRect help = dlg->Button(IDC_BUTTON_HELP)->geometry();
    EXPECT_EQ(searching.copy(help), normal.copy(help));
}

// The header: the logo, its middle part repeated, its right part at the
// right edge; below it the buttons' band and the browse window in the band
// colour.
TEST_F(MainDialogTest, HeaderAndBrowseWindowFollowTheWidth)
{
    const QImage header = res::LoadBitmap(IDB_HEADER).toImage().convertToFormat(QImage::Format_RGB32);
    for (QSize size : {QSize(700, 560), QSize(1000, 700)}) {
        const int width = size.width(), height = size.height();
        ResizeClient(width, height);
        EXPECT_EQ(Browse().geometry(), QRect(0, 135, width, height - 158));
        const QImage shot = testsupport::Grab(*dlg);
        testsupport::SaveScreenshot(shot, QStringLiteral("main_window_%1").arg(width));
        EXPECT_EQ(shot.pixel(201, height / 2), kBand);  // the splitter gap
        EXPECT_EQ(shot.pixel(0, height / 2), kBand);    // left of the tree
        EXPECT_EQ(shot.pixel(5, 110), kBand);           // button band, left of Save
        EXPECT_EQ(shot.pixel(width - 5, 132), kBand);   // and right of Help
        EXPECT_EQ(shot.pixel(width / 2, height - 23), qRgb(255, 255, 255));  // status top line
        for (int y = 0; y < 102; ++y) {
            for (int x = 0; x < 400; ++x)
                ASSERT_EQ(shot.pixel(x, y), header.pixel(x, y)) << width << ": logo " << x << "," << y;
            for (int x = 400; x < width - 156; ++x)
                ASSERT_EQ(shot.pixel(x, y), header.pixel(404, y)) << width << ": middle " << x << "," << y;
            for (int x = width - 156; x < width; ++x)
                ASSERT_EQ(shot.pixel(x, y), header.pixel(x - width + 800, y)) << width << ": right " << x << "," << y;
        }
    }
    EXPECT_TRUE(CQuillmendDlg::LayoutHeader(100, 800).middleCopies.empty());
}

// --- the status line -----------------------------------------------------------------

TEST_F(MainDialogTest, StatusLineCountsComeFromTheCountSource)
{
    EXPECT_EQ(dlg->CountsText(), QStringLiteral("All Emails:0    Selected Emails:0"));
    EXPECT_EQ(dlg->StatusStripRect(), QRect(0, dlg->height() - 23, dlg->width(), 23));
    const QImage before = testsupport::Grab(*dlg).copy(dlg->StatusStripRect());
    int ticked = 3;
    dlg->SetCountSource([] { return 12; }, [&ticked] { return ticked; });
    EXPECT_EQ(dlg->CountsText(), QStringLiteral("All Emails:12    Selected Emails:3"));
    ticked = 4;
    dlg->InvalidateStatusStrip();
    EXPECT_EQ(dlg->CountsText(), QStringLiteral("All Emails:12    Selected Emails:4"));
    EXPECT_NE(testsupport::Grab(*dlg).copy(dlg->StatusStripRect()), before);
    dlg->SetCountSource({}, {});
    EXPECT_EQ(dlg->CountsText(), QStringLiteral("All Emails:0    Selected Emails:0"));
}

TEST_F(MainDialogTest, PointerOverAButtonShowsItsHintAndLeavingShowsTheNotice)
{
    // In place of the notice here, with no Wine prefix: why no store is
    // listed (the store tests show the notice itself).
    const QString notice = dlg->HintText();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("No Outlook Express store: "))) << notice.toStdString();
    EXPECT_EQ(dlg->HintId(), -1);
    const QImage before = testsupport::Grab(*dlg).copy(dlg->StatusStripRect());

    MoveTo(*dlg->Button(IDC_BUTTON_HELP), QPoint(20, 12));
    EXPECT_EQ(dlg->HintId(), IDS_HINT_HELP);
    EXPECT_EQ(dlg->HintText(), QStringLiteral("Open help file."));
    EXPECT_NE(testsupport::Grab(*dlg).copy(dlg->StatusStripRect()), before);

    MoveTo(*dlg->Button(IDC_BUTTON_LOAD), QPoint(20, 12));
    EXPECT_EQ(dlg->HintText(), QStringLiteral("Load external Outlook Express email data files."));
    testsupport::SaveScreenshot(testsupport::Grab(*dlg), QStringLiteral("main_window_hover_load"));

    MoveTo(*dlg, QPoint(300, 300));
    EXPECT_EQ(dlg->HintId(), -1);
    EXPECT_EQ(dlg->HintText(), notice);
    EXPECT_EQ(testsupport::Grab(*dlg).copy(dlg->StatusStripRect()), before);
}

// --- ending the program ----------------------------------------------------------

TEST_F(MainDialogTest, CloseAndEscapeAskExitNowAndNoKeepsTheWindow)
{
    auto seen = Answer(QMessageBox::No);
    dlg->close();
    ASSERT_TRUE(seen->shown);
    EXPECT_EQ(seen->title, QStringLiteral("Quillmend"));
    EXPECT_EQ(seen->text, QStringLiteral("Exit now?"));
    EXPECT_EQ(seen->icon, QMessageBox::Question);
    EXPECT_EQ(seen->buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen->defaultButton, QMessageBox::No);
    EXPECT_TRUE(dlg->isVisible());

    seen = Answer(QMessageBox::NoButton);  // Enter on the question
    dlg->close();
    EXPECT_TRUE(seen->shown);
    EXPECT_TRUE(dlg->isVisible());

    seen = Answer(QMessageBox::Yes);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_TRUE(seen->shown);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(MainDialogTest, NothingEndsItWhileSaveIsDisabledAndEnterEndsItWithoutAsking)
{
    auto seen = Answer(QMessageBox::Yes);
    dlg->Button(IDC_BUTTON_SAVE)->setEnabled(false);  // as while a search runs
    dlg->close();
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    EXPECT_FALSE(seen->shown);
    EXPECT_TRUE(dlg->isVisible());

    dlg->Button(IDC_BUTTON_SAVE)->setEnabled(true);  // search over
    dlg->Button(IDC_BUTTON_SAVE)->setFocus();
    QTest::keyClick(dlg->Button(IDC_BUTTON_SAVE), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(seen->shown);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

// --- help and About ---------------------------------------------------------------

TEST_F(MainDialogTest, HelpButtonAndF1FromAnyPaneShowTheHelpPageInTheProgramsWindow)
{
    QTest::mouseClick(dlg->Button(IDC_BUTTON_HELP), Qt::LeftButton);
    CHelpWindow* help = dlg->HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Quillmend Help"));
    const QUrl page = help->Browser().source();
    EXPECT_TRUE(page.isLocalFile());
    EXPECT_EQ(QFileInfo(page.toLocalFile()).fileName(), QStringLiteral("help.htm"));
    EXPECT_TRUE(help->Browser().toPlainText().contains(QStringLiteral("Load DBX files")));
    EXPECT_TRUE(help->Browser().isReadOnly());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    testsupport::SaveScreenshot(testsupport::Grab(*help), QStringLiteral("help_window"));

    // F1 with the focus in each pane, the preview among them.
    QWidget* panes[] = {&Browse().Tree(), &Browse().MessageList(),
                        &Browse().Preview(), dlg->Button(IDC_BUTTON_SAVE)};
    for (QWidget* pane : panes) {
        help->hide();
        QApplication::setActiveWindow(dlg.get());
        pane->setFocus();
        ASSERT_TRUE(pane->hasFocus()) << pane->objectName().toStdString();
        QTest::keyClick(pane, Qt::Key_F1);
        EXPECT_TRUE(help->isVisible()) << "F1 in " << pane->objectName().toStdString();
    }
    EXPECT_EQ(dlg->HelpWindow(), help);  // one help window, shown again
    EXPECT_TRUE(dlg->isVisible());
}

// The About box keeps its template's size (297 x 51 dialog units), and the
// notice, at (40, 25) and 195 units wide, fits its place on one line.
static void ExpectAboutBoxLaidOut(CAboutDlg& about)
{
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quillmend"));
    EXPECT_EQ(about.size(), QSize(446, 83));
    auto* notice = about.findChild<QLabel*>(QStringLiteral("notice"));
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), res::Text(IDS_NOTICE));
    EXPECT_EQ(notice->geometry().topLeft(), QPoint(60, 41));
    EXPECT_EQ(notice->width(), 293);
    const QRect needed = notice->fontMetrics().boundingRect(QRect(QPoint(), notice->contentsRect().size()),
                                                           Qt::TextWordWrap, notice->text());
    EXPECT_LE(needed.width(), notice->contentsRect().width());
    EXPECT_LE(needed.height(), notice->contentsRect().height());
    EXPECT_LE(notice->fontMetrics().horizontalAdvance(notice->text()), notice->contentsRect().width());
    for (QWidget* child : about.findChildren<QWidget*>())
        EXPECT_TRUE(about.rect().contains(child->geometry())) << child->objectName().toStdString();
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("About Quillmend v1.1")));
    testsupport::SaveScreenshot(testsupport::Grab(about), QStringLiteral("about_box"));
}

TEST_F(MainDialogTest, HeaderMenuOpensTheAboutBox)
{
    bool menuSeen = false;
    bool aboutSeen = false;
    WhenShown<QMenu>([&](QMenu* menu) {
        menuSeen = true;
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("&About Quillmend..."));
        WhenShown<CAboutDlg>([&](CAboutDlg* about) {
            aboutSeen = true;
            ExpectAboutBoxLaidOut(*about);
            about->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        });
        menu->setActiveAction(menu->actions()[0]);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent onHeader(QContextMenuEvent::Mouse, QPoint(200, 50), dlg->mapToGlobal(QPoint(200, 50)));
    QApplication::sendEvent(dlg.get(), &onHeader);
    EXPECT_TRUE(menuSeen);
    EXPECT_TRUE(aboutSeen);
    EXPECT_TRUE(dlg->isVisible());
}
