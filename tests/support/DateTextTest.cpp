// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>
#include <cstring>
#include <map>
#include <string>

#include "support/DateText.h"

namespace {

// Sets environment variables for one test and puts them back.
class ScopedEnv {
 public:
  explicit ScopedEnv(const std::map<std::string, std::string>& values) {
    for (const char* name : {"TZ", "LC_ALL", "LC_TIME", "LANG"}) {
      saved_[name] = {qEnvironmentVariableIsSet(name), qgetenv(name)};
      qunsetenv(name);
    }
    for (const auto& [name, value] : values) qputenv(name.c_str(), value.c_str());
  }
  ~ScopedEnv() {
    for (const auto& [name, old] : saved_)
      old.first ? void(qputenv(name.c_str(), old.second)) : void(qunsetenv(name.c_str()));
  }

 private:
  std::map<std::string, std::pair<bool, QByteArray>> saved_;
};

// The classic clock value of a wall-clock time.
UInt32 clockValue(int year, int month, int day, int hour, int minute) {
  const QDateTime t(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
  return UInt32(t.toSecsSinceEpoch() + 2082844800LL);
}

std::string dateText(CFDateFormatterStyle style, UInt32 value) {
  char buffer[64] = "untouched";
  GetDateText(style, value, buffer, sizeof buffer);
  return buffer;
}

TEST(FormatDuration, Table) {
  const std::pair<UInt32, const char*> cases[] = {
      {0, "0 secs"},
      {1, "1 sec "},
      {59, "59 secs "},
      {60, "1 min "},
      {61, "1 min 1 sec "},
      {119, "1 min 59 secs "},
      {120, "2 mins "},
      {3600, "1 hr "},
      {3601, "1 hr 1 sec "},
      {3660, "1 hr 1 min "},
      {7199, "1 hr 59 mins 59 secs "},
      {7200, "2 hrs "},
      {90061, "25 hrs 1 min 1 sec "},
      {4294967295u, "1193046 hrs 28 mins 15 secs "},
  };
  for (const auto& [seconds, expected] : cases) {
    BoundedString text;
    FormatDuration(seconds, text);
    EXPECT_STREQ(text.c_str(), expected) << seconds;
  }
  BoundedString text("Took ");
  FormatDuration(61, text);
  EXPECT_STREQ(text.c_str(), "Took 1 min 1 sec ");
  FormatDuration(0, text);
  EXPECT_STREQ(text.c_str(), "0 secs");
}

TEST(GetDateText, LocaleFormatsOfEachStyle) {
  const UInt32 value = clockValue(2026, 10, 24, 15, 0);
  struct Case {
    const char* locale;
    CFDateFormatterStyle style;
    const char* expected;
  } cases[] = {
      {"en_US.UTF-8", kCFDateFormatterShortStyle, "10/24/26"},
      {"en_US.UTF-8", kCFDateFormatterMediumStyle, "Oct 24, 2026"},
      {"en_US.UTF-8", kCFDateFormatterLongStyle, "October 24, 2026"},
      {"en_US.UTF-8", kCFDateFormatterFullStyle, "Saturday, October 24, 2026"},
      {"de_DE.UTF-8", kCFDateFormatterShortStyle, "24.10.26"},
      {"de_DE.UTF-8", kCFDateFormatterMediumStyle, "24.10.2026"},
      {"de_DE.UTF-8", kCFDateFormatterLongStyle, "24. Oktober 2026"},
      {"de_DE.UTF-8", kCFDateFormatterFullStyle, "Samstag, 24. Oktober 2026"},
      {"de_DE.UTF-8", kCFDateFormatterNoStyle, ""},
  };
  for (const Case& c : cases) {
    ScopedEnv env({{"LANG", c.locale}, {"TZ", "Europe/Berlin"}});
    EXPECT_EQ(dateText(c.style, value), c.expected) << c.locale << " " << c.style;
  }
  ScopedEnv env({{"LC_TIME", "de_DE.UTF-8"}, {"LANG", "en_US.UTF-8"}});
  EXPECT_EQ(dateText(kCFDateFormatterLongStyle, value), "24. Oktober 2026");
}

TEST(GetDateText, KeepsTheWallClockDateInEveryZone) {
  // Late evening and just after midnight, local time, on both sides of the autumn change.
  struct Case {
    UInt32 value;
    const char* expected;
  } cases[] = {
      {clockValue(2026, 10, 24, 23, 30), "Oct 24, 2026"},  // summer time
      {clockValue(2026, 10, 25, 0, 30), "Oct 25, 2026"},
      {clockValue(2026, 10, 25, 23, 30), "Oct 25, 2026"},  // winter time
      {clockValue(2026, 10, 26, 0, 10), "Oct 26, 2026"},
  };
  for (const char* zone : {"Europe/Berlin", "America/New_York", "Pacific/Auckland", "UTC"}) {
    ScopedEnv env({{"LANG", "en_US.UTF-8"}, {"TZ", zone}});
    for (const Case& c : cases) EXPECT_EQ(dateText(kCFDateFormatterMediumStyle, c.value), c.expected) << zone;
  }
}

TEST(GetDateText, LeavesTheBufferAloneOnFailure) {
  ScopedEnv env(std::map<std::string, std::string>{{"LANG", "en_US.UTF-8"}});
  char small[5] = "keep";
  GetDateText(kCFDateFormatterLongStyle, clockValue(2026, 1, 1, 12, 0), small, sizeof small);
  EXPECT_STREQ(small, "keep");
  EXPECT_EQ(dateText(99, clockValue(2026, 1, 1, 12, 0)), "untouched");  // no such style
}

TEST(TimeZones, DaylightSavingOnBothSidesOfAChange) {
  CFTimeZoneRef berlin = CFTimeZoneCreateWithName(nullptr, CFSTR("Europe/Berlin"), false);
  ASSERT_NE(berlin, nullptr);
  // The spring change: 2026-03-29 01:00 UTC.
  const CFAbsoluteTime change =
      double(QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC).toSecsSinceEpoch()) -
      kCFAbsoluteTimeIntervalSince1970;
  EXPECT_EQ(CFTimeZoneGetSecondsFromGMT(berlin, change - 1), 3600.0);
  EXPECT_FALSE(CFTimeZoneIsDaylightSavingTime(berlin, change - 1));
  EXPECT_EQ(CFTimeZoneGetSecondsFromGMT(berlin, change), 7200.0);
  EXPECT_TRUE(CFTimeZoneIsDaylightSavingTime(berlin, change));
  CFRelease(berlin);
  EXPECT_EQ(CFTimeZoneCreateWithName(nullptr, CFSTR("Mars/Olympus"), false), nullptr);
}

TEST(GetCurrentLocalSeconds, IsTheLocalWallClockInTheDefaultZone) {
  for (const char* zone : {"Europe/Berlin", "America/New_York", "Asia/Kolkata", ":UTC"}) {
    ScopedEnv env(std::map<std::string, std::string>{{"TZ", zone}});
    const QTimeZone qzone(QByteArray(zone).replace(":", ""));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    UInt32 seconds = 0;
    GetCurrentLocalSeconds(&seconds);
    const qint64 expected = now.toSecsSinceEpoch() + qzone.offsetFromUtc(now) + 2082844800LL;
    EXPECT_NEAR(double(seconds), double(UInt32(expected)), 2.0) << zone;
  }
}

}  // namespace
