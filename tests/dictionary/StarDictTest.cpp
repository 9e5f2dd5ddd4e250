// SPDX-License-Identifier: GPL-3.0-or-later
// StarDict dictionaries: the .ifo, entry fields, markup, lookup order, and lying files.
#include <gtest/gtest.h>

#include "dictionary/Markup.h"
#include "dictionary/StarDictDictionary.h"
#include "dictionary/StarDictFormat.h"
#include "dictionary/StarDictWriter.h"
#include "tests/dictionary/Fixtures.h"

using dictionary::MarkupKind;
using dictionary::StarDictDictionary;
using dictionary::StarDictEntry;
using dictionary::StarDictFiles;
using dictionary::StarDictWriterOptions;
using dictionary::starDictTextEntry;
namespace stardict = dictionary::stardict;

namespace {

// What each lookup should give; nothing means no entry.
using Lookups = std::vector<std::pair<const char*, std::optional<QString>>>;

void expectLookups(const StarDictDictionary& dictionary, const Lookups& lookups) {
  for (const auto& [word, expected] : lookups) EXPECT_EQ(dictionary.define(QString::fromUtf8(word)), expected) << word;
}

class StarDictTest : public ::testing::Test {
 protected:
  StarDictFiles write(const QString& name, const QList<StarDictEntry>& entries, StarDictWriterOptions options = {}) {
    StarDictFiles files;
    QString error;
    if (options.bookName.isEmpty()) options.bookName = name;
    EXPECT_TRUE(dictionary::writeStarDict(dir_.filePath(name), entries, options, &files, &error)) << error.toStdString();
    return files;
  }
  std::unique_ptr<StarDictDictionary> open(const StarDictFiles& files, QString* error = nullptr) {
    return StarDictDictionary::open(files, error);
  }

  QList<StarDictEntry> words() const {
    QList<StarDictEntry> entries;
    for (int i = 0; i < 200; ++i) {
      entries.append(starDictTextEntry(QStringLiteral("Word%1").arg(i, 3, 10, QLatin1Char('0')),
                                       QString::fromUtf8(fixtures::proseBytes(30 + i % 50, i)).trimmed()));
    }
    return entries;
  }

  QTemporaryDir dir_;
};

TEST(StarDictIfo, ReadsBothVersionsWithAnyLineEndsAndByteOrderMark) {
  stardict::Info info;
  info.version = QStringLiteral("3.0.0");
  info.bookName = QStringLiteral("Büchlein");
  info.wordCount = 12;
  info.synWordCount = 3;
  info.idxFileSize = 345;
  info.idxOffsetBits = 64;
  info.sameTypeSequence = "tM";
  for (const int variant : {0, 1, 2, 3}) {
    const auto parsed = stardict::parseIfo(stardict::serializeIfo(info, variant & 1, variant & 2));
    ASSERT_TRUE(parsed) << variant;
    EXPECT_EQ(std::tie(parsed->version, parsed->bookName, parsed->wordCount, parsed->synWordCount, parsed->idxFileSize,
                       parsed->idxOffsetBits, parsed->sameTypeSequence),
              std::tie(info.version, info.bookName, info.wordCount, info.synWordCount, info.idxFileSize,
                       info.idxOffsetBits, info.sameTypeSequence));
  }
  const auto old = stardict::parseIfo("StarDict's dict ifo file\nversion=2.4.2\nwordcount=1\nbookname=Old\n");
  ASSERT_TRUE(old);
  EXPECT_EQ(old->idxOffsetBits, 32);
  EXPECT_FALSE(old->synWordCount);
}

TEST(StarDictIfo, RefusesWhatItCannotRead) {
  const QByteArray head = "StarDict's dict ifo file\n";
  const std::vector<std::pair<QByteArray, const char*>> cases = {
      {"StarDict's treedict ifo file\nversion=2.4.2\nwordcount=1\n", "not a StarDict"},
      {head + "version=4.0.0\nwordcount=1\n", "unsupported version"},
      {head + "wordcount=1\n", "no version"},
      {head + "version=3.0.0\n", "no wordcount"},
      {head + "version=3.0.0\nwordcount=many\n", "bad wordcount"},
      {head + "version=2.4.2\nwordcount=1\nidxoffsetbits=64\n", "needs version 3.0.0"},
      {head + "version=3.0.0\nwordcount=1\nidxoffsetbits=16\n", "bad idxoffsetbits"},
      {head + "version=3.0.0\nwordcount=1\nsametypesequence=m1\n", "bad sametypesequence"},
  };
  for (const auto& [contents, message] : cases) {
    QString error;
    EXPECT_FALSE(stardict::parseIfo(contents, &error)) << message;
    EXPECT_TRUE(error.contains(QLatin1String(message))) << error.toStdString();
  }
}

// Both versions, 32- and 64-bit offsets, plain and gzipped .idx, plain and dictzipped data.
TEST_F(StarDictTest, EveryFileVariantReadsBack) {
  const QList<StarDictEntry> entries = words();
  for (int variant = 0; variant < 16; ++variant) {
    const bool version3 = variant & 1, offsets64 = variant & 2, compressIdx = variant & 4, dictzip = variant & 8;
    if (offsets64 && !version3) continue;
    StarDictWriterOptions options;
    options.version = version3 ? QStringLiteral("3.0.0") : QStringLiteral("2.4.2");
    options.offsets64 = offsets64;
    options.compressIdx = compressIdx;
    options.dictzip = dictzip;
    options.chunkLength = 300;
    options.crlf = variant % 3 == 1;
    options.byteOrderMark = variant % 3 == 0;
    options.sameTypeSequence = variant % 5 < 2 ? QByteArray("m") : QByteArray();
    const StarDictFiles files = write(QStringLiteral("v%1").arg(variant), entries, options);
    EXPECT_EQ(files.idx.endsWith(QLatin1String(".gz")), compressIdx);
    QString error;
    auto dictionary = open(StarDictDictionary::filesFor(files.ifo), &error);
    ASSERT_TRUE(dictionary) << error.toStdString();
    EXPECT_EQ(dictionary->entryCount(), entries.size());
    EXPECT_EQ(dictionary->info().idxOffsetBits, offsets64 ? 64 : 32);
    EXPECT_TRUE(dictionary->indexWasSorted());
    for (const StarDictEntry& entry : entries) {
      EXPECT_EQ(dictionary->define(entry.headword), QString::fromUtf8(entry.fields[0].data)) << entry.headword.toStdString();
    }
  }
}

TEST_F(StarDictTest, EntryFieldsWithAndWithoutSameTypeSequence) {
  struct Case {
    const char* what;
    QByteArray sameTypeSequence;
    QList<dictionary::StarDictField> fields;
    std::optional<QString> expected;
  };
  const std::vector<Case> cases = {
      // A phonetic text, a picture with its size, then the definition whose size is implicit.
      {"upper-case inside", "tPm", {{'t', "k\xc3\xa6t"}, {'P', QByteArray("\x89PNG\0\x01\x02", 7)}, {'m', "a small feline"}},
       QString::fromUtf8("[kæt]\na small feline")},
      // The last field binary: its size is the rest of the entry and it carries no text.
      {"upper-case last", "mW", {{'m', "a loyal animal"}, {'W', QByteArray("RIFF\0\0\0", 7)}}, QStringLiteral("a loyal animal")},
      {"pictures only", "P", {{'P', QByteArray("\0\1\2", 3)}}, std::nullopt},
      // Without a sequence every field is typed; markup turns to text.
      {"no sequence", {},
       {{'t', "ti\xcb\x90"},
        {'h', "<p><b>tea</b> &amp; <i>biscuits</i></p><p>a   hot\n drink<br>served&nbsp;warm</p>"},
        {'r', "img:tea.png"},
        {'W', QByteArray("\0\0", 2)},
        {'g', "<span foreground=\"red\">steeped</span> leaves\n  in water"},
        {'x', "<k>tea</k>\n<tr>ti:</tr> the &lt;drink&gt;"},
        {'m', "plain"}},
       QString::fromUtf8("[tiː]\ntea & biscuits\na hot drink\nserved\u00a0warm\nsteeped leaves\n  in water\n"
                         "[ti:] the <drink>\nplain")},
  };
  int n = 0;
  for (const Case& c : cases) {
    StarDictWriterOptions options;
    options.sameTypeSequence = c.sameTypeSequence;
    auto dictionary = open(write(QStringLiteral("f%1").arg(n++), {{QStringLiteral("entry"), c.fields, {}}}, options));
    ASSERT_TRUE(dictionary) << c.what;
    EXPECT_EQ(dictionary->define(QStringLiteral("entry")), c.expected) << c.what;
  }
}

TEST(StarDictMarkup, HtmlCollapsesSpaceAndBreaksBlocks) {
  const std::vector<std::tuple<const char16_t*, MarkupKind, QString>> cases = {
      {u"<div>one</div><div>two<br/>three</div><ul><li>a</li><li>b</li></ul>", MarkupKind::Html,
       QStringLiteral("one\ntwo\nthree\na\nb")},
      {u"x <script>var a = '<b>';</script>y<style>p{}</style> z", MarkupKind::Html, QStringLiteral("x y z")},
      {u"<pre>a  b\n c</pre>", MarkupKind::Html, QStringLiteral("a  b\n c")},
      {u"&#233;&#xE9;&eacute;&unknown; &amp;lt; 3 < 4 <!-- note -->", MarkupKind::Html, QStringLiteral("ééé&unknown; &lt; 3 < 4")},
      {u"<p></p><p></p><p>a</p><p></p><p></p><p>b</p>", MarkupKind::Html, QStringLiteral("a\nb")},
      {u"unclosed <b", MarkupKind::Html, QStringLiteral("unclosed <b")},
      {u"line\n\n\n\nline", MarkupKind::Pango, QStringLiteral("line\n\nline")},
  };
  for (const auto& [markup, kind, text] : cases) {
    EXPECT_EQ(dictionary::markupToText(markup, kind), text) << QString::fromUtf16(markup).toStdString();
  }
}

// The exact headword first, else every case-folded one; synonyms count like headwords, in file order.
TEST_F(StarDictTest, LookupOrderWithSynonymsAndRepeatedHeadwords) {
  const StarDictFiles files = write(
      "syn", {starDictTextEntry(QStringLiteral("color"), QStringLiteral("a hue"), {QStringLiteral("colour"), QStringLiteral("Farbe")}),
              starDictTextEntry(QStringLiteral("lead"), QStringLiteral("to guide")),
              starDictTextEntry(QStringLiteral("lead"), QStringLiteral("a metal"), {QStringLiteral("plumbum")}),
              starDictTextEntry(QStringLiteral("colour"), QStringLiteral("the British entry")),
              starDictTextEntry(QStringLiteral("Polish"), QStringLiteral("of Poland")),
              starDictTextEntry(QStringLiteral("polish"), QStringLiteral("to shine")),
              starDictTextEntry(QStringLiteral("Über"), QStringLiteral("over")),
              starDictTextEntry(QStringLiteral("ΣΟΦΙΑ"), QStringLiteral("wisdom"))});
  ASSERT_FALSE(files.syn.isEmpty());
  auto dictionary = open(files);
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->info().synWordCount, 3u);
  expectLookups(*dictionary, {{"lead", QStringLiteral("to guide\n\na metal")},
                              {"plumbum", QStringLiteral("a metal")},
                              {"farbe", QStringLiteral("a hue")},
                              {"colour", QStringLiteral("a hue\n\nthe British entry")},
                              {"polish", QStringLiteral("to shine")},
                              {"Polish", QStringLiteral("of Poland")},
                              {"POLISH", QStringLiteral("of Poland\n\nto shine")},
                              {"über", QStringLiteral("over")},
                              {"σοφια", QStringLiteral("wisdom")},
                              {"polis", std::nullopt},
                              {"polishes", std::nullopt}});
}

TEST_F(StarDictTest, UnsortedIndexIsSortedAtOpen) {
  QByteArray idx, dict;
  for (const auto& [word, text] : std::vector<std::pair<QByteArray, QByteArray>>{
           {"zulu", "z"}, {"alpha", "a1"}, {"mike", "m"}, {"Alpha", "a2"}, {"alpha", "a3"}}) {
    idx += word + '\0';
    for (const quint32 number : {quint32(dict.size()), quint32(text.size())}) {
      for (int shift : {24, 16, 8, 0}) idx += char(number >> shift);
    }
    dict += text;
  }
  ASSERT_TRUE(fixtures::writeBytes(dir_.filePath("u.idx"), idx));
  ASSERT_TRUE(fixtures::writeBytes(dir_.filePath("u.dict"), dict));
  ASSERT_TRUE(fixtures::writeBytes(dir_.filePath("u.ifo"), "StarDict's dict ifo file\nversion=2.4.2\nwordcount=5\nbookname=U\n"
                                                           "sametypesequence=m\nidxfilesize=" + QByteArray::number(idx.size()) + "\n"));
  auto dictionary = open(StarDictDictionary::filesFor(dir_.filePath("u.ifo")));
  ASSERT_TRUE(dictionary);
  EXPECT_FALSE(dictionary->indexWasSorted());
  expectLookups(*dictionary, {{"alpha", QStringLiteral("a1\n\na3")}, {"ALPHA", QStringLiteral("a1\n\na2\n\na3")},
                              {"zulu", QStringLiteral("z")}, {"mike", QStringLiteral("m")}});
}

class LyingStarDictTest : public StarDictTest {
 protected:
  void SetUp() override {
    QList<StarDictEntry> entries = words();
    entries[10].synonyms = {QStringLiteral("tenth")};
    StarDictWriterOptions options;
    options.sameTypeSequence = "m";
    files_ = write("lying", entries, options);
    ifo_ = fixtures::readBytes(files_.ifo);
    idx_ = fixtures::readBytes(files_.idx);
    ASSERT_TRUE(open(files_));
  }
  void expectOpenError(const QByteArray& message) {
    QString error;
    EXPECT_FALSE(open(files_, &error)) << message.toStdString();
    EXPECT_TRUE(error.contains(QString::fromUtf8(message))) << error.toStdString();
  }
  StarDictFiles files_;
  QByteArray ifo_, idx_;
};

TEST_F(LyingStarDictTest, WrongCountsSizesAndTruncatedOrMissingFilesAreOpenErrors) {
  for (const auto& [from, to] : std::vector<std::pair<QByteArray, QByteArray>>{{"wordcount=200", "wordcount=201"},
                                                                              {"wordcount=200", "wordcount=150"},
                                                                              {"synwordcount=1", "synwordcount=4"},
                                                                              {"idxfilesize=", "idxfilesize=1"}}) {
    fixtures::writeBytes(files_.ifo, QByteArray(ifo_).replace(from, to));
    expectOpenError(to);
  }
  // The .idx cut inside a record, with the .ifo agreeing on the size.
  const QByteArray cut = idx_.left(idx_.size() - 5);
  fixtures::writeBytes(files_.idx, cut);
  fixtures::writeBytes(files_.ifo, QByteArray(ifo_).replace("idxfilesize=" + QByteArray::number(idx_.size()),
                                                            "idxfilesize=" + QByteArray::number(cut.size())));
  expectOpenError("cut short");
  fixtures::writeBytes(files_.idx, idx_);
  fixtures::writeBytes(files_.ifo, ifo_);
  fixtures::writeBytes(files_.syn, fixtures::readBytes(files_.syn).left(3));
  expectOpenError("cut short");
  QFile::remove(files_.syn);
  expectOpenError(".syn");
  files_.syn.clear();
  ASSERT_TRUE(open(files_));
  QFile::remove(files_.dict);
  expectOpenError(".dict");
  files_.dict.clear();
  expectOpenError("no .dict");
}

TEST_F(LyingStarDictTest, OffsetsPastTheEndFailOnlyTheirWord) {
  // Point entry 20's offset far past the end of the .dict.
  QByteArray idx = idx_;
  idx[idx.indexOf(QByteArray("Word020") + '\0') + 8] = char(0x7f);
  fixtures::writeBytes(files_.idx, idx);
  // The synonym "tenth" now points past the last entry.
  QByteArray syn = fixtures::readBytes(files_.syn);
  syn[syn.size() - 2] = char(0x7f);
  fixtures::writeBytes(files_.syn, syn);
  auto dictionary = open(files_);
  ASSERT_TRUE(dictionary);
  for (const auto& [word, message] : {std::pair{"Word020", "past the end"}, std::pair{"tenth", "points to entry"}}) {
    QString error;
    EXPECT_FALSE(dictionary->define(QString::fromLatin1(word), &error)) << word;
    EXPECT_TRUE(error.contains(QLatin1String(message))) << error.toStdString();
  }
  EXPECT_TRUE(dictionary->define(QStringLiteral("Word021")));
  EXPECT_TRUE(dictionary->define(QStringLiteral("Word010")));
}

TEST_F(StarDictTest, DamagedEntryDataIsAnErrorForItsWord) {
  // Without a type sequence, a binary field claims more bytes than the entry holds.
  StarDictEntry entry{QStringLiteral("broken"), {{'m', "text"}, {'W', "abcd"}}, {}};
  const StarDictFiles files = write("damaged", {entry, starDictTextEntry(QStringLiteral("fine"), QStringLiteral("ok"))});
  QByteArray dict = fixtures::readBytes(files.dict);
  dict[dict.indexOf("abcd") - 1] = char(200);
  fixtures::writeBytes(files.dict, dict);
  auto dictionary = open(files);
  ASSERT_TRUE(dictionary);
  QString error;
  EXPECT_FALSE(dictionary->define(QStringLiteral("broken"), &error));
  EXPECT_TRUE(error.contains(QLatin1String("ends inside"))) << error.toStdString();
  EXPECT_EQ(dictionary->define(QStringLiteral("fine")), QStringLiteral("ok"));
}

}  // namespace
