// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/RichText.h"

#include <QClipboard>
#include <QDateTime>
#include <QProcess>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QRegularExpression>
#include <QTextCursor>
#include <cstring>
#include <sys/stat.h>
#include <sys/time.h>
#include <gtest/gtest.h>

#include "platform/cocoa/Pasteboard.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/ExportTestSupport.h"

namespace {

// unrtf shows a tab as a run of spaces.
QString spaced(QString text) {
  return text.replace(QRegularExpression(QStringLiteral("[ \\t]+")), QStringLiteral(" "));
}

const QString kUnicode =
    QString::fromUtf8("caf\xC3\xA9 \xE2\x80\x9Cna\xC3\xAFve\xE2\x80\x9D \xE4\xB8\xAD \xF0\x9F\x98\x80");

class RichTextTest : public testing::Test {
 protected:
  void SetUp() override {
    append(QStringLiteral("cat"), QStringLiteral("A small furry animal."));
    append(QString::fromUtf8("\xC3\xA9t\xC3\xA9"), kUnicode + QStringLiteral(" back\\slash {braced}\ttab"));
    folder = env.path() + QStringLiteral("/saved");
    QDir().mkpath(folder);
    package = folder + QStringLiteral("/Notes.rtfd");
  }
  void TearDown() override { setRTFDStepCheckForTesting(nullptr); }

  // An entry as the result view has it: bold blue headword, plain ":\n", black definition.
  void append(const QString& word, const QString& definition) {
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setFont(QFont(QStringLiteral("Helvetica"), 12, QFont::Bold));
    format.setForeground(QColor(Qt::blue));
    cursor.insertText(word, format);
    cursor.insertText(QStringLiteral(":\n"), QTextCharFormat());
    format.setFont(QFont(QStringLiteral("Helvetica"), 12));
    format.setForeground(QColor(Qt::black));
    cursor.insertText(definition, format);
    cursor.insertText(QStringLiteral("\n\n"), QTextCharFormat());
  }

  void makeOldPackage() {
    QDir().mkpath(package);
    QFile text(package + QStringLiteral("/TXT.rtf"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("{\\rtf1 old}");
  }

  TestEnvironment env;
  QTextDocument document;
  QString folder, package;
};

TEST_F(RichTextTest, UnrtfReadsTheTextTheBoldHeadwordsAndTheColours) {
  REQUIRE_UNRTF();
  const QByteArray rtf = RTFFromDocument(document);
  // 7-bit RTF; one escape per UTF-16 unit, signed above 32767, with a Windows-1252 fallback.
  EXPECT_TRUE(rtf.contains("\\fswiss\\fcharset0 Helvetica;"));
  EXPECT_TRUE(rtf.contains("caf\\u233\\'e9") && rtf.contains("\\u-10179\\'3f\\u-8704\\'3f"));
  EXPECT_TRUE(
      std::all_of(rtf.begin(), rtf.end(), [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7F); }));

  const UnrtfReading reading = readWithUnrtf(rtf);
  ASSERT_TRUE(reading.document);
  EXPECT_EQ(spaced(reading.text()), spaced(document.toPlainText().trimmed()));
  for (const QString& headword : {QStringLiteral("cat"), QString::fromUtf8("\xC3\xA9t\xC3\xA9")}) {
    EXPECT_EQ(reading.formatOf(headword).fontWeight(), QFont::Bold);
    EXPECT_EQ(reading.formatOf(headword).foreground().color(), QColor(Qt::blue));
  }
  const QTextCharFormat definition = reading.formatOf(QStringLiteral("A small furry animal."));
  EXPECT_NE(definition.fontWeight(), QFont::Bold);
  EXPECT_EQ(definition.foreground().color(), QColor(Qt::black));

  // A range cuts fragments and paragraphs where it starts and ends.
  const QString whole = document.toPlainText();
  const int from = int(whole.indexOf(QStringLiteral("furry"))), to = int(whole.indexOf(u'\t'));
  EXPECT_EQ(readWithUnrtf(RTFFromRange(document, from, to)).text(), whole.mid(from, to - from).trimmed());
  EXPECT_EQ(spaced(readWithUnrtf(RTFFromRange(document, -10, 1 << 20)).text()), spaced(whole.trimmed()));
  EXPECT_TRUE(readWithUnrtf(RTFFromDocument(QTextDocument())).document);
}

TEST_F(RichTextTest, TheSelectionGoesOntoTheClipboardInTheDeclaredTypesOnly) {
  QTextCursor selection(&document);
  selection.setPosition(3, QTextCursor::KeepAnchor);
  Pasteboard& general = Pasteboard::generalPasteboard();
  QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
  EXPECT_TRUE(writeSelectionToPasteboard(selection, general, {NSRTFPboardType}));
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->formats(), QStringList{"text/rtf"});
  EXPECT_EQ(general.dataForType(NSRTFPboardType), RTFFromRange(document, 0, 3));

  EXPECT_TRUE(writeSelectionToPasteboard(selection, general, {NSStringPboardType, NSRTFPboardType}));
  EXPECT_EQ(general.stringForType(NSStringPboardType), QStringLiteral("cat"));
  EXPECT_FALSE(general.setDataForType("x", QStringLiteral("undeclared")));
  EXPECT_FALSE(writeSelectionToPasteboard(selection, general, {QStringLiteral("NSTIFFPboardType")}));
  EXPECT_EQ(general.types(), (QStringList{NSStringPboardType, NSRTFPboardType}));  // untouched

  // What another program put there reads under our types.
  auto* foreign = new QMimeData;
  foreign->setData(QStringLiteral("application/rtf"), "{\\rtf1 x}");
  QGuiApplication::clipboard()->setMimeData(foreign);
  EXPECT_EQ(general.dataForType(NSRTFPboardType), QByteArray("{\\rtf1 x}"));
}

TEST_F(RichTextTest, APackageReplacesWhatWasThereOnlyOnceComplete) {
  makeOldPackage();
  QFile(package + QStringLiteral("/old.png")).open(QIODevice::WriteOnly);
  for (const bool canSwap : {true, false}) {  // the fallback moves the old item aside first
    setRTFDStepCheckForTesting(
        [canSwap](const char* step) { return canSwap || std::strcmp(step, "exchange"); });
    QString error;
    ASSERT_TRUE(writeRTFDPackage(document, package, &error)) << error.toStdString();
    EXPECT_EQ(listTree(folder), (QStringList{"Notes.rtfd", "Notes.rtfd/TXT.rtf"}));
    EXPECT_EQ(readFile(package + "/TXT.rtf"), RTFFromDocument(document));
    makeOldPackage();
  }

  // Failing while writing, or while renaming into place: the old package stays, nothing new.
  for (const char* failing : {"text", "install"}) {
    setRTFDStepCheckForTesting(
        [failing](const char* step) { return std::strcmp(step, failing) && std::strcmp(step, "exchange"); });
    EXPECT_FALSE(writeRTFDPackage(document, package)) << failing;
    EXPECT_EQ(listTree(folder), (QStringList{"Notes.rtfd", "Notes.rtfd/TXT.rtf"}));
    EXPECT_EQ(readFile(package + "/TXT.rtf"), QByteArray("{\\rtf1 old}"));
  }
  QFile(folder + "/file").open(QIODevice::WriteOnly);
  EXPECT_FALSE(writeRTFDPackage(document, folder + QStringLiteral("/file/Notes.rtfd")));
  EXPECT_EQ(listTree(folder), (QStringList{"Notes.rtfd", "Notes.rtfd/TXT.rtf", "file"}));
}

// A save that was killed leaves its hidden temporary package behind; the next save in that
// folder removes it once its process is gone or it is old, and nothing else.
TEST_F(RichTextTest, TheNextSaveRemovesTemporaryPackagesOfKilledSaves) {
  QProcess killed, running;
  killed.start(QStringLiteral("sleep"), {QStringLiteral("60")});
  running.start(QStringLiteral("sleep"), {QStringLiteral("60")});
  ASSERT_TRUE(killed.waitForStarted() && running.waitForStarted());
  const QString gone = QString::number(killed.processId()), alive = QString::number(running.processId());
  killed.kill();
  killed.waitForFinished();

  const qint64 anHourAgo = QDateTime::currentSecsSinceEpoch() - 3600;
  enum Kind { Folder, OldFolder, File, Link };
  const struct {
    QString name;
    Kind kind;
    bool removed;
  } items[] = {
      {".rtfd-" + gone + "-aB3dE9", Folder, true},      // its process was killed
      {".rtfd-" + alive + "-aB3dE9", Folder, false},    // a save still running elsewhere
      {".rtfd-" + alive + "-Zz0Zz0", OldFolder, true},  // too old to be running still
      {".rtfd-Q1w2E3", Folder, false},                  // an older version's, still fresh
      {".rtfd-R4t5Y6", OldFolder, true},                // an older version's, old
      {".rtfd-" + gone + "-aB3dE9-old", OldFolder, false},  // holds a package being replaced
      {".rtfd-" + gone + "-fiLe00", File, false},
      {".rtfd-" + gone + "-LiNk00", Link, false},
      {".rtfd-notours", OldFolder, false},
  };
  for (const auto& item : items) {
    const QString path = folder + "/" + item.name;
    if (item.kind == File) {
      QFile(path).open(QIODevice::WriteOnly);
    } else if (item.kind == Link) {
      ASSERT_TRUE(QFile::link(env.path(), path));
    } else {
      ASSERT_TRUE(QDir().mkpath(path + "/inside"));
      QFile(path + "/TXT.rtf").open(QIODevice::WriteOnly);
    }
    if (item.kind == OldFolder) {
      const struct timeval times[2] = {{time_t(anHourAgo), 0}, {time_t(anHourAgo), 0}};
      ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
    }
  }
  ASSERT_TRUE(writeRTFDPackage(document, package));
  for (const auto& item : items) {
    struct stat info;
    EXPECT_EQ(::lstat(QFile::encodeName(folder + "/" + item.name).constData(), &info) != 0, item.removed)
        << item.name.toStdString();
  }
  EXPECT_TRUE(QFileInfo::exists(env.path()));
  running.kill();
  running.waitForFinished();
}

TEST_F(RichTextTest, ImagesBecomeAttachmentFilesNamedInTheText) {
  QImage image(4, 3, QImage::Format_RGB32);
  image.fill(Qt::red);
  document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("picture.png")), image);
  QTextCursor cursor(&document);
  cursor.movePosition(QTextCursor::End);
  cursor.insertImage(QStringLiteral("picture.png"));
  cursor.insertImage(QStringLiteral("picture.png"));
  ASSERT_TRUE(writeRTFDPackage(document, package));
  EXPECT_EQ(listTree(package), (QStringList{"TXT.rtf", "picture 2.png", "picture.png"}));
  EXPECT_EQ(QImage(package + QStringLiteral("/picture 2.png")).pixelColor(3, 2), QColor(Qt::red));
  EXPECT_TRUE(readFile(package + "/TXT.rtf").contains("{{\\NeXTGraphic picture.png \\width60 \\height45"));
  EXPECT_FALSE(RTFFromDocument(document).contains("NeXTGraphic"));  // plain RTF carries none
}

}  // namespace
