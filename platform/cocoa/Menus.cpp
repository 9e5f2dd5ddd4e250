// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Menus.h"

#include <QKeySequence>
#include <QPointer>

#include "platform/cocoa/Application.h"
#include "platform/cocoa/PopUpButton.h"

namespace {

constexpr const char* kTitleProperty = "vocabulonMenuItemTitle";
constexpr const char* kActionProperty = "vocabulonMenuItemAction";
constexpr const char* kTagProperty = "vocabulonMenuItemTag";
constexpr const char* kOwnerProperty = "vocabulonSubmenuOwner";

// Beyond this a title is shown shortened: a menu as wide as a pasted page helps nobody, and
// measuring megabytes of text on every show is slow.
constexpr qsizetype kDisplayedHead = 160;
constexpr qsizetype kDisplayedTail = 60;

bool isLineBreak(char16_t c) {
  return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029 || c == 0x0085 || c == 0x000B ||
         c == 0x000C;
}

void appendOneLine(QString& out, QStringView part, bool escapeAmpersand) {
  for (qsizetype i = 0; i < part.size(); ++i) {
    const char16_t c = part[i].unicode();
    if (c == u'\r' && i + 1 < part.size() && part[i + 1] == u'\n') continue;  // CR LF is one
    if (isLineBreak(c)) out += QChar(0x23CE);                                 // ⏎
    else if (c == u'&' && escapeAmpersand) out += QStringLiteral("&&");       // not a mnemonic
    else if (c < 0x20 || c == 0x7F) out += QChar(u' ');  // a tab would start the shortcut column
    else out += QChar(c);
  }
}

// Cuts at `at` without splitting a surrogate pair.
qsizetype safeCut(const QString& s, qsizetype at) {
  if (at > 0 && at < s.size() && s.at(at).isLowSurrogate()) return at - 1;
  return at;
}

QKeySequence shortcutFor(const QString& keyEquivalent) {
  if (keyEquivalent.isEmpty()) return {};
  const QChar c = keyEquivalent.at(0);
  Qt::KeyboardModifiers modifiers = Qt::ControlModifier;
  int key = c.unicode();
  switch (c.unicode()) {
    case u'\r': case u'\n': key = Qt::Key_Return; break;
    case u'\t': key = Qt::Key_Tab; break;
    case 0x1B: key = Qt::Key_Escape; break;
    case 0x08: key = Qt::Key_Backspace; break;
    case 0x7F: key = Qt::Key_Delete; break;
    default:
      if (c.isLetter()) {
        if (c.isUpper()) modifiers |= Qt::ShiftModifier;
        key = c.toUpper().unicode();
      }
  }
  return QKeySequence(QKeyCombination(modifiers, Qt::Key(key)));
}

void sendItemAction(QAction* item) {
  QPointer<QAction> guard(item);
  // A pop-up button shows the chosen item before the action runs, so the action sees it.
  PopUpButton::noteItemChosen(item);
  if (!guard) return;
  const QByteArray action = menuItemAction(item);
  if (!action.isEmpty()) Application::shared().sendAction(action.constData(), item);
}

QString textAsDisplayed(const QString& text) {
  // What QAction::text() shows: "&&" is '&', a single '&' marks a mnemonic.
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text.at(i) == u'&') {
      if (i + 1 < text.size() && text.at(i + 1) == u'&') out += u'&', ++i;
      continue;
    }
    out += text.at(i);
  }
  return out;
}

}  // namespace

namespace {

QString shownOnOneLine(const QString& title, bool escapeAmpersand) {
  QString out;
  if (title.size() <= kDisplayedHead + kDisplayedTail) {
    appendOneLine(out, title, escapeAmpersand);
    return out;
  }
  const qsizetype head = safeCut(title, kDisplayedHead);
  const qsizetype tail = safeCut(title, title.size() - kDisplayedTail);
  appendOneLine(out, QStringView(title).left(head), escapeAmpersand);
  out += QChar(0x2026);  // …
  appendOneLine(out, QStringView(title).mid(tail), escapeAmpersand);
  return out;
}

}  // namespace

QString oneLineTitle(const QString& title) { return shownOnOneLine(title, false); }

QString displayedMenuTitle(const QString& title) { return shownOnOneLine(title, true); }

QAction* makeMenuItem(const QString& title, const char* action, const QString& keyEquivalent) {
  auto* item = new QAction();
  setMenuItemTitle(item, title);
  setMenuItemAction(item, action);
  if (!keyEquivalent.isEmpty()) item->setShortcut(shortcutFor(keyEquivalent));
  QObject::connect(item, &QAction::triggered, item, [item] { sendItemAction(item); });
  return item;
}

QAction* makeSeparatorItem() {
  auto* item = new QAction();
  item->setSeparator(true);
  return item;
}

QString menuItemTitle(const QAction* item) {
  if (!item) return {};
  const QVariant title = item->property(kTitleProperty);
  if (title.isValid()) return title.toString();
  if (item->isSeparator()) return QString();
  return textAsDisplayed(item->text());
}

void setMenuItemTitle(QAction* item, const QString& title) {
  if (!item) return;
  item->setProperty(kTitleProperty, title.isNull() ? QStringLiteral("") : title);
  item->setText(displayedMenuTitle(title));
}

QByteArray menuItemAction(const QAction* item) {
  return item ? item->property(kActionProperty).toByteArray() : QByteArray();
}

void setMenuItemAction(QAction* item, const char* action) {
  if (!item) return;
  QByteArray name(action ? action : "");
  while (name.endsWith(':')) name.chop(1);
  item->setProperty(kActionProperty, name.isEmpty() ? QVariant() : QVariant(name));
}

void setMenuItemTag(QAction* item, const QVariant& tag) {
  if (!item) return;
  if (tag.metaType().flags() & QMetaType::PointerToQObject)
    item->setProperty(kTagProperty, QVariant::fromValue(QPointer<QObject>(tag.value<QObject*>())));
  else
    item->setProperty(kTagProperty, tag);
}

QVariant menuItemTag(const QAction* item) {
  if (!item) return {};
  const QVariant tag = item->property(kTagProperty);
  if (tag.metaType() == QMetaType::fromType<QPointer<QObject>>())
    return QVariant::fromValue<QObject*>(tag.value<QPointer<QObject>>().data());
  return tag;
}

void setSubmenu(QAction* item, QMenu* menu) {
  if (!item) return;
  QMenu* old = item->menu<QMenu*>();
  if (old == menu) return;
  item->setMenu(menu);
  if (old && old->property(kOwnerProperty).value<QObject*>() == item) {
    QObject::disconnect(item, &QObject::destroyed, old, nullptr);
    old->setProperty(kOwnerProperty, QVariant());
    old->deleteLater();
  }
  if (menu) {
    menu->setProperty(kOwnerProperty, QVariant::fromValue<QObject*>(item));
    QObject::connect(item, &QObject::destroyed, menu, &QObject::deleteLater);
  }
}

QMenu* submenu(const QAction* item) { return item ? item->menu<QMenu*>() : nullptr; }

int numberOfItems(const QMenu* menu) { return menu ? int(menu->actions().size()) : 0; }

QAction* itemAtIndex(const QMenu* menu, int index) {
  if (!menu) return nullptr;
  const QList<QAction*> items = menu->actions();
  return index >= 0 && index < items.size() ? items.at(index) : nullptr;
}

int indexOfItem(const QMenu* menu, const QAction* item) {
  if (!menu || !item) return -1;
  return int(menu->actions().indexOf(const_cast<QAction*>(item)));
}

void addItem(QMenu* menu, QAction* item) { insertItemAtIndex(menu, item, numberOfItems(menu)); }

void insertItemAtIndex(QMenu* menu, QAction* item, int index) {
  if (!menu || !item) return;
  if (!item->parent()) item->setParent(menu);
  QAction* before = itemAtIndex(menu, index);
  if (before == item) return;
  menu->insertAction(before, item);
}

void removeItemAtIndex(QMenu* menu, int index) { removeItem(menu, itemAtIndex(menu, index)); }

void removeItem(QMenu* menu, QAction* item) {
  if (indexOfItem(menu, item) < 0) return;
  menu->removeAction(item);
  if (item->parent() == menu) item->deleteLater();
}

void removeAllItems(QMenu* menu) {
  while (numberOfItems(menu) > 0) removeItemAtIndex(menu, 0);
}
