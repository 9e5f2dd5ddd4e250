// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Menus.h"

#include <gtest/gtest.h>

#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/RecordingDelegate.h"

namespace {

TEST(MenuItems, KeepTheirExactTitleWhileShownOnOneLineWithoutMnemonics) {
  QString longTitle;
  for (int i = 0; i < 20000; ++i) longTitle += QStringLiteral("word%1 ").arg(i);
  for (const QString& title : {QStringLiteral("Tom & Jerry"), QStringLiteral("&&&"),
                               QStringLiteral("one\ntwo\r\nthree\rfour"), QStringLiteral("a\tb"),
                               QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x93\x96"), longTitle}) {
    std::unique_ptr<QAction> item(makeMenuItem(title, "selItemRecentMenu", QString()));
    EXPECT_EQ(menuItemTitle(item.get()), title);
    const QString shown = item->text();
    EXPECT_FALSE(shown.contains(u'\n') || shown.contains(u'\r') || shown.contains(u'\t'));
    EXPECT_EQ(shown.count(u'&') % 2, 0) << "a single '&' would become a mnemonic";
    EXPECT_LT(shown.size(), 400);
  }
  std::unique_ptr<QAction> item(makeMenuItem(QStringLiteral("Tom & Jerry\nx"), nullptr, {}));
  EXPECT_EQ(item->text(), QString::fromUtf8("Tom && Jerry\u23CEx"));
}

TEST(MenuItems, SendTheirActionToTheDelegateAndHoldTags) {
  RecordingDelegate delegate;
  ScopedDelegate scoped(&delegate);
  std::unique_ptr<QAction> item(makeMenuItem(QStringLiteral("cat"), "selItemRecentMenu:", {}));
  std::unique_ptr<QAction> inert(makeMenuItem(QStringLiteral("There are no recent items"), nullptr, {}));
  item->trigger();
  inert->trigger();
  ASSERT_EQ(delegate.calls.size(), 1u);
  EXPECT_EQ(delegate.calls[0].first, "selItemRecentMenu");
  EXPECT_EQ(delegate.calls[0].second, item.get());

  EXPECT_FALSE(menuItemTag(item.get()).isValid());
  setMenuItemTag(item.get(), 42);
  EXPECT_EQ(menuItemTag(item.get()), QVariant(42));
  auto* target = new QAction;
  setMenuItemTag(item.get(), QVariant::fromValue(target));
  EXPECT_EQ(menuItemTag(item.get()).value<QObject*>(), target);
  delete target;  // a tag does not keep a dangling reference
  EXPECT_EQ(menuItemTag(item.get()).value<QObject*>(), nullptr);
}

TEST(Menus, CountFindAndRemoveLikeAList) {
  QMenu menu;
  QAction* a = makeMenuItem(QStringLiteral("a"), nullptr, {});
  QAction* b = makeMenuItem(QStringLiteral("b"), nullptr, {});
  QAction* c = makeMenuItem(QStringLiteral("c"), nullptr, {});
  for (QAction* item : {a, b, makeSeparatorItem(), c}) addItem(&menu, item);
  QObject owner;
  QAction* borrowed = makeMenuItem(QStringLiteral("borrowed"), nullptr, {});
  borrowed->setParent(&owner);
  addItem(&menu, borrowed);
  QAction stranger;

  EXPECT_EQ(numberOfItems(&menu), 5);
  EXPECT_TRUE(itemAtIndex(&menu, 2)->isSeparator());
  EXPECT_EQ(itemAtIndex(&menu, 5), nullptr);
  EXPECT_EQ(indexOfItem(&menu, c), 3);
  EXPECT_EQ(indexOfItem(&menu, &stranger), -1);

  QPointer<QAction> removedA(a), removedB(b), keptBorrowed(borrowed);
  removeItem(&menu, b);
  removeItemAtIndex(&menu, 0);
  removeItemAtIndex(&menu, 9);  // out of range: ignored
  removeItem(&menu, &stranger);
  removeItem(&menu, borrowed);
  EXPECT_EQ(numberOfItems(&menu), 2);
  EXPECT_EQ(indexOfItem(&menu, c), 1);
  flushDeferredDeletes();
  EXPECT_TRUE(removedA.isNull() && removedB.isNull());  // the menu owned these
  EXPECT_TRUE(keptBorrowed);
}

TEST(Menus, ARemoveItemMayTakeOutTheItemThatHoldsIt) {
  // As the recent menu does: the Remove item of a query's submenu removes the query item (which
  // owns the submenu, which holds the Remove item) while its own action runs.
  RecordingDelegate delegate;
  ScopedDelegate scoped(&delegate);
  QMenu recent;
  QAction* query = makeMenuItem(QStringLiteral("query"), "selItemRecentMenu", {});
  auto* sub = new QMenu;
  QAction* remove = makeMenuItem(QStringLiteral("Remove"), "selItemRemove", {});
  setMenuItemTag(remove, QVariant::fromValue(query));
  addItem(sub, remove);
  setSubmenu(query, sub);
  addItem(&recent, query);
  QPointer<QAction> removeGuard(remove);
  QPointer<QMenu> subGuard(sub);
  delegate.during = [&](QObject* sender) {
    auto* held = menuItemTag(qobject_cast<QAction*>(sender)).value<QObject*>();
    removeItemAtIndex(&recent, indexOfItem(&recent, qobject_cast<QAction*>(held)));
    EXPECT_EQ(menuItemTitle(qobject_cast<QAction*>(sender)), QStringLiteral("Remove"));
  };
  remove->trigger();
  EXPECT_EQ(numberOfItems(&recent), 0);
  EXPECT_TRUE(processEventsUntil([&] {
    flushDeferredDeletes();
    return removeGuard.isNull() && subGuard.isNull();
  }));
}

}  // namespace
