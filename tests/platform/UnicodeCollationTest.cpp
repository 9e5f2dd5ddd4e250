// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <algorithm>

#include "platform/carbon/UnicodeCollation.h"

namespace {

// Points LC_ALL (and clears the other locale variables) for one scope.
class LocaleScope {
 public:
  explicit LocaleScope(const char* all, const char* collate = nullptr, const char* lang = nullptr) {
    const char* values[] = {all, collate, lang};
    for (int i = 0; i < 3; ++i) {
      saved_[i] = {qEnvironmentVariableIsSet(kNames[i]), qgetenv(kNames[i])};
      if (values[i]) qputenv(kNames[i], values[i]);
      else qunsetenv(kNames[i]);
    }
  }
  ~LocaleScope() {
    for (int i = 0; i < 3; ++i) {
      if (saved_[i].first) qputenv(kNames[i], saved_[i].second);
      else qunsetenv(kNames[i]);
    }
  }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_COLLATE", "LANG"};
  std::pair<bool, QByteArray> saved_[3];
};

SInt32 order(UCCollateOptions options, const QString& a, const QString& b) {
  SInt32 result = 99;
  Boolean equivalent = 99;
  EXPECT_EQ(UCCompareTextDefault(options, reinterpret_cast<const UniChar*>(a.utf16()), a.size(),
                                 reinterpret_cast<const UniChar*>(b.utf16()), b.size(), &equivalent, &result),
            noErr);
  EXPECT_EQ(bool(equivalent), result == 0);
  return result;
}

QString u(const char16_t* text) { return QString::fromUtf16(text); }

constexpr UCCollateOptions kFinder = 0x3800E;

class CollationTest : public ::testing::Test {
  LocaleScope locale_{"en_US.UTF-8"};
};

TEST_F(CollationTest, FinderMask) {
  EXPECT_EQ(order(kFinder, "word2", "word10"), -1);
  EXPECT_EQ(order(kFinder, "word10", "word2"), 1);
  EXPECT_EQ(order(kFinder, "apple", "Apple"), 0);
  EXPECT_EQ(order(kFinder, "resume", u(u"r\u00E9sum\u00E9")), -1);
  EXPECT_EQ(order(kFinder, u(u"\uFF41\uFF50\uFF50\uFF4C\uFF45"), "apple"), 0);  // full-width
  EXPECT_EQ(order(kFinder, u(u"\uFF76"), u(u"\u30AB")), 0);                      // half-width kana
  EXPECT_EQ(order(kFinder, u(u"\u00E9"), u(u"e\u0301")), 0);                     // composed
  EXPECT_NE(order(kFinder, "co-op", "coop"), 0);                                 // punctuation counts

  QStringList words{"zebra", "Apple", "item10", "item9"};
  std::sort(words.begin(), words.end(), [](const QString& a, const QString& b) { return order(kFinder, a, b) < 0; });
  EXPECT_EQ(words, (QStringList{"Apple", "item9", "item10", "zebra"}));
}

TEST_F(CollationTest, EachInsensitivityBitAlone) {
  EXPECT_NE(order(0, "apple", "Apple"), 0);
  EXPECT_NE(order(0, u(u"\uFF41"), "a"), 0);
  EXPECT_NE(order(0, u(u"\u00E9"), u(u"e\u0301")), 0);  // composition counts without 0x2...
  EXPECT_EQ(order(0, u(u"\u00E9a"), u(u"e\u0301b")), -1);  // ...but only to break ties
  EXPECT_EQ(order(kUCCollateComposeInsensitiveMask, u(u"\u00E9"), u(u"e\u0301")), 0);

  const QString accented = u(u"R\u00E9sum\u00E9");
  EXPECT_EQ(order(kUCCollateDiacritInsensitiveMask, "Resume", accented), 0);
  EXPECT_NE(order(kUCCollateDiacritInsensitiveMask, "resume", accented), 0);  // case still counts
  EXPECT_NE(order(kUCCollateCaseInsensitiveMask, "resume", accented), 0);
  EXPECT_EQ(order(kUCCollateCaseInsensitiveMask | kUCCollateDiacritInsensitiveMask, "resume", accented), 0);
  EXPECT_EQ(order(kUCCollateWidthInsensitiveMask, u(u"\uFF21pple"), "Apple"), 0);
  EXPECT_NE(order(kUCCollateWidthInsensitiveMask, "apple", "Apple"), 0);
}

TEST_F(CollationTest, PunctuationAndDigits) {
  EXPECT_EQ(order(0, "co-op", "coop"), 0);  // skipped unless significant
  EXPECT_EQ(order(0, "co-op", "cop"), -1);
  EXPECT_NE(order(kUCCollatePunctuationSignificantMask, "co-op", "coop"), 0);
  EXPECT_EQ(order(kUCCollatePunctuationSignificantMask | kUCCollatePunctuationInsensitiveMask, "co-op", "coop"), 0);

  EXPECT_EQ(order(kUCCollateDigitsOverrideMask | kUCCollateDigitsAsNumberMask, "a2", "a10"), -1);
  EXPECT_EQ(order(kUCCollateDigitsOverrideMask, "a2", "a10"), 1);
  EXPECT_EQ(order(kUCCollateDigitsAsNumberMask, "a2", "a10"), 1);  // en_US decides without the override
}

TEST_F(CollationTest, NullEmptyAndBrokenTexts) {
  const UniChar a[] = {'a'}, broken[] = {'a', 0xD800, 'b'};
  SInt32 result = 99;
  EXPECT_EQ(UCCompareTextDefault(kFinder, nullptr, 1, a, 1, nullptr, &result), paramErr);
  EXPECT_EQ(UCCompareTextDefault(kFinder, a, 1, nullptr, 3, nullptr, &result), paramErr);
  EXPECT_EQ(result, 99);
  EXPECT_EQ(UCCompareTextDefault(kFinder, nullptr, 0, a, 1, nullptr, &result), noErr);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(UCCompareTextDefault(kFinder, a, 1, a, 1, nullptr, nullptr), noErr);
  EXPECT_EQ(UCCompareTextDefault(0, broken, 3, broken, 3, nullptr, &result), noErr);
  EXPECT_EQ(result, 0);
}

std::string localeFor(const char* all, const char* collate, const char* lang) {
  LocaleScope scope(all, collate, lang);
  return UCCollationLocale();
}

TEST(CollationLocaleTest, LocaleComesFromTheEnvironment) {
  EXPECT_EQ(localeFor("sv_SE.UTF-8@euro", "de_DE", "fr_FR"), "sv_SE");
  EXPECT_EQ(localeFor(nullptr, "de_DE.UTF-8", "fr_FR"), "de_DE");
  EXPECT_EQ(localeFor("", nullptr, "fr_FR.UTF-8"), "fr_FR");  // empty counts as unset
  EXPECT_EQ(localeFor("C.UTF-8", nullptr, nullptr), "");
  EXPECT_EQ(localeFor("POSIX", nullptr, nullptr), "");
  EXPECT_EQ(localeFor(nullptr, nullptr, nullptr), "");

  // The order follows a change of locale: o-umlaut sorts with o in English, after z in Swedish.
  LocaleScope english("en_US.UTF-8");
  EXPECT_EQ(order(kFinder, u(u"\u00F6l"), "zebra"), -1);
  LocaleScope swedish("sv_SE.UTF-8");
  EXPECT_EQ(order(kFinder, u(u"\u00F6l"), "zebra"), 1);
}

}  // namespace
