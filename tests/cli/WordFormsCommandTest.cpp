// SPDX-License-Identifier: GPL-3.0-or-later
// `vocabulon define` with base forms, --exact and the headwords in --json, run as the real
// executable.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"

namespace {

QString define(const QStringList& options, const QByteArray& text) {
  QProcess process;
  process.start(QStringLiteral(VOCABULON_BINARY_DIR "/vocabulon"), QStringList{"define"} + options + QStringList{"-"});
  process.write(text);
  process.closeWriteChannel();
  EXPECT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(DefineCommand, BaseFormsExactAndHeadwords) {
  TestEnvironment env;
  installDefinitionAction(env);
  addTestDictionary(env, "Animals", {{"cat", "A small furry animal."}, {"mouse", "A small rodent."},
                                      {"leaf", "Part of a plant."}, {"leave", "To go away."}, {"running", "Operating."},
                                      {"run", "To move fast."}});
  const QByteArray text = "CATS mice leaves running ran cats cats zzz";

  // The window's block format: the word stays the headword.
  EXPECT_EQ(define({}, "CATS leaves zzz"),
            "CATS:\nA small furry animal.\n\n"
            "leaves:\nPart of a plant.\n\nTo go away.\n\n"
            "zzz:\nCould not retrieve definition\n\n");

  const QStringList lines = define({"--json"}, text).trimmed().split('\n');
  ASSERT_EQ(lines.size(), 8);
  QStringList used;
  for (const QString& line : lines) {
    const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
    QStringList headwords;
    for (const QJsonValue& value : object["headwords"].toArray()) headwords << value.toString();
    used << object["word"].toString() + "=" + headwords.join('+');
    EXPECT_EQ(object["definition"].isNull(), headwords.isEmpty()) << line.toStdString();
  }
  EXPECT_EQ(used, (QStringList{"CATS=cat", "mice=mouse", "leaves=leaf+leave", "running=running", "ran=run",
                               "cats=cat", "cats=cat", "zzz="}));

  // A long text (its misses are held while the spelling dictionary loads) gives the same
  // answers in the same order, and the same text as the short runs word for word.
  const QByteArray longText = (text + ' ').repeated(40);
  const QStringList longLines = define({"--json"}, longText).trimmed().split('\n');
  ASSERT_EQ(longLines.size(), 8 * 40);
  for (int i = 0; i < longLines.size(); ++i) ASSERT_EQ(longLines[i], lines[i % 8]) << i;
  EXPECT_EQ(define({}, longText), define({}, text).repeated(40));

  const QStringList exact = define({"--exact", "--json"}, text).trimmed().split('\n');
  ASSERT_EQ(exact.size(), 8);
  QStringList defined;
  for (const QString& line : exact) {
    const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
    if (!object["definition"].isNull()) defined << object["word"].toString();
    EXPECT_EQ(object["headwords"].toArray().size(), object["definition"].isNull() ? 0 : 1);
  }
  EXPECT_EQ(defined, QStringList{"running"});
}

}  // namespace
