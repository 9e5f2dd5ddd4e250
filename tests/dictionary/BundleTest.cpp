// SPDX-License-Identifier: GPL-3.0-or-later
// Dictionary bundles and the one open() for every format, with its per-process registry.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <thread>

#include "dictionary/Bundle.h"
#include "dictionary/Dictionary.h"
#include "dictionary/DictdWriter.h"
#include "dictionary/StarDictWriter.h"
#include "platform/cf/PropertyList.h"
#include "tests/TestEnvironment.h"
#include "tests/dictionary/Fixtures.h"

namespace {

class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = environment_.path() + QStringLiteral("/packages");
    QDir().mkpath(data_);
    dictionary::DictdWriterOptions dictd;
    dictd.shortName = QStringLiteral("Fruit Words");
    ASSERT_TRUE(dictionary::writeDictd(data_ + QStringLiteral("/fruit"),
                                       {{QStringLiteral("apple"), QStringLiteral("apple\n  a round fruit")},
                                        {QStringLiteral("pear"), QStringLiteral("pear\n  a sweet fruit")}},
                                       dictd, &dictdFiles_));
    dictionary::StarDictWriterOptions stardict;
    stardict.bookName = QStringLiteral("Tree Words");
    stardict.compressIdx = true;
    stardict.dictzip = true;
    ASSERT_TRUE(dictionary::writeStarDict(data_ + QStringLiteral("/trees"),
                                          {dictionary::starDictTextEntry(QStringLiteral("oak"), QStringLiteral("a hard wood"), {QStringLiteral("quercus")})},
                                          stardict, &starDictFiles_));
  }

  // A bundle whose data files are links to the written files.
  QString makeBundle(const QString& name, const QString& format, const QStringList& targets) {
    const QString bundle = environment_.dictionariesFolder() + QLatin1Char('/') + name + QStringLiteral(".dictionary");
    EXPECT_TRUE(QDir().mkpath(bundle));
    dictionary::BundleInfo info{name, format, {}};
    for (const QString& target : targets) {
      const QString file = QFileInfo(target).fileName();
      EXPECT_TRUE(QFile::link(target, bundle + QLatin1Char('/') + file));
      info.files.append(file);
    }
    EXPECT_TRUE(dictionary::writeBundleInfo(bundle, info));
    return bundle;
  }

  TestEnvironment environment_;
  QString data_;
  dictionary::DictdFiles dictdFiles_;
  dictionary::StarDictFiles starDictFiles_;
};

TEST_F(BundleTest, OpensBundlesOfBothFormatsWithLinkedData) {
  const QString fruit = makeBundle(QStringLiteral("Fruit"), QStringLiteral("dictd"), {dictdFiles_.index, dictdFiles_.data});
  const QString trees = makeBundle(QStringLiteral("Trees"), QStringLiteral("StarDict"),
                                   {starDictFiles_.ifo, starDictFiles_.idx, starDictFiles_.syn, starDictFiles_.dict});
  QString error;
  const auto dictd = dictionary::open(fruit, &error);
  ASSERT_TRUE(dictd) << error.toStdString();
  EXPECT_EQ(dictd->formatName(), QLatin1String("dictd"));
  EXPECT_EQ(dictd->shortName(), QStringLiteral("Fruit Words"));
  EXPECT_EQ(dictd->define(QStringLiteral("Pear")), QStringLiteral("pear\n  a sweet fruit"));
  const auto stardict = dictionary::open(trees, &error);
  ASSERT_TRUE(stardict) << error.toStdString();
  EXPECT_EQ(stardict->formatName(), QLatin1String("StarDict"));
  EXPECT_EQ(stardict->shortName(), QStringLiteral("Tree Words"));
  EXPECT_EQ(stardict->define(QStringLiteral("quercus")), QStringLiteral("a hard wood"));
  EXPECT_EQ(stardict->entryCount(), 1);

  // The bare files open as well.
  EXPECT_TRUE(dictionary::open(dictdFiles_.index));
  EXPECT_TRUE(dictionary::open(starDictFiles_.ifo));
}

// One object per canonical path, until the files change.
TEST_F(BundleTest, OpenIsKeptPerPathUntilTheFilesChange) {
  const QString fruit = makeBundle(QStringLiteral("Fruit"), QStringLiteral("dictd"), {dictdFiles_.index, dictdFiles_.data});
  const auto before = dictionary::open(fruit);
  ASSERT_TRUE(before);
  const QString alias = environment_.path() + QStringLiteral("/alias.dictionary");
  ASSERT_TRUE(QFile::link(fruit, alias));
  for (const QString& path : {fruit, fruit + QStringLiteral("/"), alias}) {
    EXPECT_EQ(dictionary::open(path).get(), before.get()) << path.toStdString();
  }
  EXPECT_NE(dictionary::openUncached(fruit).get(), before.get());

  dictionary::DictdWriterOptions options;
  options.shortName = QStringLiteral("Fruit Words, Second Edition");
  ASSERT_TRUE(dictionary::writeDictd(data_ + QStringLiteral("/fruit"),
                                     {{QStringLiteral("apple"), QStringLiteral("apple\n  a crisp fruit")}}, options));
  const auto after = dictionary::open(fruit);
  ASSERT_TRUE(after);
  EXPECT_NE(after.get(), before.get());
  EXPECT_EQ(after->shortName(), options.shortName);
  EXPECT_EQ(after->define(QStringLiteral("apple")), QStringLiteral("apple\n  a crisp fruit"));
  // The old object still works for whoever holds it.
  EXPECT_EQ(before->define(QStringLiteral("pear")), QStringLiteral("pear\n  a sweet fruit"));
  EXPECT_EQ(dictionary::open(fruit).get(), after.get());
}

TEST_F(BundleTest, BrokenBundlesAndOtherPathsAreOpenErrors) {
  const QString missing = makeBundle(QStringLiteral("Missing"), QStringLiteral("dictd"), {dictdFiles_.index, dictdFiles_.data});
  QFile::remove(missing + QStringLiteral("/fruit.dict.dz"));
  ASSERT_TRUE(QFile::link(data_ + QStringLiteral("/gone.dict.dz"), missing + QStringLiteral("/fruit.dict.dz")));

  const QString root = environment_.dictionariesFolder();
  struct Case {
    QString bundle;
    const char* message;
  };
  std::vector<Case> cases = {{missing, "missing data file"}};
  auto bundleWith = [&](const QString& name, const QByteArray& plist) {
    const QString bundle = root + QLatin1Char('/') + name + QStringLiteral(".dictionary");
    fixtures::writeBytes(bundle + QStringLiteral("/Info.plist"), plist);
    return bundle;
  };
  auto plistOf = [](const QVariantMap& map) { return plist::serialize(map); };
  cases.push_back({bundleWith(QStringLiteral("NoPlist"), {}), "Info.plist"});
  QFile::remove(root + QStringLiteral("/NoPlist.dictionary/Info.plist"));
  cases.push_back({bundleWith(QStringLiteral("Garbage"), "not a plist"), "Info.plist"});
  cases.push_back({bundleWith(QStringLiteral("Format"), plistOf({{QStringLiteral("CFBundleName"), QStringLiteral("F")},
                                                                 {QStringLiteral("VocabulonDictionaryFormat"), QStringLiteral("babylon")},
                                                                 {QStringLiteral("VocabulonDictionaryFiles"), QVariantList{}}})),
                   "unknown dictionary format"});
  cases.push_back({bundleWith(QStringLiteral("Escape"), plistOf({{QStringLiteral("VocabulonDictionaryFormat"), QStringLiteral("dictd")},
                                                                 {QStringLiteral("VocabulonDictionaryFiles"),
                                                                  QVariantList{QStringLiteral("../../packages/fruit.index")}}})),
                   "bad data file name"});
  cases.push_back({bundleWith(QStringLiteral("NoIndex"), plistOf({{QStringLiteral("VocabulonDictionaryFormat"), QStringLiteral("dictd")},
                                                                  {QStringLiteral("VocabulonDictionaryFiles"), QVariantList{}}})),
                   "lists no .index"});
  // Paths that are no bundle at all.
  const QString text = environment_.path() + QStringLiteral("/notes.txt");
  fixtures::writeBytes(text, "hello");
  cases.push_back({text, "not a dictionary"});
  cases.push_back({environment_.path() + QStringLiteral("/nothing-here"), ""});
  for (const Case& c : cases) {
    QString error;
    EXPECT_FALSE(dictionary::open(c.bundle, &error)) << c.message;
    EXPECT_TRUE(!error.isEmpty() && error.contains(QLatin1String(c.message))) << c.message << ": " << error.toStdString();
  }
}

TEST_F(BundleTest, ConcurrentLookupsAgree) {
  QList<dictionary::DictdEntry> entries;
  for (int i = 0; i < 2000; ++i) {
    entries.append({QStringLiteral("w%1").arg(i), QStringLiteral("w%1\n").arg(i) + QString::fromUtf8(fixtures::proseBytes(200, i))});
  }
  dictionary::DictdWriterOptions options;
  options.chunkLength = 4096;
  dictionary::DictdFiles files;
  ASSERT_TRUE(dictionary::writeDictd(data_ + QStringLiteral("/many"), entries, options, &files));
  const auto shared = dictionary::open(files.index);
  ASSERT_TRUE(shared);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = t; i < entries.size(); i += 3) {
        const auto found = dictionary::open(files.index)->define(entries[i].headword);
        QString expected = entries[i].text;
        while (!expected.isEmpty() && expected.back().isSpace()) expected.chop(1);
        if (found != expected) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
