// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <limits>
#include <random>
#include <sys/stat.h>

#include "platform/cf/PropertyList.h"

namespace {

QVariant roundTrip(const QVariant& value) {
  QString error;
  const std::optional<QVariant> back = plist::parse(plist::serialize(value), &error);
  EXPECT_TRUE(back.has_value()) << error.toStdString();
  return back.value_or(QVariant());
}

// Random text weighted towards what XML finds hard: control characters, CR, lone and paired
// surrogates, the noncharacters U+FFFE/U+FFFF, markup characters and the writer's own escape
// character, besides any code unit at all.
QString randomText(std::mt19937& random) {
  static const char16_t special[] = {u'&', u'<', u'>', u'\\', u'"', u'\'', u']', u'\r', u'\n', u'\t', u' ',
                                     0xFFFE, 0xFFFF, 0xFEFF, 0xFFFD, u'u'};
  std::uniform_int_distribution<int> length(0, 24), kind(0, 4), unit(0, 0xFFFF), control(0, 0x1F),
      surrogate(0xD800, 0xDFFF), pick(0, std::size(special) - 1);
  QString text;
  for (int n = length(random); n > 0; --n) {
    switch (kind(random)) {
      case 0: text += QChar(char16_t(control(random))); break;
      case 1: text += QChar(char16_t(surrogate(random))); break;
      case 2: text += QChar(special[pick(random)]); break;
      case 3: text += QLatin1String("\\u0041"); break;  // looks like an escape already
      default: text += QChar(char16_t(unit(random)));
    }
  }
  return text;
}

TEST(PropertyList, RandomStringsAndKeysReadBackEqual) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 400; ++round) {
    QVariantMap map;
    QVariantList list;
    for (int i = 0; i < 8; ++i) {
      list.append(randomText(random));
      map.insert(randomText(random), randomText(random));
    }
    map.insert(QStringLiteral("list"), list);
    const QVariant value(map);
    ASSERT_EQ(roundTrip(value), value) << plist::serialize(value).toStdString();
  }

  QString everyUnit;
  for (int unit = 0; unit <= 0xFFFF; ++unit) everyUnit += QChar(char16_t(unit));
  EXPECT_EQ(roundTrip(everyUnit), QVariant(everyUnit));
}

TEST(PropertyList, ValuesOfEveryKindReadBackEqual) {
  const QDateTime when = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
  const QVariant values[] = {
      QVariant(true), QVariant(false), QVariant(qlonglong(-42)),
      QVariant(std::numeric_limits<qlonglong>::min()), QVariant(std::numeric_limits<qulonglong>::max()),
      QVariant(0.1), QVariant(-1e300), QVariant(when), QVariant(QByteArray("\0\x01\xff", 3)),
      QVariant(QString()), QVariant(QVariantMap()), QVariant(QVariantList()),
      QVariant(QVariantMap{{"nested", QVariantList{QVariantMap{{"deep", "x"}}, QVariantList{}}}}),
  };
  for (const QVariant& value : values) EXPECT_EQ(roundTrip(value), value) << plist::serialize(value).toStdString();
  EXPECT_TRUE(std::isinf(roundTrip(std::numeric_limits<double>::infinity()).toDouble()));
}

// Ordinary text is written as every writer writes it; only text XML cannot hold is marked.
TEST(PropertyList, EscapesAreUsedOnlyWhereXmlCannotCarryTheText) {
  const struct {
    QString text;
    const char* written;
  } cases[] = {
      {"plain", "<string>plain</string>"},
      {"a & b < c > d \\ e", "<string>a &amp; b &lt; c &gt; d \\ e</string>"},
      {"line\r\nbreak\ttab", "<string>line&#13;\nbreak\ttab</string>"},
      {QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x98\x80"), "<string>caf\xc3\xa9 \xf0\x9f\x98\x80</string>"},
      {QString("bell\x07 and \\"), "<string escaped=\"1\">bell\\u0007 and \\\\</string>"},
      {QString(QChar(0xD800)) + "x" + QChar(0xFFFF), "<string escaped=\"1\">\\uD800x\\uFFFF</string>"},
  };
  for (const auto& row : cases) {
    const QByteArray xml = plist::serialize(row.text);
    EXPECT_TRUE(xml.contains(row.written)) << xml.toStdString();
  }
  // Without the mark, backslashes are plain text; with it, a broken escape stays as written.
  EXPECT_EQ(plist::parse("<plist><string>\\u0041</string></plist>"), QVariant("\\u0041"));
  EXPECT_EQ(plist::parse("<plist><string escaped=\"1\">\\u00G1 \\q \\u12</string></plist>"),
            QVariant("\\u00G1 \\q \\u12"));
  EXPECT_EQ(plist::parse("<plist><dict><key escaped=\"1\">\\u0000</key><true/></dict></plist>"),
            QVariant(QVariantMap{{QString(QChar(0)), true}}));
}

// Another property-list reader (libplist's plistutil) reads our files: ordinary ones come back
// equal through its binary form, escaped ones are still well-formed.
TEST(PropertyList, AnotherReaderReadsOurFiles) {
  const QString plistutil = QStandardPaths::findExecutable(QStringLiteral("plistutil"));
  if (plistutil.isEmpty()) GTEST_SKIP() << "plistutil (libplist-utils) is not installed";
  QTemporaryDir folder;
  auto convert = [&](const QString& from, const QString& to, const char* format) {
    return QProcess::execute(plistutil, {"-i", from, "-o", to, "-f", format}) == 0;
  };
  const QVariantMap ordinary{{"LastDictionaryUsed", QString::fromUtf8("Gro\xc3\x9f & <Klein>")},
                             {"SavedRecentWords", QVariantList{"cat dog", "\t  spaced  \n"}},
                             {"resetWindowOnLookup", false},
                             {"count", qlonglong(-7)},
                             {"nested", QVariantMap{{"data", QByteArray("\x00\x01", 2)}}}};
  ASSERT_TRUE(plist::writeFile(folder.filePath("ours.plist"), ordinary));
  ASSERT_TRUE(convert(folder.filePath("ours.plist"), folder.filePath("theirs.bin"), "bin"));
  ASSERT_TRUE(convert(folder.filePath("theirs.bin"), folder.filePath("theirs.plist"), "xml"));
  EXPECT_EQ(plist::readFile(folder.filePath("theirs.plist")), QVariant(ordinary));

  ASSERT_TRUE(plist::writeFile(folder.filePath("escaped.plist"), QVariantMap{{"k", QString("a\x01z")}}));
  ASSERT_TRUE(convert(folder.filePath("escaped.plist"), folder.filePath("escaped.bin"), "bin"));
  ASSERT_TRUE(convert(folder.filePath("escaped.bin"), folder.filePath("escaped-back.plist"), "xml"));
  EXPECT_EQ(plist::readFile(folder.filePath("escaped-back.plist")), QVariant(QVariantMap{{"k", "a\\u0001z"}}));
}

TEST(PropertyList, ReadsOnlyBoundedRegularFiles) {
  QTemporaryDir folder;
  const QString fifo = folder.filePath("fifo.plist");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString link = folder.filePath("zero.plist");
  ASSERT_TRUE(QFile::link("/dev/zero", link));
  const QString big = folder.filePath("big.plist");
  ASSERT_TRUE(plist::writeFile(big, QVariantMap{{"padding", QString(2000, 'x')}}));
  for (const QString& path : {fifo, link, big}) {
    QString error;
    EXPECT_FALSE(plist::readFile(path, &error, 1000).has_value()) << path.toStdString();
    EXPECT_FALSE(error.isEmpty());
  }
  EXPECT_TRUE(plist::readFile(big).has_value());
}

}  // namespace
