// SPDX-License-Identifier: GPL-3.0-or-later
// The lookup's free functions, and the lookup in its real window, offscreen, driven by keys,
// clicks and the wheel as a person drives it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QWheelEvent>
#include <atomic>
#include <thread>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "app/core/MultiWordLookup.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/PopUpButton.h"
#include "platform/cocoa/RichText.h"
#include "platform/cocoa/SystemLog.h"
#include "platform/cocoa/UserDefaults.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/ExportTestSupport.h"

namespace {

QStringList words(const char* utf8) { return wordsOfQuery(QString::fromUtf8(utf8)); }

TEST(WordsOfQuery, SeparatorsAndWhatStaysInsideWords) {
  const struct {
    const char* query;
    QStringList expected;
  } cases[] = {
      {"Don't well-known", {"Don", "t", "well", "known"}},
      {"the cat the", {"the", "cat", "the"}},
      {"\u201cQuoted,\u201d (bracketed) end. \u00bfQu\u00e9?", {"Quoted", "bracketed", "end", "Qu\u00e9"}},
      {"a_b a\u2014b", {"a", "b", "a", "b"}},  // Pc and Pd
      {"one\ttwo\u00a0three\u2003four\nfive\r\nsix\u0085seven\u2028eight\u2029nine\u000bten\u000cend",
       {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "end"}},
      {"$5 a+b=c re\u0301sume\u0301 item10", {"$5", "a+b=c", "re\u0301sume\u0301", "item10"}},
      {"x\U0001F600y z", {"x\U0001F600y", "z"}},  // one code point, not two separators
      {"", {}},
      {" , ; - ", {}},
      {",,word,,", {"word"}},
  };
  for (const auto& c : cases) EXPECT_EQ(words(c.query), c.expected) << c.query;
}

TEST(EachWordOnce, FirstOccurrenceKeptLetterCaseIgnoredAsRecentQueriesAre) {
  const struct {
    QStringList words, expected;
  } cases[] = {
      {{"the", "cat", "The", "THE", "cat"}, {"the", "cat"}},
      {{"The", "the"}, {"The"}},  // the first spelling stays
      {{"r\u00e9sum\u00e9", "resume", "R\u00c9SUM\u00c9"}, {"r\u00e9sum\u00e9", "resume"}},  // diacritics count
      {{"Stra\u00dfe", "STRASSE"}, {"Stra\u00dfe"}},  // full case folding, as the comparison does
      {{}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(eachWordOnce(c.words), c.expected) << c.words.join(' ').toStdString();
    // The same answer as the recent list's own comparison, pair by pair.
    for (const QString& kept : eachWordOnce(c.words))
      for (const QString& other : eachWordOnce(c.words))
        if (kept != other) {
          EXPECT_FALSE(ArrayContainsStringIgnoringCase({kept}, other));
        }
  }
}

TEST(ArrayContainsStringIgnoringCase, IgnoresLetterCaseOnly) {
  const QStringList recent{"cat", "Dog house"};
  EXPECT_TRUE(ArrayContainsStringIgnoringCase(recent, "Cat"));
  EXPECT_TRUE(ArrayContainsStringIgnoringCase(recent, "DOG HOUSE"));
  EXPECT_FALSE(ArrayContainsStringIgnoringCase(recent, "cat dog"));
  EXPECT_FALSE(ArrayContainsStringIgnoringCase({}, "cat"));
  EXPECT_FALSE(ArrayContainsStringIgnoringCase({QString::fromUtf8("r\u00e9sum\u00e9")}, "resume"));
}

TEST(FinderLikeOrder, NumbersByValueCaseIgnoredDiacriticsSignificant) {
  const struct {
    QStringList list, sorted;
  } sorts[] = {{{"zebra", "Apple", "item10", "item9"}, {"Apple", "item9", "item10", "zebra"}},
               {{"word10", "word2", "word1"}, {"word1", "word2", "word10"}}};
  for (auto s : sorts) {
    SortStringsLikeFinder(s.list);
    EXPECT_EQ(s.list, s.sorted);
  }
  const QString longA = QString(2000, 'a') + "b", longB = QString(2000, 'a') + "c";
  const struct {
    QString a, b;
    CFComparisonResult order;
  } compares[] = {{"apple", "Apple", kCFCompareEqualTo},
                  {"resume", QString::fromUtf8("r\u00e9sum\u00e9"), kCFCompareLessThan},
                  {"word2", "word10", kCFCompareLessThan},
                  {"word10", "word2", kCFCompareGreaterThan},
                  {longA, longB, kCFCompareLessThan}};  // whole, past any fixed buffer
  for (const auto& c : compares) EXPECT_EQ(CompareStringsLikeFinder(c.a, c.b, nullptr), c.order) << c.a.left(20).toStdString();
}

TEST(OutputBlock, PiecesTextAndAttributes) {
  const struct {
    QString word;
    QVariant definition;
    QString text;
    QList<BlockPiece::Style> styles;
  } cases[] = {
      {"cat", QString("a pet"), "cat:\na pet\n\n",
       {BlockPiece::Headword, BlockPiece::Plain, BlockPiece::Definition, BlockPiece::Plain, BlockPiece::Plain}},
      {"cat", QString("a pet\n"), "cat:\na pet\n\n",
       {BlockPiece::Headword, BlockPiece::Plain, BlockPiece::Definition, BlockPiece::Plain}},
      {"qzx", QVariant(), "qzx:\nCould not retrieve definition\n\n",
       {BlockPiece::Plain, BlockPiece::Plain, BlockPiece::Plain, BlockPiece::Plain}},
      {"x", QString(""), "x:\n\n\n",  // an empty definition is still a definition
       {BlockPiece::Headword, BlockPiece::Plain, BlockPiece::Definition, BlockPiece::Plain, BlockPiece::Plain}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(outputBlockText(c.word, c.definition), c.text);
    QList<BlockPiece::Style> styles;
    for (const BlockPiece& piece : outputBlock(c.word, c.definition)) styles << piece.style;
    EXPECT_EQ(styles, c.styles) << c.text.toStdString();
  }
}

// Inserts pieces the way the lookup does, each piece on its own.
void insertPieces(QTextDocument& document, const QList<BlockPiece>& pieces) {
  QTextCursor cursor(&document);
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  bold.setForeground(Qt::blue);
  for (const BlockPiece& piece : pieces)
    cursor.insertText(piece.text, piece.style == BlockPiece::Headword ? bold : QTextCharFormat());
}

// Every kind of line break a dictionary may hand over; the view must read back what it read
// back when each break was a paragraph of its own, on every road out: its plain text, a copied
// selection, and RTF as another program reads it.
TEST(CompactBlock, TwoParagraphsPerWordAndTheSameTextOut) {
  const QVariant definitions[] = {QString("one line"),
                                  QString("first\nsecond\n"),
                                  QString("dos\r\nlines\r\n"),
                                  QString("old\rmac\r"),
                                  QString("para\u2029graph"),
                                  QString("kept\u2028separator\n\n\nblank lines"),
                                  QString("\n"),
                                  QString(""),
                                  QVariant()};
  QTextDocument lineByLine, compact;
  for (const QVariant& definition : definitions) {
    const QList<BlockPiece> pieces = outputBlock("word", definition);
    const int before = compact.blockCount();
    insertPieces(lineByLine, pieces);
    insertPieces(compact, compactBlock(pieces));
    EXPECT_EQ(compact.blockCount() - before, 2) << definition.toString().toStdString();
    // The styles stay with their pieces.
    QList<BlockPiece::Style> styles, compactStyles;
    for (const BlockPiece& piece : pieces) styles << piece.style;
    for (const BlockPiece& piece : compactBlock(pieces)) compactStyles << piece.style;
    EXPECT_EQ(compactStyles, styles);
  }
  EXPECT_EQ(compact.toPlainText(), lineByLine.toPlainText());
  QTextCursor all(&compact), allLines(&lineByLine);
  all.select(QTextCursor::Document);
  allLines.select(QTextCursor::Document);
  EXPECT_EQ(all.selection().toPlainText(), allLines.selection().toPlainText());
  REQUIRE_UNRTF();
  EXPECT_EQ(readWithUnrtf(RTFFromDocument(compact)).text(), readWithUnrtf(RTFFromDocument(lineByLine)).text());
}

TEST(SystemLog, EveryLineInOrderWhateverTheThread) {
  std::vector<QByteArray> received;
  std::mutex mutex;
  setSystemLogSink([&](const QByteArray& line) {
    std::lock_guard lock(mutex);
    received.push_back(line);
  });
  const QString longLine(3000000, QChar(0x00e9));  // past the queue's bound alone
  for (int i = 0; i < 5000; ++i) NSLog(i == 2500 ? longLine : QString::number(i));
  NSLogFlush();
  setSystemLogSink(nullptr);
  ASSERT_EQ(received.size(), 5000u);
  for (int i = 0; i < 5000; ++i)
    ASSERT_EQ(received[size_t(i)], i == 2500 ? longLine.toUtf8() : QByteArray::number(i)) << i;
}

// A lookup long enough for the window to take its events in between.
QString longQuery(int words) {
  QStringList list;
  const QStringList some{"cat", "zebra", "apple", "the", "qqq"};
  for (int i = 0; i < words; ++i) list << some[i % some.size()];
  return list.join(' ');
}

// The window, launched as the application main routine launches it.
class Window : public ::testing::Test {
 public:
  void SetUp() override {
    installDefinitionAction(env);
    UserDefaults::resetStandardUserDefaults();
    addTestDictionary(env, "Animals", {{"cat", "A small furry animal.\nKept as a pet."},
                                       {"the", "The definite article."},
                                       {"zebra", "A striped animal."},
                                       {"apple", "A fruit."}});
  }

  void TearDown() override {
    if (controller) {
      delete controller->webWindow.data();
      delete controller->window();
      delete controller;
    }
    QApplication::setPalette(QPalette());
    UserDefaults::resetStandardUserDefaults();
  }

  void launch() {
    controller = loadMainInterface();
    Application::shared().setDelegate(controller);
    controller->awakeFromNib();
    controller->applicationDidFinishLaunching(nullptr);
    window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
  }

  void setPreference(const char* key, bool value) {
    UserDefaults::standardUserDefaults().setObject(value, QString::fromLatin1(key));
  }

  // Types the query into the query view and presses Ctrl+Return.
  void typeAndDefine(const QString& query) {
    QTest::mouseClick(view("query_textView")->viewport(), Qt::LeftButton);
    QTest::keyClick(view("query_textView"), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view("query_textView"), Qt::Key_Delete);
    // Typing the whole of a long query key by key would take long; short ones are typed.
    if (query.size() <= 80) QTest::keyClicks(view("query_textView"), query);
    else view("query_textView")->insertPlainText(query);
    QTest::keyClick(view("query_textView"), Qt::Key_Return, Qt::ControlModifier);
  }

  QMainWindow* window() const { return controller->window(); }
  QPlainTextEdit* view(const char* name) const { return window()->findChild<QPlainTextEdit*>(name); }
  template <class T = QWidget>
  T* child(const char* name) const {
    return window()->findChild<T*>(name);
  }
  QString result() const { return controller->result_textView->toPlainText(); }
  // The block at the top of the result view.
  int topBlock() const { return controller->result_textView->cursorForPosition(QPoint(0, 0)).blockNumber(); }
  int blockCount(const QString& text) const { return int(text.count(QStringLiteral(":\n"))); }

  TestEnvironment env;
  LexoraAppDelegate* controller = nullptr;
};

TEST_F(Window, KeyboardStartsInTheQueryAndThenAtTheFirstNewBlock) {
  launch();
  EXPECT_EQ(QApplication::focusWidget(), view("query_textView"));

  for (const bool reset : {true, false}) {
    setPreference("resetWindowOnLookup", reset);
    const int firstNewBlock = reset ? 0 : controller->result_textView->document()->blockCount() - 1;
    const QString before = reset ? QString() : result();
    typeAndDefine("cat zebra apple cat zebra apple cat zebra apple");
    EXPECT_EQ(result(), before + outputBlockText("cat", "A small furry animal.\nKept as a pet.") +
                            outputBlockText("zebra", "A striped animal.") + outputBlockText("apple", "A fruit.") +
                            outputBlockText("cat", "A small furry animal.\nKept as a pet.") +
                            outputBlockText("zebra", "A striped animal.") + outputBlockText("apple", "A fruit.") +
                            outputBlockText("cat", "A small furry animal.\nKept as a pet.") +
                            outputBlockText("zebra", "A striped animal.") + outputBlockText("apple", "A fruit."));
    EXPECT_EQ(topBlock(), firstNewBlock);

    // Shift+Tab goes from the query to the results; Down moves one line within the first block.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), controller->result_textView.data());
    EXPECT_EQ(controller->result_textView->textCursor().block().blockNumber(), firstNewBlock);
    QTest::keyClick(controller->result_textView, Qt::Key_Down);
    const QTextCursor cursor = controller->result_textView->textCursor();
    EXPECT_EQ(cursor.block().blockNumber(), firstNewBlock);
    EXPECT_GT(cursor.positionInBlock(), 0);
    EXPECT_EQ(topBlock(), firstNewBlock);
  }
}

TEST_F(Window, LookupStopsOnEscapeOrStopAndKeepsWholeBlocks) {
  const struct {
    const char* how;
    std::function<void(Window&)> stop;
  } ways[] = {
      {"Escape", [](Window&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }},
      {"Stop button", [](Window& w) { QTest::mouseClick(w.child<QAbstractButton>("stopButton"), Qt::LeftButton); }},
  };
  launch();
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    const int total = 200000;
    QString progress, status;
    bool stopEnabled = false;
    QTimer::singleShot(0, [&] {
      progress = child<QLabel>("lookupProgressField")->text();
      status = controller->statusTextField->text();
      stopEnabled = child<QAbstractButton>("stopButton")->isEnabled();
      way.stop(*this);
    });
    typeAndDefine(longQuery(total));
    // Shown while it ran: how far it was, out of how many, grouped as numbers are.
    EXPECT_TRUE(QRegularExpression("^\\d{1,3}(,\\d{3})* of 200,000$").match(progress).hasMatch())
        << progress.toStdString();
    EXPECT_TRUE(status.startsWith("Looking up word: "));
    EXPECT_TRUE(stopEnabled);
    const QString text = result();
    const int blocks = blockCount(text);
    EXPECT_GT(blocks, 0);
    EXPECT_LT(blocks, total);
    EXPECT_TRUE(text.endsWith("\n\n"));
    EXPECT_TRUE(text.startsWith(outputBlockText("cat", "A small furry animal.\nKept as a pet.")));
    // Everything back at rest.
    EXPECT_TRUE(controller->statusTextField->text().isEmpty());
    EXPECT_TRUE(child<QLabel>("lookupProgressField")->text().isEmpty());
    EXPECT_FALSE(child<QAbstractButton>("stopButton")->isEnabled());
    EXPECT_FALSE(controller->busy->isAnimating());
    EXPECT_FALSE(controller->isLookingUp());
  }
}

TEST_F(Window, TheWheelScrollsDuringALookupAndTheViewAndSelectionStayWhereTheUserPutThem) {
  launch();
  int during = -1;
  QTextCursor selection;
  // Once the lookup has written more than a view's worth (a turn may come after a few words
  // only on a busy machine).
  QTimer turns;
  turns.setInterval(0);
  QObject::connect(&turns, &QTimer::timeout, [&] {
    if (controller->result_textView->document()->blockCount() < 400) return;
    turns.stop();
    QWidget* viewport = controller->result_textView->viewport();
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    for (int i = 0; i < 5; ++i) {
      QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(viewport, &wheel);
    }
    during = topBlock();
    // A selection made meanwhile, with the keyboard, stays.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClick(controller->result_textView, Qt::Key_Down, Qt::ShiftModifier);
    selection = controller->result_textView->textCursor();
  });
  turns.start();
  typeAndDefine(longQuery(100000));
  EXPECT_GT(during, 0);
  EXPECT_EQ(topBlock(), during);
  ASSERT_TRUE(selection.hasSelection());
  EXPECT_EQ(controller->result_textView->textCursor().anchor(), selection.anchor());
  EXPECT_EQ(controller->result_textView->textCursor().position(), selection.position());
}

TEST_F(Window, QuittingDuringALookupEndsItAtOnce) {
  launch();
  const int total = 200000;
  int blocks = -1;
  QTimer::singleShot(0, [&] {
    // Quitting, as the Quit item, Ctrl+Q and closing the window do, once the lookup runs.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    typeAndDefine(longQuery(total));
    blocks = blockCount(result());
  });
  QApplication::exec();
  EXPECT_GT(blocks, 0);
  EXPECT_LT(blocks, total);
  EXPECT_FALSE(controller->isLookingUp());
}

TEST_F(Window, OneLookupAtATimeInTheOrderAsked) {
  launch();
  setPreference("resetWindowOnLookup", false);
  const int total = 20000;
  bool asked = false;
  QTimer::singleShot(0, [&] {
    // Define again, by key, while the first lookup runs: it waits for the first to end.
    QTest::keyClick(view("query_textView"), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(view("query_textView"), " apple");
    QTest::keyClick(view("query_textView"), Qt::Key_Return, Qt::ControlModifier);
    asked = true;
  });
  typeAndDefine(longQuery(total));
  ASSERT_TRUE(asked);
  EXPECT_EQ(blockCount(result()), total);  // the second has not started within the first
  EXPECT_TRUE(QTest::qWaitFor([&] { return blockCount(result()) == 2 * total + 1; }, 20000));
  EXPECT_EQ(blockCount(result()), 2 * total + 1);
  EXPECT_TRUE(result().endsWith(outputBlockText("apple", "A fruit.")));
}

TEST_F(Window, EachWordOncePreferenceFromItsCheckBox) {
  launch();
  auto* panel = child<QDialog>("preferencesPanel");
  ASSERT_NE(panel, nullptr);
  auto* box = panel->findChild<QCheckBox*>("lookUpEachWordOnlyOnceButton");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Look up each word only once");
  panel->show();
  EXPECT_FALSE(box->isChecked());  // off when absent

  const struct {
    bool once, sort;
    QStringList headwords;
  } cases[] = {
      {false, false, {"the", "cat", "The", "cat", "THE"}},
      {true, false, {"the", "cat"}},
      {true, true, {"cat", "the"}},
  };
  for (const auto& c : cases) {
    if (box->isChecked() != c.once) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    EXPECT_EQ(controller->lookUpEachWordOnlyOnce(), c.once);
    EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey("lookUpEachWordOnlyOnce").toBool(), c.once);
    setPreference("sortResultsLikeTheFinder", c.sort);
    window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
    typeAndDefine("the cat The cat, THE");
    QStringList headwords;
    for (const QString& line : result().split('\n'))
      if (line.endsWith(':')) headwords << line.chopped(1);
    EXPECT_EQ(headwords, c.headwords);
  }
}

TEST_F(Window, ResultsKeepTheirPaperUnderADarkTheme) {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
  dark.setColor(QPalette::Base, QColor(0x23, 0x23, 0x23));
  dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
  QApplication::setPalette(dark);
  launch();
  const QPalette results = controller->result_textView->viewport()->palette();
  EXPECT_GT(results.color(QPalette::Base).lightness(), 230);
  EXPECT_EQ(results.color(QPalette::Text), QColor(Qt::black));
  // The rest of the window follows the theme.
  EXPECT_LT(view("query_textView")->viewport()->palette().color(QPalette::Base).lightness(), 60);
}

TEST_F(Window, ZoomEnlargesEveryPieceAndLeavesTheFormatsAlone) {
  launch();
  typeAndDefine("cat qqq " + longQuery(300));
  QPlainTextEdit* results = controller->result_textView;
  QTest::mouseClick(results->viewport(), Qt::LeftButton);
  // Line heights of the headword line and of the failure line (plain attributes).
  const auto heights = [&] {
    QTextBlock first = results->document()->begin();
    QTextBlock failure = first.next().next();
    if (!first.layout() || first.layout()->lineCount() == 0 || !failure.layout() || failure.layout()->lineCount() == 0)
      return std::pair<qreal, qreal>(0, 0);
    return std::pair(first.layout()->lineAt(0).height(), failure.layout()->lineAt(0).height());
  };
  const auto [headword, plain] = heights();
  ASSERT_GT(headword, 0);

  const struct {
    const char* how;
    std::function<void()> act;
    int direction;
  } steps[] = {
      {"Ctrl+plus", [&] { QTest::keyClick(results, Qt::Key_Plus, Qt::ControlModifier); }, 1},
      {"Ctrl+0", [&] { QTest::keyClick(results, Qt::Key_0, Qt::ControlModifier); }, 0},
      {"Ctrl+minus", [&] { QTest::keyClick(results, Qt::Key_Minus, Qt::ControlModifier); }, -1},
      {"Ctrl+0", [&] { QTest::keyClick(results, Qt::Key_0, Qt::ControlModifier); }, 0},
      {"Ctrl+wheel",
       [&] {
         const QPointF at(10, 10);
         QWheelEvent wheel(at, results->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                           Qt::ControlModifier, Qt::NoScrollPhase, false);
         QApplication::sendEvent(results->viewport(), &wheel);
       },
       1},
  };
  for (const auto& step : steps) {
    step.act();
    results->viewport()->repaint();
    const auto [zoomedHeadword, zoomedPlain] = heights();
    const int sign = (zoomedHeadword > headword + 0.5) - (zoomedHeadword < headword - 0.5);
    EXPECT_EQ(sign, step.direction) << step.how;
    const int plainSign = (zoomedPlain > plain + 0.5) - (zoomedPlain < plain - 0.5);
    EXPECT_EQ(plainSign, step.direction) << step.how;
  }
  // Zooming keeps the block at the top where it was.
  results->verticalScrollBar()->setValue(results->document()->findBlockByNumber(40).firstLineNumber());
  ASSERT_EQ(topBlock(), 40);
  QTest::keyClick(results, Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(topBlock(), 40);
  QTest::keyClick(results, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(topBlock(), 40);

  // The document is untouched: headwords are still 12 points, and so is what is exported.
  QTextBlock first = results->document()->begin();
  EXPECT_EQ(first.begin().fragment().charFormat().font().pointSizeF(), 12.0);
  EXPECT_TRUE(RTFFromDocument(*results->document()).contains("\\fs24"));
}

TEST_F(Window, FindBarFindsIgnoringCaseWrapsAndClosesOnEscape) {
  launch();
  typeAndDefine("cat zebra apple zebra");
  QTest::keyClick(view("query_textView"), Qt::Key_F, Qt::ControlModifier);
  auto* field = child<QLineEdit>("findField");
  ASSERT_TRUE(child("findBar")->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), field);

  QPlainTextEdit* results = controller->result_textView;
  const QString text = result();
  const QList<int> zebras{int(text.indexOf("zebra")), int(text.lastIndexOf("zebra"))};
  ASSERT_LT(zebras[0], zebras[1]);
  QTest::keyClicks(field, "ZEBRA");
  EXPECT_EQ(results->textCursor().selectedText(), "zebra");
  EXPECT_EQ(results->textCursor().selectionStart(), zebras[0]);
  // Return goes on to the next match and wraps round; Shift+Return goes back, wrapping too.
  QList<int> visited;
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(field, Qt::Key_Return);
    visited << results->textCursor().selectionStart();
  }
  EXPECT_EQ(visited, (QList<int>{zebras[1], zebras[0], zebras[1]}));
  QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(results->textCursor().selectionStart(), zebras[0]);
  QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(results->textCursor().selectionStart(), zebras[1]);

  QTest::keyClicks(field, "qqqx");
  EXPECT_EQ(child<QLabel>("findStatusField")->text(), "Not found");
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_FALSE(child("findBar")->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), results);
}

TEST_F(Window, EveryControlNamedAndReachedByTab) {
  launch();
  for (const char* name : {"query_textView", "result_textView", "statusTextField", "recentPopUpButton",
                           "dictionariesPopUpButton", "lookupProgressField", "stopButton", "busy"}) {
    QWidget* widget = child(name);
    ASSERT_NE(widget, nullptr) << name;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr) << name;
    EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << name;
  }

  // Tab from the query view visits every enabled control of the window and comes back.
  QSet<QString> visited;
  for (int i = 0; i < 30; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited << QApplication::focusWidget()->objectName();
    if (QApplication::focusWidget() == view("query_textView")) break;
  }
  EXPECT_EQ(QApplication::focusWidget(), view("query_textView"));
  for (const char* name : {"defineButton", "recentPopUpButton", "dictionariesPopUpButton", "clipboardButton",
                           "saveButton", "onlineButton", "wikiOnlineButton", "result_textView"})
    EXPECT_TRUE(visited.contains(name)) << name;

  // The pop-ups open from the keyboard too.
  child("dictionariesPopUpButton")->setFocus();
  QTimer::singleShot(50, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
  });
  bool opened = false;
  QTimer::singleShot(20, [&] { opened = QApplication::activePopupWidget() != nullptr; });
  QTest::keyClick(child("dictionariesPopUpButton"), Qt::Key_Space);
  QTest::qWait(100);
  EXPECT_TRUE(opened);
}

TEST_F(Window, NothingOverlapsAtTheMinimumSize) {
  launch();
  window()->resize(window()->minimumSize());
  QTest::qWait(20);
  EXPECT_EQ(window()->size(), window()->minimumSize());
  QList<QWidget*> row;
  for (const char* name : {"defineButton", "recentPopUpButton", "dictionariesPopUpButton", "clipboardButton",
                           "saveButton", "onlineButton", "wikiOnlineButton"})
    row << child(name);
  for (int i = 0; i < row.size(); ++i) {
    const QRect r = row[i]->geometry();
    EXPECT_GE(r.width(), row[i]->minimumSizeHint().width()) << row[i]->objectName().toStdString();
    EXPECT_TRUE(window()->centralWidget()->rect().contains(row[i]->mapTo(window()->centralWidget(), QPoint(r.width() - 1, 0))))
        << row[i]->objectName().toStdString();
    if (i > 0) {
      EXPECT_LE(row[i - 1]->geometry().right(), r.left()) << row[i]->objectName().toStdString();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this without the test environment; the window never needs a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
