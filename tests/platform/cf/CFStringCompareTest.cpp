#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFStringCompareTest = CFTest;

CFComparisonResult compare(const QString& a, const QString& b, CFOptionFlags options) {
  return CFStringCompare(str(a), str(b), options);
}

const QString kResume = QStringLiteral("resume");
const QString kResumeAccented = QString::fromUtf8("r\xC3\xA9sum\xC3\xA9");      // composed
const QString kResumeDecomposed = QString::fromUtf8("re\xCC\x81sume\xCC\x81");  // e + U+0301

TEST_F(CFStringCompareTest, LiteralComparisonIsByCodeUnit) {
  EXPECT_EQ(compare("apple", "apple", 0), kCFCompareEqualTo);
  EXPECT_EQ(compare("Apple", "apple", 0), kCFCompareLessThan);  // 'A' < 'a'
  EXPECT_EQ(compare("b", "a", 0), kCFCompareGreaterThan);
  EXPECT_EQ(compare("ab", "abc", 0), kCFCompareLessThan);
  EXPECT_EQ(compare(kResumeAccented, kResumeDecomposed, 0), kCFCompareGreaterThan);
}

TEST_F(CFStringCompareTest, CaseInsensitiveFoldsLetterCaseOnly) {
  EXPECT_EQ(compare("CAT", "cat", kCFCompareCaseInsensitive), kCFCompareEqualTo);
  EXPECT_EQ(compare("a", "B", kCFCompareCaseInsensitive), kCFCompareLessThan);
  EXPECT_EQ(compare(QString::fromUtf8("\xC3\x89T\xC3\x89"), QString::fromUtf8("\xC3\xA9t\xC3\xA9"),
                    kCFCompareCaseInsensitive),
            kCFCompareEqualTo);
  EXPECT_EQ(compare(QString::fromUtf8("Stra\xC3\x9F"
                                      "e"),
                    "STRASSE", kCFCompareCaseInsensitive),
            kCFCompareEqualTo);
  // Diacritics, canonical equivalents and widths stay distinct.
  EXPECT_NE(compare(kResume, kResumeAccented, kCFCompareCaseInsensitive), kCFCompareEqualTo);
  EXPECT_NE(compare(kResumeAccented, kResumeDecomposed, kCFCompareCaseInsensitive),
            kCFCompareEqualTo);
  EXPECT_NE(compare(QString::fromUtf8("\xEF\xBC\xA1"), "a", kCFCompareCaseInsensitive),
            kCFCompareEqualTo);  // full-width A
}

TEST_F(CFStringCompareTest, FoldingOptionsEachDoTheirOwnPart) {
  EXPECT_EQ(compare(kResumeAccented, kResumeDecomposed, kCFCompareNonliteral), kCFCompareEqualTo);
  EXPECT_EQ(compare(kResume, kResumeAccented, kCFCompareDiacriticInsensitive), kCFCompareEqualTo);
  EXPECT_EQ(compare(kResume, kResumeDecomposed, kCFCompareDiacriticInsensitive), kCFCompareEqualTo);
  EXPECT_NE(compare("Resume", kResumeAccented, kCFCompareDiacriticInsensitive), kCFCompareEqualTo);
  EXPECT_EQ(compare("Resume", kResumeAccented,
                    kCFCompareDiacriticInsensitive | kCFCompareCaseInsensitive),
            kCFCompareEqualTo);
  EXPECT_EQ(
      compare(QString::fromUtf8("\xEF\xBC\xA1\xEF\xBC\xA2"), "AB", kCFCompareWidthInsensitive),
      kCFCompareEqualTo);
  // Combining marks in another order are canonically equivalent.
  EXPECT_EQ(compare(QString::fromUtf8("a\xCC\x81\xCC\xA3"), QString::fromUtf8("a\xCC\xA3\xCC\x81"),
                    kCFCompareNonliteral),
            kCFCompareEqualTo);
}

TEST_F(CFStringCompareTest, NumericallyComparesRunsOfDigitsByValue) {
  EXPECT_EQ(compare("item9", "item10", 0), kCFCompareGreaterThan);
  EXPECT_EQ(compare("item9", "item10", kCFCompareNumerically), kCFCompareLessThan);
  EXPECT_EQ(compare("v2.10", "v2.9", kCFCompareNumerically), kCFCompareGreaterThan);
  EXPECT_EQ(compare("a007", "a7", kCFCompareNumerically), kCFCompareEqualTo);
  EXPECT_EQ(compare("x100y", "x100z", kCFCompareNumerically), kCFCompareLessThan);
  EXPECT_EQ(compare("12345678901234567890", "9", kCFCompareNumerically), kCFCompareGreaterThan);
}

TEST_F(CFStringCompareTest, LocalizedUsesTheCollationOrder) {
  // In every collation letters ignore case at the first level, unlike the code-unit order.
  EXPECT_EQ(compare("apple", "Banana", 0), kCFCompareGreaterThan);
  EXPECT_EQ(compare("apple", "Banana", kCFCompareLocalized), kCFCompareLessThan);
  EXPECT_EQ(compare("file10", "File9",
                    kCFCompareLocalized | kCFCompareNumerically | kCFCompareCaseInsensitive),
            kCFCompareGreaterThan);
}

TEST_F(CFStringCompareTest, CompareWithOptionsUsesARangeOfTheFirstString) {
  EXPECT_EQ(CFStringCompareWithOptions(CFSTR("xxHELLOxx"), CFSTR("hello"), CFRangeMake(2, 5),
                                       kCFCompareCaseInsensitive),
            kCFCompareEqualTo);
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
