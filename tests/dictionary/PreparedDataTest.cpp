// SPDX-License-Identifier: GPL-3.0-or-later
// The uncompressed copy of a bundle's dictzipped data: made at import, read while it is
// current, and never read once its source has changed or the copy is damaged.
#include <gtest/gtest.h>

#include <cstring>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <optional>

#include "dictionary/Bundle.h"
#include "dictionary/Dictionary.h"
#include "dictionary/DictZip.h"
#include "dictionary/DictdDictionary.h"
#include "dictionary/DictdWriter.h"
#include "dictionary/Import.h"
#include "dictionary/StarDictWriter.h"
#include "platform/cf/PropertyList.h"
#include "tests/TestEnvironment.h"
#include "tests/dictionary/Fixtures.h"

namespace {

constexpr int kWords = 120;
constexpr int kChunk = 512;  // small chunks, so the entries cross many chunk boundaries

QString wordAt(int i) { return QStringLiteral("word%1").arg(i, 3, 10, QLatin1Char('0')); }

// Definitions that differ from one edition to the next but keep their lengths, so that a
// stale copy would give wrong text at the very offsets the new index names.
QString textOf(int i, unsigned edition) {
  return wordAt(i) + QLatin1Char('\n') + QString::fromLatin1(fixtures::proseBytes(40 + (i * 37) % 300, 1000 * edition + i)) +
         QStringLiteral(" end");
}

class PreparedDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    packages_ = environment_.path() + QStringLiteral("/share");
    QDir().mkpath(packages_);
  }

  QString writeDictd(unsigned edition, bool dictzip = true) {
    QList<dictionary::DictdEntry> entries;
    for (int i = 0; i < kWords; ++i) entries.append({wordAt(i), textOf(i, edition)});
    dictionary::DictdWriterOptions options;
    options.shortName = QStringLiteral("Numbered");
    options.dictzip = dictzip;
    options.chunkLength = kChunk;
    dictionary::DictdFiles files;
    EXPECT_TRUE(dictionary::writeDictd(packages_ + QStringLiteral("/numbered"), entries, options, &files));
    return files.index;
  }

  QString writeStarDict(unsigned edition) {
    QList<dictionary::StarDictEntry> entries;
    for (int i = 0; i < kWords; ++i) entries.append(dictionary::starDictTextEntry(wordAt(i), textOf(i, edition)));
    dictionary::StarDictWriterOptions options;
    options.bookName = QStringLiteral("Starred");
    options.dictzip = true;
    options.chunkLength = kChunk;
    dictionary::StarDictFiles files;
    EXPECT_TRUE(dictionary::writeStarDict(packages_ + QStringLiteral("/starred"), entries, options, &files));
    return files.ifo;
  }

  QString import(const QString& source) {
    const auto report = dictionary::importDictionaries({source}, environment_.dictionariesFolder(), {});
    EXPECT_EQ(report.size(), 1);
    if (report.size() != 1) return QString();
    EXPECT_TRUE(report[0].error.isEmpty()) << report[0].error.toStdString();
    return report[0].bundlePath;
  }

  static dictionary::BundleInfo info(const QString& bundle) {
    const auto read = dictionary::readBundleInfo(bundle);
    EXPECT_TRUE(read);
    return read.value_or(dictionary::BundleInfo{});
  }

  // Whether opening the bundle reads a file of its own with this ending.
  static bool uses(const QString& bundle, const char* ending) {
    QStringList used;
    QString error;
    EXPECT_TRUE(dictionary::openBundle(bundle, &error, &used)) << error.toStdString();
    for (const QString& path : used) {
      if (path.endsWith(QLatin1String(ending))) return true;
    }
    return false;
  }
  static bool usesPrepared(const QString& bundle) { return uses(bundle, ".prepared"); }
  static bool usesOrder(const QString& bundle) { return uses(bundle, ".order"); }

  // Every word's definition through the bundle is the one of the given edition.
  static void expectEdition(const QString& bundle, unsigned edition) {
    QString error;
    const auto opened = dictionary::openUncached(bundle, &error);
    ASSERT_TRUE(opened) << error.toStdString();
    for (int i = 0; i < kWords; ++i) {
      ASSERT_EQ(opened->define(wordAt(i), &error), textOf(i, edition)) << wordAt(i).toStdString() << " " << error.toStdString();
    }
  }

  // Rewrites the bundle's prepared-data record through the plist itself.
  static void editRecord(const QString& bundle, const char* key, const QVariant& value) {
    const QString path = bundle + QStringLiteral("/Info.plist");
    QVariantMap map = plist::readFile(path)->toMap();
    QVariantMap record = map.value(QLatin1String(dictionary::kBundlePreparedKey)).toMap();
    record.insert(QLatin1String(key), value);
    map.insert(QLatin1String(dictionary::kBundlePreparedKey), record);
    ASSERT_TRUE(plist::writeFile(path, map));
  }

  TestEnvironment environment_;
  QString packages_;
};

TEST_F(PreparedDataTest, ImportOfDictzippedDataMakesACopyThatDefinesAlike) {
  for (const QString& source : {writeDictd(1), writeStarDict(1)}) {
    SCOPED_TRACE(source.toStdString());
    const QString bundle = import(source);
    const dictionary::BundleInfo bundleInfo = info(bundle);
    ASSERT_TRUE(bundleInfo.prepared);
    const dictionary::PreparedData& prepared = *bundleInfo.prepared;
    EXPECT_TRUE(prepared.source.endsWith(QLatin1String(".dict.dz")));
    EXPECT_TRUE(bundleInfo.files.contains(prepared.source));
    EXPECT_FALSE(bundleInfo.files.contains(prepared.file));
    // The listed data stays a link to the package's file; the copy is a file of the bundle.
    const QFileInfo link(bundle + QLatin1Char('/') + prepared.source);
    EXPECT_TRUE(link.isSymLink());
    const QFileInfo copy(bundle + QLatin1Char('/') + prepared.file);
    EXPECT_TRUE(copy.isFile() && !copy.isSymLink());
    EXPECT_EQ(prepared.sourceSize, QFileInfo(link.symLinkTarget()).size());

    // The copy holds exactly what the package's compressed file inflates to.
    const auto packed = dictionary::DictData::open(link.symLinkTarget());
    ASSERT_TRUE(packed);
    QByteArray inflated;
    ASSERT_TRUE(packed->readAll(&inflated));
    EXPECT_EQ(prepared.size, inflated.size());
    EXPECT_EQ(fixtures::readBytes(copy.filePath()), inflated);

    EXPECT_TRUE(usesPrepared(bundle));
    expectEdition(bundle, 1);
    // The bare package files, read compressed, agree word for word.
    const auto bare = dictionary::openUncached(source);
    const auto bundled = dictionary::openUncached(bundle);
    ASSERT_TRUE(bare && bundled);
    for (const QString& word : {wordAt(0), wordAt(kWords - 1), QStringLiteral("WORD077"), QStringLiteral("absent")}) {
      EXPECT_EQ(bundled->define(word), bare->define(word)) << word.toStdString();
    }
  }
}

TEST_F(PreparedDataTest, UncompressedDataGetsNoCopy) {
  const QString bundle = import(writeDictd(1, false));
  EXPECT_FALSE(info(bundle).prepared);
  EXPECT_EQ(QDir(bundle).entryList(QDir::Files).filter(QStringLiteral(".prepared")), QStringList());
  expectEdition(bundle, 1);
}

TEST_F(PreparedDataTest, APackageUpdateMakesOpenReadTheNewDataUntilReimport) {
  for (const bool stardict : {false, true}) {
    SCOPED_TRACE(stardict ? "StarDict" : "dictd");
    const QString source = stardict ? writeStarDict(1) : writeDictd(1);
    const QString bundle = import(source);
    const auto before = dictionary::open(bundle);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->define(wordAt(5)), textOf(5, 1));

    // The package manager writes the new edition over the old files' names.
    EXPECT_EQ(usesOrder(bundle), !stardict);
    stardict ? writeStarDict(2) : writeDictd(2);
    EXPECT_FALSE(usesPrepared(bundle));
    EXPECT_FALSE(usesOrder(bundle));
    const auto after = dictionary::open(bundle);
    ASSERT_TRUE(after);
    EXPECT_NE(after.get(), before.get());
    for (int i = 0; i < kWords; ++i) ASSERT_EQ(after->define(wordAt(i)), textOf(i, 2)) << i;
    expectEdition(bundle, 2);

    // Importing again makes a copy of the new edition and records it.
    const std::optional<dictionary::PreparedData> old = info(bundle).prepared;
    EXPECT_EQ(import(source), bundle);
    const std::optional<dictionary::PreparedData> fresh = info(bundle).prepared;
    ASSERT_TRUE(old && fresh);
    EXPECT_NE(fresh->sourceInode, old->sourceInode);
    EXPECT_TRUE(usesPrepared(bundle));
    EXPECT_EQ(usesOrder(bundle), !stardict);
    expectEdition(bundle, 2);
  }
}

TEST_F(PreparedDataTest, AKeptIndexOrderOpensLikeTheWholeIndex) {
  // Hand-made, so that the index is out of order, has a line that cannot be read, and names
  // its rules and special entries late.
  const QByteArray data = "zebra\nMango 1\napple\nmango 2\nHand Words\nhttp://example.org/\nkiwi\n";
  auto line = [&](const QByteArray& headword, const QByteArray& text) { return fixtures::dictdLine(headword, data, text); };
  const QByteArray index = line("zebra", "zebra\n") + line("Mango", "Mango 1\n") + "no fields here\n" +
                           line("apple", "apple\n") + line("00-database-case-sensitive", "\n") +
                           line("mango", "mango 2\n") + line("00-database-short", "Hand Words\n") +
                           line("00-database-url", "http://example.org/\n") + line("kiwi", "kiwi\n");
  ASSERT_TRUE(fixtures::writeBytes(packages_ + QStringLiteral("/hand.index"), index));
  ASSERT_TRUE(fixtures::writeBytes(packages_ + QStringLiteral("/hand.dict"), data));
  const QString bundle = import(packages_ + QStringLiteral("/hand.index"));
  ASSERT_TRUE(usesOrder(bundle));
  EXPECT_FALSE(usesPrepared(bundle));  // plain data needs no copy

  const auto whole = dictionary::DictdDictionary::open(packages_ + QStringLiteral("/hand.index"), packages_ + QStringLiteral("/hand.dict"));
  std::unique_ptr<dictionary::DictData> handData = dictionary::DictData::open(packages_ + QStringLiteral("/hand.dict"));
  QString error;
  const auto kept = dictionary::DictdDictionary::openWithOrder(bundle + QStringLiteral("/hand.index"),
                                                               bundle + QStringLiteral("/hand.index.order"), handData, &error);
  ASSERT_TRUE(whole && kept) << error.toStdString();
  EXPECT_FALSE(handData);  // taken
  EXPECT_EQ(kept->shortName(), QStringLiteral("Hand Words"));
  EXPECT_EQ(kept->url(), whole->url());
  EXPECT_TRUE(kept->rules() == whole->rules());
  EXPECT_TRUE(kept->rules().caseSensitive);
  EXPECT_FALSE(kept->indexWasSorted());
  EXPECT_EQ(kept->skippedLines(), 1);
  EXPECT_EQ(kept->entryCount(), whole->entryCount());
  for (const char* word : {"zebra", "Mango", "mango", "MANGO", "apple", "kiwi", "pear", "00-database-short"}) {
    EXPECT_EQ(kept->define(QString::fromLatin1(word)), whole->define(QString::fromLatin1(word))) << word;
  }
  EXPECT_EQ(kept->define(QStringLiteral("mango")), QStringLiteral("mango 2"));
}

TEST_F(PreparedDataTest, AKeptOrderThatDoesNotFitItsIndexIsPassedOver) {
  const QString bundle = import(writeDictd(1));
  const QString order = bundle + QStringLiteral("/numbered.index.order");
  const QByteArray good = fixtures::readBytes(order);
  ASSERT_GT(good.size(), 64);
  auto opensWith = [&](const QByteArray& bytes) {
    EXPECT_TRUE(fixtures::writeBytes(order, bytes));
    std::unique_ptr<dictionary::DictData> data = dictionary::DictData::open(bundle + QStringLiteral("/numbered.dict.dz"));
    QString error;
    const bool opened = bool(dictionary::DictdDictionary::openWithOrder(bundle + QStringLiteral("/numbered.index"), order, data, &error));
    EXPECT_EQ(opened, error.isEmpty()) << error.toStdString();
    EXPECT_EQ(bool(data), !opened);  // left to the caller when refused
    return opened;
  };
  EXPECT_TRUE(opensWith(good));
  auto with = [&](int at, char value) { return QByteArray(good).replace(at, 1, QByteArray(1, value)); };
  // Cut, a bad magic, an offset in the middle of a line or past the end of the index.
  const QByteArray midLine = with(good.size() - 4, char(good[good.size() - 4] + 1));
  for (const QByteArray& bad : {good.chopped(4), good.left(10), with(0, 'X'), midLine, with(good.size() - 1, char(0x7f))}) {
    EXPECT_FALSE(opensWith(bad)) << bad.size();
  }

  // A well-formed order (its checksum made to fit) whose lines do not start lines of the index
  // opens, but those lines match no word and nothing outside the index is read.
  auto forged = [&](std::uint32_t line, std::uint32_t length) {
    QByteArray bytes = good;
    constexpr qsizetype kHeader = 56;
    const qsizetype count = (bytes.size() - kHeader) / 8;
    std::memcpy(bytes.data() + kHeader, &line, 4);                  // the first in key order
    std::memcpy(bytes.data() + kHeader + count * 4, &length, 4);
    std::uint64_t hash = 14695981039346656037ull;
    for (qsizetype i = 0; i < count * 2; ++i) {
      std::uint32_t n;
      std::memcpy(&n, bytes.constData() + kHeader + i * 4, 4);
      hash = (hash ^ n) * 1099511628211ull;
    }
    std::memcpy(bytes.data() + kHeader - 8, &hash, 8);
    return bytes;
  };
  // The tail of the first line's headword ends at a tab but starts no line.
  const auto firstTab = std::uint32_t(fixtures::readBytes(bundle + QStringLiteral("/numbered.index")).indexOf('\t'));
  ASSERT_GE(firstTab, 2u);
  const std::pair<std::uint32_t, std::uint32_t> lies[] = {
      {1, firstTab - 1}, {3, 2}, {0, 4000000000u}, {4000000000u, 5}, {0, 0}};
  for (const auto& [line, length] : lies) {
    ASSERT_TRUE(opensWith(forged(line, length))) << line << " " << length;
    std::unique_ptr<dictionary::DictData> data = dictionary::DictData::open(bundle + QStringLiteral("/numbered.dict.dz"));
    const auto opened = dictionary::DictdDictionary::openWithOrder(bundle + QStringLiteral("/numbered.index"), order, data);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->define(wordAt(kWords / 2)), textOf(kWords / 2, 1)) << line << " " << length;
    qsizetype headwords = 0;
    opened->forEachHeadword([&](std::string_view) { ++headwords; });
    EXPECT_EQ(headwords, opened->entryCount() - 1) << line << " " << length;
  }

  // Through the bundle, a damaged order (even at its recorded length) or none leaves the
  // whole index to be read, with the right definitions.
  for (const QByteArray& bad : {midLine, good.chopped(4), QByteArray()}) {
    ASSERT_TRUE(bad.isEmpty() ? QFile::remove(order) : fixtures::writeBytes(order, bad));
    EXPECT_FALSE(usesOrder(bundle));
    expectEdition(bundle, 1);
  }
}

TEST_F(PreparedDataTest, AnyDifferenceInTheRecordedStampLeavesTheCopyUnread) {
  const QString source = writeDictd(1);
  const QString bundle = import(source);
  const dictionary::PreparedData prepared = *info(bundle).prepared;
  const QString target = QFileInfo(bundle + QLatin1Char('/') + prepared.source).symLinkTarget();
  ASSERT_TRUE(usesPrepared(bundle));

  // Only the file's time moves (same bytes, same inode).
  {
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(60),
                                 QFileDevice::FileModificationTime));
  }
  EXPECT_FALSE(usesPrepared(bundle));
  expectEdition(bundle, 1);

  // Each recorded field on its own, against the file as it is now.
  ASSERT_EQ(import(source), bundle);
  ASSERT_TRUE(usesPrepared(bundle));
  const dictionary::PreparedData current = *info(bundle).prepared;
  for (const auto& [key, value] : {std::pair{"SourceSize", qlonglong(current.sourceSize)},
                                   std::pair{"SourceModified", qlonglong(current.sourceModified)},
                                   std::pair{"SourceChanged", qlonglong(current.sourceChanged)},
                                   std::pair{"SourceInode", qlonglong(current.sourceInode)},
                                   std::pair{"Size", qlonglong(current.size)}}) {
    editRecord(bundle, key, value - 1);
    EXPECT_FALSE(usesPrepared(bundle)) << key;
    editRecord(bundle, key, value);
    ASSERT_TRUE(usesPrepared(bundle)) << key;
  }
  // A record that names one of the bundle's own files, or leads outside it, is no record.
  editRecord(bundle, "File", QStringLiteral("numbered.index"));
  EXPECT_FALSE(usesPrepared(bundle));
  editRecord(bundle, "File", QStringLiteral("../numbered.dict.prepared"));
  EXPECT_FALSE(info(bundle).prepared);
  EXPECT_FALSE(usesPrepared(bundle));
  expectEdition(bundle, 1);
}

TEST_F(PreparedDataTest, ADamagedOrMissingCopyIsIgnored) {
  const QString bundle = import(writeDictd(1));
  const dictionary::PreparedData prepared = *info(bundle).prepared;
  const QString copy = bundle + QLatin1Char('/') + prepared.file;
  const QByteArray good = fixtures::readBytes(copy);
  ASSERT_EQ(good.size(), prepared.size);

  // Registered by open(), the bundle is opened again when its copy changes.
  const auto first = dictionary::open(bundle);
  ASSERT_TRUE(first);
  ASSERT_TRUE(fixtures::writeBytes(copy, good.chopped(1)));
  EXPECT_FALSE(usesPrepared(bundle));
  EXPECT_NE(dictionary::open(bundle).get(), first.get());

  // Too long, gone, a link in its place (even to the right bytes), a folder in its place.
  const QString elsewhere = environment_.path() + QStringLiteral("/copy");
  ASSERT_TRUE(fixtures::writeBytes(elsewhere, good));
  const std::vector<std::function<bool()>> damages = {
      [&] { return fixtures::writeBytes(copy, good + "x"); },
      [&] { return QFile::remove(copy); },
      [&] { return QFile::link(elsewhere, copy); },
      [&] { return QFile::remove(copy) && QDir().mkpath(copy); },
  };
  for (const auto& damage : damages) {
    ASSERT_TRUE(damage());
    EXPECT_FALSE(usesPrepared(bundle));
    expectEdition(bundle, 1);
  }
}

TEST_F(PreparedDataTest, BundlesWithoutARecordOrWithAMalformedOneStillOpen) {
  const QString bundle = import(writeStarDict(1));
  const QString path = bundle + QStringLiteral("/Info.plist");
  QVariantMap map = plist::readFile(path)->toMap();
  const QVariant record = map.take(QLatin1String(dictionary::kBundlePreparedKey));
  ASSERT_TRUE(record.isValid());

  // As bundles were made before copies existed: the three keys alone.
  ASSERT_TRUE(plist::writeFile(path, map));
  EXPECT_FALSE(info(bundle).prepared);
  EXPECT_FALSE(usesPrepared(bundle));
  expectEdition(bundle, 1);

  QVariantMap negative = record.toMap();
  negative.insert(QStringLiteral("Size"), qlonglong(-5));
  QVariantMap textual = record.toMap();
  textual.insert(QStringLiteral("SourceInode"), QStringLiteral("12"));
  for (const QVariant& bad : {QVariant(QStringLiteral("starred.dict.prepared")), QVariant(negative), QVariant(textual),
                              QVariant(QVariantMap{})}) {
    map.insert(QLatin1String(dictionary::kBundlePreparedKey), bad);
    ASSERT_TRUE(plist::writeFile(path, map));
    const auto read = dictionary::readBundleInfo(bundle);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->prepared);
    EXPECT_EQ(read->name, QStringLiteral("Starred"));
    expectEdition(bundle, 1);
  }

  // Written back, the record reads as it was.
  map.insert(QLatin1String(dictionary::kBundlePreparedKey), record);
  ASSERT_TRUE(plist::writeFile(path, map));
  const dictionary::BundleInfo restored = info(bundle);
  ASSERT_TRUE(restored.prepared);
  ASSERT_TRUE(dictionary::writeBundleInfo(bundle, restored));
  EXPECT_EQ(info(bundle).prepared, restored.prepared);
  EXPECT_TRUE(usesPrepared(bundle));
}

}  // namespace
