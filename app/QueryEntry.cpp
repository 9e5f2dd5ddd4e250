// SPDX-License-Identifier: GPL-3.0-or-later
// Two more roads into the lookup: leaving the query view with changed text, and text sent
// from another program (the Services request), looked up one second later.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTimer>

#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Pasteboard.h"

namespace {

// A control that a click works without taking over the typing: buttons, pop-ups, sliders and
// tabs. Qt gives them the focus on a click, where the platform's controls leave it alone.
bool isControl(const QWidget* widget) {
  if (qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QAbstractSlider*>(widget) ||
      qobject_cast<const QTabBar*>(widget))
    return true;
  const auto* comboBox = qobject_cast<const QComboBox*>(widget);
  return comboBox && !comboBox->isEditable();
}

}  // namespace

void LexoraAppDelegate::watchQueryViewEditing() {
  if (watchingQueryView_ || !qApp) return;
  watchingQueryView_ = true;
  connect(qApp, &QApplication::focusChanged, this, &LexoraAppDelegate::queryViewFocusChanged);
}

void LexoraAppDelegate::queryViewFocusChanged(QWidget* from, QWidget* to) {
  QWidget* view = query_textView;
  if (!view) return;
  if (to == view) {
    queryEditingOpen_ = false;
    return;
  }
  if (from != view && !queryEditingOpen_) return;
  // Another window (a menu popping up, the web window, leaving the application): the query
  // view stays the one being edited in its own window.
  if (!to || to->window() != view->window() || isControl(to)) {
    queryEditingOpen_ = true;
    return;
  }
  queryEditingOpen_ = false;
  textDidEndEditing(view);
}

void LexoraAppDelegate::textDidEndEditing(QObject* textView) {
  if (!textView || textView != query_textView.data()) return;
  const QString text = query_textView->toPlainText();
  if (!theQueryString.isEmpty() && theQueryString == text) return;
  if (lookupOnlyWhenDefineIsClicked()) return;
  buttonClicked(this);
}

bool LexoraAppDelegate::deferWhileSavePanelOpen(std::function<void()> work) {
  if (!savePanelOpen_) return false;
  deferredWork_.append(std::move(work));
  return true;
}

void LexoraAppDelegate::runDeferredWork() {
  // Work run now may open the panel again; whatever it defers then waits for that one.
  while (!deferredWork_.isEmpty() && !savePanelOpen_) deferredWork_.takeFirst()();
}

void LexoraAppDelegate::handleMenuSelection(Pasteboard& pasteboard, const QString& userData, QString*) {
  // The results being saved stay as they are until the panel has closed.
  if (deferWhileSavePanelOpen([this, copy = pasteboard, userData]() mutable {
        handleMenuSelection(copy, userData, nullptr);
      }))
    return;
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
  if (deferWhileSavePanelOpen([this] { handleMenuSelectionTimerAction(nullptr); })) return;
  if (!lookupOnlyWhenDefineIsClicked()) buttonClicked(this);
}
