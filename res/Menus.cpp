#include "res/Menus.h"

#include "res/resource.h"

#include <QCoreApplication>

namespace res {

namespace {

struct Item {
    int command;  // 0: a separator
    const char* text;
};

// Menu 146, the message list's popup.
constexpr Item kListMenu[] = {
    {ID_SELECT_ALL, QT_TRANSLATE_NOOP("Menus", "Select all")},
    {ID_DESELECT_ALL, QT_TRANSLATE_NOOP("Menus", "Deselect all")},
    {0, nullptr},
    {ID_SELECT_EXISTING, QT_TRANSLATE_NOOP("Menus", "Select all existing emails")},
    {ID_SELECT_DELETED, QT_TRANSLATE_NOOP("Menus", "Select all deleted emails")},
    {0, nullptr},
    {ID_SAVE_MBOX, QT_TRANSLATE_NOOP("Menus", "Save ticked e-mails as one mbox file\u2026")},
    {0, nullptr},
    {ID_SAVE_ATTACHMENTS, QT_TRANSLATE_NOOP("Menus", "Save all attachments of this e-mail\u2026")},
    {ID_SAVE_TICKED_ATTACHMENTS, QT_TRANSLATE_NOOP("Menus", "Save attachments of ticked e-mails\u2026")},
};

} // namespace

QMenu* LoadPopupMenu(int id, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    if (id != IDR_LIST_MENU)
        return menu;
    for (const Item& item : kListMenu) {
        if (item.command == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QCoreApplication::translate("Menus", item.text));
        action->setData(item.command);
    }
    return menu;
}

} // namespace res
