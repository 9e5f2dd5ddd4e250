#include "app/DictionaryMenu.h"

#include <QDir>

#include "platform/Places.h"

QStringList contentsOfDirectoryAtPath(const QString& path) {
  QDir dir(path);
  if (path.isEmpty() || !dir.exists()) return {};
  return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name | QDir::IgnoreCase);
}

QString stringByDeletingPathExtension(const QString& name) {
  const qsizetype slash = name.lastIndexOf('/');
  const qsizetype dot = name.lastIndexOf('.');
  if (dot <= slash + 1) return name;  // no extension, or only a leading dot
  return name.left(dot);
}

QStringList dictionaryFolderEntries() { return contentsOfDirectoryAtPath(places::dictionariesFolder()); }

// ---- The controller's dictionary menu -------------------------------------------------

#include <QAction>
#include <QLabel>
#include <QMenu>

#include "app/LexoraAppDelegate.h"
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
