// Copying and saving the results from the real interface, offscreen, after real lookups; what
// was written is read back with unrtf.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <cstring>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "app/ResultExport.h"
#include "platform/cf/CFQt.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/RichText.h"
#include "platform/cocoa/UserDefaults.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/ExportTestSupport.h"

namespace {

QStringList clipboardFormats() {
  const QMimeData* contents = QGuiApplication::clipboard()->mimeData();
  return contents ? contents->formats() : QStringList();
}

QLineEdit* nameField(QFileDialog* dialog) {
  return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

void pressSave(QFileDialog* dialog) {
  QPushButton* save =
      dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Save);
  ASSERT_TRUE(save->isEnabled());
  save->click();
}

void typeAndSave(QFileDialog* dialog, const QString& name) {
  nameField(dialog)->setText(name);
  pressSave(dialog);
}

class ResultExport : public ::testing::Test {
 protected:
  void SetUp() override {
    installDefinitionAction(env);
    UserDefaults::resetStandardUserDefaults();
    addTestDictionary(
        env, "Animals",
        {{"cat", "A small furry animal."},
         {QString::fromUtf8("caf\xC3\xA9"), QString::fromUtf8("A small restaurant, \xE9\xA4\x90.")},
         {"dog", "A loyal animal.\n"}});
    documents = env.home() + QStringLiteral("/Documents");
    QDir().mkpath(documents);
    folder = env.path() + QStringLiteral("/saved");
    QDir().mkpath(folder);
    controller = loadMainInterface();
    Application::shared().setDelegate(controller);  // the buttons' actions go to it
    controller->awakeFromNib();
    controller->applicationDidFinishLaunching(nullptr);
  }

  void TearDown() override {
    setRTFDStepCheckForTesting(nullptr);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(script.abandoned(), 0);
    Application::shared().setDelegate(nullptr);
    delete controller->webWindow.data();
    delete controller->window();
    delete controller;
    UserDefaults::resetStandardUserDefaults();
  }

  void lookUp(const QString& query) {
    controller->query_textView->setPlainText(query);
    controller->buttonClicked(nullptr);
  }

  QString result() const { return controller->result_textView->toPlainText(); }
  template <class T>
  T* control(const char* name) const {
    T* found = controller->window()->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  // What unrtf reads in the package's text, checked for the lookup of "cat café qqq".
  void expectReadableResult(const UnrtfReading& reading) {
    ASSERT_TRUE(reading.ran);
    EXPECT_EQ(reading.text.trimmed(), result().trimmed());
    for (const QString& headword : {QStringLiteral("cat"), QString::fromUtf8("caf\xC3\xA9")}) {
      const QTextCharFormat format = reading.formatOf(headword);
      EXPECT_EQ(format.fontWeight(), QFont::Bold) << headword.toStdString();
      EXPECT_EQ(format.foreground().color(), QColor(Qt::blue)) << headword.toStdString();
    }
    const QTextCharFormat definition = reading.formatOf(QStringLiteral("A small furry animal."));
    EXPECT_NE(definition.fontWeight(), QFont::Bold);
    EXPECT_EQ(definition.foreground().color(), QColor(Qt::black));
    EXPECT_NE(reading.formatOf(QStringLiteral("qqq")).fontWeight(), QFont::Bold);
  }

  TestEnvironment env;
  QString documents;
  QString folder;
  LexoraAppDelegate* controller = nullptr;
  ModalScript script;
};

TEST_F(ResultExport, CopyPutsTheWholeResultOnTheClipboardAsRichTextOnly) {
  REQUIRE_UNRTF();
  lookUp(QString::fromUtf8("cat caf\xC3\xA9 qqq"));
  ASSERT_TRUE(result().startsWith("cat:\nA small furry animal.\n\n"));
  QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));

  control<QToolButton>("clipboardButton")->click();
  EXPECT_EQ(clipboardFormats(), QStringList{QStringLiteral("text/rtf")});
  const QTextCursor selection = controller->result_textView->textCursor();
  EXPECT_EQ(selection.selectionStart(), 0);
  EXPECT_EQ(selection.selectionEnd(), result().size());
  expectReadableResult(
      readRTFWithUnrtf(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf"))));

  // The menu item does the same, and the selection it leaves is the whole text again.
  QTextCursor caret = controller->result_textView->textCursor();
  caret.setPosition(4);
  controller->result_textView->setTextCursor(caret);
  QGuiApplication::clipboard()->clear();
  control<QAction>("copyResultsAction")->trigger();
  EXPECT_EQ(clipboardFormats(), QStringList{QStringLiteral("text/rtf")});
  EXPECT_EQ(controller->result_textView->textCursor().selectedText().size(), result().size());
}

TEST_F(ResultExport, AnEmptyResultIsCopiedLikeAnyOther) {
  REQUIRE_UNRTF();
  ASSERT_TRUE(result().isEmpty());
  control<QToolButton>("clipboardButton")->click();
  EXPECT_EQ(clipboardFormats(), QStringList{QStringLiteral("text/rtf")});
  const UnrtfReading reading =
      readRTFWithUnrtf(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf")));
  ASSERT_TRUE(reading.ran);
  EXPECT_TRUE(reading.text.trimmed().isEmpty());
  EXPECT_FALSE(controller->result_textView->textCursor().hasSelection());
}

TEST_F(ResultExport, SaveWritesAPackageNamedAfterTheQuery) {
  REQUIRE_UNRTF();
  lookUp(QString::fromUtf8("cat caf\xC3\xA9 qqq"));
  QString proposed;
  script.then<QFileDialog>([&](QFileDialog* dialog) {
    proposed = nameField(dialog)->text();
    pressSave(dialog);  // in the folder the panel opened in
  });
  control<QToolButton>("saveButton")->click();
  EXPECT_EQ(proposed, QString::fromUtf8("cat caf\xC3\xA9 qqq"));
  const QString package = documents + QString::fromUtf8("/cat caf\xC3\xA9 qqq.rtfd");
  EXPECT_EQ(listTree(documents),
            (QStringList{QFileInfo(package).fileName(), QFileInfo(package).fileName() + "/TXT.rtf"}));
  expectReadableResult(readRTFFileWithUnrtf(package + QStringLiteral("/TXT.rtf")));
}

TEST_F(ResultExport, TheWholeQueryIsProposedAndCancelWritesNothing) {
  lookUp(QStringLiteral("cat"));
  // The panel keeps its own state (folders visited, view) in Qt's settings file, as panels
  // keep theirs in the preferences; everything else stays as it was.
  const auto files = [&] {
    QStringList list = listTree(env.path());
    list.removeIf([](const QString& path) { return path.endsWith(QLatin1String("QtProject.conf")); });
    return list;
  };
  const QStringList before = files();
  QStringList proposals;
  const auto cancel = [&](QFileDialog* dialog) {
    proposals << nameField(dialog)->text();
    dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Cancel)
        ->click();
  };
  for (const QString& query : {QStringLiteral("dog/cat: two\nlines "), QString()}) {
    controller->query_textView->setPlainText(query);
    script.then<QFileDialog>(cancel);
    control<QAction>("saveAction")->trigger();
  }
  EXPECT_EQ(proposals, (QStringList{QStringLiteral("dog/cat: two\nlines "), QString()}));
  EXPECT_EQ(files(), before);
}

TEST_F(ResultExport, ATypedNameGetsTheExtensionAndAnExistingPackageSurvivesAFailedSave) {
  lookUp(QStringLiteral("cat dog"));
  script.then<QFileDialog>(
      [&](QFileDialog* dialog) { typeAndSave(dialog, folder + QStringLiteral("/results")); });
  control<QToolButton>("saveButton")->click();
  const QString package = folder + QStringLiteral("/results.rtfd");
  const QByteArray first = readFile(package + QStringLiteral("/TXT.rtf"));
  ASSERT_FALSE(first.isEmpty());
  EXPECT_EQ(first, RTFFromDocument(*controller->result_textView->document()));

  // A second save over it that fails while writing: the first package stays as it was.
  lookUp(QStringLiteral("dog"));
  const QStringList before = listTree(folder);
  setRTFDStepCheckForTesting([](const char* step) { return std::strcmp(step, "text") != 0; });
  const auto replace = [&](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); };
  script
      .then<QFileDialog>(
          [&](QFileDialog* dialog) { typeAndSave(dialog, folder + QStringLiteral("/results")); })
      .then<QMessageBox>(replace);
  control<QToolButton>("saveButton")->click();
  EXPECT_EQ(listTree(folder), before);
  EXPECT_EQ(readFile(package + QStringLiteral("/TXT.rtf")), first);

  // A place that cannot hold the package: nothing anywhere, nothing said.
  QFile blocker(folder + QStringLiteral("/plain"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  script.then<QFileDialog>(
      [&](QFileDialog* dialog) { typeAndSave(dialog, folder + QStringLiteral("/plain/inside")); });
  control<QToolButton>("saveButton")->click();
  EXPECT_EQ(listTree(folder), (QStringList{"plain", "results.rtfd", "results.rtfd/TXT.rtf"}));

  // Once writing works again, the same save replaces it.
  setRTFDStepCheckForTesting(nullptr);
  script
      .then<QFileDialog>(
          [&](QFileDialog* dialog) { typeAndSave(dialog, folder + QStringLiteral("/results.rtfd")); })
      .then<QMessageBox>(replace);
  control<QToolButton>("saveButton")->click();
  EXPECT_EQ(readFile(package + QStringLiteral("/TXT.rtf")),
            RTFFromDocument(*controller->result_textView->document()));
  EXPECT_NE(readFile(package + QStringLiteral("/TXT.rtf")), first);
}

TEST_F(ResultExport, PutStringOnClipboardPutsTheUTF8BytesAsTheOnlyFlavour) {
  CFStringRef text =
      CFStringCreateWithQString(QString::fromUtf8("na\xC3\xAFve \xE4\xB8\xAD \xF0\x9F\x98\x80"));
  ASSERT_EQ(PutStringOnClipboard(text), noErr);
  CFRelease(text);
  EXPECT_EQ(clipboardFormats(), (QStringList{"text/plain;charset=utf-8", "text/plain"}));
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain;charset=utf-8")),
            QByteArray("na\xC3\xAFve \xE4\xB8\xAD \xF0\x9F\x98\x80"));

  // Seen through the Pasteboard Manager: one item, identifier 1, one flavour.
  PasteboardRef clipboard = nullptr;
  ASSERT_EQ(PasteboardCreate(kPasteboardClipboard, &clipboard), noErr);
  ItemCount count = 0;
  ASSERT_EQ(PasteboardGetItemCount(clipboard, &count), noErr);
  EXPECT_EQ(count, 1u);
  PasteboardItemID item = nullptr;
  ASSERT_EQ(PasteboardGetItemIdentifier(clipboard, 1, &item), noErr);
  EXPECT_EQ(item, reinterpret_cast<PasteboardItemID>(1));
  CFArrayRef flavors = nullptr;
  ASSERT_EQ(PasteboardCopyItemFlavors(clipboard, item, &flavors), noErr);
  ASSERT_EQ(CFArrayGetCount(flavors), 1);
  EXPECT_EQ(CFStringToQString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(flavors, 0))),
            QStringLiteral("public.utf8-plain-text"));
  CFRelease(flavors);

  // A character with no UTF-8 form (a lone surrogate) ends the bytes; nothing stands in for it.
  const QChar broken[] = {u'a', u'b', QChar(0xD800), u'c'};
  text = CFStringCreateWithQString(QString(broken, 4));
  ASSERT_EQ(PutStringOnClipboard(text), noErr);
  CFRelease(text);
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")), QByteArray("ab"));

  // No text: the clipboard is left empty, with the clear's status.
  EXPECT_EQ(PutStringOnClipboard(nullptr), noErr);
  EXPECT_TRUE(clipboardFormats().isEmpty());
  EXPECT_EQ(PasteboardSynchronize(clipboard), PasteboardSyncFlags(kPasteboardModified));
  ASSERT_EQ(PasteboardGetItemCount(clipboard, &count), noErr);
  EXPECT_EQ(count, 0u);
  CFRelease(clipboard);
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this without the test environment; the window never needs a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
