#include "Strings.h"

#include "resource.h"

#include <QCoreApplication>

#include <array>

namespace res {
namespace {

struct Entry {
    int id;
    const char* text;
};

// Every text the windows show, by id. The English text is the translation
// key, so translators see the same words as the user.
constexpr std::array kTable{
    Entry{IDS_ABOUTBOX, QT_TRANSLATE_NOOP("Strings", "&About Quillmend...")},
    Entry{IDS_NOTICE, QT_TRANSLATE_NOOP("Strings", "Quillmend 1.1 - reads your mail, never changes it.")},
    Entry{IDS_HINT_SAVE, QT_TRANSLATE_NOOP("Strings", "Save the selected emails.")},
    Entry{IDS_HINT_LOAD, QT_TRANSLATE_NOOP("Strings", "Load external Outlook Express email data files.")},
    Entry{IDS_HINT_SEARCH, QT_TRANSLATE_NOOP("Strings", "Search Outlook Express email data files from local disk.")},
    Entry{IDS_HINT_HELP, QT_TRANSLATE_NOOP("Strings", "Open help file.")},
    Entry{IDS_CAPTION_SAVE, QT_TRANSLATE_NOOP("Strings", "&Save")},
    Entry{IDS_CAPTION_LOAD, QT_TRANSLATE_NOOP("Strings", "&Load DBX files...")},
    Entry{IDS_CAPTION_SEARCH, QT_TRANSLATE_NOOP("Strings", "Se&arch DBX files...")},
    Entry{IDS_CAPTION_HELP, QT_TRANSLATE_NOOP("Strings", "&Help")},
    Entry{IDS_STORE_FOLDER, QT_TRANSLATE_NOOP("Strings", "Outlook Express - Local Folder")},
    Entry{IDS_IDENTITY_FOLDER, QT_TRANSLATE_NOOP("Strings", "Outlook Express - %s")},
    Entry{IDS_FIRST_IDENTITY_NO_STORE, QT_TRANSLATE_NOOP("Strings", "The first identity has no mail store; other identities' stores are listed below it.")},
    Entry{IDS_NO_STORE, QT_TRANSLATE_NOOP("Strings", "No Outlook Express store: %s")},
    Entry{IDS_STATUS_COUNTS, QT_TRANSLATE_NOOP("Strings", "All Emails:%d    Selected Emails:%d")},
    Entry{IDS_SAVE_FOLDER_TITLE, QT_TRANSLATE_NOOP("Strings", "Select a folder to store the selected emails.")},
    Entry{IDS_SAVED_TO, QT_TRANSLATE_NOOP("Strings", "OK! The selected emails have been saved to \"%s\".")},
    Entry{IDS_EXIT_NOW, QT_TRANSLATE_NOOP("Strings", "Exit now?")},
    Entry{IDS_NOTHING_SELECTED, QT_TRANSLATE_NOOP("Strings", "Please select emails you like to recover!")},
    Entry{IDS_COLUMN_FROM, QT_TRANSLATE_NOOP("Strings", "From")},
    Entry{IDS_COLUMN_TO, QT_TRANSLATE_NOOP("Strings", "To")},
    Entry{IDS_COLUMN_SUBJECT, QT_TRANSLATE_NOOP("Strings", "Subject")},
    Entry{IDS_COLUMN_DATE, QT_TRANSLATE_NOOP("Strings", "Date")},
    Entry{IDS_COLUMN_STATUS, QT_TRANSLATE_NOOP("Strings", "Status")},
    Entry{IDS_STATUS_EXISTING, QT_TRANSLATE_NOOP("Strings", "Existing")},
    Entry{IDS_STATUS_DELETED, QT_TRANSLATE_NOOP("Strings", "Deleted")},
    Entry{IDS_SEARCH_FOLDER_TITLE, QT_TRANSLATE_NOOP("Strings", "Select a path to search *.dbx files")},
    Entry{IDS_LIST_INCOMPLETE, QT_TRANSLATE_NOOP("Strings", "List incomplete: this file holds far more block headers than mail can.")},
    Entry{IDS_LIST_CUT_SHORT, QT_TRANSLATE_NOOP("Strings", "List incomplete: the mail file shrank while it was read.")},
    Entry{IDS_SAVE_NOT_ALL, QT_TRANSLATE_NOOP("Strings", "Not every selected email could be saved.")},
    Entry{IDS_SAVE_CANCELLED, QT_TRANSLATE_NOOP("Strings", "Saving was cancelled.")},
    Entry{IDS_SAVE_COUNT_SAVED, QT_TRANSLATE_NOOP("Strings", "Saved: %d of %d to \"%s\".")},
    Entry{IDS_SAVE_COUNT_NOT_WRITTEN, QT_TRANSLATE_NOOP("Strings", "Could not be written (is the folder full or read-only?): %d")},
    Entry{IDS_SAVE_COUNT_INCOMPLETE, QT_TRANSLATE_NOOP("Strings", "Saved incomplete, because the mail file shrank while it was read: %d")},
    Entry{IDS_SAVE_COUNT_NOT_TRIED, QT_TRANSLATE_NOOP("Strings", "Not saved, because saving was cancelled: %d")},
    Entry{IDS_SAVE_NOT_DURABLE, QT_TRANSLATE_NOOP("Strings", "The saved files could not be flushed to the disk: copy them elsewhere before you rely on them.")},
    Entry{IDS_SAVE_PROGRESS_TITLE, QT_TRANSLATE_NOOP("Strings", "Saving emails")},
    Entry{IDS_SAVE_PROGRESS, QT_TRANSLATE_NOOP("Strings", "Saving email %d of %d...")},
    Entry{IDS_SAVE_FLUSHING, QT_TRANSLATE_NOOP("Strings", "Writing the saved emails to the disk...")},
    Entry{IDS_SAVE_CANCELLING, QT_TRANSLATE_NOOP("Strings", "Cancelling after the current email...")},
    Entry{IDS_FILES_NOT_FOUND, QT_TRANSLATE_NOOP("Strings", "These files were not found and have not been added:")},
    Entry{IDS_HELP_TITLE, QT_TRANSLATE_NOOP("Strings", "Quillmend Help")},
    Entry{IDS_SAVE_MBOX_TITLE, QT_TRANSLATE_NOOP("Strings", "Save the selected emails as one mbox file")},
    Entry{IDS_MBOX_NOT_CREATED, QT_TRANSLATE_NOOP("Strings", "\"%s\" could not be created: a file of that name exists already (it is never replaced), or its folder is read-only.")},
    Entry{IDS_HELP_MISSING, QT_TRANSLATE_NOOP("Strings", "The help page (help.htm) is missing from the program's folder.")},
    Entry{IDS_SEARCH_UNREADABLE, QT_TRANSLATE_NOOP("Strings", "Folders that could not be read: %d. Mail files in them may have been missed:")},
    Entry{IDS_SAVE_ATTACHMENT_TITLE, QT_TRANSLATE_NOOP("Strings", "Save the attachment")},
    Entry{IDS_ATTACHMENTS_FOLDER_TITLE, QT_TRANSLATE_NOOP("Strings", "Select a folder to store the attachments.")},
    Entry{IDS_ATTACHMENT_SAVED_AS, QT_TRANSLATE_NOOP("Strings", "OK! The attachment has been saved as \"%s\".")},
    Entry{IDS_ATTACHMENT_SAVED_DAMAGED, QT_TRANSLATE_NOOP("Strings", "The attachment has been saved as \"%s\", but it is incomplete: the bytes lost when the email was deleted are zeros in it, or its end is missing.")},
    Entry{IDS_ATTACHMENT_NOT_SAVED, QT_TRANSLATE_NOOP("Strings", "The attachment could not be saved as \"%s\" (is the folder full or read-only?).")},
    Entry{IDS_ATTACHMENTS_SAVED_TO, QT_TRANSLATE_NOOP("Strings", "OK! %d attachments have been saved to \"%s\".")},
    Entry{IDS_ATTACHMENTS_NONE, QT_TRANSLATE_NOOP("Strings", "The chosen emails carry no attachments.")},
    Entry{IDS_ATTACHMENTS_NOT_ALL, QT_TRANSLATE_NOOP("Strings", "Not every attachment could be saved whole.")},
    Entry{IDS_ATTACHMENTS_COUNT_SAVED, QT_TRANSLATE_NOOP("Strings", "Saved whole: %d of %d attachments to \"%s\".")},
    Entry{IDS_ATTACHMENTS_COUNT_DAMAGED, QT_TRANSLATE_NOOP("Strings", "Saved incomplete, with zeros for the bytes lost when the email was deleted or without their missing end (their names say \"(damaged)\"): %d")},
    Entry{IDS_ATTACHMENTS_COUNT_NOT_TRIED, QT_TRANSLATE_NOOP("Strings", "Emails whose attachments were not saved, because saving was cancelled: %d")},
    Entry{IDS_LOAD_NAMES_UNCLEAR, QT_TRANSLATE_NOOP("Strings", "These files cannot be opened from this dialog: their names are not text, and more than one file in the folder shows under the same name. Search their folder with Search, or name the file on the command line (quillmend FILE.dbx):")},
    Entry{IDS_STATUS_MOVED, QT_TRANSLATE_NOOP("Strings", "Moved")},
    Entry{IDS_STATUS_MOVED_DELETED, QT_TRANSLATE_NOOP("Strings", "Moved, deleted")},
    Entry{IDS_CAPTION_DISKS, QT_TRANSLATE_NOOP("Strings", "&Disks...")},
    Entry{IDS_HINT_DISKS, QT_TRANSLATE_NOOP("Strings", "Look for lost mail on a whole disk or partition.")},
    Entry{IDS_CARVE_PROGRESS_TITLE, QT_TRANSLATE_NOOP("Strings", "Looking for lost mail")},
    Entry{IDS_CARVE_READING, QT_TRANSLATE_NOOP("Strings", "Reading %s: %s of %s (%d%), %s per second")},
    Entry{IDS_CARVE_FOUND, QT_TRANSLATE_NOOP("Strings", "Mail files found so far: %d")},
    Entry{IDS_CARVE_ASSEMBLING, QT_TRANSLATE_NOOP("Strings", "Putting the mail files found together and listing their emails...")},
    Entry{IDS_CARVE_CANCELLING, QT_TRANSLATE_NOOP("Strings", "Stopping; what was found so far is kept...")},
    Entry{IDS_CARVED_FILE, QT_TRANSLATE_NOOP("Strings", "at %s \u2014 %d emails")},
    Entry{IDS_CARVED_FILE_ONE, QT_TRANSLATE_NOOP("Strings", "at %s \u2014 1 email")},
    Entry{IDS_CARVED_FILE_DATES, QT_TRANSLATE_NOOP("Strings", "%s, %s")},
    Entry{IDS_CARVED_FILE_TIP, QT_TRANSLATE_NOOP("Strings", "A mail file found in %s: %d existing and %d deleted emails in %d pieces, from %s to %s of it")},
    Entry{IDS_CARVE_STOPPED_NODE, QT_TRANSLATE_NOOP("Strings", "%s (stopped after %s of %s)")},
    Entry{IDS_CARVE_NOTHING, QT_TRANSLATE_NOOP("Strings", "No Outlook Express mail was found in \"%s\".")},
    Entry{IDS_CARVE_UNREADABLE, QT_TRANSLATE_NOOP("Strings", "%d sectors of \"%s\" could not be read. They were read as zeros: emails in them are incomplete.")},
    Entry{IDS_CARVE_INCOMPLETE, QT_TRANSLATE_NOOP("Strings", "\"%s\" holds far more block headers than real mail can, so some were left out: the list may be incomplete.")},
    Entry{IDS_IMAGE_NO_PERMISSION, QT_TRANSLATE_NOOP("Strings", "\"%s\" cannot be read: reading it needs read permission on it, which you do not have.")},
    Entry{IDS_DISK_NO_PERMISSION, QT_TRANSLATE_NOOP("Strings", "You may not read the disk \"%s\": reading it needs read permission on it, which you do not have. Quillmend only ever reads a disk.")},
    Entry{IDS_DISK_NO_PERMISSION_GROUP, QT_TRANSLATE_NOOP("Strings", "You may not read the disk \"%s\": reading it needs read permission on it, which the members of the group \"%s\" have and you do not. Whoever looks after this computer can add you to that group; it takes effect when you next log in. Quillmend only ever reads a disk.")},
    Entry{IDS_IMAGE_NOT_OPENED, QT_TRANSLATE_NOOP("Strings", "\"%s\" cannot be opened: %s.")},
    Entry{IDS_OPEN_MISSING, QT_TRANSLATE_NOOP("Strings", "there is no such file or disk")},
    Entry{IDS_OPEN_EMPTY, QT_TRANSLATE_NOOP("Strings", "it is empty")},
    Entry{IDS_OPEN_NOT_FILE, QT_TRANSLATE_NOOP("Strings", "it is not a file or a disk")},
    Entry{IDS_DISKS_TITLE, QT_TRANSLATE_NOOP("Strings", "Look for lost mail on a disk")},
    Entry{IDS_DISKS_INTRO, QT_TRANSLATE_NOOP("Strings", "Choose the disk or partition that held the mail. Quillmend reads it from start to end for the mail of Outlook Express, also where its files were deleted or the disk was formatted. It only ever reads it. An image of a disk opens with Load.")},
    Entry{IDS_DISKS_COLUMN_DEVICE, QT_TRANSLATE_NOOP("Strings", "Device")},
    Entry{IDS_DISKS_COLUMN_SIZE, QT_TRANSLATE_NOOP("Strings", "Size")},
    Entry{IDS_DISKS_COLUMN_MODEL, QT_TRANSLATE_NOOP("Strings", "Model")},
    Entry{IDS_DISKS_COLUMN_MOUNTED, QT_TRANSLATE_NOOP("Strings", "Mounted at")},
    Entry{IDS_DISKS_NONE, QT_TRANSLATE_NOOP("Strings", "No disks are listed on this system. An image of a disk opens with Load.")},
    Entry{IDS_DISKS_READ, QT_TRANSLATE_NOOP("Strings", "&Read")},
    Entry{IDS_LOAD_FILTER_ALL, QT_TRANSLATE_NOOP("Strings", "All files (disk images)")},
};

const char* Find(int id) {
    for (const Entry& e : kTable)
        if (e.id == id)
            return e.text;
    return nullptr;
}

} // namespace

QString Text(int id) {
    const char* text = Find(id);
    return text ? QCoreApplication::translate("Strings", text) : QString();
}

std::vector<int> TableIds() {
    std::vector<int> ids;
    for (const Entry& e : kTable)
        ids.push_back(e.id);
    return ids;
}

bool HasText(int id) {
    return !Text(id).isEmpty();
}

QString Format(int id, const QStringList& args) {
    const QString pattern = Text(id);
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        const QChar d = i + 1 < pattern.size() ? pattern[i + 1] : QChar();
        if (c == QLatin1Char('%') && (d == QLatin1Char('s') || d == QLatin1Char('d')) && next < args.size()) {
            out += args[next++];
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace res
