// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's dictionary menu: the dictionaries folder listed, the last choice restored,
// and a new choice stored before the set-up sequence runs again.

#include <QAction>
#include <QLabel>
#include <QMenu>

#include "app/LexoraAppDelegate.h"
#include "app/core/DictionaryMenu.h"
#include "platform/cocoa/Menus.h"
#include "platform/cocoa/PopUpButton.h"
#include "platform/cocoa/UserDefaults.h"

void LexoraAppDelegate::buildDictionaryMenu() {
  setStatus(QStringLiteral("Building dictionary menu"));
  if (dictionariesMenu) {
    while (numberOfItems(dictionariesMenu) > 0) removeItemAtIndex(dictionariesMenu, 0);
  }
  dictionaryNames.clear();
  const QStringList entries = dictionaryFolderEntries();
  if (!entries.isEmpty() && dictionariesMenu && dictionariesPopUpButton) {
    dictionaryNames += entries;
    for (const QString& entry : dictionaryNames) {
      QAction* item = makeMenuItem(stringByDeletingPathExtension(entry), "selItemDictionaryNamesMenu", QString());
      item->setToolTip(entry);
      addItem(dictionariesMenu, item);
    }
    const QVariant last = UserDefaults::standardUserDefaults().objectForKey(QStringLiteral("LastDictionaryUsed"));
    if (last.isValid()) dictionariesPopUpButton->selectItemWithTitle(last.toString());
    else dictionariesPopUpButton->selectItemAtIndex(0);
  }
  setStatus(QString());
}

void LexoraAppDelegate::selItemDictionaryNamesMenu(QObject* sender) {
  auto* item = qobject_cast<QAction*>(sender);
  if (!item) return;
  UserDefaults::standardUserDefaults().setObject(menuItemTitle(item), QStringLiteral("LastDictionaryUsed"));
  setup();
}

QString LexoraAppDelegate::selectedDictionaryName() const {
  return dictionariesPopUpButton ? dictionariesPopUpButton->titleOfSelectedItem() : QString();
}
