#pragma once
// Helpers for the tests of rich-text export: reading RTF back with unrtf, a reader that owes
// nothing to our writer, and driving modal dialogs (the save panel, its questions) the way a
// user would, from inside their own event loops.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextFragment>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>

// What unrtf made of some RTF: its HTML, and that HTML as a document, so that the text and
// its bold and colours can be looked at. `ran` is false when unrtf could not be run.
struct UnrtfReading {
  bool ran = false;
  QString html;
  QString text;  // the document's plain text, line breaks as "\n"
  std::shared_ptr<QTextDocument> document;

  // The format of the first piece of text that is exactly `piece`, or that contains it.
  QTextCharFormat formatOf(const QString& piece) const {
    QTextCharFormat containing;
    bool found = false;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QString text = it.fragment().text();
        if (text == piece) return it.fragment().charFormat();
        if (!found && text.contains(piece)) {
          containing = it.fragment().charFormat();
          found = true;
        }
      }
    }
    return containing;
  }
};

inline bool unrtfInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("unrtf")).isEmpty(); }

// Runs "unrtf <mode> <file>" and answers its standard output (UTF-8), or a null string.
inline QString runUnrtf(const QString& mode, const QString& rtfFile) {
  QProcess unrtf;
  unrtf.start(QStringLiteral("unrtf"), {mode, rtfFile});
  // The bound only keeps a broken reader from hanging the test.
  if (!unrtf.waitForFinished(60000) || unrtf.exitStatus() != QProcess::NormalExit || unrtf.exitCode() != 0)
    return QString();
  return QString::fromUtf8(unrtf.readAllStandardOutput());
}

inline UnrtfReading readRTFFileWithUnrtf(const QString& rtfFile) {
  UnrtfReading reading;
  reading.html = runUnrtf(QStringLiteral("--html"), rtfFile);
  if (reading.html.isNull()) return reading;
  reading.ran = true;
  reading.document = std::make_shared<QTextDocument>();
  reading.document->setHtml(reading.html);
  reading.text = reading.document->toPlainText();
  return reading;
}

inline UnrtfReading readRTFWithUnrtf(const QByteArray& rtf) {
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("read.rtf")));
  if (!file.open(QIODevice::WriteOnly) || file.write(rtf) != rtf.size()) return {};
  file.close();
  return readRTFFileWithUnrtf(file.fileName());
}

inline QString unrtfText(const QByteArray& rtf) {
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("read.rtf")));
  if (!file.open(QIODevice::WriteOnly) || file.write(rtf) != rtf.size()) return {};
  file.close();
  return runUnrtf(QStringLiteral("--text"), file.fileName());
}

#define REQUIRE_UNRTF()                                                                        \
  do {                                                                                         \
    if (!unrtfInstalled()) GTEST_SKIP() << "unrtf is not installed (scripts/install-deps.sh)"; \
  } while (false)

// A script of steps, each run on the next modal widget of its type to show. Each step runs
// from a timer of its own, after the poll that found its widget has returned: Qt does not fire
// a timer again while its last timeout is still being handled, and a step that opens another
// modal (a question) needs the poll to go on so that the next step can answer it.
class ModalScript {
 public:
  ModalScript() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(5);
  }
  ~ModalScript() { timer_.stop(); }

  template <class T>
  ModalScript& then(std::function<void(T*)> step) {
    steps_.push_back({[](QWidget* widget) { return qobject_cast<T*>(widget) != nullptr; },
                      [step](QWidget* widget) { step(qobject_cast<T*>(widget)); }});
    return *this;
  }

  bool finished() const { return steps_.empty() && !scheduled_; }
  // Modal widgets that were still open with no step left for them, and were closed so the
  // test could go on.
  int abandoned() const { return abandoned_; }

 private:
  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> run;
  };

  void poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (scheduled_ || !modal || !modal->isVisible()) {
      idlePolls_ = 0;
      return;
    }
    if (steps_.empty()) {
      // A dialog nobody will answer would block the test for ever.
      if (++idlePolls_ > 2000) {
        ++abandoned_;
        idlePolls_ = 0;
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
      }
      return;
    }
    if (!steps_.front().matches(modal)) return;
    Step step = steps_.front();
    steps_.pop_front();
    scheduled_ = true;
    QPointer<QWidget> target(modal);
    QTimer::singleShot(0, modal, [this, step, target] {
      scheduled_ = false;
      if (target) step.run(target);
    });
  }

  QTimer timer_;
  std::deque<Step> steps_;
  bool scheduled_ = false;
  int idlePolls_ = 0;
  int abandoned_ = 0;
};

// The files and folders under `path`, hidden ones too, relative to it and sorted.
inline QStringList listTree(const QString& path) {
  QStringList entries;
  const QDir root(path);
  std::function<void(const QString&)> walk = [&](const QString& folder) {
    const QFileInfoList items = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& item : items) {
      entries << root.relativeFilePath(item.filePath());
      if (item.isDir() && !item.isSymLink()) walk(item.filePath());
    }
  };
  walk(path);
  entries.sort();
  return entries;
}

inline QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
