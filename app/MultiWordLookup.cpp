// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's lookup: the whole query cut into words, each looked up through the
// generated workflow and written to the result view.

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

#include "app/LexoraAppDelegate.h"
#include "app/core/MultiWordLookup.h"
#include "dictionary/Dictionary.h"
#include "platform/automator/Workflow.h"
#include "platform/cocoa/ProgressIndicator.h"
#include "platform/cocoa/SystemLog.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

// Set while a lookup runs. The window takes its events between words (the user may scroll,
// copy or stop), and a lookup asked for in that time waits until the running one has ended.
bool lookupRunning = false;
int lookupsWaiting = 0;
// At most about this long (a frame) between two turns of the event loop while a lookup runs.
constexpr int kEventTurnIntervalMs = 16;

// "312 of 2,017", with the grouping of the user's language; English when none is set.
QString progressText(qsizetype done, qsizetype total) {
  QLocale locale;
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  locale.setNumberOptions(QLocale::DefaultNumberOptions);
  return QStringLiteral("%1 of %2").arg(locale.toString(qint64(done)), locale.toString(qint64(total)));
}

// Lets the event loop take what is waiting, user input included. False when the application was
// asked to quit meanwhile: quitting ends every event loop, this one too.
bool serveEventLoop() {
  QEventLoop loop;
  QTimer::singleShot(0, &loop, [&loop] { loop.exit(1); });
  return loop.exec() == 1;
}

}  // namespace

void LexoraAppDelegate::insertText(QTextCursor& cursor, const QString& text, const QTextCharFormat* attributes) {
  cursor.insertText(text, attributes ? *attributes : typingAttributes_);
}

bool LexoraAppDelegate::isLookingUp() const { return lookupRunning; }

void LexoraAppDelegate::stopLookup(QObject*) {
  if (!lookupRunning) return;
  stopRequested_ = true;
  lookupsWaiting = 0;
}

void LexoraAppDelegate::setLookupProgress(const QString& text) {
  if (lookupProgressField) lookupProgressField->setText(text);
}

void LexoraAppDelegate::buttonClicked(QObject*) {
  if (lookupRunning) {
    ++lookupsWaiting;
    return;
  }
  if (!query_textView || !result_textView) return;
  lookupRunning = true;
  stopRequested_ = false;
  if (busy) busy->startAnimation(this);

  theQueryString = query_textView->toPlainText();
  if (theQueryString.isNull()) theQueryString = QLatin1String("");
  const QString query = theQueryString;

  if (!query.isEmpty()) {
    setStatus(QStringLiteral("Looking up words: %1").arg(query));
    if (resetTextView()) result_textView->clear();
    QTextCursor output = result_textView->textCursor();
    output.movePosition(QTextCursor::End);
    result_textView->setTextCursor(output);
    const int runStart = output.position();

    if (!ArrayContainsStringIgnoringCase(recentWords, query)) {
      recentWords.append(query);
      boundRecentWords();  // stored shortened from the start
      UserDefaults& defaults = UserDefaults::standardUserDefaults();
      defaults.setObject(QVariant(recentWords), QStringLiteral("SavedRecentWords"));
      defaults.synchronize();
      buildRecentMenu();
    }

    dictionary::checkForChanges();  // once per lookup: a dictionary changed on disk is read afresh
    const Workflow::LookupSession session;  // and the workflow document looked at once
    QStringList words = wordsOfQuery(query);
    if (lookUpEachWordOnlyOnce()) words = eachWordOnce(words);
    if (sortResultsLikeTheFinder()) SortStringsLikeFinder(words);

    // A choice of dictionary would rebuild the workflow under the running lookup.
    if (dictionariesPopUpButton) dictionariesPopUpButton->setEnabled(false);
    if (stopButton) stopButton->setEnabled(true);
    // The run's first block is shown at the top as soon as it is there, and kept there while
    // more arrive, until the user scrolls elsewhere. The scroll bar counts lines, so blocks are
    // told apart by what is at the top of the view.
    QScrollBar* scrollBar = result_textView->verticalScrollBar();
    const int firstNewBlock = result_textView->document()->findBlock(runStart).blockNumber();
    const auto topBlock = [this] { return result_textView->cursorForPosition(QPoint(0, 0)).blockNumber(); };
    int shownTop = -1;  // the block this run last put at the top
    const auto showFirstNewBlock = [&] {
      if (shownTop >= 0 && topBlock() != shownTop) return;  // the user has moved the view
      scrollBar->setValue(result_textView->document()->findBlockByNumber(firstNewBlock).firstLineNumber());
      shownTop = topBlock();
    };

    // The blocks go in as one edit between turns of the event loop, so the view lays its text
    // out once per turn rather than once per piece.
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    bool viewGone = false;
    output.beginEditBlock();
    for (qsizetype i = 0; i < words.size() && !stopRequested_; ++i) {
      const QString& word = words[i];
      setStatus(QStringLiteral("Looking up word: %1").arg(word));
      setLookupProgress(progressText(i + 1, words.size()));
      const QVariant definition = getDefinitionOfWord(word);
      if (definition.isValid()) NSLog(definition.toString());
      for (const BlockPiece& piece : compactBlock(outputBlock(word, definition))) {
        insertText(output, piece.text,
                   piece.style == BlockPiece::Headword     ? &boldAttributes
                   : piece.style == BlockPiece::Definition ? &regularAttributes
                                                           : nullptr);
      }
      if (sinceTurn.elapsed() >= kEventTurnIntervalMs) {
        output.endEditBlock();
        showFirstNewBlock();
        if (!serveEventLoop()) stopRequested_ = true;
        if (!result_textView) {  // the window went away meanwhile, and its text with it
          viewGone = true;
          break;
        }
        output.beginEditBlock();
        sinceTurn.restart();
      }
    }
    if (!viewGone) output.endEditBlock();
    if (result_textView) {
      // Reading starts at this run's first block, and so does the keyboard.
      // Where the user left the view: a block, and a line within it.
      QTextDocument* document = result_textView->document();
      const int userTop = topBlock();
      const bool followed = shownTop < 0 || userTop == shownTop;
      const int userLine = scrollBar->value() - document->findBlockByNumber(userTop).firstLineNumber();
      // The view's own cursor has ridden along with the insertions at the end, unless the user
      // has moved it or selected something meanwhile: that is left as it is.
      const QTextCursor viewCursor = result_textView->textCursor();
      if (viewGone || (!viewCursor.hasSelection() && viewCursor.position() == output.position())) {
        QTextCursor start(document);
        start.setPosition(std::min(runStart, document->characterCount() - 1));
        result_textView->setTextCursor(start);
      }
      if (followed) {
        shownTop = -1;
        showFirstNewBlock();
      } else {
        scrollBar->setValue(document->findBlockByNumber(userTop).firstLineNumber() + std::max(userLine, 0));
      }
    }
    if (dictionariesPopUpButton) dictionariesPopUpButton->setEnabled(true);
    if (stopButton) stopButton->setEnabled(false);
  }

  setStatus(QString());
  setLookupProgress(QString());
  if (busy) busy->stopAnimation(this);
  lookupRunning = false;
  if (stopRequested_) lookupsWaiting = 0;
  if (lookupsWaiting > 0) {
    --lookupsWaiting;
    QTimer::singleShot(0, this, [this] { buttonClicked(this); });
  }
}

QVariant LexoraAppDelegate::getDefinitionOfWord(const QString& word) {
  if (workflowURL.isEmpty()) return {};
  const QVariant result = Workflow::runWorkflowAtURL(workflowURL, QVariantList{word}, nullptr);
  if (result.typeId() == QMetaType::QString) NSLog(result.toString());
  return result;
}
