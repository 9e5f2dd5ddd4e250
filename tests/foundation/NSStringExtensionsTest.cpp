// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "foundation/NSStringExtensions.h"
#include "platform/carbon/Files.h"
#include "tests/foundation/PrintQString.h"
#include "tests/TestEnvironment.h"

using namespace NSStringExtensions;

namespace {

// Null and empty are different answers here; keep them apart in failure messages too.
std::string shown(const QString& s) { return s.isNull() ? "(nil)" : '"' + s.toStdString() + '"'; }

#define EXPECT_NIL(expr) EXPECT_TRUE((expr).isNull()) << shown(expr)
#define EXPECT_TEXT(expr, text)                                       \
  do {                                                                \
    const QString value_ = (expr);                                    \
    EXPECT_FALSE(value_.isNull()) << "nil instead of " << QString(text).toStdString(); \
    EXPECT_EQ(value_, QString(text));                                 \
  } while (0)

TEST(ExtractBetweenPattern, TakesTheInsideOfTheFirstPairWhenPatternsAlternate) {
  const QString s = QStringLiteral("a<one>b<two>c");
  EXPECT_TEXT(extractBetweenPattern(s, "<", ">"), "one");
  EXPECT_TEXT(reverseExtractBetweenPattern(s, "<", ">"), "one");
}

TEST(ExtractBetweenPattern, DoubledOpeningPatternSeparatesTheTwoDirections) {
  const QString s = QStringLiteral("x[first[second]y]");
  EXPECT_TEXT(extractBetweenPattern(s, "[", "]"), "first[second");
  EXPECT_TEXT(reverseExtractBetweenPattern(s, "[", "]"), "second");
}

TEST(ExtractBetweenPattern, TouchingMatchesGiveEmptyTextNotNil) {
  EXPECT_TEXT(extractBetweenPattern("ab<>cd", "<", ">"), "");
  EXPECT_TEXT(reverseExtractBetweenPattern("ab<>cd", "<", ">"), "");
  EXPECT_TEXT(extractBetweenPattern("<b></b>", "<b>", "</b>"), "");
  EXPECT_TEXT(extractBetweenPattern("startend", "start", "end"), "");
}

TEST(ExtractBetweenPattern, SamePatternOnBothSides) {
  const QString s = QStringLiteral("he said \"hi\" and \"bye\"");
  EXPECT_TEXT(extractBetweenPattern(s, "\"", "\""), "hi");
  // The first quote is the closing match and nothing opens before it.
  EXPECT_NIL(reverseExtractBetweenPattern(s, "\"", "\""));
}

TEST(ExtractBetweenPattern, MissingPatternsGiveNil) {
  EXPECT_NIL(extractBetweenPattern("no markers here", "<", ">"));
  EXPECT_NIL(extractBetweenPattern("only <open", "<", ">"));
  EXPECT_NIL(extractBetweenPattern("close> only", "<", ">"));
  EXPECT_NIL(extractBetweenPattern("wrong> order<", "<", ">"));  // no close after the open
  EXPECT_NIL(reverseExtractBetweenPattern("only <open", "<", ">"));
  EXPECT_NIL(reverseExtractBetweenPattern("close> only", "<", ">"));
  EXPECT_NIL(reverseExtractBetweenPattern("wrong> order<", "<", ">"));  // no open before it
  EXPECT_NIL(extractBetweenPattern("", "<", ">"));
  EXPECT_NIL(reverseExtractBetweenPattern(QString(), "<", ">"));
}

TEST(ExtractBetweenPattern, EmptyPatternsGiveNil) {
  for (const auto& [open, close] : {std::pair<QString, QString>{"", ">"},
                                    {"<", ""}, {"", ""}, {QString(), ">"}, {"<", QString()}}) {
    EXPECT_NIL(extractBetweenPattern("a<b>c", open, close));
    EXPECT_NIL(reverseExtractBetweenPattern("a<b>c", open, close));
  }
}

TEST(ExtractBetweenPattern, IgnoresLetterCaseOnly) {
  EXPECT_TEXT(extractBetweenPattern("<B>Bold</B> text", "<b>", "</b>"), "Bold");
  EXPECT_TEXT(reverseExtractBetweenPattern("<b>bold</b>", "<B>", "</B>"), "bold");
  EXPECT_TEXT(extractBetweenPattern("BEGIN MiDdLe FINISH", "begin ", " finish"), "MiDdLe");
  EXPECT_TEXT(extractBetweenPattern(QStringLiteral("ÄgrünÖ"), QStringLiteral("ä"), QStringLiteral("ö")),
              QStringLiteral("grün"));
  // Accents still count.
  EXPECT_NIL(extractBetweenPattern(QStringLiteral("e-x-é"), QStringLiteral("e"), QStringLiteral("e")));
  EXPECT_TEXT(extractBetweenPattern(QStringLiteral("e-x-é-e"), QStringLiteral("e"), QStringLiteral("e")),
              QStringLiteral("-x-é-"));
}

TEST(ExtractBetweenPattern, ReverseTakesTheNearestOpeningBeforeTheFirstClosing) {
  const QString s = QStringLiteral("<<a<b>c>d>");
  EXPECT_TEXT(extractBetweenPattern(s, "<", ">"), "<a<b");
  EXPECT_TEXT(reverseExtractBetweenPattern(s, "<", ">"), "b");
  // Multi-character patterns that overlap the text around them.
  EXPECT_TEXT(extractBetweenPattern("--x---y--", "--", "--"), "x");
  EXPECT_TEXT(reverseExtractBetweenPattern("ab[[c]]d", "[[", "]]"), "c");
}

TEST(ExtractBetweenPattern, LeavesTheReceiverAlone) {
  const QString s = QStringLiteral("a(b)c");
  const QString copy = s;
  extractBetweenPattern(s, "(", ")");
  reverseExtractBetweenPattern(s, "(", ")");
  cleanForFilename(s);
  EXPECT_EQ(s, copy);
}

TEST(CleanForFilename, ReplacesSlashesAndColonsOnly) {
  EXPECT_EQ(cleanForFilename("a/b:c"), "a-b-c");
  EXPECT_EQ(cleanForFilename("/:/::"), "-----");
  EXPECT_EQ(cleanForFilename("2024/05/06 10:30"), "2024-05-06 10-30");
  const QString others = QStringLiteral(".hidden \\ * ? < > | \" ' ~ \t é 日本 ／ ∶ -");
  EXPECT_EQ(cleanForFilename(others), others);  // lookalikes of / and : stay too
  const QString clean = QStringLiteral("already clean name.txt");
  EXPECT_EQ(cleanForFilename(clean), clean);
  const QString path = QStringLiteral("Macintosh HD:Users:me/notes.txt");
  EXPECT_EQ(cleanForFilename(path).size(), path.size());
  EXPECT_TEXT(cleanForFilename(""), "");
}

TEST(RunScript, ListOfStringsGivesTheFirst) {
  EXPECT_TEXT(runScript(R"({"alpha", "beta", "gamma"})"), "alpha");
  EXPECT_TEXT(runScript(R"(return {"", "x"})"), "");
  EXPECT_TEXT(runScript("{42, \"x\"}"), "42");
  EXPECT_TEXT(runScript("set found to {\"one\"} & {\"two\"}\nreturn found"), "one");
}

TEST(RunScript, ResultsWithoutTextGiveNil) {
  EXPECT_NIL(runScript("{}"));
  EXPECT_NIL(runScript("{name:\"Ann\", age:30}"));
  EXPECT_NIL(runScript("{{\"nested\"}, \"x\"}"));  // the first item is itself a list
  EXPECT_NIL(runScript("{{a:1}}"));
  EXPECT_NIL(runScript(""));
  EXPECT_NIL(runScript("-- only a comment"));
  EXPECT_NIL(runScript("return"));
  EXPECT_NIL(runScript(QString()));
}

TEST(RunScript, TextAndNumbers) {
  EXPECT_TEXT(runScript("\"hello\""), "hello");
  EXPECT_TEXT(runScript("\"\""), "");
  EXPECT_TEXT(runScript("return \"con\" & \"cat\" & 3"), "concat3");
  EXPECT_TEXT(runScript("42"), "42");
  EXPECT_TEXT(runScript("-7"), "-7");
  EXPECT_TEXT(runScript("3.5"), "3.5");
  EXPECT_TEXT(runScript("1 + 2 * 3"), "7");
  EXPECT_TEXT(runScript("(1 + 2) * 3"), "9");
  EXPECT_TEXT(runScript("7 / 2"), "3.5");
  EXPECT_TEXT(runScript("6 / 2"), "3.0");
  EXPECT_TEXT(runScript("true"), "true");
}

TEST(RunScript, VariablesAndCoercion) {
  EXPECT_TEXT(runScript("set x to 6\nset y to x * 7\nreturn \"answer: \" & y"), "answer: 42");
  EXPECT_TEXT(runScript("set n to 2.5\nn * 2 as text"), "5.0");
  EXPECT_TEXT(runScript("{1, \"a\", 2.5} as text"), "1a2.5");
  EXPECT_TEXT(runScript("return \"early\"\n\"late\""), "early");
}

TEST(RunScript, FailuresGiveNil) {
  for (const char* source : {"set x to", "\"unterminated", "(1 + 2", "{1, 2", "1 +",
                             "tell application \"Finder\" to get name", "if true then 1",
                             "1 2", "@", "x + 1", "1 / 0", "\"abc\" as integer",
                             "item 3 of {1, 2}", "{a:1} as text"}) {
    EXPECT_NIL(runScript(QString::fromUtf8(source))) << source;
  }
}

TEST(FileReferences, RoundTripThroughAPath) {
  TestEnvironment env;
  const QString path = env.path() + QStringLiteral("/Wörterbücher 日本.txt");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  FSRef ref{};
  ASSERT_TRUE(getFSRef(path, &ref));
  EXPECT_EQ(QDir(stringWithFSRef(&ref)).canonicalPath(), QDir(path).canonicalPath());
  EXPECT_FALSE(getFSRef(env.path() + "/missing", &ref));
  EXPECT_NIL(stringWithFSRef(nullptr));
}

}  // namespace
