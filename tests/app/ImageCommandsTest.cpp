// Disk images and disks through the main dialog's commands, the dialogs
// answered by the test: what Load reads as an image, what the user is told
// when an image or disk cannot be read or holds no mail, the disk chooser.

#include "app/CCarveProgressDlg.h"
#include "app/CarveJob.h"
#include "platform/BlockDevices.h"
#include "platform/ImageFile.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "ui/CDiskPickerDlg.h"

#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "tools/dbxgen/CarveImages.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <QLabel>
#include <QPushButton>

#include <cerrno>
#include <grp.h>
#include <unistd.h>

namespace {

class ImageCommandsTest : public testsupport::MainDialogFakesTest {
protected:
    void SetUp() override
    {
        MainDialogFakesTest::SetUp();
        store = Tree().topLevelItemCount();
    }
    void TearDown() override
    {
        platform::ImageFile::SetOpenForTesting(nullptr);
        MainDialogFakesTest::TearDown();
    }
    QString File(const std::string& name, const std::string& bytes)
    {
        testsupport::WriteFile(dir.File(name), bytes);
        return QString::fromStdString(dir.File(name));
    }

    int store = 0;  // the top-level nodes before the test's own
};

int RefuseToOpen(const char*, int)
{
    errno = EACCES;
    return -1;
}

} // namespace

TEST_F(ImageCommandsTest, LoadScansMailFilesByNameAndReadsEveryOtherFileAsADiskImage)
{
    const auto files = dbxgen::MakeMailFiles(1, 60 * 1024, 61);
    const std::string demo = dbxgen::MakeDemoMailbox().Image().Bytes();
    // A mail file with a damaged header is still one by its name.
    dialogs.filesToOpen = {File("INBOX.DBX", std::string(64, 'x') + demo.substr(64)),
                           File("disk.img", std::string(4096, '\0') + files[0].bytes),
                           File("empty.img", ""), File("zeros.img", std::string(1u << 20, '\0'))};
    dlg->OnLoad();
    ASSERT_EQ(Tree().topLevelItemCount(), store + 3);
    QTreeWidgetItem* mail = Tree().topLevelItem(store);
    ASSERT_EQ(mail->childCount(), 1);
    EXPECT_EQ(mail->child(0)->text(0), QStringLiteral("INBOX"));
    QTreeWidgetItem* image = Tree().topLevelItem(store + 1);
    EXPECT_EQ(image->text(0), dialogs.filesToOpen[1]);
    ASSERT_EQ(image->childCount(), 1);
    EXPECT_TRUE(image->isExpanded());
    QTreeWidgetItem* zeros = Tree().topLevelItem(store + 2);
    EXPECT_EQ(zeros->childCount(), 0);
    // The empty file cannot be read; the zeros hold no mail.
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[0].text,
              res::Format(IDS_IMAGE_NOT_OPENED, {dialogs.filesToOpen[2], res::Text(IDS_OPEN_EMPTY)}));
    EXPECT_EQ(dialogs.asked[1].text, res::Format(IDS_CARVE_NOTHING, {dialogs.filesToOpen[3]}));
    EXPECT_EQ(dialogs.asked[1].icon, QMessageBox::Information);
}

TEST_F(ImageCommandsTest, AUserWhoMayNotReadADiskIsToldWhichDeviceAndWhichRight)
{
    // A disk readable by the group "disk" (where the system has one), which
    // the system refuses to open for this user.
    const std::string disk = File("sdz", std::string(4096, '\0')).toStdString();
    const group* diskGroup = getgrnam("disk");
    if (diskGroup) {
        ASSERT_EQ(chown(disk.c_str(), 0, diskGroup->gr_gid), 0);
        ASSERT_EQ(chmod(disk.c_str(), 0640), 0);
    }
    platform::ImageFile::SetOpenForTesting(&RefuseToOpen);
    dialogs.disk = disk;
    dlg->OnDisks();
    EXPECT_EQ(dialogs.disksAsked, 1);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    const QString told = dialogs.asked[0].text;
    EXPECT_EQ(told, diskGroup ? res::Format(IDS_DISK_NO_PERMISSION_GROUP, {QString::fromStdString(disk), "disk"})
                              : res::Format(IDS_DISK_NO_PERMISSION, {QString::fromStdString(disk)}));
    for (const char* never : {"root", "sudo", "administrator"})
        EXPECT_FALSE(told.contains(QLatin1String(never), Qt::CaseInsensitive)) << never;
    EXPECT_EQ(Tree().topLevelItemCount(), store);

    // An image file refused: only the right on the file is named.
    dialogs.filesToOpen = {QString::fromStdString(disk)};
    dlg->OnLoad();
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[1].text, res::Format(IDS_IMAGE_NO_PERMISSION, {QString::fromStdString(disk)}));

    // The chooser cancelled: nothing.
    dialogs.disk.clear();
    dlg->OnDisks();
    EXPECT_EQ(dialogs.asked.size(), 2u);
}

TEST_F(ImageCommandsTest, TheDiskChooserListsDisksWithTheirPartitions)
{
    // A machine's /sys/block as the chooser reads it.
    const auto make = [&](const std::string& folder, std::initializer_list<std::pair<const char*, const char*>> files) {
        for (const auto& [name, text] : files) {
            const std::filesystem::path path = std::filesystem::path(dir.File("block")) / folder / name;
            std::filesystem::create_directories(path.parent_path());
            testsupport::WriteFile(path.string(), std::string(text) + "\n");
        }
    };
    make("sda", {{"size", "976773168"}, {"dev", "8:0"}, {"device/vendor", "ATA"}, {"device/model", "ST500DM002-1BD14"}});
    make("sda/sda1", {{"size", "1024000"}, {"dev", "8:1"}, {"partition", "1"}});
    make("sda/sda2", {{"size", "975747072"}, {"dev", "8:2"}, {"partition", "2"}});
    make("sdb", {{"size", "62521344"}, {"dev", "8:16"}, {"removable", "1"}, {"device/model", "USB DISK 2.0"}});
    make("sdb/sdb1", {{"size", "62519296"}, {"dev", "8:17"}, {"partition", "1"}});
    std::vector<platform::MountEntry> mounts(1);
    mounts[0].device = platform::DeviceNumber(8, 2);
    mounts[0].mountPoint = "/home";

    CDiskPickerDlg picker(platform::ListBlockDevices(dir.File("block"), "/dev/", mounts));
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    QTreeWidget& list = picker.List();
    ASSERT_EQ(list.topLevelItemCount(), 2);
    QTreeWidgetItem* sda = list.topLevelItem(0);
    EXPECT_EQ(sda->text(0), QStringLiteral("/dev/sda"));
    EXPECT_EQ(sda->text(1), QStringLiteral("465.8 GB"));
    EXPECT_EQ(sda->text(2), QStringLiteral("ATA ST500DM002-1BD14"));
    ASSERT_EQ(sda->childCount(), 2);
    EXPECT_EQ(sda->child(1)->text(3), QStringLiteral("/home"));
    EXPECT_EQ(list.topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(picker.ChosenPath(), "/dev/sda");  // the first one, until another is chosen
    list.setCurrentItem(sda->child(1));
    EXPECT_EQ(picker.ChosenPath(), "/dev/sda2");
    EXPECT_TRUE(picker.ReadButton().isEnabled());
    EXPECT_FALSE(picker.Note().isVisible());
    EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(picker), QStringLiteral("help/disk_picker")).isEmpty());

    CDiskPickerDlg none({});
    none.show();
    EXPECT_TRUE(none.Note().isVisible());
    EXPECT_FALSE(none.List().isVisible());
    EXPECT_EQ(none.ChosenPath(), "");
    EXPECT_FALSE(none.ReadButton().isEnabled());
}

TEST(CarveProgressTexts, BytesRateAndFilesFoundAsPeopleReadThem)
{
    app::CarveJob::Progress p;
    p.total = 4ull << 30;
    p.done = 1ull << 30;
    p.files = 3;
    EXPECT_EQ(CCarveProgressDlg::ReadingText(QStringLiteral("old.img"), p, 2000),
              QStringLiteral("Reading old.img: 1.0 GB of 4.0 GB (25%), 512.0 MB per second"));
    EXPECT_EQ(CCarveProgressDlg::FoundText(p), QStringLiteral("Mail files found so far: 3"));
    // Not a rate yet in the first moment; an empty image is read whole.
    p = {};
    EXPECT_EQ(CCarveProgressDlg::ReadingText(QStringLiteral("x"), p, 10),
              QStringLiteral("Reading x: 0 bytes of 0 bytes (100%), 0 bytes per second"));
}
