// SPDX-License-Identifier: GPL-3.0-or-later
// The sample dictionary source format and the vocabulon-makedict tool.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "dictionary/Bundle.h"
#include "dictionary/DictZip.h"
#include "dictionary/Dictionary.h"
#include "dictionary/SampleSource.h"
#include "tests/dictionary/Fixtures.h"

namespace {

constexpr char kSource[] =
    "# A comment line\n"
    "%name  Tiny Sample  \n"
    "%url https://example.invalid/tiny\r\n"
    "\n"
    "@run\n"
    "verb\n"
    " 1. To move fast on foot.\n"
    "# a comment inside an entry is still a comment\n"
    "\n"
    "@walk\n"
    "verb\n"
    " 1. To move on foot.\n"
    "\n"
    "\n"
    "@run\n"
    "noun\n"
    " 1. An act of running.\n"
    "@quiet\n";

TEST(SampleSource, ParsesNameUrlAndEntriesInOrder) {
  QString error;
  const auto source = dictionary::parseSampleSource(QString::fromUtf8(kSource), &error);
  ASSERT_TRUE(source) << error.toStdString();
  EXPECT_EQ(source->name, QStringLiteral("Tiny Sample"));
  EXPECT_EQ(source->url, QStringLiteral("https://example.invalid/tiny"));
  ASSERT_EQ(source->entries.size(), 4);
  EXPECT_EQ(source->entries[0].headword, QStringLiteral("run"));
  EXPECT_EQ(source->entries[0].text, QStringLiteral("run\nverb\n 1. To move fast on foot."));
  EXPECT_EQ(source->entries[1].text, QStringLiteral("walk\nverb\n 1. To move on foot."));
  EXPECT_EQ(source->entries[2].text, QStringLiteral("run\nnoun\n 1. An act of running."));
  EXPECT_EQ(source->entries[3].text, QStringLiteral("quiet"));
}

TEST(SampleSource, RefusesTextOutsideEntries) {
  QString error;
  EXPECT_FALSE(dictionary::parseSampleSource(QStringLiteral("%name X\nstray text\n@a\nb\n"), &error));
  EXPECT_TRUE(error.contains(QLatin1String("line 2"))) << error.toStdString();
  EXPECT_FALSE(dictionary::parseSampleSource(QStringLiteral("@ \nb\n"), &error));
  EXPECT_TRUE(error.contains(QLatin1String("line 1"))) << error.toStdString();
}

class MakeDictTest : public ::testing::Test {
 protected:
  int run(const QStringList& arguments, QByteArray* errors = nullptr) {
    QProcess tool;
    tool.start(QStringLiteral(VOCABULON_MAKEDICT), arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    if (errors) *errors = tool.readAllStandardError();
    return tool.exitCode();
  }
  QTemporaryDir dir_;
};

TEST_F(MakeDictTest, BuildsABundleOfRealFilesWithDictzipData) {
  const QString source = dir_.filePath(QStringLiteral("tiny.txt"));
  fixtures::writeBytes(source, kSource);
  const QString bundle = dir_.filePath(QStringLiteral("out/Tiny.dictionary"));
  QByteArray errors;
  ASSERT_EQ(run({source, bundle}, &errors), 0) << errors.toStdString();

  const auto info = dictionary::readBundleInfo(bundle);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, QStringLiteral("Tiny Sample"));
  EXPECT_EQ(info->format, QLatin1String("dictd"));
  EXPECT_EQ(info->files, (QStringList{QStringLiteral("Tiny.index"), QStringLiteral("Tiny.dict.dz")}));
  for (const QString& file : info->files) {
    const QFileInfo data(bundle + QLatin1Char('/') + file);
    EXPECT_TRUE(data.isFile() && !data.isSymLink()) << file.toStdString();
  }
  EXPECT_EQ(dictionary::DictData::open(bundle + QStringLiteral("/Tiny.dict.dz"))->kind(), dictionary::DictData::Kind::DictZip);

  const auto dictionary = dictionary::openUncached(bundle);
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->shortName(), QStringLiteral("Tiny Sample"));
  EXPECT_EQ(dictionary->define(QStringLiteral("Run")),
            QStringLiteral("run\nverb\n 1. To move fast on foot.\n\nrun\nnoun\n 1. An act of running."));
  EXPECT_EQ(dictionary->define(QStringLiteral("quiet")), QStringLiteral("quiet"));

  // Building again replaces the bundle.
  fixtures::writeBytes(source, "%name Tinier\n@only\none entry\n");
  ASSERT_EQ(run({source, bundle}), 0);
  const auto rebuilt = dictionary::openUncached(bundle);
  ASSERT_TRUE(rebuilt);
  EXPECT_EQ(rebuilt->shortName(), QStringLiteral("Tinier"));
  EXPECT_FALSE(rebuilt->define(QStringLiteral("run")));
  EXPECT_EQ(QDir(dir_.filePath(QStringLiteral("out"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("Tiny.dictionary")});
}

TEST_F(MakeDictTest, ReportsBadArgumentsAndSources) {
  EXPECT_EQ(run({}), 2);
  EXPECT_EQ(run({dir_.filePath(QStringLiteral("a.txt")), dir_.filePath(QStringLiteral("NoExtension"))}), 2);
  QByteArray errors;
  EXPECT_EQ(run({dir_.filePath(QStringLiteral("missing.txt")), dir_.filePath(QStringLiteral("M.dictionary"))}, &errors), 1);
  EXPECT_TRUE(errors.contains("missing.txt"));
  fixtures::writeBytes(dir_.filePath(QStringLiteral("stray.txt")), "stray\n@a\nb\n");
  EXPECT_EQ(run({dir_.filePath(QStringLiteral("stray.txt")), dir_.filePath(QStringLiteral("S.dictionary"))}, &errors), 1);
  EXPECT_TRUE(errors.contains("line 1"));
  EXPECT_FALSE(QFileInfo::exists(dir_.filePath(QStringLiteral("S.dictionary"))));
}

}  // namespace
