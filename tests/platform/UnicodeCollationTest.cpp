#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <algorithm>

#include "platform/carbon/UnicodeCollation.h"

namespace {

// Sets the locale variables for one test and puts them back afterwards.
class LocaleScope {
 public:
  LocaleScope(const char* all, const char* collate = nullptr, const char* lang = nullptr) {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) saved_.emplace_back(name, qgetenv(name), qEnvironmentVariableIsSet(name));
    apply("LC_ALL", all);
    apply("LC_COLLATE", collate);
    apply("LANG", lang);
  }
  ~LocaleScope() {
    for (const auto& [name, value, set] : saved_) {
      if (set) qputenv(name, value);
      else qunsetenv(name);
    }
  }

 private:
  static void apply(const char* name, const char* value) {
    if (value) qputenv(name, value);
    else qunsetenv(name);
  }
  std::vector<std::tuple<const char*, QByteArray, bool>> saved_;
};

SInt32 order(UCCollateOptions options, const QString& a, const QString& b) {
  SInt32 result = 99;
  Boolean equivalent = 99;
  const OSStatus status = UCCompareTextDefault(options, reinterpret_cast<const UniChar*>(a.utf16()), a.size(),
                                               reinterpret_cast<const UniChar*>(b.utf16()), b.size(),
                                               &equivalent, &result);
  EXPECT_EQ(status, noErr);
  EXPECT_EQ(bool(equivalent), result == 0) << a.toStdString() << " vs " << b.toStdString();
  return result;
}

constexpr UCCollateOptions kFinder = 0x3800E;

class CollationTest : public ::testing::Test {
  LocaleScope locale_{"en_US.UTF-8"};
};

TEST_F(CollationTest, FinderMaskOrdersNumbersByValueAndIgnoresCaseAndWidth) {
  EXPECT_EQ(kFinder, kUCCollateComposeInsensitiveMask | kUCCollateWidthInsensitiveMask |
                         kUCCollateCaseInsensitiveMask | kUCCollatePunctuationSignificantMask |
                         kUCCollateDigitsOverrideMask | kUCCollateDigitsAsNumberMask);
  EXPECT_EQ(order(kFinder, "word2", "word10"), -1);
  EXPECT_EQ(order(kFinder, "word10", "word2"), 1);
  EXPECT_EQ(order(kFinder, "item9", "item10"), -1);
  EXPECT_EQ(order(kFinder, "file007", "file7"), 0);  // the same number
  EXPECT_EQ(order(kFinder, "apple", "Apple"), 0);
  EXPECT_EQ(order(kFinder, "APPLE", "apple"), 0);
  EXPECT_EQ(order(kFinder, QString::fromUtf16(u"\uFF41\uFF50\uFF50\uFF4C\uFF45"), "apple"), 0);  // full-width
  EXPECT_EQ(order(kFinder, QString::fromUtf16(u"\uFF76"), QString::fromUtf16(u"\u30AB")), 0);  // half-width kana
  EXPECT_EQ(order(kFinder, QString::fromUtf16(u"\u00E9"), QString::fromUtf16(u"e\u0301")), 0);  // composed
}

TEST_F(CollationTest, FinderMaskKeepsDiacriticsAndPunctuation) {
  EXPECT_NE(order(kFinder, "resume", QString::fromUtf16(u"r\u00E9sum\u00E9")), 0);
  EXPECT_EQ(order(kFinder, "resume", QString::fromUtf16(u"r\u00E9sum\u00E9")), -1);
  EXPECT_NE(order(kFinder, "co-op", "coop"), 0);
  EXPECT_NE(order(kFinder, "don't", "dont"), 0);
}

TEST_F(CollationTest, FinderMaskSortsAQuery) {
  QStringList words{"zebra", "Apple", "item10", "item9"};
  std::sort(words.begin(), words.end(), [](const QString& a, const QString& b) { return order(kFinder, a, b) < 0; });
  EXPECT_EQ(words, (QStringList{"Apple", "item9", "item10", "zebra"}));
}

TEST_F(CollationTest, WithoutOptionsEveryDifferenceCounts) {
  EXPECT_NE(order(0, "apple", "Apple"), 0);
  EXPECT_EQ(order(0, "apple", "Apple"), -order(0, "Apple", "apple"));
  EXPECT_NE(order(0, QString::fromUtf16(u"\uFF41"), "a"), 0);
  EXPECT_NE(order(0, QString::fromUtf16(u"\u00E9"), QString::fromUtf16(u"e\u0301")), 0);
  EXPECT_EQ(order(kUCCollateComposeInsensitiveMask, QString::fromUtf16(u"\u00E9"), QString::fromUtf16(u"e\u0301")), 0);
  // Still ordered by the letters first: the composition only breaks ties.
  EXPECT_EQ(order(0, QString::fromUtf16(u"\u00E9a"), QString::fromUtf16(u"e\u0301b")), -1);
  EXPECT_EQ(order(0, "same", "same"), 0);
}

TEST_F(CollationTest, CaseAndDiacriticBitsAreIndependent) {
  const QString accented = QString::fromUtf16(u"R\u00E9sum\u00E9");
  EXPECT_NE(order(kUCCollateDiacritInsensitiveMask, "Resume", "resume"), 0);  // case still counts
  EXPECT_EQ(order(kUCCollateDiacritInsensitiveMask, "Resume", accented), 0);
  EXPECT_NE(order(kUCCollateCaseInsensitiveMask, "resume", accented), 0);
  EXPECT_EQ(order(kUCCollateCaseInsensitiveMask | kUCCollateDiacritInsensitiveMask, "resume", accented), 0);
  // Width alone: full-width equals half-width, but case is kept.
  EXPECT_EQ(order(kUCCollateWidthInsensitiveMask, QString::fromUtf16(u"\uFF21pple"), "Apple"), 0);
  EXPECT_NE(order(kUCCollateWidthInsensitiveMask, "apple", "Apple"), 0);
}

TEST_F(CollationTest, PunctuationIsSkippedUnlessSignificant) {
  EXPECT_EQ(order(0, "co-op", "coop"), 0);
  EXPECT_EQ(order(kUCCollatePunctuationInsensitiveMask, "co-op", "coop"), 0);
  EXPECT_NE(order(kUCCollatePunctuationSignificantMask, "co-op", "coop"), 0);
  EXPECT_EQ(order(kUCCollatePunctuationSignificantMask | kUCCollatePunctuationInsensitiveMask, "co-op", "coop"), 0);
  // Skipped punctuation still leaves the letters to decide.
  EXPECT_EQ(order(0, "co-op", "cop"), -1);
}

TEST_F(CollationTest, DigitRuleNeedsTheOverride) {
  EXPECT_EQ(order(kUCCollateDigitsOverrideMask | kUCCollateDigitsAsNumberMask, "a2", "a10"), -1);
  EXPECT_EQ(order(kUCCollateDigitsOverrideMask, "a2", "a10"), 1);  // digit by digit
  // Without the override the locale decides, and en_US compares digit by digit.
  EXPECT_EQ(order(kUCCollateDigitsAsNumberMask, "a2", "a10"), 1);
}

TEST_F(CollationTest, NullAndEmptyTexts) {
  const UniChar a[] = {'a'};
  SInt32 result = 99;
  EXPECT_EQ(UCCompareTextDefault(kFinder, nullptr, 1, a, 1, nullptr, &result), paramErr);
  EXPECT_EQ(UCCompareTextDefault(kFinder, a, 1, nullptr, 3, nullptr, &result), paramErr);
  EXPECT_EQ(result, 99);  // untouched on error
  EXPECT_EQ(UCCompareTextDefault(kFinder, nullptr, 0, a, 1, nullptr, &result), noErr);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(UCCompareTextDefault(kFinder, nullptr, 0, nullptr, 0, nullptr, &result), noErr);
  EXPECT_EQ(result, 0);
  Boolean equivalent = false;
  EXPECT_EQ(UCCompareTextDefault(kFinder, a, 1, a, 1, &equivalent, nullptr), noErr);
  EXPECT_TRUE(equivalent);
  EXPECT_EQ(UCCompareTextDefault(kFinder, a, 1, a, 1, nullptr, nullptr), noErr);
}

TEST_F(CollationTest, UnpairedSurrogatesDoNotBreakTheComparison) {
  const UniChar broken[] = {'a', 0xD800, 'b'};
  const UniChar plain[] = {'a', 'b'};
  SInt32 result = 99;
  EXPECT_EQ(UCCompareTextDefault(0, broken, 3, plain, 2, nullptr, &result), noErr);
  EXPECT_NE(result, 99);
  EXPECT_EQ(UCCompareTextDefault(0, broken, 3, broken, 3, nullptr, &result), noErr);
  EXPECT_EQ(result, 0);
}

TEST(CollationLocaleTest, LocaleComesFromTheEnvironmentInOrder) {
  {
    LocaleScope scope("sv_SE.UTF-8@euro", "de_DE.UTF-8", "fr_FR.UTF-8");
    EXPECT_EQ(UCCollationLocale(), "sv_SE");
  }
  {
    LocaleScope scope(nullptr, "de_DE.UTF-8", "fr_FR.UTF-8");
    EXPECT_EQ(UCCollationLocale(), "de_DE");
  }
  {
    LocaleScope scope("", nullptr, "fr_FR.UTF-8");  // empty counts as unset
    EXPECT_EQ(UCCollationLocale(), "fr_FR");
  }
  for (const char* root : {"C", "POSIX", "C.UTF-8"}) {
    LocaleScope scope(root);
    EXPECT_EQ(UCCollationLocale(), "") << root;
  }
  {
    LocaleScope scope(nullptr);
    EXPECT_EQ(UCCollationLocale(), "");
  }
}

TEST(CollationLocaleTest, OrderFollowsTheLocaleWhenItChanges) {
  const QString oel = QString::fromUtf16(u"\u00F6l");
  {
    LocaleScope scope("en_US.UTF-8");
    EXPECT_EQ(order(kFinder, oel, "zebra"), -1);  // o with a mark sorts with o
  }
  {
    LocaleScope scope("sv_SE.UTF-8");
    EXPECT_EQ(order(kFinder, oel, "zebra"), 1);  // a letter of its own after z
  }
}

}  // namespace
