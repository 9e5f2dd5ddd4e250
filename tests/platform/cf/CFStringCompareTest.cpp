// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFStringCompareTest = CFTest;

CFComparisonResult compare(const QString& a, const QString& b, CFOptionFlags options) {
  return CFStringCompare(str(a), str(b), options);
}

const QString kResume = QStringLiteral("resume");
const QString kResumeAccented = QString::fromUtf8("r\xC3\xA9sum\xC3\xA9");      // composed
const QString kResumeDecomposed = QString::fromUtf8("re\xCC\x81sume\xCC\x81");  // e + U+0301

TEST_F(CFStringCompareTest, EachOptionFoldsOnlyItsOwnDifferences) {
  const QString streetSharp = QString::fromUtf8("Stra\xC3\x9F" "e");
  const QString fullWidthA = QString::fromUtf8("\xEF\xBC\xA1");
  const CFOptionFlags caseless = kCFCompareCaseInsensitive, numeric = kCFCompareNumerically;
  const struct {
    QString a, b;
    CFOptionFlags options;
    CFComparisonResult expected;
  } cases[] = {
      // Literal: by code unit.
      {"apple", "apple", 0, kCFCompareEqualTo},
      {"Apple", "apple", 0, kCFCompareLessThan},  // 'A' < 'a'
      {"b", "a", 0, kCFCompareGreaterThan},
      {"ab", "abc", 0, kCFCompareLessThan},
      {kResumeAccented, kResumeDecomposed, 0, kCFCompareGreaterThan},
      // Case-insensitive folds letter case only: diacritics, canonical equivalents and widths
      // stay distinct.
      {"CAT", "cat", caseless, kCFCompareEqualTo},
      {"a", "B", caseless, kCFCompareLessThan},
      {QString::fromUtf8("\xC3\x89T\xC3\x89"), QString::fromUtf8("\xC3\xA9t\xC3\xA9"), caseless,
       kCFCompareEqualTo},
      {streetSharp, "STRASSE", caseless, kCFCompareEqualTo},
      {kResume, kResumeAccented, caseless, kCFCompareLessThan},
      {kResumeAccented, kResumeDecomposed, caseless, kCFCompareGreaterThan},
      {fullWidthA, "a", caseless, kCFCompareGreaterThan},
      // The other folding options each do their own part.
      {kResumeAccented, kResumeDecomposed, kCFCompareNonliteral, kCFCompareEqualTo},
      {kResume, kResumeAccented, kCFCompareDiacriticInsensitive, kCFCompareEqualTo},
      {kResume, kResumeDecomposed, kCFCompareDiacriticInsensitive, kCFCompareEqualTo},
      {"Resume", kResumeAccented, kCFCompareDiacriticInsensitive, kCFCompareLessThan},
      {"Resume", kResumeAccented, kCFCompareDiacriticInsensitive | caseless, kCFCompareEqualTo},
      {fullWidthA + QString::fromUtf8("\xEF\xBC\xA2"), "AB", kCFCompareWidthInsensitive,
       kCFCompareEqualTo},
      // Combining marks in another order are canonically equivalent.
      {QString::fromUtf8("a\xCC\x81\xCC\xA3"), QString::fromUtf8("a\xCC\xA3\xCC\x81"),
       kCFCompareNonliteral, kCFCompareEqualTo},
      // Numerically compares runs of digits by value.
      {"item9", "item10", 0, kCFCompareGreaterThan},
      {"item9", "item10", numeric, kCFCompareLessThan},
      {"v2.10", "v2.9", numeric, kCFCompareGreaterThan},
      {"a007", "a7", numeric, kCFCompareEqualTo},
      {"x100y", "x100z", numeric, kCFCompareLessThan},
      {"12345678901234567890", "9", numeric, kCFCompareGreaterThan},
      // In every collation letters ignore case at the first level, unlike the code-unit order.
      {"apple", "Banana", 0, kCFCompareGreaterThan},
      {"apple", "Banana", kCFCompareLocalized, kCFCompareLessThan},
      {"file10", "File9", kCFCompareLocalized | numeric | caseless, kCFCompareGreaterThan},
  };
  for (const auto& c : cases)
    EXPECT_EQ(compare(c.a, c.b, c.options), c.expected)
        << c.a.toStdString() << " vs " << c.b.toStdString() << " options " << c.options;
  EXPECT_EQ(CFStringCompareWithOptions(CFSTR("xxHELLOxx"), CFSTR("hello"), CFRangeMake(2, 5),
                                       caseless),
            kCFCompareEqualTo);  // only the range of the first string
}

TEST_F(CFStringCompareTest, FindForwardBackwardAnchored) {
  auto text = str("name.tar.gz.tar");
  CFRange r = CFStringFind(text, CFSTR(".tar"), 0);
  EXPECT_EQ(r.location, 4);
  EXPECT_EQ(r.length, 4);
  r = CFStringFind(text, CFSTR(".tar"), kCFCompareBackwards);
  EXPECT_EQ(r.location, 11);
  r = CFStringFind(text, CFSTR("name"), kCFCompareAnchored);
  EXPECT_EQ(r.location, 0);
  r = CFStringFind(text, CFSTR("tar"), kCFCompareAnchored);
  EXPECT_EQ(r.location, kCFNotFound);
  r = CFStringFind(text, CFSTR("tar"), kCFCompareAnchored | kCFCompareBackwards);
  EXPECT_EQ(r.location, 12);
  r = CFStringFind(text, CFSTR(".TAR"), kCFCompareBackwards | kCFCompareCaseInsensitive);
  EXPECT_EQ(r.location, 11);
  EXPECT_EQ(r.length, 4);
  r = CFStringFind(text, CFSTR(""), 0);
  EXPECT_EQ(r.location, kCFNotFound);
  EXPECT_EQ(r.length, 0);
}

TEST_F(CFStringCompareTest, FoldedMatchesMapBackToWholeCharacters) {
  // "ß" folds to "ss": the match covers the one original character.
  auto street =
      str(QString::fromUtf8("Stra\xC3\x9F"
                            "e"));
  CFRange r = CFStringFind(street, CFSTR("SS"), kCFCompareCaseInsensitive);
  EXPECT_EQ(r.location, 4);
  EXPECT_EQ(r.length, 1);
  // Half of a folded character is no match.
  EXPECT_EQ(CFStringFind(street, CFSTR("se"), kCFCompareCaseInsensitive).location, kCFNotFound);
  // A match ignoring diacritics takes in the combining mark after the letter.
  auto cafe = str(QString::fromUtf8("cafe\xCC\x81!"));
  r = CFStringFind(cafe, CFSTR("CAFE"), kCFCompareCaseInsensitive | kCFCompareDiacriticInsensitive);
  EXPECT_EQ(r.location, 0);
  EXPECT_EQ(r.length, 5);
  CFRange found;
  EXPECT_TRUE(CFStringFindWithOptions(cafe, CFSTR("E"), CFRangeMake(1, 4),
                                      kCFCompareCaseInsensitive | kCFCompareDiacriticInsensitive,
                                      &found));
  EXPECT_EQ(found.location, 3);
  EXPECT_FALSE(CFStringFindWithOptions(cafe, CFSTR("c"), CFRangeMake(1, 4), 0, &found));
  EXPECT_FALSE(CFStringFindWithOptions(cafe, CFSTR("c"), CFRangeMake(3, 9), 0, &found));
}

TEST_F(CFStringCompareTest, PrefixAndSuffix) {
  EXPECT_TRUE(CFStringHasPrefix(CFSTR("Vocabulon.app"), CFSTR("Voca")));
  EXPECT_FALSE(CFStringHasPrefix(CFSTR("Vocabulon.app"), CFSTR("voca")));
  EXPECT_TRUE(CFStringHasSuffix(CFSTR("Vocabulon.app"), CFSTR(".app")));
  EXPECT_FALSE(CFStringHasSuffix(CFSTR("Vocabulon.app"), CFSTR("")));
}

}  // namespace
