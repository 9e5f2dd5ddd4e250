// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/TestDictionaries.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include "dictionary/DictdWriter.h"
#include "platform/cf/PropertyList.h"
#include "tests/TestEnvironment.h"

void installDefinitionAction(const TestEnvironment& env) {
  const QString action = QStringLiteral("/System/Library/Automator/Get Definition of Word.action");
  ASSERT_TRUE(QDir().mkpath(env.systemRoot() + "/System/Library/Automator"));
  ASSERT_EQ(QProcess::execute("cp", {"-r", QStringLiteral(VOCABULON_BUILD_ROOT) + action,
                                     env.systemRoot() + action}),
            0);
}

void writeTestDictd(const QString& basePath, const QString& shortName, const TestEntries& entries) {
  QList<dictionary::DictdEntry> list;
  for (const auto& [word, text] : entries) list.append({word, text});
  dictionary::DictdWriterOptions options;
  options.shortName = shortName;
  QString error;
  ASSERT_TRUE(dictionary::writeDictd(basePath, list, options, nullptr, &error)) << error.toStdString();
}

QString addTestDictionary(const TestEnvironment& env, const QString& name, const TestEntries& entries) {
  const QString bundle = env.dictionariesFolder() + "/" + name + ".dictionary";
  EXPECT_TRUE(QDir().mkpath(bundle));
  writeTestDictd(bundle + "/data", name, entries);
  EXPECT_TRUE(plist::writeFile(
      bundle + "/Info.plist",
      QVariantMap{{"CFBundleName", name},
                  {"VocabulonDictionaryFormat", "dictd"},
                  {"VocabulonDictionaryFiles", QStringList{"data.index", "data.dict.dz"}}}));
  return bundle;
}
