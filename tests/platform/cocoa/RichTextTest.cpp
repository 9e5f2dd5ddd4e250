#include "platform/cocoa/RichText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>
#include <cstring>
#include <gtest/gtest.h>

#include "platform/cocoa/Pasteboard.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/ExportTestSupport.h"

namespace {

QTextCharFormat attributes(bool bold, const QColor& colour) {
  QFont font(QStringLiteral("Helvetica"));
  font.setPointSizeF(12.0);
  font.setBold(bold);
  QTextCharFormat format;
  format.setFont(font);
  format.setForeground(colour);
  return format;
}

// Text laid out as the result view has it: headword, plain ":\n", definition, plain breaks.
void appendEntry(QTextDocument& document, const QString& word, const QString& definition) {
  QTextCursor cursor(&document);
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(word, attributes(true, Qt::blue));
  cursor.insertText(QStringLiteral(":\n"), QTextCharFormat());
  cursor.insertText(definition, attributes(false, Qt::black));
  cursor.insertText(QStringLiteral("\n\n"), QTextCharFormat());
}

QStringList mimeFormats() {
  const QMimeData* contents = QGuiApplication::clipboard()->mimeData();
  return contents ? contents->formats() : QStringList();
}

class RichTextTest : public testing::Test {
 protected:
  void TearDown() override { setRTFDStepCheckForTesting(nullptr); }
  TestEnvironment env;
  QTextDocument document;
};

TEST_F(RichTextTest, EscapesAndTablesAreWrittenAsRTFReadersExpect) {
  appendEntry(document, QStringLiteral("cat"), QStringLiteral("back\\slash {braced}\ttab"));
  QTextCursor cursor(&document);
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QString::fromUtf8("caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80"),
                    attributes(false, Qt::black));
  const QByteArray rtf = RTFFromDocument(document);

  EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi"));
  EXPECT_TRUE(rtf.trimmed().endsWith('}'));
  EXPECT_TRUE(rtf.contains("\\fswiss\\fcharset0 Helvetica;"));
  EXPECT_TRUE(rtf.contains("\\red0\\green0\\blue255;"));
  EXPECT_TRUE(rtf.contains("\\b cat"));
  EXPECT_TRUE(rtf.contains("\\fs24"));
  EXPECT_TRUE(rtf.contains("back\\\\slash \\{braced\\}\\tab tab"));
  // One escape per UTF-16 unit, signed above 32767, each with its Windows-1252 byte or '?':
  // é, 中, then the emoji's surrogate pair.
  EXPECT_TRUE(rtf.contains("caf\\u233\\'e9"));
  EXPECT_TRUE(rtf.contains("\\u20013\\'3f"));
  EXPECT_TRUE(rtf.contains("\\u-10179\\'3f\\u-8704\\'3f"));
  for (const char c : rtf) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);  // 7-bit only
  // Braces balance, counting only unescaped ones.
  int depth = 0;
  for (qsizetype i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\')
      ++i;
    else if (rtf[i] == '{')
      ++depth;
    else if (rtf[i] == '}') {
      EXPECT_GE(--depth, 0);
    }
  }
  EXPECT_EQ(depth, 0);
}

TEST_F(RichTextTest, UnrtfReadsTheWordsTheBoldHeadwordsAndTheBlue) {
  REQUIRE_UNRTF();
  appendEntry(document, QStringLiteral("cat"), QStringLiteral("A small furry animal."));
  appendEntry(document, QStringLiteral("dog"), QStringLiteral("A loyal animal."));
  QTextCursor cursor(&document);
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QStringLiteral("qqq:\nCould not retrieve definition\n\n"), QTextCharFormat());

  const UnrtfReading reading = readRTFWithUnrtf(RTFFromDocument(document));
  ASSERT_TRUE(reading.ran);
  EXPECT_EQ(reading.text.trimmed(), document.toPlainText().trimmed());
  for (const char* headword : {"cat", "dog"}) {
    const QTextCharFormat format = reading.formatOf(QString::fromLatin1(headword));
    EXPECT_EQ(format.fontWeight(), QFont::Bold) << headword;
    EXPECT_EQ(format.foreground().color(), QColor(Qt::blue)) << headword;
  }
  const QTextCharFormat definition = reading.formatOf(QStringLiteral("A small furry animal."));
  EXPECT_NE(definition.fontWeight(), QFont::Bold);
  EXPECT_EQ(definition.foreground().color(), QColor(Qt::black));
  EXPECT_TRUE(reading.html.contains(QStringLiteral("Helvetica")));
  EXPECT_NE(reading.formatOf(QStringLiteral("Could not retrieve definition")).fontWeight(), QFont::Bold);

  // The plain-text reader sees the same words.
  const QString text = unrtfText(RTFFromDocument(document));
  for (const char* piece : {"cat:", "A small furry animal.", "dog:", "Could not retrieve definition"})
    EXPECT_TRUE(text.contains(QString::fromLatin1(piece))) << piece;
}

TEST_F(RichTextTest, UnicodeAndSpecialCharactersComeBackThroughUnrtf) {
  REQUIRE_UNRTF();
  const QString samples = QString::fromUtf8(
      "caf\xC3\xA9 na\xC3\xAFve \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 \xCE\xB1\xCE\xB2 "
      "\xE2\x80\x9Cquoted\xE2\x80\x9D back\\slash {braced}");
  appendEntry(document, QString::fromUtf8("\xC3\xA9t\xC3\xA9"), samples);
  const UnrtfReading reading = readRTFWithUnrtf(RTFFromDocument(document));
  ASSERT_TRUE(reading.ran);
  EXPECT_TRUE(reading.text.contains(samples)) << reading.text.toStdString();
  const QTextCharFormat headword = reading.formatOf(QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
  EXPECT_EQ(headword.fontWeight(), QFont::Bold);
}

TEST_F(RichTextTest, ARangeKeepsItsOwnTextAndParagraphs) {
  REQUIRE_UNRTF();
  appendEntry(document, QStringLiteral("cat"), QStringLiteral("A small furry animal."));
  appendEntry(document, QStringLiteral("dog"), QStringLiteral("A loyal animal."));
  const QString whole = document.toPlainText();
  const int from = int(whole.indexOf(QStringLiteral("furry")));
  const int to = int(whole.indexOf(QStringLiteral("loyal")));
  const UnrtfReading reading = readRTFWithUnrtf(RTFFromRange(document, from, to));
  ASSERT_TRUE(reading.ran);
  EXPECT_EQ(reading.text.trimmed(), whole.mid(from, to - from).trimmed());
  EXPECT_EQ(reading.formatOf(QStringLiteral("dog")).fontWeight(), QFont::Bold);

  // Empty and out-of-range requests still give a whole, readable document.
  EXPECT_TRUE(readRTFWithUnrtf(RTFFromRange(document, 5, 5)).text.trimmed().isEmpty());
  EXPECT_EQ(readRTFWithUnrtf(RTFFromRange(document, -10, 1 << 20)).text.trimmed(), whole.trimmed());
  QTextDocument empty;
  EXPECT_TRUE(readRTFWithUnrtf(RTFFromDocument(empty)).ran);
}

TEST_F(RichTextTest, SelectionGoesOntoTheClipboardInTheDeclaredTypesOnly) {
  appendEntry(document, QStringLiteral("cat"), QStringLiteral("A small furry animal."));
  QTextCursor selection(&document);
  selection.setPosition(0);
  selection.setPosition(3, QTextCursor::KeepAnchor);
  Pasteboard& general = Pasteboard::generalPasteboard();
  general.setStringForType(QStringLiteral("earlier"), NSStringPboardType);

  EXPECT_TRUE(writeSelectionToPasteboard(selection, general, {QString::fromLatin1(NSRTFPboardType)}));
  EXPECT_EQ(mimeFormats(), QStringList{QStringLiteral("text/rtf")});
  EXPECT_EQ(general.types(), QStringList{QString::fromLatin1(NSRTFPboardType)});
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf")),
            RTFFromRange(document, 0, 3));
  EXPECT_TRUE(general.stringForType(NSStringPboardType).isNull());

  // Both types: the plain text ends its paragraphs with "\n".
  selection.setPosition(int(document.toPlainText().size()), QTextCursor::KeepAnchor);
  EXPECT_TRUE(writeSelectionToPasteboard(
      selection, general, {QString::fromLatin1(NSStringPboardType), QString::fromLatin1(NSRTFPboardType)}));
  EXPECT_EQ(general.stringForType(NSStringPboardType), document.toPlainText());
  EXPECT_EQ(mimeFormats().size(), 2);

  // A type a text view cannot write is refused; alone, it leaves the clipboard as it was.
  EXPECT_FALSE(writeSelectionToPasteboard(selection, general, {QStringLiteral("NSTIFFPboardType")}));
  EXPECT_EQ(mimeFormats().size(), 2);
  EXPECT_FALSE(writeSelectionToPasteboard(
      selection, general, {QString::fromLatin1(NSRTFPboardType), QStringLiteral("NSTIFFPboardType")}));
  EXPECT_EQ(mimeFormats(), QStringList{QStringLiteral("text/rtf")});
}

TEST_F(RichTextTest, TheGeneralPasteboardIsTheClipboardAndLocalOnesAreNot) {
  Pasteboard& general = Pasteboard::generalPasteboard();
  general.declareTypes({QString::fromLatin1(NSStringPboardType)});
  EXPECT_TRUE(mimeFormats().isEmpty());                               // declaring empties it at once
  EXPECT_FALSE(general.setDataForType("{\\rtf1}", NSRTFPboardType));  // not declared
  EXPECT_TRUE(general.setStringForType(QString::fromUtf8("na\xC3\xAFve"), NSStringPboardType));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("na\xC3\xAFve"));

  // What another program put there reads under our types; unknown MIME types as themselves.
  auto* foreign = new QMimeData;
  foreign->setText(QStringLiteral("from elsewhere"));
  foreign->setData(QStringLiteral("application/rtf"), "{\\rtf1 x}");
  foreign->setData(QStringLiteral("image/png"), "png");
  QGuiApplication::clipboard()->setMimeData(foreign);
  EXPECT_EQ(general.types(),
            (QStringList{QString::fromLatin1(NSStringPboardType), QString::fromLatin1(NSRTFPboardType),
                         QStringLiteral("image/png")}));
  EXPECT_EQ(general.dataForType(NSRTFPboardType), QByteArray("{\\rtf1 x}"));
  EXPECT_EQ(general.stringForType(NSStringPboardType), QStringLiteral("from elsewhere"));

  // A private type name travels under a MIME type of its own and comes back.
  general.clearContents();
  EXPECT_TRUE(general.isEmpty());
  EXPECT_TRUE(general.setDataForType("x", QStringLiteral("VocabulonPrivateType")));
  EXPECT_EQ(general.types(), QStringList{QStringLiteral("VocabulonPrivateType")});

  Pasteboard local = Pasteboard::withText(QStringLiteral("local"));
  EXPECT_EQ(local.stringForType(NSStringPboardType), QStringLiteral("local"));
  EXPECT_EQ(general.types(), QStringList{QStringLiteral("VocabulonPrivateType")});
}

// ---- RTFD packages --------------------------------------------------------------------

class RTFDPackageTest : public RichTextTest {
 protected:
  void SetUp() override {
    appendEntry(document, QStringLiteral("cat"), QString::fromUtf8("A small furry animal, \xE7\x8C\xAB."));
    folder = env.path() + QStringLiteral("/saved");
    QDir().mkpath(folder);
    package = folder + QStringLiteral("/Notes.rtfd");
  }

  // An older package, as another save left it.
  void makeOldPackage() {
    QDir().mkpath(package);
    QFile text(package + QStringLiteral("/TXT.rtf"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("{\\rtf1 old}");
    text.close();
    QFile extra(package + QStringLiteral("/old.png"));
    ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
  }

  QString folder;
  QString package;
};

TEST_F(RTFDPackageTest, WritesAFolderHoldingTheTextAndNothingElse) {
  QString error;
  ASSERT_TRUE(writeRTFDPackage(document, package, &error)) << error.toStdString();
  EXPECT_EQ(listTree(folder), (QStringList{"Notes.rtfd", "Notes.rtfd/TXT.rtf"}));
  EXPECT_EQ(readFile(package + "/TXT.rtf"), RTFFromDocument(document));
  const QFileInfo info(package);
  EXPECT_TRUE(info.permissions() & QFileDevice::ReadOther);  // an ordinary folder, not a private one
  if (unrtfInstalled()) {
    const UnrtfReading reading = readRTFFileWithUnrtf(package + "/TXT.rtf");
    EXPECT_EQ(reading.text.trimmed(), document.toPlainText().trimmed());
  }
}

TEST_F(RTFDPackageTest, ReplacesAnExistingPackageOrFileWholly) {
  makeOldPackage();
  ASSERT_TRUE(writeRTFDPackage(document, package));
  EXPECT_EQ(listTree(folder), (QStringList{"Notes.rtfd", "Notes.rtfd/TXT.rtf"}));
  EXPECT_EQ(readFile(package + "/TXT.rtf"), RTFFromDocument(document));

  // The same where the file system cannot swap two items in one step.
  setRTFDStepCheckForTesting([](const char* step) { return std::strcmp(step, "exchange") != 0; });
  makeOldPackage();
  ASSERT_TRUE(writeRTFDPackage(document, package));
  EXPECT_EQ(listTree(folder), (QStringList{"Notes.rtfd", "Notes.rtfd/TXT.rtf"}));

  // A plain file of the package's name gives way too.
  setRTFDStepCheckForTesting(nullptr);
  QDir(package).removeRecursively();
  QFile file(package);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_TRUE(writeRTFDPackage(document, package));
  EXPECT_TRUE(QFileInfo(package + "/TXT.rtf").isFile());
}

TEST_F(RTFDPackageTest, AFailedWriteLeavesTheOldItemAndNothingNew) {
  makeOldPackage();
  const QStringList before = listTree(folder);
  for (const char* failing : {"text", "install"}) {
    // "install" can only fail on the path that moves the old package aside first.
    setRTFDStepCheckForTesting([failing](const char* step) {
      return std::strcmp(step, failing) != 0 && std::strcmp(step, "exchange") != 0;
    });
    QString error;
    EXPECT_FALSE(writeRTFDPackage(document, package, &error)) << failing;
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(listTree(folder), before) << failing;
    EXPECT_EQ(readFile(package + "/TXT.rtf"), QByteArray("{\\rtf1 old}")) << failing;
  }

  // With no old item, a failure leaves nothing at all.
  QDir(package).removeRecursively();
  setRTFDStepCheckForTesting([](const char* step) { return std::strcmp(step, "install") != 0; });
  EXPECT_FALSE(writeRTFDPackage(document, package));
  EXPECT_TRUE(listTree(folder).isEmpty());
}

TEST_F(RTFDPackageTest, APlaceThatCannotHoldAFolderFailsCleanly) {
  QFile blocker(folder + QStringLiteral("/file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  QString error;
  EXPECT_FALSE(writeRTFDPackage(document, folder + QStringLiteral("/file/Notes.rtfd"), &error));
  EXPECT_FALSE(writeRTFDPackage(document, folder + QStringLiteral("/missing/Notes.rtfd"), &error));
  EXPECT_FALSE(writeRTFDPackage(document, QString(), &error));
  EXPECT_EQ(listTree(folder), QStringList{"file"});
}

TEST_F(RTFDPackageTest, ImagesBecomeAttachmentsNamedInTheText) {
  QImage image(4, 3, QImage::Format_RGB32);
  image.fill(Qt::red);
  document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("picture.png")), image);
  QTextCursor cursor(&document);
  cursor.movePosition(QTextCursor::End);
  QTextImageFormat format;
  format.setName(QStringLiteral("picture.png"));
  cursor.insertImage(format);
  cursor.insertImage(format);  // twice: two files of their own

  ASSERT_TRUE(writeRTFDPackage(document, package));
  EXPECT_EQ(listTree(folder), (QStringList{"Notes.rtfd", "Notes.rtfd/TXT.rtf", "Notes.rtfd/picture 2.png",
                                           "Notes.rtfd/picture.png"}));
  const QImage saved(package + QStringLiteral("/picture.png"));
  EXPECT_EQ(saved.size(), image.size());
  EXPECT_EQ(saved.pixelColor(0, 0), QColor(Qt::red));
  const QByteArray text = readFile(package + QStringLiteral("/TXT.rtf"));
  EXPECT_TRUE(text.contains("\\NeXTGraphic picture.png \\width60 \\height45"));
  EXPECT_TRUE(text.contains("\\NeXTGraphic picture 2.png"));
  EXPECT_FALSE(RTFFromDocument(document).contains("NeXTGraphic"));  // plain RTF has none
}

}  // namespace
