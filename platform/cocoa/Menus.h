// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Menus (QMenu) and their items (QAction) used the way the controller builds them: items with
// an exact title, an action named like a selector and no target, a tag, and a submenu.
//
// A menu owns the items it adopts: addItem() gives a parentless item to the menu, and removing
// an item the menu owns deletes it (later, from the event loop, since the item may be the one
// whose action is running). An item owns its submenu.
#include <QAction>
#include <QByteArray>
#include <QMenu>
#include <QString>
#include <QVariant>

// A new parentless item. Triggering it sends `action` (a selector name, or nullptr for none)
// through Application::sendAction with the item as the sender. `keyEquivalent` is "" for none,
// else one character, used with Ctrl (and Shift for an upper-case letter).
QAction* makeMenuItem(const QString& title, const char* action, const QString& keyEquivalent);
QAction* makeSeparatorItem();

// The title exactly as given, '&' and line breaks included. The displayed text shows it on one
// line, with line breaks as "⏎" and a very long title shortened in the middle.
QString menuItemTitle(const QAction* item);
void setMenuItemTitle(QAction* item, const QString& title);

// The action's selector name; empty for none. Changing it takes effect at the next trigger.
QByteArray menuItemAction(const QAction* item);
void setMenuItemAction(QAction* item, const char* action);

// Any value. An object reference is held weakly: once that object is gone the tag reads as a
// null QObject*. Object tags read back as QObject* (qobject_cast them). Invalid when unset.
void setMenuItemTag(QAction* item, const QVariant& tag);
QVariant menuItemTag(const QAction* item);

// Attaches `submenu` to the item, which then owns it; a replaced submenu is deleted.
void setSubmenu(QAction* item, QMenu* submenu);
QMenu* submenu(const QAction* item);

int numberOfItems(const QMenu* menu);
QAction* itemAtIndex(const QMenu* menu, int index);  // nullptr when out of range
int indexOfItem(const QMenu* menu, const QAction* item);  // -1 when absent
void addItem(QMenu* menu, QAction* item);
void insertItemAtIndex(QMenu* menu, QAction* item, int index);
// Out-of-range positions and absent items are ignored.
void removeItemAtIndex(QMenu* menu, int index);
void removeItem(QMenu* menu, QAction* item);
void removeAllItems(QMenu* menu);

// A title on one line: line breaks as "⏎", other control characters as spaces, a very long
// title shortened in the middle with "…".
QString oneLineTitle(const QString& title);
// The same with '&' escaped, for QAction::setText, where a single '&' marks a mnemonic.
QString displayedMenuTitle(const QString& title);
