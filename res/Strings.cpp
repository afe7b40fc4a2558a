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
