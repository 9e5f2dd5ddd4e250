// SPDX-License-Identifier: GPL-3.0-or-later
// Copying and saving the results through the real interface, offscreen, after real lookups;
// what was written is read back with unrtf. The clipboard's flavours are read from another
// process on an X server of the test's own.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTextBoundaryFinder>
#include <QThread>
#include <QToolButton>
#include <cstring>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "app/ResultExport.h"
#include "platform/cf/CFQt.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/RichText.h"
#include "platform/cocoa/SavePanel.h"
#include "platform/cocoa/UserDefaults.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/ExportTestSupport.h"

namespace {

const QString kQuery = QString::fromUtf8("cat caf\xC3\xA9 qqq");
const QString kSession = QStringLiteral(VOCABULON_BINARY_DIR "/tests/app/vocabulon_app_session");

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

TEST_F(ResultExport, CopyPutsTheWholeResultOnTheClipboardAsRichTextPlainTextAndHTML) {
  REQUIRE_UNRTF();
  click("clipboardButton");  // an empty result is copied like any other
  QStringList formats = clipboardFormats();
  formats.sort();
  EXPECT_EQ(formats, (QStringList{"text/html", "text/plain", "text/plain;charset=utf-8", "text/rtf"}));
  lookUp(kQuery);
  ASSERT_TRUE(result().startsWith("cat:\nA small furry animal.\n\n"));
  QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));

  controller->window()->findChild<QAction*>("copyResultsAction")->trigger();
  formats = clipboardFormats();
  formats.sort();
  EXPECT_EQ(formats, (QStringList{"text/html", "text/plain", "text/plain;charset=utf-8", "text/rtf"}));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), result());
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
  script.then(save(nullptr, QStringLiteral("results")));  // the extension is added
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
  // The status line says that, and why.
  EXPECT_TRUE(controller->statusTextField->text().startsWith(QString::fromUtf8("Could not save \u201Cresults.rtfd\u201D: ")))
      << controller->statusTextField->text().toStdString();

  setRTFDStepCheckForTesting(nullptr);
  script.then(save(nullptr, QStringLiteral("results.rtfd"))).then(replace);  // already carries it
  click("saveButton");
  EXPECT_EQ(readFile(text), RTFFromDocument(*controller->result_textView->document()));
}

TEST_F(ResultExport, TheNameFieldIsOneNameInTheFolderShown) {
  lookUp(QStringLiteral("cat"));
  const QStringList homeBefore = QDir(env.home()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  // A "/" is stored as ":"; nothing is expanded and nothing leads out of the folder.
  const struct {
    QString typed;
    QString saved;
  } cases[] = {
      {"dog/cat", "dog:cat.rtfd"},
      {"../up", "..:up.rtfd"},
      {"~/x", "~:x.rtfd"},
      {"~", "~.rtfd"},
      {env.path() + "/abs", QString(env.path() + "/abs.rtfd").replace('/', ':')},
      {"a/b.rtfd", "a:b.rtfd"},
  };
  QStringList expected;
  for (const auto& test : cases) {
    script.then(save(nullptr, test.typed));
    click("saveButton");
    expected << test.saved << test.saved + "/TXT.rtf";
    EXPECT_TRUE(controller->statusTextField->text().isEmpty()) << test.typed.toStdString();
  }
  expected.sort();
  EXPECT_EQ(listTree(documents), expected);
  EXPECT_EQ(QDir(env.home()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), homeBefore);
  EXPECT_FALSE(QFileInfo::exists(env.path() + "/abs.rtfd"));
}

TEST_F(ResultExport, ALongQueryProposesANameTheFileSystemTakes) {
  QString query;
  for (int i = 0; i < 2000; ++i) query += (i % 7 ? QStringLiteral("cat ") : QString::fromUtf8("caf\xC3\xA9, "));
  lookUp(query);
  QString proposal;
  script.then(save(&proposal));
  click("saveButton");
  // Cut after a word, as long as the limit lets it be, counting the extension.
  const qsizetype limit = maximumFileNameBytes(documents);
  EXPECT_LE(QFile::encodeName(proposal).size() + 5, limit);
  EXPECT_GT(QFile::encodeName(proposal).size() + 5, limit - 10);
  EXPECT_TRUE(query.startsWith(proposal));
  QTextBoundaryFinder words(QTextBoundaryFinder::Word, query);
  words.setPosition(proposal.size());
  EXPECT_TRUE(words.boundaryReasons() & QTextBoundaryFinder::EndOfItem) << proposal.right(10).toStdString();
  EXPECT_EQ(listTree(documents), (QStringList{proposal + ".rtfd", proposal + ".rtfd/TXT.rtf"}));
  EXPECT_TRUE(controller->statusTextField->text().isEmpty());

  // A name typed too long is refused by the file system, and the status line says so.
  script.then(save(nullptr, QString(limit, u'x')));
  click("saveButton");
  EXPECT_TRUE(controller->statusTextField->text().contains(QString::fromLocal8Bit(std::strerror(ENAMETOOLONG))))
      << controller->statusTextField->text().toStdString();
  EXPECT_EQ(listTree(documents).size(), 2);
}

TEST(FittingFileName, CutsAfterTheLastWordThatFits) {
  const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");  // four bytes
  const struct {
    QString text;
    qsizetype maximum;
    QString expected;
  } cases[] = {
      {"cat dog", 12, "cat dog"},  // 7 bytes and ".rtfd"
      {"cat dog", 11, "cat"},
      {"cat, dog", 12, "cat"},
      {QString::fromUtf8("caf\xC3\xA9 dog"), 12, QString::fromUtf8("caf\xC3\xA9")},  // "é" is two bytes
      {"abcdefghij", 9, "abcd"},                          // no word fits: between characters
      {face + face, 12, face},                             // never half a character
      {"dog/cat bird", 13, "dog/cat"},
      {"cat", 5, ""},
  };
  for (const auto& test : cases)
    EXPECT_EQ(fittingFileName(test.text, "rtfd", test.maximum), test.expected) << test.text.toStdString() << test.maximum;
  EXPECT_EQ(fittingFileName("abcdef", QString(), 3), "abc");
}

// An X server of the test's own, so that two processes share a clipboard.
class Xvfb {
 public:
  Xvfb() {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) return;
    for (int number = 91; number < 140 && display_.isEmpty(); ++number) {
      if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
          QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        continue;
      process_.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(number), "-nolisten", "tcp", "-screen", "0",
                                              "1024x768x24"});
      if (!process_.waitForStarted(5000)) return;
      for (int i = 0; i < 200 && process_.state() == QProcess::Running && display_.isEmpty(); ++i) {
        if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) display_ = QStringLiteral(":%1").arg(number);
        else QThread::msleep(25);
      }
      if (display_.isEmpty()) stop();
    }
  }
  ~Xvfb() { stop(); }
  QString display() const { return display_; }

 private:
  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill(), process_.waitForFinished();
  }
  QProcess process_;
  QString display_;
};

TEST(ClipboardAcrossProcesses, AnotherProgramReadsRichTextPlainTextAndHTML) {
  Xvfb server;
  if (server.display().isEmpty()) GTEST_SKIP() << "Xvfb could not start (scripts/install-deps.sh installs it)";
  TestEnvironment env;
  installDefinitionAction(env);
  addTestDictionary(env, "Animals",
                    {{"cat", "A small furry animal."}, {QString::fromUtf8("caf\xC3\xA9"), QString::fromUtf8("A coffee house \xE4\xB8\xAD.")}});
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.insert("DISPLAY", server.display());
  environment.insert("XDG_RUNTIME_DIR", env.path());
  const QString go = env.path() + "/go";

  QProcess application;
  application.setProcessEnvironment(environment);
  application.start(kSession, {"type:" + kQuery, "define", "copy", "report", "waitfile:" + go, "quit"});
  QJsonObject report;
  while (report.isEmpty() && application.waitForReadyRead(30000)) {
    while (application.canReadLine()) {
      const QByteArray line = application.readLine();
      if (line.startsWith('{')) report = QJsonDocument::fromJson(line).object();
    }
  }
  const QString shown = report["result"].toString();
  ASSERT_TRUE(shown.startsWith("cat:\nA small furry animal.\n\n")) << application.readAllStandardError().toStdString();

  QProcess reader;
  reader.setProcessEnvironment(environment);
  reader.start(kSession, {"--clipboard", "text/plain", "text/plain;charset=utf-8", "text/html", "text/rtf"});
  ASSERT_TRUE(reader.waitForFinished(30000));
  const QJsonObject flavours = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
  QFile(go).open(QIODevice::WriteOnly);
  EXPECT_TRUE(application.waitForFinished(30000));
  const auto flavour = [&](const char* mimeType) {
    return QByteArray::fromBase64(flavours[QLatin1String(mimeType)].toString().toLatin1());
  };

  EXPECT_EQ(QString::fromUtf8(flavour("text/plain;charset=utf-8")), shown)
      << QJsonDocument(flavours["formats"].toArray()).toJson().toStdString();
  EXPECT_EQ(QString::fromUtf8(flavour("text/plain")), shown);
  QTextDocument html;
  html.setHtml(QString::fromUtf8(flavour("text/html")));
  EXPECT_EQ(html.toPlainText().trimmed(), shown.trimmed());
  bool headwordFound = false;
  for (QTextBlock block = html.begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it)
      if (it.fragment().text() == QString::fromUtf8("caf\xC3\xA9")) {
        headwordFound = true;
        EXPECT_EQ(it.fragment().charFormat().fontWeight(), QFont::Bold);
        EXPECT_EQ(it.fragment().charFormat().foreground().color(), QColor(Qt::blue));
      }
  EXPECT_TRUE(headwordFound);
  const QByteArray rtf = flavour("text/rtf");
  EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
  if (!QStandardPaths::findExecutable(QStringLiteral("unrtf")).isEmpty())
    EXPECT_EQ(readWithUnrtf(rtf).text(), shown.trimmed());
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
