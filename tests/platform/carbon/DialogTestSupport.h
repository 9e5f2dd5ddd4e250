// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Driving modal dialogs the way a person does: wait until the dialog shows, then type and click
// in it while its own event loop runs.
#include <QApplication>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

// Runs act on the first modal widget of type T to show (within 10 s; then closes whatever is
// modal so that the test fails instead of hanging).
template <class T>
void whenModalShows(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
    QWidget* modal = QApplication::activeModalWidget();
    T* dialog = qobject_cast<T*>(modal);
    if (dialog && dialog->isVisible()) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      // Whatever act leaves open is closed after 10 s, so that the test fails, never hangs.
      QPointer<T> watched(dialog);
      QTimer::singleShot(10000, [watched] {
        if (watched && watched->isVisible()) watched->reject();
      });
      act(dialog);
    } else if (clock->elapsed() > 10000) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      if (auto* stuck = qobject_cast<QDialog*>(modal)) stuck->reject();
    }
  });
  timer->start();
}

// Types names into a file dialog's name field and presses its accept button; Escape when
// names is empty (the user cancels).
inline void chooseInFileDialog(QFileDialog* dialog, const QString& names) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (names.isEmpty() || !name) {
    QTest::keyClick(dialog, Qt::Key_Escape);
    return;
  }
  // A person types once the folder's listing is there; before it, the dialog cannot tell a
  // typed folder from a new name.
  auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
  QTest::qWaitFor([view] { return !view || (view->model() && view->model()->rowCount(view->rootIndex()) > 0); }, 5000);
  name->setFocus();
  name->clear();
  QTest::keyClicks(name, names);
  // The completion list may open over the dialog; a person closes it before clicking on.
  QTest::qWait(50);
  if (QCompleter* completer = name->completer(); completer && completer->popup()->isVisible())
    QTest::keyClick(completer->popup(), Qt::Key_Escape);
  auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  QPushButton* accept = box ? box->button(QDialogButtonBox::Open) : nullptr;
  if (!accept && box) accept = box->button(QDialogButtonBox::Save);
  // The button is enabled once the dialog has looked the names up, as a person waits for it.
  if (accept && QTest::qWaitFor([accept] { return accept->isEnabled(); }, 5000))
    QTest::mouseClick(accept, Qt::LeftButton);
  else QTest::keyClick(name, Qt::Key_Return);
}
