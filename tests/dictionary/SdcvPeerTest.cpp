// SPDX-License-Identifier: GPL-3.0-or-later
// Our StarDict reader against sdcv, on a StarDict conversion of WordNet made by our writer.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include "dictionary/Convert.h"
#include "dictionary/StarDictDictionary.h"
#include "dictionary/StarDictWriter.h"
#include "tests/TestEnvironment.h"
#include "tests/dictionary/Fixtures.h"
#include "tests/dictionary/PeerSupport.h"

namespace {

constexpr char kIndex[] = "/usr/share/dictd/wn.index";
constexpr char kData[] = "/usr/share/dictd/wn.dict.dz";

bool convertWordNet(const QString& basePath, dictionary::StarDictFiles* files, QString* problem) {
  dictionary::StarDictWriterOptions options;
  options.bookName = QStringLiteral("WordNet");
  options.sameTypeSequence = "m";
  options.dictzip = true;
  return dictionary::convertDictdToStarDict(QLatin1String(kIndex), QLatin1String(kData), basePath, options,
                                            files, problem);
}

// sdcv's answers, one list of definitions per word, for words asked in one run.
std::optional<QList<QStringList>> askSdcv(const QString& sdcv, const QString& dataDir, const QStringList& words,
                                          QString* problem) {
  QProcess process;
  // UTF-8 both ways, whatever the locale the tests run in.
  process.start(sdcv, QStringList{QStringLiteral("-n"), QStringLiteral("-e"), QStringLiteral("-j"), QStringLiteral("--utf8-input"),
                                  QStringLiteral("--utf8-output"), QStringLiteral("--data-dir"), dataDir} + words);
  if (!process.waitForFinished(120000) || process.exitCode() != 0) {
    *problem = QStringLiteral("sdcv failed: %1").arg(QString::fromLocal8Bit(process.readAllStandardError()));
    return std::nullopt;
  }
  QList<QStringList> answers;
  for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
    if (line.trimmed().isEmpty()) continue;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (!document.isArray()) {
      *problem = QStringLiteral("unreadable sdcv output: %1").arg(error.errorString());
      return std::nullopt;
    }
    QStringList definitions;
    for (const QJsonValue& result : document.array()) {
      QString definition = result.toObject().value(QStringLiteral("definition")).toString();
      if (definition.startsWith(QLatin1Char('\n'))) definition.remove(0, 1);  // sdcv starts each field on a new line
      definitions.append(peers::trimmedEnd(definition));
    }
    answers.append(definitions);
  }
  if (answers.size() != words.size()) {
    *problem = QStringLiteral("sdcv answered %1 of %2 words").arg(answers.size()).arg(words.size());
    return std::nullopt;
  }
  return answers;
}

TEST(SdcvPeer, OurStarDictReaderFindsWhatSdcvFinds) {
  const QString sdcv = QStandardPaths::findExecutable(QStringLiteral("sdcv"));
  if (sdcv.isEmpty() || !QFileInfo::exists(QLatin1String(kIndex)) || !QFileInfo::exists(QLatin1String(kData))) {
    GTEST_SKIP() << "sdcv or the WordNet dictionary (dict-wn) is not installed";
  }
  TestEnvironment environment;  // sdcv keeps its history and caches under HOME
  QString textPath;
  const QStringList words = peers::textWords(&textPath);
  ASSERT_FALSE(words.isEmpty()) << "cannot read " << textPath.toStdString();

  const QString dataDir = environment.path() + QStringLiteral("/dic");
  ASSERT_TRUE(QDir().mkpath(dataDir + QStringLiteral("/wn")));
  dictionary::StarDictFiles files;
  QString problem;
  ASSERT_TRUE(convertWordNet(dataDir + QStringLiteral("/wn/wn"), &files, &problem)) << problem.toStdString();
  auto ours = dictionary::StarDictDictionary::open(dictionary::StarDictDictionary::filesFor(files.ifo), &problem);
  ASSERT_TRUE(ours) << problem.toStdString();

  // sdcv -e looks up the word as given only; our second step, case folding, is checked
  // against sdcv's answer for the folded word.
  QStringList asked;
  for (const QString& word : words) {
    // sdcv reads a query starting with '|' as a search of the definitions (other such marks
    // are punctuation, which never reaches a word).
    if (word.startsWith(QLatin1Char('|'))) continue;
    asked.append(word);
    if (word.toCaseFolded() != word) asked.append(word.toCaseFolded());
  }
  QHash<QString, QStringList> answers;
  for (qsizetype start = 0; start < asked.size(); start += 200) {
    const QStringList batch = asked.mid(start, 200);
    const auto batchAnswers = askSdcv(sdcv, dataDir, batch, &problem);
    ASSERT_TRUE(batchAnswers) << problem.toStdString();
    for (qsizetype i = 0; i < batch.size(); ++i) answers.insert(batch[i], batchAnswers->at(i));
  }

  int defined = 0;
  QStringList mismatches;
  for (const QString& word : words) {
    if (word.startsWith(QLatin1Char('|'))) continue;
    QStringList definitions = answers.value(word);
    if (definitions.isEmpty()) definitions = answers.value(word.toCaseFolded());
    const std::optional<QString> expected =
        definitions.isEmpty() ? std::nullopt : std::optional<QString>(definitions.join(QStringLiteral("\n\n")));
    QString error;
    const std::optional<QString> actual = ours->define(word, &error);
    EXPECT_TRUE(error.isEmpty()) << word.toStdString() << ": " << error.toStdString();
    if (expected) ++defined;
    if (actual != expected) {
      mismatches.append(QStringLiteral("%1: sdcv %2 entries, ours %3")
                            .arg(word).arg(definitions.size()).arg(actual ? QStringLiteral("differ") : QStringLiteral("none")));
    }
  }
  EXPECT_TRUE(mismatches.isEmpty()) << mismatches.size() << " of " << words.size() << " words differ:\n"
                                    << mismatches.mid(0, 20).join(QLatin1Char('\n')).toStdString();
  EXPECT_GT(defined, words.size() / 2);
}

}  // namespace
