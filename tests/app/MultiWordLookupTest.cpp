#include <gtest/gtest.h>

#include "app/core/MultiWordLookup.h"

namespace {

QStringList words(const char* utf8) { return wordsOfQuery(QString::fromUtf8(utf8)); }

TEST(WordsOfQuery, ApostrophesHyphensAndPunctuationSeparate) {
  EXPECT_EQ(words("Don't well-known"), (QStringList{"Don", "t", "well", "known"}));
  EXPECT_EQ(words("the cat the"), (QStringList{"the", "cat", "the"}));
  EXPECT_EQ(words("\u201cQuoted,\u201d (bracketed) end. \u00bfQu\u00e9?"),
            (QStringList{"Quoted", "bracketed", "end", "Qu\u00e9"}));
  EXPECT_EQ(words("a_b a\u2014b"), (QStringList{"a", "b", "a", "b"}));  // Pc and Pd
}

TEST(WordsOfQuery, EveryKindOfSpaceAndLineBreakSeparates) {
  EXPECT_EQ(words("one\ttwo\u00a0three\u2003four\nfive\r\nsix\u0085seven\u2028eight\u2029nine\u000bten\u000cend"),
            (QStringList{"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "end"}));
}

TEST(WordsOfQuery, SymbolsDigitsAndMarksStayInsideWords) {
  EXPECT_EQ(words("$5 a+b=c re\u0301sume\u0301 item10"),
            (QStringList{"$5", "a+b=c", "re\u0301sume\u0301", "item10"}));
  // A character outside the basic plane is one code point, not two separators.
  EXPECT_EQ(words("x\U0001F600y z"), (QStringList{"x\U0001F600y", "z"}));
}

TEST(WordsOfQuery, SeparatorsOnlyOrEmptyGiveNoWords) {
  EXPECT_TRUE(words("").isEmpty());
  EXPECT_TRUE(words(" , ; - ").isEmpty());
  EXPECT_EQ(words(",,word,,"), QStringList{"word"});
}

TEST(ArrayContainsStringIgnoringCase, IgnoresLetterCaseOnly) {
  const QStringList recent{"cat", "Dog house"};
  EXPECT_TRUE(ArrayContainsStringIgnoringCase(recent, "Cat"));
  EXPECT_TRUE(ArrayContainsStringIgnoringCase(recent, "DOG HOUSE"));
  EXPECT_FALSE(ArrayContainsStringIgnoringCase(recent, "cat dog"));
  EXPECT_FALSE(ArrayContainsStringIgnoringCase({}, "cat"));
  // Diacritics are not folded.
  EXPECT_FALSE(ArrayContainsStringIgnoringCase({QString::fromUtf8("r\u00e9sum\u00e9")}, "resume"));
}

TEST(SortStringsLikeFinder, NumbersByValueCaseIgnored) {
  QStringList list{"zebra", "Apple", "item10", "item9"};
  SortStringsLikeFinder(list);
  EXPECT_EQ(list, (QStringList{"Apple", "item9", "item10", "zebra"}));

  QStringList numbers{"word10", "word2", "word1"};
  SortStringsLikeFinder(numbers);
  EXPECT_EQ(numbers, (QStringList{"word1", "word2", "word10"}));
}

TEST(CompareStringsLikeFinder, CaseEqualDiacriticsSignificant) {
  EXPECT_EQ(CompareStringsLikeFinder("apple", "Apple", nullptr), kCFCompareEqualTo);
  EXPECT_NE(CompareStringsLikeFinder("resume", QString::fromUtf8("r\u00e9sum\u00e9"), nullptr),
            kCFCompareEqualTo);
  EXPECT_EQ(CompareStringsLikeFinder("word2", "word10", nullptr), kCFCompareLessThan);
  EXPECT_EQ(CompareStringsLikeFinder("word10", "word2", nullptr), kCFCompareGreaterThan);
  // Long words are collated whole, past any fixed buffer size.
  const QString longA = QString(2000, 'a') + "b", longB = QString(2000, 'a') + "c";
  EXPECT_EQ(CompareStringsLikeFinder(longA, longB, nullptr), kCFCompareLessThan);
}

TEST(OutputBlock, FoundDefinitionGetsOneOrTwoNewlines) {
  EXPECT_EQ(outputBlockText("cat", QString("a pet")), "cat:\na pet\n\n");
  EXPECT_EQ(outputBlockText("cat", QString("a pet\n")), "cat:\na pet\n\n");
  const QList<BlockPiece> pieces = outputBlock("cat", QString("a pet"));
  ASSERT_EQ(pieces.size(), 5);
  EXPECT_EQ(pieces[0].style, BlockPiece::Headword);
  EXPECT_EQ(pieces[1].style, BlockPiece::Plain);
  EXPECT_EQ(pieces[2].style, BlockPiece::Definition);
  EXPECT_EQ(pieces[3].style, BlockPiece::Plain);
}

TEST(OutputBlock, MissingDefinitionIsAllPlain) {
  EXPECT_EQ(outputBlockText("qzx", QVariant()), "qzx:\nCould not retrieve definition\n\n");
  for (const BlockPiece& piece : outputBlock("qzx", QVariant())) EXPECT_EQ(piece.style, BlockPiece::Plain);
  // An empty definition is still a definition.
  EXPECT_EQ(outputBlockText("x", QString("")), "x:\n\n\n");
}

}  // namespace
