// The controller's lookup: the whole query cut into words, each looked up through the
// generated workflow and written to the result view.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
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

// Set while a lookup runs; the window repaints between words, and a lookup asked for in
// that time (a timer firing) waits until the running one has written its last block.
bool lookupRunning = false;
constexpr int kRepaintIntervalMs = 30;

}  // namespace

void LexoraAppDelegate::insertText(QTextCursor& cursor, const QString& text, const QTextCharFormat* attributes) {
  cursor.insertText(text, attributes ? *attributes : typingAttributes_);
}

void LexoraAppDelegate::buttonClicked(QObject*) {
  if (lookupRunning) {
    QTimer::singleShot(0, this, [this] { buttonClicked(this); });
    return;
  }
  if (!query_textView || !result_textView) return;
  lookupRunning = true;
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
      UserDefaults& defaults = UserDefaults::standardUserDefaults();
      defaults.setObject(QVariant(recentWords), QStringLiteral("SavedRecentWords"));
      defaults.synchronize();
      buildRecentMenu();
    }

    dictionary::checkForChanges();  // once per lookup: a dictionary changed on disk is read afresh
    QStringList words = wordsOfQuery(query);
    if (sortResultsLikeTheFinder()) SortStringsLikeFinder(words);

    // The blocks go in as one edit between repaints, so the view lays its text out once per
    // repaint rather than once per piece.
    QElapsedTimer sinceRepaint;
    sinceRepaint.start();
    output.beginEditBlock();
    for (const QString& word : words) {
      setStatus(QStringLiteral("Looking up word: %1").arg(word));
      const QVariant definition = getDefinitionOfWord(word);
      if (definition.isValid()) NSLog(definition.toString());
      for (const BlockPiece& piece : outputBlock(word, definition)) {
        insertText(output, piece.text,
                   piece.style == BlockPiece::Headword     ? &boldAttributes
                   : piece.style == BlockPiece::Definition ? &regularAttributes
                                                           : nullptr);
      }
      if (sinceRepaint.elapsed() >= kRepaintIntervalMs) {
        output.endEditBlock();
        result_textView->setTextCursor(output);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers);
        output.beginEditBlock();
        sinceRepaint.restart();
      }
    }
    output.endEditBlock();
    result_textView->setTextCursor(output);
    // Reading starts at this run's first block; the insertion point stays at the end.
    result_textView->verticalScrollBar()->setValue(result_textView->document()->findBlock(runStart).blockNumber());
  }

  setStatus(QString());
  if (busy) busy->stopAnimation(this);
  lookupRunning = false;
}

QVariant LexoraAppDelegate::getDefinitionOfWord(const QString& word) {
  if (workflowURL.isEmpty()) return {};
  const QVariant result = Workflow::runWorkflowAtURL(workflowURL, QVariantList{word}, nullptr);
  if (result.typeId() == QMetaType::QString) NSLog(result.toString());
  return result;
}
