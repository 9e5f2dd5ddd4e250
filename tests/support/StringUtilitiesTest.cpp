// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/carbon/Memory.h"
#include "support/StringUtilities.h"

namespace {

std::string repeated(char c, std::size_t n) { return std::string(n, c); }

std::vector<std::string> items(const BoundedStringList& list) {
  std::vector<std::string> out;
  list.forEach([&](const BoundedString& s) { out.emplace_back(s.c_str()); });
  return out;
}

TEST(BoundedString, AssigningAndAppendingCutAt255Bytes) {
  struct Case {
    std::string start, appended;
    std::size_t length;
  } cases[] = {
      {"", repeated('a', 300), 255},
      {repeated('a', 254), "xyz", 255},
      {repeated('a', 255), "anything", 255},
      {"abc", "def", 6},
  };
  for (const Case& c : cases) {
    BoundedString s(c.start.c_str());
    s.Append(c.appended.c_str());
    EXPECT_EQ(s.Length(), c.length) << c.start.size() << "+" << c.appended.size();
    EXPECT_EQ(std::string(s.c_str()), (c.start + c.appended).substr(0, c.length));
  }
  BoundedString s("keep");
  s.Append(nullptr);
  EXPECT_STREQ(s.c_str(), "keep");
  s.Assign(nullptr);
  EXPECT_STREQ(s.c_str(), "");
}

TEST(BoundedString, AppendCharNeedsTwoFreeBytes) {
  for (std::size_t start : {252u, 253u, 254u, 255u}) {
    BoundedString s(repeated('a', start).c_str());
    s.AppendChar('/');
    EXPECT_EQ(s.Length(), start <= 253 ? start + 1 : start) << start;
  }
}

TEST(BoundedString, ReplaceExtension) {
  const char* cases[][2] = {{"report.doc", "report.txt"},
                            {"archive.tar.gz", "archive.tar.txt"},
                            {"README", "README.txt"},
                            {"dir.d/file", "dir.txt"}};  // the last dot of the whole text
  for (auto& c : cases) {
    BoundedString s(c[0]);
    s.ReplaceExtension("txt");
    EXPECT_STREQ(s.c_str(), c[1]) << c[0];
  }
}

TEST(BoundedString, InPlaceEdits) {
  BoundedString s(" a\tb\r c\n");
  s.StripSpaceAndControl();
  EXPECT_STREQ(s.c_str(), "abc");
  s.Assign("MiXeD.TXT");
  s.ToLower();
  EXPECT_STREQ(s.c_str(), "mixed.txt");
  s.Reverse();
  EXPECT_STREQ(s.c_str(), "txt.dexim");
}

TEST(BoundedString, ConvertsPascalHandlesAndStrings) {
  BoundedString s;
  const unsigned char pascal[] = "\x05hello";
  s.AssignPascal(pascal);
  EXPECT_STREQ(s.c_str(), "hello");
  s.AppendPascal(reinterpret_cast<const unsigned char*>("\x03!!!"));
  EXPECT_STREQ(s.c_str(), "hello!!!");

  const std::string big = repeated('h', 400);
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand(big.data(), &h, long(big.size())), noErr);
  s.AssignHandle(h);
  EXPECT_EQ(s.Length(), 255u);
  DisposeHandle(h);
  s.AssignHandle(nullptr);
  EXPECT_STREQ(s.c_str(), "");

  // A string that does not fit is cut before the character that would pass 255 bytes, so the
  // text stays valid UTF-8 ("é" is two bytes: 254 + 2 does not fit).
  CFStringRef text = CFStringCreateWithCString(nullptr, (repeated('a', 254) + "é").c_str(),
                                               kCFStringEncodingUTF8);
  s.AssignCFString(text);
  EXPECT_EQ(s.Length(), 254u);
  s.Assign("ab");
  s.AppendCFString(text);
  EXPECT_EQ(s.Length(), 255u);
  CFRelease(text);
  s.AssignCFString(CFSTR("Grüße"));
  EXPECT_STREQ(s.c_str(), "Grüße");
  s.AssignNumber(-45);
  s.AppendNumber(INT_MIN);
  EXPECT_STREQ(s.c_str(), "-45-2147483648");
}

TEST(BoundedString, HeapObjectsComeFromThePoolAndAreReused) {
  auto& pool = ObjectPool<BoundedString>::shared();
  BoundedString* first = new BoundedString("x");
  EXPECT_GE(pool.blockCount(), 1u);
  const std::size_t freeBefore = pool.freeCount();
  delete first;
  EXPECT_EQ(pool.freeCount(), freeBefore + 1);
  BoundedString* again = new BoundedString;
  EXPECT_EQ(again, first);  // the most recently released is handed out first
  EXPECT_STREQ(again->c_str(), "");
  delete again;
}

TEST(StringFunctions, SearchAndCompare) {
  const char* hay = "Hello World";
  EXPECT_EQ(FindIgnoringCase(hay, "WORLD"), hay + 6);
  EXPECT_EQ(FindIgnoringCase(hay, ""), hay);
  EXPECT_EQ(FindIgnoringCase(hay, "worlds"), nullptr);
  EXPECT_EQ(CompareIgnoringCase("abcX", "ABCy", 3), 0);
  EXPECT_NE(CompareIgnoringCase("abcX", "ABCy", 4), 0);
  EXPECT_EQ(CompareIgnoringCase("ab", "AB", 10), 0);

  struct Case {
    const char *text, *affix;
    bool ignoring, starts, ends;
  } cases[] = {
      {"Photo.JPG", ".jpg", true, false, true},  {"Photo.JPG", ".jpg", false, false, false},
      {"Photo.JPG", "photo", true, true, false}, {"Photo.JPG", "photo", false, false, false},
      {"a", "abc", true, false, false},          {"abc", "", false, true, true},
      {nullptr, "", true, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bool(StartsWith(c.text, c.affix, c.ignoring)), c.starts) << c.affix;
    EXPECT_EQ(bool(EndsWith(c.text, c.affix, c.ignoring)), c.ends) << c.affix;
  }
  EXPECT_TRUE(EndsWith("Photo.JPG", ".jpg"));
  EXPECT_TRUE(StartsWith("Photo.JPG", "PHOTO"));
}

TEST(StringFunctions, AppendLineStaysInsideItsBuffer) {
  char buffer[16] = "ab";
  EXPECT_TRUE(AppendLine("cd", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "abcd\n");
  // 5 bytes used: 9 more bytes of text, the line feed and the terminator fit.
  std::memset(buffer + 6, 'Z', sizeof buffer - 6);  // the tail must not be read as text
  EXPECT_FALSE(AppendLine("0123456789ABCDEF", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "abcd\n012345678\n");
  EXPECT_FALSE(AppendLine("x", buffer, sizeof buffer));  // full: left alone
  EXPECT_STREQ(buffer, "abcd\n012345678\n");
}

TEST(StringFunctions, WriteLineWritesLongLinesWhole) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/lines.txt";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(QFile::encodeName(path).constData()), &ref,
                          nullptr),
            noErr);
  FSIORefNum fork = 0;
  ASSERT_EQ(FSOpenFork(&ref, 0, nullptr, fsRdWrPerm, &fork), noErr);
  const std::string longLine = repeated('L', 300);
  EXPECT_EQ(WriteLine("first", fork), noErr);
  EXPECT_EQ(WriteLine(longLine.c_str(), fork), noErr);
  EXPECT_EQ(FSCloseFork(fork), noErr);
  EXPECT_EQ(WriteLine("closed", fork), rfNumErr);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("first\n") + QByteArray(longLine.c_str()) + "\n");
}

TEST(BoundedStringList, SplitAndJoin) {
  BoundedStringList list;
  Split(" a,,b ;c", ", ;", list);
  EXPECT_EQ(items(list), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(list.count(), 3);
  BoundedString joined("old");
  Join(joined, '/', list);
  EXPECT_STREQ(joined.c_str(), "a/b/c");

  Split(nullptr, ",", list);
  EXPECT_EQ(list.count(), 0);
  Join(joined, '/', list);
  EXPECT_STREQ(joined.c_str(), "");

  // A separator is dropped once the text has reached 254 bytes.
  list.AppendItem(repeated('x', 254).c_str());
  list.AppendItem("y");
  Join(joined, '/', list);
  EXPECT_EQ(std::string(joined.c_str()), repeated('x', 254) + "y");
}

TEST(MatchScores, Scorers) {
  BoundedStringList tokens;
  Split("one three", " ", tokens);
  Float32 score = -1;
  MatchTokensInOrder("one two three", tokens, &score);
  EXPECT_EQ(score, 1.0f);
  tokens.reverse();
  MatchTokensInOrder("one two three", tokens, &score);
  EXPECT_EQ(score, 0.0f);
  Split("ONE", " ", tokens);
  MatchTokensInOrder("one", tokens, &score);
  EXPECT_EQ(score, 0.0f);
  MatchTokensInOrderIgnoringCase("one", tokens, &score);
  EXPECT_EQ(score, 1.0f);
  tokens.clear();
  MatchTokensInOrder("anything", tokens, &score);
  EXPECT_EQ(score, 1.0f);

  using Scorer = void (*)(const BoundedString&, const char*, Float32*);
  struct Case {
    Scorer scorer;
    const char *text, *pattern;
    Float32 expected;
  } cases[] = {
      {MatchEqual, "abc", "abc", 1}, {MatchEqual, "abc", "ABC", 0}, {MatchEqual, "", "", 0},
      {MatchEqualIgnoringCase, "abc", "ABC", 1}, {MatchEqualIgnoringCase, "abc", "ABCD", 0},
      {MatchEqualIgnoringCase, "", "", 0},
      {MatchContains, "a needle here", "needle", 1}, {MatchContains, "a NEEDLE", "needle", 0},
      {MatchContains, "text", "", 0}, {MatchContainsIgnoringCase, "a NEEDLE", "needle", 1},
      {MatchSimilarity, "abc", "axc", 2.0f * 2 / 6}, {MatchSimilarity, "abc", "abc", 1},
      {MatchSimilarity, "abc", "xyz", 0}, {MatchSimilarity, "", "", 0},
      {MatchSimilarity, "abc", "", 0}, {MatchSimilarity, "ABC", "abc", 0},
      {MatchSimilarityIgnoringCase, "ABC", "abc", 1},
      {MatchSimilarity, "banana", "ann", 2.0f * 3 / 9},
  };
  for (const Case& c : cases) {
    score = -1;
    c.scorer(BoundedString(c.text), c.pattern, &score);
    EXPECT_FLOAT_EQ(score, c.expected) << c.text << " / " << c.pattern;
  }
}

TEST(DecimalConversion, AllWidths) {
  struct Case {
    std::unique_ptr<char[]> text;
    const char* expected;
  };
  Case cases[] = {
      {std::unique_ptr<char[]>(NewDecimalString(UInt32(0))), "0"},
      {std::unique_ptr<char[]>(NewDecimalString(UInt32(4294967295u))), "4294967295"},
      {std::unique_ptr<char[]>(NewDecimalString(SInt32(-45))), "-45"},
      {std::unique_ptr<char[]>(NewDecimalString(SInt32(INT32_MIN))), "-2147483648"},
      {std::unique_ptr<char[]>(NewDecimalString(SInt16(INT16_MIN))), "-32768"},
      {std::unique_ptr<char[]>(NewDecimalString(SInt16(32767))), "32767"},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.text.get(), c.expected);

  char buffer[31];
  struct Wide {
    SInt64 value;
    const char* expected;
  } wide[] = {{2147483648LL, "2147483648"}, {INT64_MIN, "-9223372036854775808"},
              {-1, "-1"}, {0, "0"}};
  for (const Wide& w : wide) {
    FormatDecimal(buffer, 31, w.value);
    EXPECT_STREQ(buffer, w.expected);
  }
  // Capacity must hold the digits, the sign and the terminator; otherwise nothing is shown.
  std::memset(buffer, 'Q', sizeof buffer);
  FormatDecimal(buffer, 4, SInt32(-123));
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(buffer[1], 'Q');
  FormatDecimal(buffer, 5, SInt32(-123));
  EXPECT_STREQ(buffer, "-123");
}

}  // namespace
