// Mail whose file is gone, in the real main window under X: a disk image's
// mail files and a moved e-mail listed, previewed and saved byte for byte; a
// long reading cancelled. The screens are the user guide's pictures.

#include "app/CCarveProgressDlg.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/CMessageListModel.h"

#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "tools/dbxgen/CarveImages.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace fs = std::filesystem;

namespace {

// Subject -> text of every e-mail a scan of `bytes` lists.
std::multimap<std::string, std::string> Emails(const testsupport::TempDir& dir, const std::string& name,
                                               const std::string& bytes)
{
    const std::string path = dir.File("original-" + name);
    testsupport::WriteFile(path, bytes);
    dbx::DbxFile file;
    EXPECT_TRUE(file.Open(path));
    dbx::NullProgressSink quiet;
    file.Scan(quiet);
    std::multimap<std::string, std::string> emails;
    for (int i = 0; i < file.GetCount(); ++i) {
        std::string text;
        EXPECT_TRUE(file.ReadMessage(i, text));
        emails.emplace(file.GetAt(i)->subject, std::move(text));
    }
    return emails;
}

std::multiset<std::string> Subjects(const std::multimap<std::string, std::string>& emails)
{
    std::multiset<std::string> subjects;
    for (const auto& [subject, text] : emails)
        subjects.insert(subject);
    return subjects;
}

class CarvedMail : public testsupport::MainDialogFakesTest {
protected:
    void SetUp() override
    {
        MainDialogFakesTest::SetUp();
        dlg->resize(900, 640);
        // A tree wide enough for the image's nodes to read whole.
        QWidget& grip = Browse().SplitterGrip();
        QTest::mousePress(&grip, Qt::LeftButton, {}, QPoint(1, 10));
        QMouseEvent drag(QEvent::MouseMove, QPointF(140, 10), grip.mapToGlobal(QPointF(140, 10)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&grip, &drag);
        QTest::mouseRelease(&grip, Qt::LeftButton, {}, QPoint(140, 10));
    }

    // Subjects of the rows listed now.
    std::multiset<std::string> ListedSubjects()
    {
        std::multiset<std::string> subjects;
        for (int i = 0; i < List().GetItemCount(); ++i)
            subjects.insert(List().GetRow(i)->record->subject);
        return subjects;
    }
    // `widget` saved as the guide's picture `name`, once painted.
    void Shot(QWidget& widget, const char* name)
    {
        QCoreApplication::processEvents();  // layouts and scrolling done
        const QImage image = testsupport::Grab(widget);
        EXPECT_FALSE(image.isNull());
        EXPECT_FALSE(testsupport::SaveScreenshot(image, QStringLiteral("help/") + QLatin1String(name)).isEmpty());
    }
};

} // namespace

TEST_F(CarvedMail, AnImageAndAMovedEmailListedPreviewedAndSavedAsTheOriginalsHoldThem)
{
    if (std::system("command -v mformat >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mtools is not installed (scripts/setup-debian.sh)";
    // Three mail files on a FAT32 disk; the second deleted, its clusters
    // left as they were.
    const auto files = dbxgen::MakeMailFiles(3, 120 * 1024, 41);
    const std::string image = dir.File("old-disk.img");
    ASSERT_EQ(dbxgen::MakeFat32Image(image, 40u << 20, files,
                                     {{false, files[0].name}, {false, files[1].name}, {false, files[2].name},
                                      {true, files[1].name}}),
              "");
    std::vector<std::multimap<std::string, std::string>> originals;
    for (const auto& f : files)
        originals.push_back(Emails(dir, f.name, f.bytes));
    const auto moved = dbxgen::MakeMovedEmailFile(42);
    const std::string movedPath = dir.File("Moved.dbx");
    testsupport::WriteFile(movedPath, moved.file.bytes);
    const auto movedOriginal = Emails(dir, "Moved.dbx", moved.original.bytes);

    // The image named on the command line, the mail file loaded.
    const int store = Tree().topLevelItemCount();  // the store's node, empty here
    dlg->OpenFiles({image});
    QTRY_COMPARE_WITH_TIMEOUT(Tree().topLevelItemCount(), store + 1, 20000);
    dialogs.filesToOpen = {QString::fromStdString(movedPath)};
    dlg->OnLoad();
    ASSERT_EQ(Tree().topLevelItemCount(), store + 2);
    QTreeWidgetItem* imageNode = Tree().topLevelItem(store);
    QTreeWidgetItem* movedNode = Tree().topLevelItem(store + 1);
    EXPECT_EQ(imageNode->text(0), QString::fromStdString(image));
    EXPECT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();

    // One node per mail file the disk held, deleted or not, each listing
    // the e-mails of its original; the first is shown at once.
    ASSERT_EQ(imageNode->childCount(), 3);
    EXPECT_EQ(Tree().currentItem(), imageNode->child(0));
    std::set<std::size_t> matched;
    for (int n = 0; n < 3; ++n) {
        QTreeWidgetItem* node = imageNode->child(n);
        EXPECT_TRUE(node->text(0).startsWith(QStringLiteral("at "))) << node->text(0).toStdString();
        Tree().setCurrentItem(node);
        const auto listed = ListedSubjects();
        EXPECT_TRUE(node->text(0).contains(QString::number(listed.size()) + QStringLiteral(" emails")));
        for (std::size_t f = 0; f < originals.size(); ++f)
            if (listed == Subjects(originals[f]))
                matched.insert(f);
    }
    EXPECT_EQ(matched.size(), 3u);

    // A mail file of the image: an e-mail previewed, three saved, as .eml
    // files byte for byte as the original file holds them.
    Tree().setCurrentItem(imageNode->child(1));
    const auto& mailFile = *std::find_if(originals.begin(), originals.end(),
                                         [&](const auto& o) { return Subjects(o) == ListedSubjects(); });
    ASSERT_GE(List().GetItemCount(), 3);
    const QString first = List().Model()->CellText(*List().GetRow(2), CMessageListModel::kColumnSubject);
    EXPECT_TRUE(PreviewRow(2).contains(first.left(12))) << first.toStdString();
    Shot(*dlg, "carved_image");
    for (int i = 0; i < 3; ++i)
        List().ToggleTick(i);
    const QString outImage = Folder("saved-from-image");
    dlg->OnSave();
    auto saved = Files(outImage);
    ASSERT_EQ(saved.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::string subject = List().GetRow(i)->record->subject;
        const auto range = mailFile.equal_range(subject);
        bool same = false;
        for (const auto& [name, bytes] : saved)
            for (auto it = range.first; it != range.second; ++it)
                same = same || bytes == it->second;
        EXPECT_TRUE(same) << subject;
    }

    // The moved e-mail follows the scan's own rows, "Moved", once found.
    QSignalSpy added(&Browse(), &CDbxBrowseWindow::movedEmailsAdded);
    Tree().setCurrentItem(movedNode->child(0));
    const int scanned = List().GetItemCount();
    EXPECT_EQ(scanned + 1, static_cast<int>(movedOriginal.size()));
    ASSERT_TRUE(added.count() > 0 || added.wait(20000));
    ASSERT_EQ(List().GetItemCount(), scanned + 1);
    const ListRow& row = *List().GetRow(scanned);
    EXPECT_EQ(row.record->subject, moved.movedSubject);
    EXPECT_EQ(List().Model()->CellText(row, CMessageListModel::kColumnStatus), res::Text(IDS_STATUS_MOVED));
    EXPECT_EQ(ListedSubjects(), Subjects(movedOriginal));
    const QString subject = List().Model()->CellText(row, CMessageListModel::kColumnSubject);
    EXPECT_TRUE(PreviewRow(scanned).contains(subject.left(12))) << subject.toStdString();
    List().ToggleTick(scanned);
    // The status column in sight.
    List().horizontalScrollBar()->setValue(List().horizontalScrollBar()->maximum());
    Shot(*dlg, "moved_email");
    const QString outMoved = Folder("saved-moved");
    dlg->OnSave();
    saved = Files(outMoved);
    ASSERT_EQ(saved.size(), 1u);
    const auto range = movedOriginal.equal_range(moved.movedSubject);
    EXPECT_TRUE(std::any_of(range.first, range.second, [&](const auto& e) { return e.second == saved.begin()->second; }));
}

TEST_F(CarvedMail, ALongReadingCancelledKeepsWhatItFound)
{
    // A mail file at the start of a large disk image that is mostly empty
    // (sparse: it takes no room): found at once, long before the end.
    const auto files = dbxgen::MakeMailFiles(1, 120 * 1024, 43);
    const auto original = Emails(dir, files[0].name, files[0].bytes);
    const std::string image = dir.File("large-disk.img");
    testsupport::WriteFile(image, std::string(8192, '\0') + files[0].bytes);
    fs::resize_file(image, 64ull << 30);

    // Cancel as soon as the window shows a mail file found, the bar far from
    // its end; its picture for the guide first.
    bool cancelled = false;
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* window = qobject_cast<CCarveProgressDlg*>(QApplication::activeModalWidget());
        if (cancelled || !window || !window->isVisible() ||
            !window->FoundLabel()->text().endsWith(QStringLiteral(": 1")))
            return;
        cancelled = true;
        EXPECT_LT(window->ProgressBar()->value(), window->ProgressBar()->maximum() / 2);
        EXPECT_TRUE(window->Label()->text().contains(QStringLiteral("large-disk.img")));
        Shot(*window, "carve_progress");
        QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    });
    watch.start();
    const int store = Tree().topLevelItemCount();
    dialogs.filesToOpen = {QString::fromStdString(image)};
    dlg->OnLoad();
    watch.stop();
    ASSERT_TRUE(cancelled);

    // The folder node says where the reading stopped; the mail file found
    // before stays, with all its e-mails.
    ASSERT_EQ(Tree().topLevelItemCount(), store + 1);
    QTreeWidgetItem* node = Tree().topLevelItem(store);
    EXPECT_TRUE(node->text(0).contains(QStringLiteral("stopped after"))) << node->text(0).toStdString();
    ASSERT_EQ(node->childCount(), 1);
    Tree().setCurrentItem(node->child(0));
    EXPECT_EQ(ListedSubjects(), Subjects(original));
    EXPECT_TRUE(dialogs.asked.empty());
}
