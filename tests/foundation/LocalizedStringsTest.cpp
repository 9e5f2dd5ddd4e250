// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>

#include "foundation/LocalizedStrings.h"
#include "platform/cf/CFQt.h"
#include "tests/TestEnvironment.h"

namespace {

const QString kShippedBundle = QStringLiteral(VOCABULON_BINARY_DIR "/Vocabulon.app");
const QString kProbe = QStringLiteral(VOCABULON_BINARY_DIR "/tests/foundation/localized-strings-probe");

// The probe's answers for keys, in a process with exactly these language variables.
QStringList probe(const QString& bundle, const QMap<QString, QString>& languages,
                  const QStringList& keys) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) env.remove(name);
  for (auto it = languages.begin(); it != languages.end(); ++it) env.insert(it.key(), it.value());
  env.insert("VOCABULON_MAIN_BUNDLE", bundle);
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(kProbe, keys);
  EXPECT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 0);
  QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
  lines.removeLast();
  return lines;
}

TEST(LocalizedStrings, UntranslatedKeyGivesTheIdenticalCachedString) {
  TestEnvironment env;
  qputenv("VOCABULON_MAIN_BUNDLE", kShippedBundle.toUtf8());
  CFStringRef first = GetLocalizedStringForCString("A text nobody translated");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CFStringToQString(first), "A text nobody translated");
  EXPECT_EQ(GetLocalizedStringForCString("A text nobody translated"), first);
  EXPECT_EQ(GetLocalizedString(CFSTR("A text nobody translated")), first);
  // A mutable key is copied into the cache: changing it afterwards changes nothing there.
  CFMutableStringRef key = CFStringCreateMutableCopy(nullptr, 0, CFSTR("Mutable key"));
  CFStringRef answer = GetLocalizedString(key);
  CFStringAppend(key, CFSTR(" changed"));
  EXPECT_EQ(GetLocalizedStringForCString("Mutable key"), answer);
  CFRelease(key);
  EXPECT_EQ(GetLocalizedStringForCString(nullptr), nullptr);
  EXPECT_EQ(GetLocalizedStringForCString("\xC3("), nullptr);  // not UTF-8
  qunsetenv("VOCABULON_MAIN_BUNDLE");
}

TEST(LocalizedStrings, ShippedLanguagesFollowTheUsersLanguages) {
  const QStringList keys{"Choose folder", "Choose", "[Logging starting at ", "Untranslated"};
  const QStringList english{"Choose folder", "Choose", "[Logging starting at ", "Untranslated"};
  const QStringList german{QString::fromUtf8("Ordner wählen"), QString::fromUtf8("Auswählen"),
                           "[Protokoll beginnt am ", "Untranslated"};
  struct Case {
    QMap<QString, QString> languages;
    QStringList expected;
  } cases[] = {
      {{}, english},
      {{{"LANGUAGE", "de"}}, german},
      {{{"LANG", "de_DE.UTF-8"}}, german},
      {{{"LANGUAGE", "fr:de"}, {"LANG", "en_US.UTF-8"}}, german},  // no French: German next
      {{{"LANGUAGE", "en"}, {"LANG", "de_DE.UTF-8"}}, english},    // LANGUAGE comes first
      {{{"LC_ALL", "de_AT.UTF-8@euro"}, {"LANG", "en_US.UTF-8"}}, german},
      {{{"LC_MESSAGES", "de_CH"}, {"LANG", "en_GB"}}, german},
      {{{"LANG", "C.UTF-8"}}, english},
  };
  for (const Case& c : cases)
    EXPECT_EQ(probe(kShippedBundle, c.languages, keys), c.expected) << c.languages.keys().join(',').toStdString();
}

TEST(LocalizedStrings, MalformedTablesAreIgnoredWithoutACrash) {
  TestEnvironment env;
  const QString bundle = env.path() + "/Probe.app";
  QDir().mkpath(bundle + "/Contents/Resources/de.lproj");
  QDir().mkpath(bundle + "/Contents/Resources/fr.lproj");
  QFile info(bundle + "/Contents/Info.plist");
  ASSERT_TRUE(info.open(QIODevice::WriteOnly));
  info.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleDevelopmentRegion</key>"
             "<string>fr</string></dict></plist>");
  info.close();
  // German: broken half way (the good first entry must not be used); French: the
  // development region's table.
  const QList<QPair<QString, QByteArray>> tables{
      {"de", "\"Choose\" = \"Wählen\";\n\"Choose folder\" = ;\n"},
      {"fr", QStringEncoder(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom)(
                 QString::fromUtf8("// commentaire\n\"Choose\" = \"Choisir \\\"ici\\\"\";"))},
  };
  for (const auto& [language, bytes] : tables) {
    QFile file(bundle + "/Contents/Resources/" + language + ".lproj/LocalizedStrings.strings");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  EXPECT_EQ(probe(bundle, {{"LANGUAGE", "de"}}, {"Choose", "Choose folder"}),
            (QStringList{"Choisir \"ici\"", "Choose folder"}));
  // Garbage of every kind is read without a crash.
  for (const QByteArray& garbage : {QByteArray("\xFF\xFE\x00"), QByteArray("/* open"),
                                    QByteArray("\"a\" = \"\\u12"), QByteArray(1000, '\0')}) {
    QFile file(bundle + "/Contents/Resources/fr.lproj/LocalizedStrings.strings");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();
    EXPECT_EQ(probe(bundle, {}, {"Choose"}), QStringList{"Choose"});
  }
}

}  // namespace
