// The controller with its real interface, offscreen, in a temporary home and system root.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

#include "app/Interface.h"
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

namespace {

struct TextRun {
  QString text;
  QTextCharFormat format;
};

class Controller : public ::testing::Test {
 protected:
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

  controller->selItemClearMenu(nullptr);
  EXPECT_TRUE(controller->recentWords.isEmpty());
  EXPECT_EQ(menuTitles(controller->recentMenu), QStringList{"There are no recent items"});
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

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this without the test environment; the window never needs a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
