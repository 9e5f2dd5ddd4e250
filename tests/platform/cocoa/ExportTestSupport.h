// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for the tests of rich-text export: reading RTF back with unrtf, a reader that owes
// nothing to our writer, and answering modal dialogs from inside their own event loops.
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#define REQUIRE_UNRTF()                                                  \
  if (QStandardPaths::findExecutable(QStringLiteral("unrtf")).isEmpty()) \
  GTEST_SKIP() << "unrtf is not installed (scripts/install-deps.sh)"

// unrtf's HTML of some RTF, parsed into a document whose text and formats tests can look at;
// no document when unrtf could not read it.
struct UnrtfReading {
  std::shared_ptr<QTextDocument> document;
  QString text() const { return document ? document->toPlainText().trimmed() : QString(); }

  // The format of the first fragment that is `piece` exactly.
  QTextCharFormat formatOf(const QString& piece) const {
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
      for (auto it = block.begin(); !it.atEnd(); ++it)
        if (it.fragment().text() == piece) return it.fragment().charFormat();
    return {};
  }
};

inline UnrtfReading readWithUnrtf(const QByteArray& rtf) {
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("read.rtf")));
  if (!file.open(QIODevice::WriteOnly) || file.write(rtf) != rtf.size()) return {};
  file.close();
  QProcess unrtf;
  unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--html"), file.fileName()});
  if (!unrtf.waitForFinished(60000) || unrtf.exitCode() != 0) return {};  // a bound, not a timing
  UnrtfReading reading{std::make_shared<QTextDocument>()};
  reading.document->setHtml(QString::fromUtf8(unrtf.readAllStandardOutput()));
  return reading;
}

// Runs each step on the next modal widget of its type to show. A step runs from a timer of its
// own after the poll that found its widget returns: Qt fires no timer again while its timeout
// is being handled, and a step that opens another modal needs the poll to go on.
class ModalScript {
 public:
  ModalScript() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(5);
  }

  template <class T>
  ModalScript& then(std::function<void(T*)> step) {
    steps_.push_back([step](QWidget* widget) {
      if (T* typed = qobject_cast<T*>(widget)) return std::function<void()>([step, typed] { step(typed); });
      return std::function<void()>();
    });
    return *this;
  }
  bool finished() const { return steps_.empty() && !scheduled_; }

 private:
  void poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (scheduled_ || steps_.empty() || !modal || !modal->isVisible()) return;
    std::function<void()> run = steps_.front()(modal);
    if (!run) return;
    steps_.pop_front();
    scheduled_ = true;
    QTimer::singleShot(0, modal, [this, run] {
      scheduled_ = false;
      run();
    });
  }

  QTimer timer_;
  std::deque<std::function<std::function<void()>(QWidget*)>> steps_;
  bool scheduled_ = false;
};

// The files and folders under `path`, hidden ones too, relative to it and sorted.
inline QStringList listTree(const QString& path) {
  QStringList entries;
  QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) entries << QDir(path).relativeFilePath(it.next());
  entries.sort();
  return entries;
}

inline QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
