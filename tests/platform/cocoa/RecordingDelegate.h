// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An application delegate that records the actions it receives, and can run a hook inside one.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class RecordingDelegate : public QObject {
  Q_OBJECT
 public:
  std::vector<std::pair<QByteArray, QPointer<QObject>>> calls;
  std::function<void(QObject* sender)> during;  // runs inside each action

 public slots:
  void buttonClicked(QObject* sender) { record("buttonClicked", sender); }
  void selItemRecentMenu(QObject* sender) { record("selItemRecentMenu", sender); }
  void selItemRemove(QObject* sender) { record("selItemRemove", sender); }
  void preferencesItemChanged(QObject* sender) { record("preferencesItemChanged", sender); }

 signals:
  void somethingHappened(QObject* sender);

 private slots:
  void notForActions(QObject* sender) { record("notForActions", sender); }

 private:
  void record(const char* action, QObject* sender) {
    calls.emplace_back(action, sender);
    if (during) during(sender);
  }
};
