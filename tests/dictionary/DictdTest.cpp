// SPDX-License-Identifier: GPL-3.0-or-later
// dictd dictionaries: index numbers, key rules, entry order, and damaged or lying files.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "dictionary/DictdDictionary.h"
#include "dictionary/DictdFormat.h"
#include "dictionary/DictdWriter.h"
#include "dictionary/TextDecoding.h"
#include "tests/dictionary/Fixtures.h"

using dictionary::DictdDictionary;
using dictionary::DictdEntry;
using dictionary::DictdWriterOptions;
using fixtures::dictdLine;
namespace dictd = dictionary::dictd;

namespace {

// What each lookup should give; nothing means no entry.
using Lookups = std::vector<std::pair<const char*, std::optional<QString>>>;

class DictdTest : public ::testing::Test {
 protected:
  QString base(const QString& name) const { return dir_.filePath(name); }

  std::unique_ptr<DictdDictionary> write(const QString& name, const QList<DictdEntry>& entries,
                                         DictdWriterOptions options = {}) {
    dictionary::DictdFiles files;
    QString error;
    EXPECT_TRUE(dictionary::writeDictd(base(name), entries, options, &files, &error)) << error.toStdString();
    auto opened = DictdDictionary::open(files.index, files.data, &error);
    EXPECT_TRUE(opened) << error.toStdString();
    return opened;
  }

  // A hand-made dictionary: the index as given, over data of the given text.
  std::unique_ptr<DictdDictionary> handMade(const QByteArray& index, const QByteArray& data, QString* error = nullptr) {
    EXPECT_TRUE(fixtures::writeBytes(base("hand.index"), index));
    EXPECT_TRUE(fixtures::writeBytes(base("hand.dict"), data));
    return DictdDictionary::open(base("hand.index"), base("hand.dict"), error);
  }

  static void expectLookups(const DictdDictionary& dictionary, const Lookups& lookups) {
    for (const auto& [word, expected] : lookups) EXPECT_EQ(dictionary.define(QString::fromUtf8(word)), expected) << word;
  }

  QTemporaryDir dir_;
};

QList<DictdEntry> selfNamed(std::initializer_list<const char*> words) {
  QList<DictdEntry> entries;
  for (const char* word : words) entries.append({QString::fromUtf8(word), QString::fromUtf8(word)});
  return entries;
}

TEST(DictdNumbers, RoundTripAndRejectBadDigits) {
  for (quint64 value : {quint64(0), quint64(63), quint64(64), quint64(4096), quint64(1) << 32 | 5, (quint64(1) << 60) - 1}) {
    const QByteArray digits = dictd::encodeNumber(value);
    EXPECT_EQ(dictd::decodeNumber({digits.constData(), std::size_t(digits.size())}), value) << digits.toStdString();
  }
  // Big-endian digits with 'A' = 0: "BA" is 64, "/" is 63.
  EXPECT_EQ(dictd::decodeNumber("BA"), 64u);
  EXPECT_EQ(dictd::decodeNumber("/"), 63u);
  EXPECT_EQ(dictd::decodeNumber("+"), 62u);
  for (const char* bad : {"", "A=", "A B", "-1", "AAAAAAAAAAA"}) EXPECT_FALSE(dictd::decodeNumber(bad)) << bad;
}

// Headwords that share a prefix (the common case between index neighbours) compare as they
// do when nothing is shared: a leading '-', which never counts, makes the two sides differ
// from the first byte. The pieces split UTF-8 sequences, break them and fold case.
TEST(DictdKeys, SharedPrefixesCompareAsWhenNothingIsShared) {
  const std::vector<QByteArray> pieces = {"a", "b", "Z", " ", "-", "7", "\xc3\xa9", "\xc3\xa8", "\xc3\x89",
                                          "\xc3", "\xa9", "\xe2\x82\xac", "\xe2\x82", "\xc3\x9f",
                                          "\xf0\x9f\x98\x80", "\xce\xa3", "\xcf\x83", "\xff"};
  std::mt19937 random(7);
  auto pick = [&](int most) {
    QByteArray out;
    for (int count = int(random() % unsigned(most + 1)); count > 0; --count) out += pieces[random() % pieces.size()];
    return out;
  };
  auto sign = [](int x) { return (x > 0) - (x < 0); };
  auto view = [](const QByteArray& bytes) { return std::string_view(bytes.constData(), std::size_t(bytes.size())); };
  for (const bool utf8 : {false, true}) {
    for (const bool caseSensitive : {false, true}) {
      const dictd::KeyRules rules{false, utf8, !utf8, caseSensitive};
      for (int i = 0; i < 3000; ++i) {
        const QByteArray shared = pick(4);
        const QByteArray a = shared + pick(3), b = shared + pick(3), marked = "-" + a;
        const int ab = sign(dictd::compareKeys(view(a), view(b), rules));
        const std::string trace = "utf8=" + std::to_string(utf8) + " case=" + std::to_string(caseSensitive) + " [" +
                                  a.toHex(' ').toStdString() + "] [" + b.toHex(' ').toStdString() + "]";
        ASSERT_EQ(ab, sign(dictd::compareKeys(view(marked), view(b), rules))) << trace;
        ASSERT_EQ(sign(dictd::compareKeys(view(b), view(a), rules)), -ab) << trace;
        // Without spaces (which the index form collapses) the order is that of the index
        // forms' bytes, UTF-8 keeping code point order.
        if (!a.contains(' ') && !b.contains(' ')) {
          ASSERT_EQ(ab, sign(dictd::indexKey(view(a), rules).compare(dictd::indexKey(view(b), rules)))) << trace;
        }
      }
    }
  }
}

// Entries several times the chunk length, so that most cross one or more chunk boundaries.
TEST_F(DictdTest, WrittenDictionaryReadsBack) {
  QList<DictdEntry> entries;
  for (int i = 0; i < 300; ++i) {
    const QString word = QStringLiteral("word%1").arg(i);
    entries.append({word, word + QLatin1Char('\n') + QString::fromUtf8(fixtures::proseBytes(40 + i % 150, i))});
  }
  DictdWriterOptions options;
  options.shortName = QStringLiteral("Test Words");
  options.url = QStringLiteral("https://example.invalid/words");
  options.chunkLength = 64;
  auto dictionary = write("words", entries, options);
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->shortName(), options.shortName);
  EXPECT_EQ(dictionary->url(), options.url);
  EXPECT_EQ(dictionary->formatName(), QLatin1String("dictd"));
  EXPECT_TRUE(dictionary->indexWasSorted());
  EXPECT_TRUE(dictionary->rules().utf8);
  for (const DictdEntry& entry : entries) {
    QString expected = entry.text;
    dictionary::chopTrailingSpace(expected);
    EXPECT_EQ(dictionary->define(entry.headword), expected) << entry.headword.toStdString();
    EXPECT_EQ(dictionary->define(entry.headword.toUpper()), expected);
  }
  expectLookups(*dictionary, {{"word300", std::nullopt}, {"", std::nullopt}, {"...", std::nullopt}});
}

TEST_F(DictdTest, SeveralEntriesOfOneHeadwordComeInFileOrder) {
  const QList<DictdEntry> entries = {
      {QStringLiteral("bank"), QStringLiteral("bank 1: a river side  \n\n")},
      {QStringLiteral("bar"), QStringLiteral("bar")},
      {QStringLiteral("Bank"), QStringLiteral("Bank 2: a money house")},
      {QStringLiteral("able"), QStringLiteral("able")},
      {QStringLiteral("BANK"), QStringLiteral("BANK 3: a tilt")},
  };
  const QString banks = QStringLiteral("bank 1: a river side\n\nBank 2: a money house\n\nBANK 3: a tilt");
  for (const bool dictzip : {false, true}) {
    DictdWriterOptions options;
    options.dictzip = dictzip;
    auto dictionary = write(dictzip ? "order-dz" : "order", entries, options);
    ASSERT_TRUE(dictionary);
    expectLookups(*dictionary, {{"bank", banks}, {"bAnK", banks}, {"bar", QStringLiteral("bar")}});
  }
}

TEST_F(DictdTest, FourColumnLinesAndOldStyleShortName) {
  const QByteArray data = "00databaseshort\n     Hand Made Words\nthe apple\nan apple a day\ncolour\n";
  const QByteArray index = dictdLine("00databaseshort", data, "00databaseshort\n     Hand Made Words\n") +
                           dictdLine("apple", data, "the apple\n", "Apple") +
                           dictdLine("apple", data, "an apple a day\n", "APPLE") + dictdLine("colour", data, "colour\n") +
                           "broken\tline\twith\ttoo\tmany\tfields\n";
  QString error;
  auto dictionary = handMade(index, data, &error);
  ASSERT_TRUE(dictionary) << error.toStdString();
  EXPECT_EQ(dictionary->shortName(), QStringLiteral("Hand Made Words"));
  expectLookups(*dictionary, {{"Apple", QStringLiteral("the apple\n\nan apple a day")}, {"colour", QStringLiteral("colour")}});
  EXPECT_EQ(dictionary->skippedLines(), 1);
  EXPECT_EQ(dictionary->entryCount(), 4);
}

// The header lines' key rules, each against lookups that only it answers this way.
TEST_F(DictdTest, KeyRulesOfTheHeader) {
  struct Case {
    const char* what;
    QList<DictdEntry> entries;
    DictdWriterOptions options;
    Lookups lookups;
  };
  DictdWriterOptions normalised, allChars, caseSensitive;
  normalised.utf8 = allChars.utf8 = false;
  allChars.allChars = true;
  caseSensitive.caseSensitive = true;
  const auto punctuated = selfNamed({"e-mail", "email", "C++", "c", "rock 'n' roll"});
  const std::vector<Case> cases = {
      // Only letters, digits and spaces count: punctuation neither separates nor matches.
      {"normalised", punctuated, normalised,
       {{"email", QStringLiteral("e-mail\n\nemail")}, {"E-MAIL", QStringLiteral("e-mail\n\nemail")},
        {"c", QStringLiteral("C++\n\nc")}, {"rock n roll", QStringLiteral("rock 'n' roll")}}},
      // Every character counts, case still folds.
      {"allchars", punctuated, allChars,
       {{"E-Mail", QStringLiteral("e-mail")}, {"email", QStringLiteral("email")}, {"c++", QStringLiteral("C++")},
        {"rock n roll", std::nullopt}}},
      {"case-sensitive", selfNamed({"Polish", "polish"}), caseSensitive,
       {{"Polish", QStringLiteral("Polish")}, {"polish", QStringLiteral("polish")}, {"POLISH", std::nullopt}}},
      // Unicode case folds one character to one: ß stays ß.
      {"utf8", selfNamed({"Éclair", "straße", "ΣΟΦΙΑ", "caf"}), {},
       {{"éCLAIR", QStringLiteral("Éclair")}, {"STRASSE", std::nullopt}, {"Straße", QStringLiteral("straße")},
        {"σοφια", QStringLiteral("ΣΟΦΙΑ")}, {"café", std::nullopt}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto dictionary = write(QString::fromLatin1(c.what), c.entries, c.options);
    ASSERT_TRUE(dictionary);
    EXPECT_EQ(dictionary->rules().allChars, c.options.allChars);
    EXPECT_EQ(dictionary->rules().caseSensitive, c.options.caseSensitive);
    expectLookups(*dictionary, c.lookups);
  }

  // Without the utf8 flag, as dictd in the C locale, only ASCII letters count. A hand-made
  // index with CRLF line ends and no short name, which falls back to the file name.
  const QByteArray data = "caf\nbeta\n";
  auto ascii = handMade(QByteArray(dictdLine("caf", data, "caf\n") + dictdLine("beta", data, "beta\n")).replace("\n", "\r\n"), data);
  ASSERT_TRUE(ascii);
  EXPECT_FALSE(ascii->rules().utf8);
  EXPECT_EQ(ascii->skippedLines(), 0);
  EXPECT_EQ(ascii->shortName(), QStringLiteral("hand"));
  expectLookups(*ascii, {{"café", QStringLiteral("caf")}, {"CAF", QStringLiteral("caf")}, {"beta", QStringLiteral("beta")}});
}

TEST_F(DictdTest, MisSortedIndexIsSortedAtOpenKeepingFileOrderOfEqualKeys) {
  const QByteArray data = "zebra\nmango 1\napple\nmango 2\nMango 3\nkiwi\n";
  const QByteArray index = dictdLine("zebra", data, "zebra\n") + dictdLine("mango", data, "mango 1\n") +
                           dictdLine("apple", data, "apple\n") + dictdLine("mango", data, "mango 2\n") +
                           dictdLine("Mango", data, "Mango 3\n") + dictdLine("kiwi", data, "kiwi\n");
  auto dictionary = handMade(index, data);
  ASSERT_TRUE(dictionary);
  EXPECT_FALSE(dictionary->indexWasSorted());
  expectLookups(*dictionary, {{"mango", QStringLiteral("mango 1\n\nmango 2\n\nMango 3")}, {"zebra", QStringLiteral("zebra")},
                              {"apple", QStringLiteral("apple")}, {"kiwi", QStringLiteral("kiwi")}});
}

// "00" < "01" under the default rules, but "0-1" < "00" once every character counts, which
// only the third line says: the order is judged by the final rules either way round.
TEST_F(DictdTest, OrderIsJudgedByRulesThatTurnUpLate) {
  const QByteArray data = "double zero\nzero dash one\n\nzebra\n";
  const QByteArray doubleZero = dictdLine("00", data, "double zero\n"), dashOne = dictdLine("0-1", data, "zero dash one\n");
  const QByteArray rest = dictdLine("00-database-allchars", data, "\n") + dictdLine("zebra", data, "zebra\n");
  for (const bool sorted : {false, true}) {
    auto dictionary = handMade((sorted ? dashOne + doubleZero : doubleZero + dashOne) + rest, data);
    ASSERT_TRUE(dictionary);
    EXPECT_TRUE(dictionary->rules().allChars);
    EXPECT_EQ(dictionary->indexWasSorted(), sorted);
    expectLookups(*dictionary, {{"0-1", QStringLiteral("zero dash one")}, {"00", QStringLiteral("double zero")}, {"01", std::nullopt}});
  }
}

TEST_F(DictdTest, TruncatedIndexLosesOnlyTheCutLines) {
  dictionary::DictdFiles files;
  DictdWriterOptions options;
  options.utf8 = false;
  ASSERT_TRUE(dictionary::writeDictd(base("cut"), selfNamed({"alpha", "bravo", "charlie", "delta", "echo"}), options, &files));
  const QByteArray index = fixtures::readBytes(files.index);
  const qsizetype echo = index.indexOf("echo\t");
  ASSERT_GT(echo, 0);

  // Cut inside the last headword: the line is left out.
  ASSERT_TRUE(fixtures::writeBytes(files.index, index.left(echo + 2)));
  auto cutHeadword = DictdDictionary::open(files.index, files.data);
  ASSERT_TRUE(cutHeadword);
  EXPECT_EQ(cutHeadword->skippedLines(), 1);
  expectLookups(*cutHeadword, {{"echo", std::nullopt}, {"delta", QStringLiteral("delta")}});

  // Cut after the offset: the line is there but its length is missing.
  ASSERT_TRUE(fixtures::writeBytes(files.index, index.left(index.indexOf('\t', index.indexOf('\t', echo) + 1) + 1)));
  auto cutLength = DictdDictionary::open(files.index, files.data);
  ASSERT_TRUE(cutLength);
  QString error;
  EXPECT_FALSE(cutLength->define(QStringLiteral("echo"), &error));
  EXPECT_TRUE(error.contains(QLatin1String("bad offset or length"))) << error.toStdString();
  EXPECT_EQ(cutLength->define(QStringLiteral("alpha")), QStringLiteral("alpha"));
}

TEST_F(DictdTest, OffsetsPastTheEndGiveAnErrorForThatWordOnly) {
  const QByteArray data = "good\n";
  const QByteArray index = dictdLine("good", data, "good\n") + "bad\t" + dictd::encodeNumber(3) + '\t' +
                           dictd::encodeNumber(500) + "\nworse\t" + dictd::encodeNumber(1u << 30) + "\tB\n";
  auto dictionary = handMade(index, data);
  ASSERT_TRUE(dictionary);
  for (const char* word : {"bad", "worse"}) {
    QString error;
    EXPECT_FALSE(dictionary->define(QString::fromLatin1(word), &error)) << word;
    EXPECT_TRUE(error.contains(QLatin1String("past the end"))) << error.toStdString();
  }
  EXPECT_EQ(dictionary->define(QStringLiteral("good")), QStringLiteral("good"));
}

TEST_F(DictdTest, MissingEmptyOrForeignFilesAreOpenErrors) {
  QString error;
  EXPECT_FALSE(handMade(QByteArray(), "x", &error));
  EXPECT_TRUE(error.contains(QLatin1String("empty"))) << error.toStdString();
  EXPECT_FALSE(handMade("just some\ntext lines\n", "x", &error));
  EXPECT_TRUE(error.contains(QLatin1String("not a dictd index"))) << error.toStdString();
  ASSERT_TRUE(fixtures::writeBytes(base("lonely.index"), "word\tA\tB\n"));
  EXPECT_TRUE(DictdDictionary::dataPathFor(base("lonely.index")).isEmpty());
  EXPECT_FALSE(DictdDictionary::open(base("lonely.index"), DictdDictionary::dataPathFor(base("lonely.index")), &error));
  EXPECT_TRUE(error.contains(QLatin1String("no data file"))) << error.toStdString();
  EXPECT_FALSE(DictdDictionary::open(base("lonely.index"), base("gone.dict.dz"), &error));
  EXPECT_FALSE(DictdDictionary::open(base("nothing.index"), base("gone.dict"), &error));
}

}  // namespace
