#pragma once
// The standard dialogs a command asks the user through: the open-file
// dialog, the folder chooser and message boxes. Commands reach them through
// this class so that tests can answer them without a modal dialog; the base
// class shows the real ones.

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

class UserDialogs {
public:
    virtual ~UserDialogs();

    // The dialogs the program uses unless told otherwise.
    static UserDialogs& Default();

    // Open-file dialog owned by `owner` that lets the user pick one or more
    // existing files whose names end in `extension` (".dbx"), matched without
    // regard to case. Returns their absolute paths in the dialog's order;
    // empty when the dialog was cancelled.
    virtual QStringList OpenFiles(QWidget* owner, const QString& extension);

    // Folder chooser owned by `owner`, titled `title`. Returns the absolute
    // path of the chosen folder; empty when cancelled.
    virtual QString ChooseFolder(QWidget* owner, const QString& title);

    // Save-file dialog owned by `owner`, titled `title`, for a new file whose
    // name ends in `extension` (".mbox"; added when the user leaves it out).
    // Returns the chosen absolute path; empty when cancelled. It does not ask
    // about an existing file: the caller never replaces one.
    virtual QString SaveFile(QWidget* owner, const QString& title, const QString& extension);

    // Save-file dialog owned by `owner`, titled `title`, that offers
    // `suggestedName` (a file name) in the last folder used and takes any
    // name. Returns the chosen absolute path; empty when cancelled. It does
    // not ask about an existing file: the caller never replaces one.
    virtual QString SaveFileAs(QWidget* owner, const QString& title, const QString& suggestedName);

    // Message box owned by `owner`, titled with the application's name,
    // showing `text` with `icon` and `buttons`; `defaultButton` is the one
    // Enter presses. Returns the button the user chose (Escape or the close
    // box: the No or Cancel button when there is one, else the only button).
    virtual QMessageBox::StandardButton Ask(QWidget* owner, QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton);

    // Ask with only an OK button.
    void Tell(QWidget* owner, QMessageBox::Icon icon, const QString& text);

    // The name filter OpenFiles gives the dialog for `extension`: the
    // extension as the user sees it ("*.dbx"), with a pattern that matches
    // it in any case where the file system would not.
    static QString NameFilter(const QString& extension);
};
