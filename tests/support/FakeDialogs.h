#pragma once
// Answers the program's dialogs in tests: no modal window is shown, and
// every question asked is recorded.

#include "ui/UserDialogs.h"

#include <vector>

namespace testsupport {

class FakeDialogs : public UserDialogs {
public:
    struct Asked {
        QMessageBox::Icon icon;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    };

    QStringList filesToOpen;  // what the open-file dialog answers; empty: Cancel
    QString folder;           // what the folder chooser answers; empty: Cancel
    QString saveFile;         // what the save-file dialog answers; empty: Cancel
    QMessageBox::StandardButton answer = QMessageBox::Ok;  // for every message box

    QStringList openedFor;    // the extension of each open-file dialog
    QStringList folderTitles; // the title of each folder chooser
    QStringList saveTitles;   // the title of each save-file dialog
    QStringList suggested;    // the name each SaveFileAs dialog offered
    std::vector<Asked> asked; // each message box

    QStringList OpenFiles(QWidget*, const QString& extension) override
    {
        openedFor << extension;
        return filesToOpen;
    }
    QString ChooseFolder(QWidget*, const QString& title) override
    {
        folderTitles << title;
        return folder;
    }
    QString SaveFile(QWidget*, const QString& title, const QString&) override
    {
        saveTitles << title;
        return saveFile;
    }
    QString SaveFileAs(QWidget*, const QString& title, const QString& suggestedName) override
    {
        saveTitles << title;
        suggested << suggestedName;
        return saveFile;
    }
    QMessageBox::StandardButton Ask(QWidget*, QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) override
    {
        asked.push_back({icon, text, buttons, defaultButton});
        return answer;
    }
};

} // namespace testsupport
