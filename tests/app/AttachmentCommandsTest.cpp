// Saving attachments from the desktop program, the dialogs answered by the
// test: one, all of an e-mail, all of the ticked ones; damage, taken names, a full disk.

#include "res/resource.h"
#include "support/FileOpsRecorder.h"
#include "support/MainDialogTest.h"
#include "support/QtTestApp.h"
#include "tools/dbxgen/MailboxBuilder.h"
#include "tools/dbxgen/MimeText.h"

#include <QDir>
#include <QTextDocument>

using testsupport::ReadFile;

namespace {

const std::string kPhoto = "\xFF\xD8\xFF" + std::string(2500, 'p');
const std::string kNotes = "notes\r\n";
const std::string kLost = [] {
    std::string bytes(8000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 300);
    return bytes;
}();

std::string Message(const std::string& subject, const std::string& files)
{
    return dbxgen::Crlf("From: a@example.com\nSubject: " + subject +
                        "\nContent-Type: multipart/mixed; boundary=\"m\"\n\n--m\nContent-Type: text/plain\n\nhi\n") +
           files + "--m--\r\n";
}

std::string File(const std::string& name, const std::string& bytes)
{
    return dbxgen::Crlf("--m\nContent-Type: application/octet-stream; name=\"" + name +
                        "\"\nContent-Transfer-Encoding: base64\n\n") +
           dbxgen::Base64(bytes) + "\r\n";
}

class AttachmentCommandsTest : public testsupport::MainDialogFakesTest {
protected:
    void SetUp() override
    {
        MainDialogFakesTest::SetUp();
        // An e-mail with two files, a deleted one whose file lost bytes,
        // and one without files.
        dbxgen::MailboxBuilder builder;
        builder.AddText(Message("photos", File("photo.jpg", kPhoto) + File("notes.txt", kNotes)));
        builder.AddText(Message("lost", File("lost.pdf", kLost)), true);
        builder.AddText(Message("plain", ""));
        ASSERT_TRUE(builder.Build().WriteTo(dir.File("Inbox.dbx")));
        Load(dir.File("Inbox.dbx"));
        ASSERT_EQ(List().GetItemCount(), 3);
    }

    CEmailPreviewWindow& Preview() { return Browse().Preview(); }
    // Selects the e-mail, which the preview then shows.
    void Preview(const std::string& subject)
    {
        List().selectRow(RowOf(subject));
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST_F(AttachmentCommandsTest, AClickOnANameSavesItThroughTheSaveDialogAndNeverOverAFile)
{
    Preview("photos");
    ASSERT_EQ(Preview().Attachments().size(), 2u);
    const QString target = Folder("out") + QStringLiteral("/photo.jpg");
    dialogs.saveFile = target;
    const QTextCursor found = Preview().document()->find(QStringLiteral("photo.jpg"));
    ASSERT_FALSE(found.isNull());
    QTextCursor inName(Preview().document());
    inName.setPosition(found.selectionStart() + 2);
    QTest::mouseClick(Preview().viewport(), Qt::LeftButton, Qt::NoModifier, Preview().cursorRect(inName).center());
    EXPECT_EQ(dialogs.saveTitles, QStringList{"Save the attachment"});
    EXPECT_EQ(dialogs.suggested, QStringList{"photo.jpg"});
    EXPECT_TRUE(ReadFile(target.toStdString()) == kPhoto);
    EXPECT_EQ(LastMessage().icon, QMessageBox::Information);
    EXPECT_EQ(LastMessage().text, QStringLiteral("OK! The attachment has been saved as \"%1\".").arg(target));

    // The same name again: the first file stays, the second gets another
    // name, and the message says which.
    emit Preview().attachmentActivated(0);
    const auto files = Files(dialogs.folder);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(files.at("photo.jpg") == kPhoto);
    const std::string other = files.begin()->first == "photo.jpg" ? files.rbegin()->first : files.begin()->first;
    EXPECT_TRUE(other.starts_with("photo ") && other.ends_with(".jpg")) << other;
    EXPECT_TRUE(files.at(other) == kPhoto);
    EXPECT_TRUE(LastMessage().text.contains(QString::fromStdString(other)));

    // Cancelled: nothing more.
    dialogs.saveFile.clear();
    emit Preview().attachmentActivated(1);
    EXPECT_EQ(Files(dialogs.folder).size(), 2u);
    EXPECT_EQ(dialogs.asked.size(), 2u);
}

TEST_F(AttachmentCommandsTest, AllOfTheEmailShownOrOfTheTickedOnesGoIntoAChosenFolder)
{
    Preview("photos");
    const QString shown = Folder("shown");
    Browse().OnCommand(ID_SAVE_ATTACHMENTS);
    EXPECT_EQ(dialogs.folderTitles, QStringList{"Select a folder to store the attachments."});
    EXPECT_TRUE(Files(shown) == (std::map<std::string, std::string>{{"photo.jpg", kPhoto}, {"notes.txt", kNotes}}));
    EXPECT_EQ(LastMessage().text,
              QStringLiteral("OK! 2 attachments have been saved to \"%1\".").arg(QDir::toNativeSeparators(shown)));

    // Nothing ticked: asked to tick, no folder chooser.
    Browse().OnCommand(ID_SAVE_TICKED_ATTACHMENTS);
    EXPECT_EQ(LastMessage().text, QStringLiteral("Please select emails you like to recover!"));
    EXPECT_EQ(dialogs.folderTitles.size(), 1);

    // Only an e-mail without files.
    List().ToggleTick(RowOf("plain"));
    Folder("none");
    Browse().OnCommand(ID_SAVE_TICKED_ATTACHMENTS);
    EXPECT_EQ(LastMessage().text, QStringLiteral("The chosen emails carry no attachments."));

    // All three: the deleted e-mail's file is saved as far as it can be
    // read, marked, and counted.
    List().TickAll();
    const QString ticked = Folder("ticked");
    Browse().OnCommand(ID_SAVE_TICKED_ATTACHMENTS);
    const auto files = Files(ticked);
    ASSERT_EQ(files.size(), 3u);
    const std::string& damaged = files.at("lost (damaged).pdf");
    ASSERT_EQ(damaged.size(), kLost.size());
    for (std::size_t i = 0; i < kLost.size(); ++i)
        ASSERT_TRUE(damaged[i] == kLost[i] || damaged[i] == '\0') << i;
    EXPECT_EQ(LastMessage().icon, QMessageBox::Warning);
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("Saved whole: 2 of 3 attachments")));
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("(their names say \"(damaged)\"): 1")));
}

TEST_F(AttachmentCommandsTest, AFullDiskIsCountedNotCalledASuccess)
{
    Preview("photos");
    const QString folder = Folder("full");
    {
        testsupport::FileOpsRecorder ops;
        ops.FailWritesAfter(kPhoto.size() + 2, folder.toStdString());
        emit Preview().attachmentActivated(CEmailPreviewWindow::kSaveAllLink);
    }
    EXPECT_EQ(Files(folder).size(), 1u);
    EXPECT_EQ(LastMessage().icon, QMessageBox::Warning);
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("Saved whole: 1 of 2 attachments")));
    EXPECT_TRUE(LastMessage().text.contains(QStringLiteral("Could not be written (is the folder full or read-only?): 1")));
}
