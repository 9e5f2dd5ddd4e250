// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/PopUpButton.h"

#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/cocoa/Menus.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/RecordingDelegate.h"

namespace {

QAction* append(PopUpButton& button, const QString& title, const char* action = "buttonClicked") {
  QAction* item = makeMenuItem(title, action, QString());
  addItem(button.menu(), item);
  return item;
}

bool nothingSelected(const PopUpButton& button) {
  return !button.selectedItem() && button.indexOfSelectedItem() == -1 &&
         button.titleOfSelectedItem().isNull();
}

TEST(PopUpButton, SelectsByIndexOrExactTitle) {
  PopUpButton button;
  QAction* wn = append(button, QStringLiteral("wn"));
  QAction* gcide = append(button, QStringLiteral("gcide"));
  append(button, QStringLiteral("wn"));
  QAction* tom = append(button, QStringLiteral("Tom & Jerry"));
  EXPECT_TRUE(nothingSelected(button));  // adding items selects none

  button.selectItemAtIndex(1);
  EXPECT_EQ(button.selectedItem(), gcide);
  EXPECT_EQ(button.indexOfSelectedItem(), 1);
  EXPECT_EQ(button.titleOfSelectedItem(), QStringLiteral("gcide"));
  button.selectItemWithTitle(QStringLiteral("wn"));
  EXPECT_EQ(button.selectedItem(), wn);  // the first that bears it
  button.selectItemWithTitle(QStringLiteral("Tom & Jerry"));
  EXPECT_EQ(button.selectedItem(), tom);

  button.selectItemWithTitle(QStringLiteral("WN"));  // no item bears it: nothing is selected
  EXPECT_TRUE(nothingSelected(button));
  button.selectItemAtIndex(0);
  button.selectItemAtIndex(-1);
  EXPECT_TRUE(nothingSelected(button));
  button.selectItemAtIndex(4);
  EXPECT_TRUE(nothingSelected(button));
}

TEST(PopUpButton, LosesTheSelectionWithItsItem) {
  PopUpButton button;
  QAction* a = append(button, QStringLiteral("a"));
  append(button, QStringLiteral("b"));
  QAction* c = append(button, QStringLiteral("c"));
  button.selectItem(c);
  removeItemAtIndex(button.menu(), 1);  // another item: the selection stays, its index moves
  EXPECT_EQ(button.indexOfSelectedItem(), 1);
  removeItem(button.menu(), c);
  EXPECT_TRUE(nothingSelected(button));
  button.selectItem(a);
  delete a;
  EXPECT_TRUE(nothingSelected(button));
}

TEST(PopUpButton, ChoosingAnItemSelectsItThenSendsItsAction) {
  RecordingDelegate delegate;
  ScopedDelegate scoped(&delegate);
  PopUpButton button;
  button.resize(200, 30);
  button.show();
  append(button, QStringLiteral("wn"));
  QAction* gcide = append(button, QStringLiteral("gcide"));
  QAction* inert = append(button, QStringLiteral("There are no recent items"), nullptr);
  QAction* disabled = append(button, QStringLiteral("unavailable"));
  disabled->setEnabled(false);
  button.selectItemAtIndex(0);
  QAction* selectedDuringAction = nullptr;
  delegate.during = [&](QObject*) { selectedDuringAction = button.selectedItem(); };
  auto choose = [&](QAction* item) {  // as the user does
    button.showPopup();
    ASSERT_TRUE(button.menu()->isVisible());
    QTest::mouseClick(button.menu(), Qt::LeftButton, {}, button.menu()->actionGeometry(item).center());
    button.menu()->hide();  // a disabled item leaves it open
  };

  choose(gcide);
  ASSERT_EQ(delegate.calls.size(), 1u);
  EXPECT_EQ(delegate.calls[0].second, gcide);
  EXPECT_EQ(selectedDuringAction, gcide);
  choose(disabled);
  EXPECT_EQ(button.selectedItem(), gcide);
  choose(inert);
  EXPECT_EQ(button.selectedItem(), inert);
  EXPECT_EQ(delegate.calls.size(), 1u);

  // Items of a submenu are not the button's to select.
  auto* sub = new QMenu;
  QAction* remove = makeMenuItem(QStringLiteral("Remove"), "selItemRemove", {});
  addItem(sub, remove);
  setSubmenu(gcide, sub);
  remove->trigger();
  EXPECT_EQ(button.selectedItem(), inert);
  EXPECT_EQ(delegate.calls.size(), 2u);
}

}  // namespace
