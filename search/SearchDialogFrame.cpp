#include "search/SearchDialogFrame.h"

#include "ui/DialogUnits.h"

#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>

namespace search {

void SetUpSearchDialog(QDialog& dialog, const char* objectName, int widthDlu, int heightDlu)
{
    dialog.setObjectName(QString::fromLatin1(objectName));
    dialog.setWindowTitle(QCoreApplication::translate("SearchDialogs", "Search for *.dbx files"));
    QFont dialogFont = dialog.font();
    dialogFont.setPointSize(8);
    dialog.setFont(dialogFont);
    dialog.setFixedSize(ui::DluSize(widthDlu, heightDlu));
}

bool SwallowHelpKey(QKeyEvent* event)
{
    if (event->key() != Qt::Key_F1)
        return false;
    event->accept();
    return true;
}

} // namespace search
