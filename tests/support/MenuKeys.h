// Keyboard paths through a window's menus: every menu and command has a
// mnemonic that no other item of its menu has, and F10 opens the menu bar.
#pragma once

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <set>
#include <string>
#include <vector>

namespace testsupport {

// What keeps a command of items (a menu bar's or a menu's, submenus
// included) from the keyboard: an item without a mnemonic, or with one
// that another item of the same menu has. counted: the items looked at.
inline std::vector<std::string> menu_key_faults(const QList<QAction*>& items, const QString& where,
                                                int& counted)
{
    std::vector<std::string> faults;
    std::set<QString> taken;
    for (QAction* item : items) {
        if (item->isSeparator() || !item->isVisible()) {
            continue;
        }
        ++counted;
        const QString name = where + "/" + item->text();
        const QString key = QKeySequence::mnemonic(item->text()).toString();
        if (key.isEmpty()) {
            faults.push_back(name.toStdString() + ": no mnemonic");
        } else if (!taken.insert(key).second) {
            faults.push_back(name.toStdString() + ": " + key.toStdString() + " taken");
        }
        if (item->menu() != nullptr) {
            const auto inner = menu_key_faults(item->menu()->actions(), name, counted);
            faults.insert(faults.end(), inner.begin(), inner.end());
        }
    }
    return faults;
}

// The window active, F10 pressed: the menu bar's first item is active and
// its menu (if it has one) open. The menu is closed again.
inline bool f10_opens_menu_bar(QMainWindow& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window)) {
        return false;
    }
    QTest::keyClick(&window, Qt::Key_F10);
    QAction* active = window.menuBar()->activeAction();
    const QList<QAction*> items = window.menuBar()->actions();
    const bool opened = active != nullptr && !items.isEmpty() && active == items.front() &&
                        (active->menu() == nullptr || active->menu()->isVisible());
    if (active != nullptr && active->menu() != nullptr) {
        active->menu()->hide();
    }
    return opened;
}

}  // namespace testsupport
