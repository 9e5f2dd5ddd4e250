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
namespace dictd = dictionary::dictd;

namespace {

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

  // An index line for the bytes of `word`'s text inside data.
  static QByteArray line(const QByteArray& headword, const QByteArray& data, const QByteArray& text,
                         const QByteArray& fourth = {}) {
    const qsizetype at = data.indexOf(text);
    EXPECT_GE(at, 0) << text.toStdString();
    QByteArray out = headword + '\t' + dictd::encodeNumber(quint64(at)) + '\t' + dictd::encodeNumber(quint64(text.size()));
    if (!fourth.isEmpty()) out += '\t' + fourth;
    return out + '\n';
  }

  QTemporaryDir dir_;
};

TEST(DictdNumbers, RoundTripAndRejectBadDigits) {
  for (quint64 value : {quint64(0), quint64(1), quint64(63), quint64(64), quint64(4095), quint64(4096),
                        quint64(1) << 32 | 5, (quint64(1) << 60) - 1}) {
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
  for (const bool utf8 : {false, true}) {
    for (const bool caseSensitive : {false, true}) {
      const dictd::KeyRules rules{false, utf8, !utf8, caseSensitive};
      for (int i = 0; i < 3000; ++i) {
        const QByteArray shared = pick(4);
        const QByteArray a = shared + pick(3);
        const QByteArray b = shared + pick(3);
        const QByteArray marked = "-" + a;
        const std::string_view av(a.constData(), std::size_t(a.size())), bv(b.constData(), std::size_t(b.size()));
        const std::string_view mv(marked.constData(), std::size_t(marked.size()));
        ASSERT_EQ(sign(dictd::compareKeys(av, bv, rules)), sign(dictd::compareKeys(mv, bv, rules)))
            << "utf8=" << utf8 << " case=" << caseSensitive << " [" << a.toHex(' ').toStdString() << "] ["
            << b.toHex(' ').toStdString() << "]";
        ASSERT_EQ(sign(dictd::compareKeys(bv, av, rules)), -sign(dictd::compareKeys(av, bv, rules)));
        // Without spaces (which the index form collapses) the order is that of the index
        // forms' bytes, UTF-8 keeping code point order.
        if (!a.contains(' ') && !b.contains(' ')) {
          ASSERT_EQ(sign(dictd::compareKeys(av, bv, rules)), sign(dictd::indexKey(av, rules).compare(dictd::indexKey(bv, rules))))
              << "[" << a.toHex(' ').toStdString() << "] [" << b.toHex(' ').toStdString() << "]";
        }
      }
    }
  }
}

TEST_F(DictdTest, WrittenDictionaryReadsBack) {
  QList<DictdEntry> entries;
  for (int i = 0; i < 300; ++i) {
    const QString word = QStringLiteral("word%1").arg(i);
    entries.append({word, word + QLatin1Char('\n') + QString::fromUtf8(fixtures::proseBytes(40 + i % 90, i))});
  }
  DictdWriterOptions options;
  options.shortName = QStringLiteral("Test Words");
  options.url = QStringLiteral("https://example.invalid/words");
  options.chunkLength = 512;
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
  EXPECT_FALSE(dictionary->define(QStringLiteral("word300")));
  EXPECT_FALSE(dictionary->define(QString()));
  EXPECT_FALSE(dictionary->define(QStringLiteral("...")));
}

TEST_F(DictdTest, EntrySpanningTwoChunks) {
  const QString text = QStringLiteral("long\n") + QString::fromUtf8(fixtures::proseBytes(150, 9)).trimmed();
  DictdWriterOptions options;
  options.chunkLength = 64;
  options.shortName = QStringLiteral("Spans");
  auto dictionary = write("spans", {{QStringLiteral("short"), QStringLiteral("short\nx")}, {QStringLiteral("long"), text}},
                          options);
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->define(QStringLiteral("long")), text);
  EXPECT_EQ(dictionary->define(QStringLiteral("short")), QStringLiteral("short\nx"));
}

TEST_F(DictdTest, SeveralEntriesOfOneHeadwordComeInFileOrder) {
  const QList<DictdEntry> entries = {
      {QStringLiteral("bank"), QStringLiteral("bank 1: a river side  \n\n")},
      {QStringLiteral("bar"), QStringLiteral("bar")},
      {QStringLiteral("Bank"), QStringLiteral("Bank 2: a money house")},
      {QStringLiteral("able"), QStringLiteral("able")},
      {QStringLiteral("BANK"), QStringLiteral("BANK 3: a tilt")},
  };
  for (const bool dictzip : {false, true}) {
    DictdWriterOptions options;
    options.dictzip = dictzip;
    auto dictionary = write(dictzip ? "order-dz" : "order", entries, options);
    ASSERT_TRUE(dictionary);
    const QString expected = QStringLiteral("bank 1: a river side\n\nBank 2: a money house\n\nBANK 3: a tilt");
    EXPECT_EQ(dictionary->define(QStringLiteral("bank")), expected);
    EXPECT_EQ(dictionary->define(QStringLiteral("bAnK")), expected);
    EXPECT_EQ(dictionary->define(QStringLiteral("bar")), QStringLiteral("bar"));
  }
}

TEST_F(DictdTest, FourColumnLinesAndOldStyleShortName) {
  const QByteArray data = "00databaseshort\n     Hand Made Words\nthe apple\nan apple a day\ncolour\n";
  QByteArray index;
  index += line("00databaseshort", data, "00databaseshort\n     Hand Made Words\n");
  index += line("apple", data, "the apple\n", "Apple");
  index += line("apple", data, "an apple a day\n", "APPLE");
  index += line("colour", data, "colour\n");
  index += "broken\tline\twith\ttoo\tmany\tfields\n";
  QString error;
  auto dictionary = handMade(index, data, &error);
  ASSERT_TRUE(dictionary) << error.toStdString();
  EXPECT_EQ(dictionary->shortName(), QStringLiteral("Hand Made Words"));
  EXPECT_EQ(dictionary->define(QStringLiteral("Apple")), QStringLiteral("the apple\n\nan apple a day"));
  EXPECT_EQ(dictionary->define(QStringLiteral("colour")), QStringLiteral("colour"));
  EXPECT_EQ(dictionary->skippedLines(), 1);
  EXPECT_EQ(dictionary->entryCount(), 4);
}

TEST_F(DictdTest, ShortNameFallsBackToTheFileName) {
  const QByteArray data = "apple\n";
  auto dictionary = handMade(line("apple", data, "apple\n"), data);
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->shortName(), QStringLiteral("hand"));
}

TEST_F(DictdTest, AllCharsVersusNormalisedKeys) {
  const QList<DictdEntry> entries = {
      {QStringLiteral("e-mail"), QStringLiteral("e-mail")},
      {QStringLiteral("email"), QStringLiteral("email")},
      {QStringLiteral("C++"), QStringLiteral("C++")},
      {QStringLiteral("c"), QStringLiteral("c")},
      {QStringLiteral("rock 'n' roll"), QStringLiteral("rock 'n' roll")},
  };
  DictdWriterOptions normalised;
  normalised.utf8 = false;
  auto plain = write("normalised", entries, normalised);
  DictdWriterOptions all = normalised;
  all.allChars = true;
  auto allChars = write("allchars", entries, all);
  ASSERT_TRUE(plain && allChars);
  EXPECT_FALSE(plain->rules().allChars);
  EXPECT_TRUE(allChars->rules().allChars);

  // Only letters, digits and spaces count: punctuation neither separates nor matches.
  EXPECT_EQ(plain->define(QStringLiteral("email")), QStringLiteral("e-mail\n\nemail"));
  EXPECT_EQ(plain->define(QStringLiteral("E-MAIL")), QStringLiteral("e-mail\n\nemail"));
  EXPECT_EQ(plain->define(QStringLiteral("c")), QStringLiteral("C++\n\nc"));
  EXPECT_EQ(plain->define(QStringLiteral("rock n roll")), QStringLiteral("rock 'n' roll"));
  // Every character counts, case still folds.
  EXPECT_EQ(allChars->define(QStringLiteral("E-Mail")), QStringLiteral("e-mail"));
  EXPECT_EQ(allChars->define(QStringLiteral("email")), QStringLiteral("email"));
  EXPECT_EQ(allChars->define(QStringLiteral("c++")), QStringLiteral("C++"));
  EXPECT_FALSE(allChars->define(QStringLiteral("rock n roll")));
}

TEST_F(DictdTest, CaseSensitiveDictionaryKeepsCase) {
  DictdWriterOptions options;
  options.caseSensitive = true;
  auto dictionary = write("cs", {{QStringLiteral("Polish"), QStringLiteral("Polish")},
                                 {QStringLiteral("polish"), QStringLiteral("polish")}}, options);
  ASSERT_TRUE(dictionary);
  EXPECT_TRUE(dictionary->rules().caseSensitive);
  EXPECT_EQ(dictionary->define(QStringLiteral("Polish")), QStringLiteral("Polish"));
  EXPECT_EQ(dictionary->define(QStringLiteral("polish")), QStringLiteral("polish"));
  EXPECT_FALSE(dictionary->define(QStringLiteral("POLISH")));
}

TEST_F(DictdTest, Utf8DictionariesFoldUnicodeCaseAndAsciiOnesSkipOtherBytes) {
  const QList<DictdEntry> entries = {
      {QStringLiteral("Éclair"), QStringLiteral("Éclair")},
      {QStringLiteral("straße"), QStringLiteral("straße")},
      {QStringLiteral("ΣΟΦΙΑ"), QStringLiteral("ΣΟΦΙΑ")},
      {QStringLiteral("caf"), QStringLiteral("caf")},
  };
  auto utf8 = write("utf8", entries);
  ASSERT_TRUE(utf8);
  EXPECT_EQ(utf8->define(QStringLiteral("éCLAIR")), QStringLiteral("Éclair"));
  EXPECT_EQ(utf8->define(QStringLiteral("STRASSE")), std::nullopt) << "one character to one: ß stays ß";
  EXPECT_EQ(utf8->define(QStringLiteral("Straße")), QStringLiteral("straße"));
  EXPECT_EQ(utf8->define(QStringLiteral("σοφια")), QStringLiteral("ΣΟΦΙΑ"));
  EXPECT_FALSE(utf8->define(QStringLiteral("café")));

  // In a dictionary without the utf8 flag, as dictd in the C locale, only ASCII letters count.
  const QByteArray data = "caf\n";
  auto ascii = handMade(line("caf", data, "caf\n"), data);
  ASSERT_TRUE(ascii);
  EXPECT_FALSE(ascii->rules().utf8);
  EXPECT_EQ(ascii->define(QStringLiteral("café")), QStringLiteral("caf"));
  EXPECT_EQ(ascii->define(QStringLiteral("CAF")), QStringLiteral("caf"));
}

TEST_F(DictdTest, MisSortedIndexIsSortedAtOpenKeepingFileOrderOfEqualKeys) {
  const QByteArray data = "zebra\nmango 1\napple\nmango 2\nMango 3\nkiwi\n";
  QByteArray index;
  index += line("zebra", data, "zebra\n");
  index += line("mango", data, "mango 1\n");
  index += line("apple", data, "apple\n");
  index += line("mango", data, "mango 2\n");
  index += line("Mango", data, "Mango 3\n");
  index += line("kiwi", data, "kiwi\n");
  auto dictionary = handMade(index, data);
  ASSERT_TRUE(dictionary);
  EXPECT_FALSE(dictionary->indexWasSorted());
  EXPECT_EQ(dictionary->define(QStringLiteral("mango")), QStringLiteral("mango 1\n\nmango 2\n\nMango 3"));
  for (const char* word : {"zebra", "apple", "kiwi"}) EXPECT_EQ(dictionary->define(QString::fromLatin1(word)), QLatin1String(word));
}

TEST_F(DictdTest, OrderIsJudgedByRulesThatTurnUpLate) {
  // In the order of the default rules ("00" < "01"), but not once every character counts
  // ("0-1" < "00"), which only the third line says.
  const QByteArray data = "double zero\nzero dash one\n\nzebra\n";
  QByteArray index;
  index += line("00", data, "double zero\n");
  index += line("0-1", data, "zero dash one\n");
  index += line("00-database-allchars", data, "\n");
  index += line("zebra", data, "zebra\n");
  auto dictionary = handMade(index, data);
  ASSERT_TRUE(dictionary);
  EXPECT_TRUE(dictionary->rules().allChars);
  EXPECT_FALSE(dictionary->indexWasSorted());
  EXPECT_EQ(dictionary->define(QStringLiteral("0-1")), QStringLiteral("zero dash one"));
  EXPECT_EQ(dictionary->define(QStringLiteral("00")), QStringLiteral("double zero"));
  EXPECT_FALSE(dictionary->define(QStringLiteral("01")));

  // The other way round: out of order at first sight, in order under the final rules.
  QByteArray sorted;
  sorted += line("0-1", data, "zero dash one\n");
  sorted += line("00", data, "double zero\n");
  sorted += line("00-database-allchars", data, "\n");
  sorted += line("zebra", data, "zebra\n");
  auto inOrder = handMade(sorted, data);
  ASSERT_TRUE(inOrder);
  EXPECT_TRUE(inOrder->indexWasSorted());
  EXPECT_EQ(inOrder->define(QStringLiteral("0-1")), QStringLiteral("zero dash one"));
}

TEST_F(DictdTest, TruncatedIndexLosesOnlyTheCutLines) {
  QList<DictdEntry> entries;
  for (const char* word : {"alpha", "bravo", "charlie", "delta", "echo"}) entries.append({QLatin1String(word), QLatin1String(word)});
  dictionary::DictdFiles files;
  DictdWriterOptions options;
  options.utf8 = false;
  ASSERT_TRUE(dictionary::writeDictd(base("cut"), entries, options, &files));
  const QByteArray index = fixtures::readBytes(files.index);
  const qsizetype echo = index.indexOf("echo\t");
  ASSERT_GT(echo, 0);

  // Cut inside the last headword: the line is left out.
  ASSERT_TRUE(fixtures::writeBytes(files.index, index.left(echo + 2)));
  auto cutHeadword = DictdDictionary::open(files.index, files.data);
  ASSERT_TRUE(cutHeadword);
  EXPECT_EQ(cutHeadword->skippedLines(), 1);
  EXPECT_FALSE(cutHeadword->define(QStringLiteral("echo")));
  EXPECT_EQ(cutHeadword->define(QStringLiteral("delta")), QStringLiteral("delta"));

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
  QByteArray index = line("good", data, "good\n");
  index += "bad\t" + dictd::encodeNumber(3) + '\t' + dictd::encodeNumber(500) + '\n';
  index += "worse\t" + dictd::encodeNumber(1u << 30) + "\tB\n";
  auto dictionary = handMade(index, data);
  ASSERT_TRUE(dictionary);
  for (const char* word : {"bad", "worse"}) {
    QString error;
    EXPECT_FALSE(dictionary->define(QString::fromLatin1(word), &error)) << word;
    EXPECT_TRUE(error.contains(QLatin1String("past the end"))) << error.toStdString();
  }
  EXPECT_EQ(dictionary->define(QStringLiteral("good")), QStringLiteral("good"));
}

TEST_F(DictdTest, CrlfIndexLinesAreRead) {
  const QByteArray data = "alpha\nbeta\n";
  QByteArray index = line("alpha", data, "alpha\n") + line("beta", data, "beta\n");
  index.replace("\n", "\r\n");
  auto dictionary = handMade(index, data);
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->skippedLines(), 0);
  EXPECT_EQ(dictionary->define(QStringLiteral("beta")), QStringLiteral("beta"));
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
