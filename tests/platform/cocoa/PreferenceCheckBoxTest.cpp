// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/PreferenceCheckBox.h"

#include <QTest>
#include <gtest/gtest.h>

#include "platform/cocoa/UserDefaults.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/RecordingDelegate.h"

namespace {

class PreferenceCheckBoxTest : public testing::Test {
 protected:
  void SetUp() override { UserDefaults::resetStandardUserDefaults(); }
  void TearDown() override { UserDefaults::resetStandardUserDefaults(); }
  UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
  TestEnvironment environment_;
  RecordingDelegate delegate_;
  ScopedDelegate scoped_{&delegate_};
};

TEST_F(PreferenceCheckBoxTest, StoresItsStateBeforeTheActionArrives) {
  const QString key = QStringLiteral("includeRemoveSubmenusInRecentMenu");
  PreferenceCheckBox box(QStringLiteral("Show Remove submenus"));
  box.setProperty("defaultsKey", key);  // as an interface file sets it
  box.show();
  QList<QVariant> storedDuringAction;
  delegate_.during = [&](QObject*) { storedDuringAction << defaults().objectForKey(key); };

  QTest::mouseClick(&box, Qt::LeftButton, {}, box.rect().center());
  box.click();
  EXPECT_EQ(storedDuringAction, QList<QVariant>({true, false}));
  ASSERT_EQ(delegate_.calls.size(), 2u);
  EXPECT_EQ(delegate_.calls[0].first, "preferencesItemChanged");
  EXPECT_EQ(delegate_.calls[0].second, &box);
}

TEST_F(PreferenceCheckBoxTest, ShowsTheStoredValueOrItsDefaultWithoutWritingIt) {
  PreferenceCheckBox absent, storedNo;
  absent.setProperty("defaultValue", true);
  absent.setProperty("defaultsKey", QStringLiteral("rememberQuery"));
  defaults().setBool(false, QStringLiteral("resetWindowOnLookup"));
  storedNo.setProperty("defaultValue", true);  // a stored NO wins over a default of YES
  storedNo.setProperty("defaultsKey", QStringLiteral("resetWindowOnLookup"));
  EXPECT_TRUE(absent.isChecked());
  EXPECT_FALSE(storedNo.isChecked());

  defaults().setBool(true, QStringLiteral("resetWindowOnLookup"));  // changed elsewhere
  storedNo.show();
  absent.show();
  EXPECT_TRUE(storedNo.isChecked());
  EXPECT_FALSE(defaults().objectForKey(QStringLiteral("rememberQuery")).isValid());
  EXPECT_TRUE(delegate_.calls.empty());
}

}  // namespace
