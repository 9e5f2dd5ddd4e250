// SPDX-License-Identifier: GPL-3.0-or-later
// Importing installed dictionaries as bundles.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "dictionary/Bundle.h"
#include "dictionary/Dictionary.h"
#include "dictionary/DictdWriter.h"
#include "dictionary/Import.h"
#include "dictionary/StarDictWriter.h"
#include "tests/TestEnvironment.h"
#include "tests/dictionary/Fixtures.h"

using dictionary::importDictionaries;
using dictionary::safeBundleName;

namespace {

TEST(ImportNames, AreSafeAsFileNames) {
  const int most = dictionary::kMaxBundleNameLength;
  // A long name is cut, and a character outside the BMP is never split.
  const std::vector<std::tuple<QString, QString, QString>> cases = {
      {QStringLiteral("WordNet (r) 3.0 (2006)"), QStringLiteral("wn"), QStringLiteral("WordNet (r) 3.0 (2006)")},
      {QStringLiteral("English/German"), {}, QStringLiteral("English-German")},
      {QStringLiteral("  ..hidden  "), {}, QStringLiteral("hidden")},
      {QStringLiteral(". . ."), {}, QStringLiteral("Dictionary")},
      {QString::fromUtf8("tab\there\0nul", 12), {}, QStringLiteral("tab here nul")},
      {QStringLiteral("   "), QStringLiteral("gcide"), QStringLiteral("gcide")},
      {QString(), QStringLiteral("."), QStringLiteral("Dictionary")},
      {QString(300, QLatin1Char('x')), {}, QString(most, QLatin1Char('x'))},
      {QString(most - 1, QLatin1Char('y')) + QString::fromUtf8("\xf0\x9f\x93\x96"), {}, QString(most - 1, QLatin1Char('y'))},
  };
  for (const auto& [name, base, expected] : cases) EXPECT_EQ(safeBundleName(name, base), expected) << name.toStdString();
}

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    places_ = {environment_.path() + QStringLiteral("/share/dictd"),
               environment_.path() + QStringLiteral("/share/stardict/dic"),
               environment_.home() + QStringLiteral("/.stardict/dic")};
    for (const QString& place : places_) QDir().mkpath(place);
    destination_ = environment_.dictionariesFolder();
  }

  QString writeDictd(const QString& folder, const QString& base, const QString& shortName, const QString& word = QStringLiteral("word")) {
    QDir().mkpath(folder);
    dictionary::DictdWriterOptions options;
    options.shortName = shortName;
    dictionary::DictdFiles files;
    EXPECT_TRUE(dictionary::writeDictd(folder + QLatin1Char('/') + base, {{word, word + QStringLiteral(" from ") + shortName}},
                                       options, &files));
    return files.index;
  }

  QString writeStarDict(const QString& folder, const QString& base, const QString& bookName) {
    QDir().mkpath(folder);
    dictionary::StarDictWriterOptions options;
    options.bookName = bookName;
    options.dictzip = true;
    dictionary::StarDictFiles files;
    EXPECT_TRUE(dictionary::writeStarDict(folder + QLatin1Char('/') + base,
                                          {dictionary::starDictTextEntry(QStringLiteral("star"), QStringLiteral("a sun"), {QStringLiteral("sun")})},
                                          options, &files));
    return files.ifo;
  }

  QStringList leftovers() const {
    return QDir(destination_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(QStringLiteral(".import"));
  }

  TestEnvironment environment_;
  QStringList places_;
  QString destination_;
};

TEST_F(ImportTest, EveryDictionaryInTheStandardPlacesBecomesALinkedBundle) {
  const QString index = writeDictd(places_[0], QStringLiteral("fruit"), QStringLiteral("Fruit Words"));
  const QString ifo = writeStarDict(places_[1] + QStringLiteral("/trees"), QStringLiteral("trees"), QStringLiteral("Tree / Shrub Words"));
  writeStarDict(places_[2] + QStringLiteral("/mine"), QStringLiteral("mine"), QStringLiteral(".mine"));
  fixtures::writeBytes(places_[0] + QStringLiteral("/README"), "not a dictionary");

  const auto report = importDictionaries({}, destination_, places_);
  ASSERT_EQ(report.size(), 3);
  for (const auto& item : report) EXPECT_TRUE(item.error.isEmpty()) << item.source.toStdString() << ": " << item.error.toStdString();
  EXPECT_EQ(report[0].source, index);
  EXPECT_EQ(report[0].bundlePath, destination_ + QStringLiteral("/Fruit Words.dictionary"));
  EXPECT_EQ(report[1].bundlePath, destination_ + QStringLiteral("/Tree - Shrub Words.dictionary"));
  EXPECT_EQ(report[2].bundlePath, destination_ + QStringLiteral("/mine.dictionary"));

  const auto info = dictionary::readBundleInfo(report[1].bundlePath);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, QStringLiteral("Tree / Shrub Words"));
  EXPECT_EQ(info->format, QLatin1String("StarDict"));
  EXPECT_EQ(info->files, (QStringList{QStringLiteral("trees.ifo"), QStringLiteral("trees.idx"),
                                      QStringLiteral("trees.dict.dz"), QStringLiteral("trees.syn")}));
  for (const QString& file : info->files) {
    const QFileInfo link(report[1].bundlePath + QLatin1Char('/') + file);
    EXPECT_TRUE(link.isSymLink()) << file.toStdString();
    EXPECT_TRUE(QFileInfo(link.symLinkTarget()).isAbsolute());
    EXPECT_EQ(link.symLinkTarget(), QFileInfo(ifo).absolutePath() + QLatin1Char('/') + file);
  }
  for (const auto& item : report) {
    const auto opened = dictionary::openUncached(item.bundlePath);
    ASSERT_TRUE(opened) << item.bundlePath.toStdString();
  }
  EXPECT_EQ(dictionary::openUncached(report[1].bundlePath)->define(QStringLiteral("sun")), QStringLiteral("a sun"));
  EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(ImportTest, GivenPathsFilesAndFolders) {
  const QString folder = environment_.path() + QStringLiteral("/given");
  const QString index = writeDictd(folder, QStringLiteral("one"), QStringLiteral("One"));
  writeDictd(folder + QStringLiteral("/sub"), QStringLiteral("two"), QStringLiteral("Two"));
  writeDictd(folder + QStringLiteral("/sub/deeper"), QStringLiteral("three"), QStringLiteral("Three"));
  const auto report = importDictionaries({folder, index, environment_.path() + QStringLiteral("/absent"),
                                          environment_.path() + QStringLiteral("/given/sub/two.dict.dz")},
                                         destination_, places_);
  // The folder gives one and two (one level down); the repeated index is imported once.
  ASSERT_EQ(report.size(), 4);
  EXPECT_TRUE(report[0].bundlePath.endsWith(QLatin1String("/One.dictionary")));
  EXPECT_TRUE(report[1].bundlePath.endsWith(QLatin1String("/Two.dictionary")));
  EXPECT_TRUE(report[2].error.contains(QLatin1String("no such file"))) << report[2].error.toStdString();
  EXPECT_TRUE(report[3].error.contains(QLatin1String("not a dictd .index or StarDict .ifo")));
  EXPECT_FALSE(QFileInfo::exists(destination_ + QStringLiteral("/Three.dictionary")));
}

TEST_F(ImportTest, UnreadableDictionariesGiveErrorsAndNoBundle) {
  fixtures::writeBytes(places_[0] + QStringLiteral("/broken.index"), "no tabs here\n");
  fixtures::writeBytes(places_[0] + QStringLiteral("/broken.dict"), "x");
  fixtures::writeBytes(places_[0] + QStringLiteral("/nodata.index"), "word\tA\tB\n");
  writeStarDict(places_[1] + QStringLiteral("/lying"), QStringLiteral("lying"), QStringLiteral("Lying"));
  const QString ifo = places_[1] + QStringLiteral("/lying/lying.ifo");
  fixtures::writeBytes(ifo, fixtures::readBytes(ifo).replace("wordcount=1", "wordcount=9"));

  const auto report = importDictionaries({}, destination_, places_);
  ASSERT_EQ(report.size(), 3);
  for (const auto& item : report) {
    EXPECT_FALSE(item.error.isEmpty()) << item.source.toStdString();
    EXPECT_TRUE(item.bundlePath.isEmpty());
  }
  EXPECT_TRUE(QDir(destination_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(ImportTest, ReimportReplacesTheBundleOnlyWhenTheNewOneIsComplete) {
  const QString index = writeDictd(places_[0], QStringLiteral("fruit"), QStringLiteral("Fruit"), QStringLiteral("apple"));
  auto report = importDictionaries({index}, destination_, places_);
  ASSERT_EQ(report.size(), 1);
  const QString bundle = report[0].bundlePath;
  ASSERT_TRUE(dictionary::openUncached(bundle));
  // Something of the user's inside the old bundle shows whether it was replaced.
  fixtures::writeBytes(bundle + QStringLiteral("/marker"), "old");

  // A damaged dictionary of the same name: the old bundle stays as it was.
  const QByteArray goodIndex = fixtures::readBytes(index);
  fixtures::writeBytes(index, "garbage without fields\n");
  report = importDictionaries({index}, destination_, places_);
  ASSERT_EQ(report.size(), 1);
  EXPECT_FALSE(report[0].error.isEmpty());
  EXPECT_TRUE(QFileInfo::exists(bundle + QStringLiteral("/marker")));
  EXPECT_TRUE(QFileInfo(bundle + QStringLiteral("/fruit.index")).isSymLink());

  // Mended: the new bundle takes the old one's place whole.
  fixtures::writeBytes(index, goodIndex);
  report = importDictionaries({index}, destination_, places_);
  ASSERT_EQ(report.size(), 1);
  EXPECT_TRUE(report[0].error.isEmpty()) << report[0].error.toStdString();
  EXPECT_EQ(report[0].bundlePath, bundle);
  EXPECT_FALSE(QFileInfo::exists(bundle + QStringLiteral("/marker")));
  EXPECT_EQ(dictionary::openUncached(bundle)->define(QStringLiteral("apple")), QStringLiteral("apple from Fruit"));
  EXPECT_TRUE(leftovers().isEmpty());
  EXPECT_EQ(QDir(destination_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("Fruit.dictionary")});
  // The package's files are untouched.
  EXPECT_EQ(fixtures::readBytes(index), goodIndex);
}

TEST_F(ImportTest, ReplaceBundleSwapsWholeFolders) {
  const QString target = destination_ + QStringLiteral("/X.dictionary");
  const QString built = destination_ + QStringLiteral("/.import-built");
  fixtures::writeBytes(target + QStringLiteral("/old"), "old");
  fixtures::writeBytes(built + QStringLiteral("/new"), "new");
  QString error;
  ASSERT_TRUE(dictionary::replaceBundle(built, target, &error)) << error.toStdString();
  EXPECT_EQ(QDir(target).entryList(QDir::Files), QStringList{QStringLiteral("new")});
  EXPECT_FALSE(QFileInfo::exists(built));
  // Into an empty place, it is a plain rename.
  fixtures::writeBytes(built + QStringLiteral("/again"), "again");
  ASSERT_TRUE(dictionary::replaceBundle(built, destination_ + QStringLiteral("/Y.dictionary"), &error));
  EXPECT_TRUE(QFileInfo::exists(destination_ + QStringLiteral("/Y.dictionary/again")));
}

TEST_F(ImportTest, ImportingTheBundlesFolderItselfKeepsWorkingLinks) {
  writeDictd(places_[0], QStringLiteral("fruit"), QStringLiteral("Fruit"), QStringLiteral("apple"));
  ASSERT_EQ(importDictionaries({}, destination_, places_).size(), 1);
  const auto report = importDictionaries({destination_}, destination_, places_);
  ASSERT_EQ(report.size(), 1);
  EXPECT_TRUE(report[0].error.isEmpty()) << report[0].error.toStdString();
  const QFileInfo link(destination_ + QStringLiteral("/Fruit.dictionary/fruit.index"));
  EXPECT_EQ(link.symLinkTarget(), places_[0] + QStringLiteral("/fruit.index"));
  const auto reopened = dictionary::openUncached(destination_ + QStringLiteral("/Fruit.dictionary"));
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->define(QStringLiteral("apple")), QStringLiteral("apple from Fruit"));
}

TEST_F(ImportTest, TwoDictionariesWithOneNameBothGetBundles) {
  writeDictd(places_[0], QStringLiteral("a"), QStringLiteral("Same"));
  writeDictd(places_[0], QStringLiteral("b"), QStringLiteral("Same"));
  const auto report = importDictionaries({}, destination_, places_);
  ASSERT_EQ(report.size(), 2);
  EXPECT_TRUE(report[0].bundlePath.endsWith(QLatin1String("/Same.dictionary")));
  EXPECT_TRUE(report[1].bundlePath.endsWith(QLatin1String("/Same 2.dictionary")));
}

}  // namespace
