// SPDX-License-Identifier: GPL-3.0-or-later
// The recent-queries pop-up menu: every query looked up so far, to run again, remove or clear.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>

#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Menus.h"
#include "platform/cocoa/UserDefaults.h"

void LexoraAppDelegate::buildRecentMenu() {
  setStatus(QStringLiteral("Building recent menu"));
  // A lookup has just added its whole query: the stored copy keeps it shortened, and the
  // oldest entries go once there are too many.
  if (boundRecentWords()) {
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject(QVariant(recentWords), QStringLiteral("SavedRecentWords"));
    defaults.synchronize();
  }
  if (recentMenu) {
    while (numberOfItems(recentMenu) > 0) removeItemAtIndex(recentMenu, 0);
    if (recentWords.isEmpty()) {
      addItem(recentMenu, makeMenuItem(QStringLiteral("There are no recent items"), nullptr, QString()));
    } else {
      const bool withRemove = includeRemoveSubmenusInRecentMenu();
      for (const QString& entry : recentWords) {
        QAction* item = makeMenuItem(entry, "selItemRecentMenu", QString());
        if (withRemove) {
          auto* submenu = new QMenu;
          QAction* remove = makeMenuItem(QStringLiteral("Remove"), "selItemRemove", QString());
          setMenuItemTag(remove, QVariant::fromValue<QObject*>(item));
          addItem(submenu, remove);
          setSubmenu(item, submenu);
        }
        addItem(recentMenu, item);
      }
      addItem(recentMenu, makeSeparatorItem());
      addItem(recentMenu, makeMenuItem(QStringLiteral("Clear Menu"), "selItemClearMenu", QString()));
    }
  }
  setStatus(QString());
}

void LexoraAppDelegate::selItemRecentMenu(QObject* sender) {
  auto* item = qobject_cast<QAction*>(sender);
  if (!item || !query_textView) return;
  query_textView->setPlainText(menuItemTitle(item));
  if (!lookupOnlyWhenDefineIsClicked()) buttonClicked(sender);
}

void LexoraAppDelegate::selItemRemove(QObject* sender) {
  auto* remove = qobject_cast<QAction*>(sender);
  if (!remove || !recentMenu) return;
  auto* item = qobject_cast<QAction*>(menuItemTag(remove).value<QObject*>());
  const int index = item ? indexOfItem(recentMenu, item) : -1;
  // Query items stand first, in list order, so a menu position is a list index.
  if (index < 0 || index >= recentWords.size()) return;
  recentWords.removeAt(index);
  removeItem(recentMenu, item);
  storeRecentWords();
  buildRecentMenu();
}

void LexoraAppDelegate::selItemClearMenu(QObject*) {
  recentWords.clear();
  if (recentMenu) {
    while (numberOfItems(recentMenu) > 0) removeItemAtIndex(recentMenu, 0);
  }
  storeRecentWords();
  buildRecentMenu();
}

// A removal reaches the disk shortly after (the defaults store saves itself), not only at quit.
void LexoraAppDelegate::storeRecentWords() {
  UserDefaults::standardUserDefaults().setObject(QVariant(recentWords), QStringLiteral("SavedRecentWords"));
}
