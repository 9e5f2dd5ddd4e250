// Two more roads into the lookup: leaving the query view with changed text, and text sent
// from another program (the Services request), looked up one second later.
#include <QPlainTextEdit>
#include <QTimer>

#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Pasteboard.h"

void LexoraAppDelegate::textDidEndEditing(QObject* textView) {
  if (!textView || textView != query_textView.data()) return;
  const QString text = query_textView->toPlainText();
  if (!theQueryString.isEmpty() && theQueryString == text) return;
  if (lookupOnlyWhenDefineIsClicked()) return;
  buttonClicked(this);
}

void LexoraAppDelegate::handleMenuSelection(Pasteboard& pasteboard, const QString&, QString*) {
  Application::shared().activateIgnoringOtherApps(true);
  const QString text = pasteboard.stringForType(QString::fromLatin1(NSStringPboardType));
  if (text.isNull() || !query_textView) return;
  query_textView->setPlainText(text);
  // Each request schedules its own one-shot timer; none is kept or cancelled.
  auto* timer = new QTimer(this);
  timer->setSingleShot(true);
  connect(timer, &QTimer::timeout, this, [this, timer] {
    handleMenuSelectionTimerAction(timer);
    timer->deleteLater();
  });
  timer->start(1000);
}

void LexoraAppDelegate::handleMenuSelectionTimerAction(QObject*) {
  if (!lookupOnlyWhenDefineIsClicked()) buttonClicked(this);
}
