// Copying and saving the results through the real interface, offscreen, after real lookups;
// what was written is read back with unrtf.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
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

const QString kQuery = QString::fromUtf8("cat caf\xC3\xA9 qqq");

QStringList clipboardFormats() { return QGuiApplication::clipboard()->mimeData()->formats(); }

// Reads the proposed name, types `name` over it unless null, and presses Save.
std::function<void(QFileDialog*)> save(QString* proposal, const QString& name = QString()) {
  return [=](QFileDialog* dialog) {
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (proposal) *proposal = field->text();
    if (!name.isNull()) field->setText(name);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
  };
}

class ResultExport : public ::testing::Test {
 protected:
  void SetUp() override {
    installDefinitionAction(env);
    UserDefaults::resetStandardUserDefaults();
    addTestDictionary(env, "Animals",
                      {{"cat", "A small furry animal."},
                       {QString::fromUtf8("caf\xC3\xA9"),
                        QString::fromUtf8("A coffee house \xE4\xB8\xAD \xF0\x9F\x98\x80.")}});
    QDir().mkpath(documents);
    controller = loadMainInterface();
    Application::shared().setDelegate(controller);  // the controls' actions go to it
    controller->awakeFromNib();
    controller->applicationDidFinishLaunching(nullptr);
  }

  void TearDown() override {
    setRTFDStepCheckForTesting(nullptr);
    EXPECT_TRUE(script.finished());
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
  void click(const char* control) { controller->window()->findChild<QToolButton*>(control)->click(); }
  QString result() const { return controller->result_textView->toPlainText(); }

  // What unrtf reads of the lookup of kQuery: the words, definitions, bold blue headwords.
  void expectTheResult(const QByteArray& rtf) {
    const UnrtfReading reading = readWithUnrtf(rtf);
    ASSERT_TRUE(reading.document);
    EXPECT_EQ(reading.text(), result().trimmed());
    EXPECT_TRUE(reading.text().contains(QString::fromUtf8("\xE4\xB8\xAD \xF0\x9F\x98\x80")));
    for (const QString& headword : {QStringLiteral("cat"), QString::fromUtf8("caf\xC3\xA9")}) {
      EXPECT_EQ(reading.formatOf(headword).fontWeight(), QFont::Bold);
      EXPECT_EQ(reading.formatOf(headword).foreground().color(), QColor(Qt::blue));
    }
    EXPECT_NE(reading.formatOf(QStringLiteral("A small furry animal.")).fontWeight(), QFont::Bold);
  }

  TestEnvironment env;
  QString documents = env.home() + QStringLiteral("/Documents");
  LexoraAppDelegate* controller = nullptr;
  ModalScript script;
};

TEST_F(ResultExport, CopyPutsTheWholeResultOnTheClipboardAsRichTextAlone) {
  REQUIRE_UNRTF();
  click("clipboardButton");  // an empty result is copied like any other
  EXPECT_EQ(clipboardFormats(), QStringList{"text/rtf"});
  lookUp(kQuery);
  ASSERT_TRUE(result().startsWith("cat:\nA small furry animal.\n\n"));
  QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));

  controller->window()->findChild<QAction*>("copyResultsAction")->trigger();
  EXPECT_EQ(clipboardFormats(), QStringList{"text/rtf"});
  const QTextCursor selection = controller->result_textView->textCursor();
  EXPECT_EQ(selection.selectionStart(), 0);  // the whole text stays selected
  EXPECT_EQ(selection.selectionEnd(), result().size());
  expectTheResult(QGuiApplication::clipboard()->mimeData()->data("text/rtf"));
}

TEST_F(ResultExport, SaveWritesAPackageNamedAfterTheWholeQuery) {
  REQUIRE_UNRTF();
  lookUp(kQuery);
  QString proposal;
  script.then(save(&proposal));
  click("saveButton");
  EXPECT_EQ(proposal, kQuery);
  EXPECT_EQ(listTree(documents), (QStringList{kQuery + ".rtfd", kQuery + ".rtfd/TXT.rtf"}));
  expectTheResult(readFile(documents + u'/' + kQuery + ".rtfd/TXT.rtf"));

  // Any query is proposed as it is; cancel writes nothing.
  const QStringList before = listTree(documents);
  for (const QString& query : {QStringLiteral("dog/cat: two\nlines "), QString()}) {
    controller->query_textView->setPlainText(query);
    script.then<QFileDialog>([&](QFileDialog* dialog) {
      proposal = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
      dialog->reject();
    });
    click("saveButton");
    EXPECT_EQ(proposal, query);
  }
  EXPECT_EQ(listTree(documents), before);
}

TEST_F(ResultExport, AnExistingPackageSurvivesAFailedSave) {
  lookUp(QStringLiteral("cat"));
  script.then(save(nullptr, documents + QStringLiteral("/results")));  // the extension is added
  click("saveButton");
  const QString text = documents + QStringLiteral("/results.rtfd/TXT.rtf");
  const QByteArray first = readFile(text);
  EXPECT_EQ(first, RTFFromDocument(*controller->result_textView->document()));

  lookUp(kQuery);
  setRTFDStepCheckForTesting([](const char* step) { return std::strcmp(step, "text") != 0; });
  const auto answer = [](QMessageBox::StandardButton button) {
    return std::function<void(QMessageBox*)>([button](QMessageBox* box) { box->button(button)->click(); });
  };
  const auto replace = answer(QMessageBox::Yes);
  // The package is an item to replace, not a folder to open; No leaves the panel open.
  script.then(save(nullptr, QStringLiteral("results")))
      .then(answer(QMessageBox::No))
      .then(save(nullptr, QStringLiteral("results")))
      .then(replace);
  click("saveButton");
  EXPECT_EQ(listTree(documents), (QStringList{"results.rtfd", "results.rtfd/TXT.rtf"}));
  EXPECT_EQ(readFile(text), first);

  setRTFDStepCheckForTesting(nullptr);
  script.then(save(nullptr, QStringLiteral("results.rtfd"))).then(replace);  // already carries it
  click("saveButton");
  EXPECT_EQ(readFile(text), RTFFromDocument(*controller->result_textView->document()));
}

TEST_F(ResultExport, PutStringOnClipboardPutsTheUTF8BytesAsTheOnlyFlavour) {
  CFStringRef text =
      CFStringCreateWithQString(QString::fromUtf8("na\xC3\xAFve \xE4\xB8\xAD \xF0\x9F\x98\x80"));
  EXPECT_EQ(PutStringOnClipboard(text), noErr);
  CFRelease(text);
  EXPECT_EQ(clipboardFormats(), (QStringList{"text/plain;charset=utf-8", "text/plain"}));
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("text/plain;charset=utf-8"),
            QByteArray("na\xC3\xAFve \xE4\xB8\xAD \xF0\x9F\x98\x80"));  // no BOM, no NUL
  PasteboardRef clipboard = nullptr;
  ASSERT_EQ(PasteboardCreate(kPasteboardClipboard, &clipboard), noErr);
  CFArrayRef flavors = nullptr;
  ASSERT_EQ(PasteboardCopyItemFlavors(clipboard, reinterpret_cast<PasteboardItemID>(1), &flavors), noErr);
  EXPECT_EQ(CFArrayGetCount(flavors), 1);
  CFRelease(flavors);

  // A character without a UTF-8 form ends the bytes; nothing stands in for it.
  const QChar broken[] = {u'a', u'b', QChar(0xD800), u'c'};
  text = CFStringCreateWithQString(QString(broken, 4));
  EXPECT_EQ(PutStringOnClipboard(text), noErr);
  CFRelease(text);
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("text/plain"), QByteArray("ab"));

  EXPECT_EQ(PutStringOnClipboard(nullptr), noErr);  // no text: an empty clipboard
  EXPECT_TRUE(clipboardFormats().isEmpty());
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
