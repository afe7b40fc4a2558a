#pragma once
// Answers the program's dialogs in tests: no modal window is shown, and
// every question asked is recorded.

#include "ui/UserDialogs.h"

#include <functional>
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
    std::string disk;         // what the disk chooser answers; empty: Cancel
    QMessageBox::StandardButton answer = QMessageBox::Ok;  // for every message box
    std::function<void()> whileChoosingFolder;  // runs while the folder chooser is open

    QStringList openedFor;    // the extension of each open-file dialog
    QStringList folderTitles; // the title of each folder chooser
    QStringList saveTitles;   // the title of each save-file dialog
    QStringList suggested;    // the name each SaveFileAs dialog offered
    int disksAsked = 0;       // how often the disk chooser was shown
    std::vector<Asked> asked; // each message box

    QStringList OpenFiles(QWidget*, const QString& extension) override
    {
        openedFor << extension;
        return filesToOpen;
    }
    std::string ChooseDisk(QWidget*) override
    {
        ++disksAsked;
        return disk;
    }
    QString ChooseFolder(QWidget*, const QString& title) override
    {
        folderTitles << title;
        if (whileChoosingFolder)
            whileChoosingFolder();
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
