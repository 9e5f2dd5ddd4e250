// SPDX-License-Identifier: GPL-3.0-or-later
// The controller with its real interface, offscreen, in a temporary home and system root.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <functional>

#include "app/Interface.h"
#include "dictionary/StarDictWriter.h"
#include "dictionary/StarDictDictionary.h"
#include "app/LexoraAppDelegate.h"
#include "platform/automator/Workflow.h"
#include "platform/cf/PropertyList.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Menus.h"
#include "platform/cocoa/Pasteboard.h"
#include "platform/cocoa/PopUpButton.h"
#include "platform/cocoa/ProgressIndicator.h"
#include "platform/cocoa/UserDefaults.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"
#include "tests/TestProcesses.h"
#include "tests/platform/cocoa/ExportTestSupport.h"

namespace {

struct TextRun {
  QString text;
  QTextCharFormat format;
};

class Controller : public ::testing::Test {

 public:
  void SetUp() override {
    installDefinitionAction(env);
    UserDefaults::resetStandardUserDefaults();
    addTestDictionary(env, "Animals", {{"cat", "A small furry animal."},
                                       {"don", "To put on.\n"},
                                       {"well", "In a good way."},
                                       {"known", "Familiar to many."},
                                       {"apple", "A fruit."},
                                       {"zebra", "A striped animal."}});
    addTestDictionary(env, "Plants", {{"cat", "Short for catkin."}});
  }

  void TearDown() override {
    quit();
    UserDefaults::resetStandardUserDefaults();
  }

  // Closes the interface and lets the controller go, writing the store as the application
  // does when it ends.
  void quit() {
    if (!controller) return;
    delete controller->webWindow.data();
    delete controller->window();
    delete controller;
    controller = nullptr;
    UserDefaults::standardUserDefaults().synchronize();
  }

  // Loads the interface and launches as the application main routine would.
  void launch() {
    controller = loadMainInterface();
    Application::shared().setDelegate(controller);
    controller->awakeFromNib();
    controller->applicationDidFinishLaunching(nullptr);
  }

  void setPreference(const char* key, bool value) {
    UserDefaults::standardUserDefaults().setObject(value, QString::fromLatin1(key));
  }

  void lookUp(const QString& query) {
    controller->query_textView->setPlainText(query);
    controller->buttonClicked(nullptr);
  }

  QString result() const { return controller->result_textView->toPlainText(); }

  QList<TextRun> runs() const {
    QList<TextRun> list;
    for (QTextBlock block = controller->result_textView->document()->begin(); block.isValid(); block = block.next()) {
      for (auto it = block.begin(); !it.atEnd(); ++it) list.append({it.fragment().text(), it.fragment().charFormat()});
    }
    return list;
  }

  QStringList menuTitles(QMenu* menu) const {
    QStringList titles;
    for (int i = 0; i < numberOfItems(menu); ++i) {
      QAction* item = itemAtIndex(menu, i);
      titles << (item->isSeparator() ? QStringLiteral("-") : menuItemTitle(item));
    }
    return titles;
  }

  // The window on screen and active, the keyboard in the query view after a click into it, and
  // `text` typed over whatever it held.
  void typeIntoTheWindow(const QString& text) {
    QMainWindow* window = controller->window();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::mouseClick(controller->query_textView->viewport(), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), controller->query_textView.data());
    QTest::keyClick(controller->query_textView, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(controller->query_textView, text);
  }

  template <typename T>
  T* control(const char* name) const {
    return controller->window()->findChild<T*>(QString::fromLatin1(name));
  }

  // Clicks the item titled `title` of a pop-up's open menu; none, Escape closes it.
  static void chooseFromOpenMenu(PopUpButton* popUp, const QString& title) {
    QMenu* menu = popUp->menu();
    ASSERT_TRUE(menu->isVisible());
    if (title.isNull()) return QTest::keyClick(menu, Qt::Key_Escape);
    for (QAction* item : menu->actions())
      if (menuItemTitle(item) == title) return QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    FAIL() << "no item " << title.toStdString();
  }

  QString workflowDocument() const {
    QFile file(Workflow::documentPath(controller->workflowURL.toLocalFile()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

  TestEnvironment env;
  LexoraAppDelegate* controller = nullptr;
};

TEST_F(Controller, FirstLaunchSelectsTheFirstDictionaryAndWritesTheWorkflow) {
  launch();
  EXPECT_EQ(controller->selectedDictionaryName(), "Animals");
  EXPECT_EQ(controller->dictionaryNames, (QStringList{"Animals.dictionary", "Plants.dictionary"}));
  EXPECT_EQ(controller->dictionariesMenu->actions().at(1)->toolTip(), "Plants.dictionary");
  EXPECT_EQ(controller->workflowURL.toLocalFile(),
            env.home() + "/.local/share/Quenbrook/Vocabulon/GetDefinitionOfWord.workflow");
  EXPECT_TRUE(workflowDocument().contains("/Library/Dictionaries/Animals.dictionary"));
  EXPECT_EQ(menuTitles(controller->recentMenu), QStringList{"There are no recent items"});
  EXPECT_TRUE(controller->statusTextField->text().isEmpty());
  EXPECT_TRUE(result().isEmpty());  // an empty query view looks nothing up
}

TEST_F(Controller, BlocksCarryHeadwordDefinitionAndPlainAttributes) {
  launch();
  lookUp("Don't well-known qqq");
  EXPECT_EQ(result(),
            "Don:\nTo put on.\n\n"
            "t:\nCould not retrieve definition\n\n"
            "well:\nIn a good way.\n\n"
            "known:\nFamiliar to many.\n\n"
            "qqq:\nCould not retrieve definition\n\n");
  const QList<TextRun> list = runs();
  const auto formatOf = [&](const QString& text) {
    for (const TextRun& run : list)
      if (run.text == text) return run.format;
    ADD_FAILURE() << "no run " << text.toStdString();
    return QTextCharFormat();
  };
  for (const char* headword : {"Don", "well", "known"}) {
    const QTextCharFormat format = formatOf(headword);
    EXPECT_TRUE(format.font().bold()) << headword;
    EXPECT_EQ(format.font().family(), "Helvetica");
    EXPECT_EQ(format.font().pointSizeF(), 12.0);
    EXPECT_EQ(format.foreground().color(), QColor(Qt::blue));
  }
  const QTextCharFormat definition = formatOf("In a good way.");
  EXPECT_FALSE(definition.font().bold());
  EXPECT_EQ(definition.font().family(), "Helvetica");
  EXPECT_EQ(definition.foreground().color(), QColor(Qt::black));
  // The failed word and its line take the view's plain typing attributes.
  for (const TextRun& run : list) {
    if (run.text.contains("qqq") || run.text.contains("Could not")) {
      EXPECT_FALSE(run.format.font().bold());
      EXPECT_NE(run.format.foreground().color(), QColor(Qt::blue));
    }
  }
  EXPECT_FALSE(controller->busy->isAnimating());
  EXPECT_TRUE(controller->statusTextField->text().isEmpty());
}

TEST_F(Controller, SortingDuplicatesAndAppending) {
  launch();
  setPreference("sortResultsLikeTheFinder", true);
  lookUp("zebra Apple item10 item9");
  EXPECT_TRUE(result().startsWith("Apple:\nA fruit.\n\nitem9:\nCould not retrieve definition\n\n"
                                  "item10:\nCould not retrieve definition\n\nzebra:"));
  setPreference("sortResultsLikeTheFinder", false);
  setPreference("resetWindowOnLookup", false);
  const QString before = result();
  lookUp("cat cat");
  EXPECT_EQ(result(), before + "cat:\nA small furry animal.\n\ncat:\nA small furry animal.\n\n");
}

TEST_F(Controller, RecentListIgnoresCaseAndIsStored) {
  launch();
  lookUp("cat");
  lookUp("Cat");
  lookUp("cat dog");
  EXPECT_EQ(controller->recentWords, (QStringList{"cat", "cat dog"}));
  EXPECT_EQ(menuTitles(controller->recentMenu), (QStringList{"cat", "cat dog", "-", "Clear Menu"}));
  const auto stored = plist::readFile(UserDefaults::standardUserDefaults().filePath());
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->toMap()["SavedRecentWords"].toStringList(), (QStringList{"cat", "cat dog"}));

  // Separators alone still count as a query: the view is emptied and the query recorded.
  lookUp(" , ; - ");
  EXPECT_TRUE(result().isEmpty());
  EXPECT_EQ(controller->recentWords.last(), " , ; - ");

  // An empty query changes nothing.
  const QStringList recent = controller->recentWords;
  controller->result_textView->setPlainText("kept");
  lookUp("");
  EXPECT_EQ(result(), "kept");
  EXPECT_EQ(controller->recentWords, recent);
  EXPECT_EQ(controller->theQueryString, "");
}

TEST_F(Controller, RecentMenuRemoveAndClear) {
  launch();
  lookUp("one");
  lookUp("two");
  lookUp("three & more\nlines");
  for (QAction* item : controller->recentMenu->actions()) EXPECT_EQ(submenu(item), nullptr);
  setPreference("includeRemoveSubmenusInRecentMenu", true);
  controller->preferencesItemChanged(controller->includeRemoveSubmenusInRecentMenuButton);
  QAction* two = itemAtIndex(controller->recentMenu, 1);
  ASSERT_NE(submenu(two), nullptr);
  QAction* remove = itemAtIndex(submenu(two), 0);
  EXPECT_EQ(menuItemTitle(remove), "Remove");
  controller->selItemRemove(remove);
  EXPECT_EQ(controller->recentWords, (QStringList{"one", "three & more\nlines"}));
  EXPECT_EQ(menuTitles(controller->recentMenu), (QStringList{"one", "three & more\nlines", "-", "Clear Menu"}));

  // Choosing a recent query puts it back and looks it up without moving it.
  controller->selItemRecentMenu(itemAtIndex(controller->recentMenu, 0));
  EXPECT_EQ(controller->query_textView->toPlainText(), "one");
  EXPECT_EQ(controller->theQueryString, "one");
  EXPECT_EQ(controller->recentWords.first(), "one");

  // Removing and clearing reach the disk shortly after, without a quit.
  const QString file = UserDefaults::standardFilePath();
  auto stored = [&] { return plist::readFile(file).value_or(QVariant()).toMap().value("SavedRecentWords").toStringList(); };
  EXPECT_TRUE(QTest::qWaitFor([&] { return stored() == QStringList{"one", "three & more\nlines"}; }));
  controller->selItemClearMenu(nullptr);
  EXPECT_TRUE(controller->recentWords.isEmpty());
  EXPECT_EQ(menuTitles(controller->recentMenu), QStringList{"There are no recent items"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return stored().isEmpty(); }));
}

TEST_F(Controller, PreferenceCheckBoxesStoreTheirKeyAndOnlyOneRebuildsTheRecentMenu) {
  launch();
  lookUp("cat");
  auto* removeOption = qobject_cast<QCheckBox*>(controller->includeRemoveSubmenusInRecentMenuButton.data());
  ASSERT_NE(removeOption, nullptr);
  EXPECT_FALSE(removeOption->isChecked());
  removeOption->click();  // stores its key, then the rebuild reads it
  EXPECT_TRUE(UserDefaults::standardUserDefaults().boolForKey("includeRemoveSubmenusInRecentMenu"));
  EXPECT_NE(submenu(itemAtIndex(controller->recentMenu, 0)), nullptr);

  QDialog* panel = controller->window()->findChild<QDialog*>("preferencesPanel");
  ASSERT_NE(panel, nullptr);
  auto* sortOption = panel->findChild<QCheckBox*>("sortResultsLikeTheFinderButton");
  ASSERT_NE(sortOption, nullptr);
  QAction* before = itemAtIndex(controller->recentMenu, 0);
  sortOption->click();
  EXPECT_TRUE(controller->sortResultsLikeTheFinder());
  EXPECT_EQ(itemAtIndex(controller->recentMenu, 0), before);  // not rebuilt
  auto* resetOption = panel->findChild<QCheckBox*>("resetWindowOnLookupButton");
  ASSERT_NE(resetOption, nullptr);
  EXPECT_TRUE(resetOption->isChecked());  // absent key: the default, on
  resetOption->click();
  EXPECT_FALSE(controller->resetTextView());  // a stored NO is honoured
}

TEST_F(Controller, ChoosingADictionaryRebuildsTheWorkflowAndLooksUpAgain) {
  launch();
  lookUp("cat");
  EXPECT_EQ(result(), "cat:\nA small furry animal.\n\n");
  const QString workflowPath = controller->workflowURL.toLocalFile();
  controller->selItemDictionaryNamesMenu(itemAtIndex(controller->dictionariesMenu, 1));
  EXPECT_EQ(controller->selectedDictionaryName(), "Plants");
  EXPECT_EQ(controller->workflowURL.toLocalFile(), workflowPath);
  EXPECT_TRUE(workflowDocument().contains("/Library/Dictionaries/Plants.dictionary"));
  EXPECT_EQ(result(), "cat:\nShort for catkin.\n\n");
  EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey("LastDictionaryUsed").toString(), "Plants");

  // With lookups restricted to Define, a choice only rebuilds.
  setPreference("lookupOnlyWhenDefineIsClicked", true);
  controller->selItemDictionaryNamesMenu(itemAtIndex(controller->dictionariesMenu, 0));
  EXPECT_EQ(result(), "cat:\nShort for catkin.\n\n");
  EXPECT_TRUE(workflowDocument().contains("/Library/Dictionaries/Animals.dictionary"));
}

// An ordinary user imports a StarDict dictionary into their own folder with the command line;
// the window lists it after the machine's, and choosing it with the mouse looks words up in it
// and is remembered at the next launch.
TEST_F(Controller, AUsersOwnDictionaryIsListedLastChosenAndRemembered) {
  QList<dictionary::StarDictEntry> entries{dictionary::starDictTextEntry("cat", "A garden visitor.")};
  dictionary::StarDictWriterOptions options;
  options.bookName = QStringLiteral("Garden Words");
  dictionary::StarDictFiles files;
  ASSERT_TRUE(dictionary::writeStarDict(env.path() + "/garden", entries, options, &files));
  ::chmod(QFile::encodeName(env.path()).constData(), 0755);
  ASSERT_EQ(QProcess::execute("chown", {"-R", QString::number(unprivilegedUid()), env.home()}), 0);
  QProcess import;
  import.setProgram(reachableCopy(QStringLiteral(VOCABULON_BINARY_DIR "/vocabulon"), env.path()));
  import.setArguments({"import", files.ifo});
  runUnprivileged(import);
  import.start();
  ASSERT_TRUE(import.waitForFinished(30000));
  ASSERT_EQ(import.exitCode(), 0) << import.readAllStandardError().toStdString();

  launch();
  EXPECT_EQ(controller->dictionaryNames, (QStringList{"Animals.dictionary", "Plants.dictionary", "Garden Words.dictionary"}));
  EXPECT_EQ(menuTitles(controller->dictionariesMenu), (QStringList{"Animals", "Plants", "Garden Words"}));
  typeIntoTheWindow("cat");
  QTest::mouseClick(controller->dictionariesPopUpButton, Qt::LeftButton);
  chooseFromOpenMenu(controller->dictionariesPopUpButton, "Garden Words");
  EXPECT_EQ(controller->selectedDictionaryName(), "Garden Words");
  EXPECT_TRUE(workflowDocument().contains("~/Library/Dictionaries/Garden Words.dictionary"));
  EXPECT_EQ(result(), "cat:\nA garden visitor.\n\n");

  quit();
  launch();
  EXPECT_EQ(controller->selectedDictionaryName(), "Garden Words");
  lookUp("cat");
  EXPECT_EQ(result(), "cat:\nA garden visitor.\n\n");
}

TEST_F(Controller, MissingDictionariesFolderGivesAnEmptyMenuAndFailureLines) {
  QDir(env.dictionariesFolder()).removeRecursively();
  launch();
  EXPECT_EQ(numberOfItems(controller->dictionariesMenu), 0);
  EXPECT_TRUE(controller->selectedDictionaryName().isNull());
  lookUp("cat");
  EXPECT_EQ(result(), "cat:\nCould not retrieve definition\n\n");
}

TEST_F(Controller, LeavingTheQueryViewLooksUpOnlyChangedText) {
  launch();
  lookUp("cat");
  controller->result_textView->clear();
  controller->textDidEndEditing(controller->query_textView);
  EXPECT_TRUE(result().isEmpty());  // unchanged
  controller->query_textView->setPlainText("Cat");
  controller->textDidEndEditing(controller->query_textView);
  EXPECT_EQ(result(), "Cat:\nA small furry animal.\n\n");  // a change of case is a change
  controller->result_textView->clear();
  controller->textDidEndEditing(controller->result_textView);  // another view: ignored
  EXPECT_TRUE(result().isEmpty());
}

TEST_F(Controller, ServicesRequestFillsTheQueryAndLooksUpASecondLater) {
  launch();
  Pasteboard empty;
  controller->query_textView->setPlainText("unchanged");
  controller->handleMenuSelection(empty, QString(), nullptr);
  EXPECT_EQ(controller->query_textView->toPlainText(), "unchanged");

  Pasteboard pasteboard = Pasteboard::withText("zebra");
  controller->handleMenuSelection(pasteboard, QString(), nullptr);
  EXPECT_EQ(controller->query_textView->toPlainText(), "zebra");
  QTest::qWait(500);
  EXPECT_TRUE(result().isEmpty());
  QTest::qWait(900);
  EXPECT_EQ(result(), "zebra:\nA striped animal.\n\n");
}

TEST_F(Controller, QuitStoresTheQueryAndTheNextLaunchRestoresIt) {
  launch();
  lookUp("apple");
  controller->query_textView->setPlainText("zebra");
  controller->applicationWillTerminate(nullptr);
  quit();
  UserDefaults::resetStandardUserDefaults();

  launch();
  EXPECT_EQ(controller->query_textView->toPlainText(), "zebra");
  EXPECT_EQ(controller->recentWords, (QStringList{"apple", "zebra"}));
  EXPECT_EQ(result(), "zebra:\nA striped animal.\n\n");

  // With the query not remembered, the view starts as the interface made it.
  controller->applicationWillTerminate(nullptr);
  setPreference("rememberQuery", false);
  quit();
  UserDefaults::resetStandardUserDefaults();
  launch();
  EXPECT_TRUE(controller->query_textView->toPlainText().isEmpty());
}

// Stored values of any kind read the same in the preferences panel and in the behaviour; a
// click reaches the disk shortly after, without a quit.
TEST_F(Controller, CheckBoxesAndAccessorsReadStoredValuesAlikeAndClicksReachTheDisk) {
  const QString file = UserDefaults::standardFilePath();
  ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
  ASSERT_TRUE(plist::writeFile(file, QVariantMap{{"resetWindowOnLookup", "NO"},
                                                 {"rememberQuery", " 0"},
                                                 {"lookupOnlyWhenDefineIsClicked", "YES"},
                                                 {"sortResultsLikeTheFinder", qlonglong(2)},
                                                 {"includeRemoveSubmenusInRecentMenu", "true"}}));
  UserDefaults::resetStandardUserDefaults();
  launch();
  const std::pair<const char*, bool> expected[] = {{"resetWindowOnLookup", controller->resetTextView()},
                                                   {"rememberQuery", controller->rememberQuery()},
                                                   {"lookupOnlyWhenDefineIsClicked", controller->lookupOnlyWhenDefineIsClicked()},
                                                   {"sortResultsLikeTheFinder", controller->sortResultsLikeTheFinder()},
                                                   {"includeRemoveSubmenusInRecentMenu", controller->includeRemoveSubmenusInRecentMenu()}};
  EXPECT_EQ(QList<bool>({expected[0].second, expected[1].second, expected[2].second, expected[3].second, expected[4].second}),
            QList<bool>({false, false, true, true, true}));
  QDialog* panel = controller->window()->findChild<QDialog*>("preferencesPanel");
  ASSERT_NE(panel, nullptr);
  panel->show();
  for (const auto& [key, value] : expected) {
    auto* box = panel->findChild<QCheckBox*>(QString::fromLatin1(key) + "Button");
    ASSERT_NE(box, nullptr) << key;
    EXPECT_EQ(box->isChecked(), value) << key;
  }

  auto* resetOption = panel->findChild<QCheckBox*>("resetWindowOnLookupButton");
  QTest::mouseClick(resetOption, Qt::LeftButton, {}, resetOption->rect().center());
  EXPECT_TRUE(controller->resetTextView());
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return plist::readFile(file).value_or(QVariant()).toMap().value("resetWindowOnLookup") == QVariant(true);
  }));
  panel->hide();
}

TEST_F(Controller, ClickingAControlAfterTypingLooksTheQueryUpOnce) {
  // Results pile up, so a second lookup would show as a second set of blocks. After each
  // control, a click into the result view ends the editing; text already looked up is not
  // looked up again.
  const QString typed = "cat well";
  const QString typedResult = "cat:\nA small furry animal.\n\nwell:\nIn a good way.\n\n";
  struct Case {
    const char* name;
    std::function<void(Controller&)> click;
    QString expected;
  };
  ModalScript script;
  const Case cases[] = {
      {"Define", [](Controller& t) { QTest::mouseClick(t.control<QPushButton>("defineButton"), Qt::LeftButton); },
       typedResult},
      {"dictionary pop-up",
       [](Controller& t) {
         QTest::mouseClick(t.controller->dictionariesPopUpButton, Qt::LeftButton);
         chooseFromOpenMenu(t.controller->dictionariesPopUpButton, "Plants");
       },
       "cat:\nShort for catkin.\n\nwell:\nCould not retrieve definition\n\n"},
      {"recent pop-up",
       [](Controller& t) {
         QTest::mouseClick(t.controller->recentPopUpButton, Qt::LeftButton);
         chooseFromOpenMenu(t.controller->recentPopUpButton, "zebra");
       },
       "zebra:\nA striped animal.\n\n"},
      {"recent pop-up, closed",
       [](Controller& t) {
         QTest::mouseClick(t.controller->recentPopUpButton, Qt::LeftButton);
         chooseFromOpenMenu(t.controller->recentPopUpButton, QString());
       },
       typedResult},
      {"Copy", [](Controller& t) { QTest::mouseClick(t.control<QToolButton>("clipboardButton"), Qt::LeftButton); },
       typedResult},
      {"Save, cancelled",
       [&script](Controller& t) {
         script.then<QFileDialog>([](QFileDialog* panel) { panel->reject(); });
         QTest::mouseClick(t.control<QToolButton>("saveButton"), Qt::LeftButton);
       },
       typedResult},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    launch();
    setPreference("resetWindowOnLookup", false);
    lookUp("zebra");
    controller->result_textView->clear();
    typeIntoTheWindow(typed);
    test.click(*this);
    // Back in the window (a panel or menu may have had it), a click into the result view.
    controller->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    QTest::mouseClick(controller->result_textView->viewport(), Qt::LeftButton);
    EXPECT_EQ(result(), test.expected);
    EXPECT_TRUE(script.finished());
    quit();
    QFile::remove(UserDefaults::standardUserDefaults().filePath());  // the dictionary choice too
    UserDefaults::resetStandardUserDefaults();
  }
}

TEST_F(Controller, StatusLineShowsMarkupAsText) {
  launch();
  QLabel* status = controller->statusTextField;
  const int lineHeight = status->sizeHint().height();
  // A save that fails names the file in the status line: a name that is too long.
  const QString name = "<h1>Big</h1>" + QString(300, u'x');
  ModalScript script;
  script.then<QFileDialog>([&](QFileDialog* panel) {
    panel->findChild<QLineEdit*>("fileNameEdit")->setText(name);
    QTest::keyClick(panel->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
  });
  control<QToolButton>("saveButton")->click();
  EXPECT_TRUE(status->text().contains("<h1>Big<:h1>")) << status->text().toStdString();
  EXPECT_EQ(status->sizeHint().height(), lineHeight);  // one plain line, no heading
}

TEST_F(Controller, StoredRecentItemsThatAreNotStringsAreSkipped) {
  const QVariantList stored{"cat", 42, QVariantMap{{"a", "b"}}, QByteArray("data"), true, QVariantList{"x"}, "dog"};
  UserDefaults::standardUserDefaults().setObject(stored, "SavedRecentWords");
  UserDefaults::standardUserDefaults().synchronize();
  UserDefaults::resetStandardUserDefaults();
  launch();
  EXPECT_EQ(controller->recentWords, (QStringList{"cat", "dog"}));
  EXPECT_EQ(menuTitles(controller->recentMenu), (QStringList{"cat", "dog", "-", "Clear Menu"}));
}

TEST_F(Controller, ShortenedForStorageCutsAfterAWordAndMarksTheCut) {
  const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");  // two UTF-16 units
  const struct {
    QString text;
    qsizetype maximum;
    QString expected;
  } cases[] = {
      {"cat dog", 7, "cat dog"},
      {"cat dog bird", 10, QString::fromUtf8("cat dog\u2026")},
      {"cat, dog; bird", 12, QString::fromUtf8("cat, dog\u2026")},
      {"abcdefghij", 6, QString::fromUtf8("abcde\u2026")},              // no word ends: between letters
      {"a " + QString(20, u'b'), 10, QString::fromUtf8("a bbbbbbb\u2026")},  // a word end too early
      {face + face + face, 4, face + QString::fromUtf8("\u2026")},       // never half a character
  };
  for (const auto& test : cases) {
    const QString shortened = LexoraAppDelegate::shortenedForStorage(test.text, test.maximum);
    EXPECT_EQ(shortened, test.expected) << test.text.toStdString();
    EXPECT_LE(shortened.size(), test.maximum);
  }
}

TEST_F(Controller, TheStoredRecentListAndLastQueryStayBounded) {
  QStringList many;
  for (int i = 0; i < 150; ++i) many << QStringLiteral("query %1").arg(i);
  UserDefaults::standardUserDefaults().setObject(many, "SavedRecentWords");
  UserDefaults::standardUserDefaults().synchronize();
  UserDefaults::resetStandardUserDefaults();
  launch();
  // The oldest go first.
  ASSERT_EQ(controller->recentWords.size(), LexoraAppDelegate::kMaximumRecentEntries);
  EXPECT_EQ(controller->recentWords.first(), "query 50");
  EXPECT_EQ(controller->recentWords.last(), "query 149");

  // A very long query is looked up whole and kept shortened, once however often it comes.
  QString query;
  while (query.size() < 30000) query += "cat zebra ";
  lookUp(query);
  EXPECT_EQ(result().count("cat:\nA small furry animal."), 3000);
  lookUp(query);
  const QString kept = controller->recentWords.last();
  EXPECT_LE(kept.size(), LexoraAppDelegate::kMaximumRecentEntryLength);
  EXPECT_TRUE(kept.endsWith(QChar(0x2026)));
  EXPECT_TRUE(query.startsWith(kept.chopped(1)));
  EXPECT_EQ(controller->recentWords.size(), LexoraAppDelegate::kMaximumRecentEntries);
  EXPECT_EQ(controller->recentWords.first(), "query 51");
  EXPECT_EQ(controller->recentWords.count(kept), 1);

  controller->query_textView->setPlainText(query);
  controller->applicationWillTerminate(nullptr);
  UserDefaults::standardUserDefaults().synchronize();
  const QVariantMap stored = plist::readFile(UserDefaults::standardUserDefaults().filePath()).value_or(QVariant()).toMap();
  EXPECT_EQ(stored["SavedRecentWords"].toStringList(), controller->recentWords);
  const QString lastQuery = stored["lastQuery"].toString();
  EXPECT_LE(lastQuery.size(), LexoraAppDelegate::kMaximumStoredQueryLength);
  EXPECT_GT(lastQuery.size(), LexoraAppDelegate::kMaximumStoredQueryLength / 2);
  EXPECT_TRUE(query.startsWith(lastQuery.chopped(1)));
}

TEST_F(Controller, AboutNamesTheVersionAndTheLicence) {
  launch();
  control<QAction>("aboutAction")->trigger();
  auto* about = controller->window()->findChild<QMessageBox*>("aboutPanel");
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->windowTitle(), "About Vocabulon");
  EXPECT_TRUE(QRegularExpression("^Vocabulon \\d+\\.\\d+\\.\\d+$").match(about->text()).hasMatch()) << about->text().toStdString();
  EXPECT_TRUE(about->informativeText().contains("GPL-3.0-or-later"));
  about->close();
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this without the test environment; the window never needs a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
