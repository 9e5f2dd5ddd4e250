// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/ProgressIndicator.h"

#include <QImage>
#include <gtest/gtest.h>

#include "tests/platform/cocoa/CocoaTestSupport.h"

namespace {

TEST(ProgressIndicator, TurnsWhileAnimatingAndDrawsNothingWhenStopped) {
  ProgressIndicator spinner;
  EXPECT_GE(spinner.sizeHint().width(), 16);
  EXPECT_LE(spinner.sizeHint().width(), 20);
  spinner.resize(spinner.sizeHint());
  spinner.show();
  auto picture = [&] { return spinner.grab().toImage(); };
  const QImage blank = picture();

  spinner.startAnimation(nullptr);
  EXPECT_TRUE(spinner.isAnimating());
  const QImage turning = picture();
  EXPECT_NE(turning, blank);
  const int phase = spinner.phase();
  ASSERT_TRUE(processEventsUntil([&] { return spinner.phase() != phase; }));
  EXPECT_NE(picture(), turning);

  spinner.stopAnimation(nullptr);
  EXPECT_FALSE(spinner.isAnimating());
  EXPECT_EQ(picture(), blank);
}

}  // namespace
