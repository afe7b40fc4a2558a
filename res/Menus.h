#pragma once
// The program's popup menus by the ids of resource.h.

#include <QMenu>

namespace res {

// The first submenu of menu `id` as a popup owned by `parent`; each action
// carries its command id as data (QAction::data().toInt()). An unknown id
// gives an empty menu.
QMenu* LoadPopupMenu(int id, QWidget* parent);

} // namespace res
