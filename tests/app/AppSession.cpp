// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the application as its main routine does, offscreen unless told otherwise, and plays a
// script of user actions given as arguments, printing what the window shows at each "report":
//   type:TEXT  define  choose:DICTIONARY  wait:MS  waitfile:PATH  report  quit
//   resize:W,H  split:A,B  key:Ctrl+Q  menu:ACTION  copy  save  savename:NAME
// "save" opens the save panel and goes on with the script while it is open; "savename" types a
// name into it and presses Save.
// With --clipboard MIME... it prints instead what the clipboard holds under each MIME type, as
// a JSON object of base64 strings (a missing type is left out), with the list of all under
// "formats".
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Menus.h"

namespace {

QJsonObject snapshot(LexoraAppDelegate* controller) {
  QJsonArray splitter;
  for (int size : controller->window()->findChild<QSplitter*>("splitter")->sizes()) splitter.append(size);
  return {{"query", controller->query_textView->toPlainText()},
          {"result", controller->result_textView->toPlainText()},
          {"recent", QJsonArray::fromStringList(controller->recentWords)},
          {"dictionary", controller->selectedDictionaryName()},
          {"workflow", controller->workflowURL.toLocalFile()},
          {"status", controller->statusTextField->text()},
          {"size", QJsonArray{controller->window()->width(), controller->window()->height()}},
          {"splitter", splitter},
          {"panel", qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr}};
}

void play(LexoraAppDelegate* controller, QStringList steps) {
  if (steps.isEmpty()) return;
  const QString step = steps.takeFirst();
  const QString argument = step.section(u':', 1);
  QMainWindow* window = controller->window();
  int delay = 0;
  if (step.startsWith("type:")) {
    controller->query_textView->setPlainText(argument);
  } else if (step == "define") {
    window->findChild<QPushButton*>("defineButton")->click();
  } else if (step.startsWith("choose:")) {
    for (QAction* item : controller->dictionariesMenu->actions())
      if (menuItemTitle(item) == argument) item->trigger();
  } else if (step.startsWith("wait:")) {
    delay = argument.toInt();
  } else if (step.startsWith("waitfile:")) {
    if (!QFile::exists(argument)) {
      steps.prepend(step);
      delay = 20;
    }
  } else if (step == "report") {
    std::printf("%s\n", QJsonDocument(snapshot(controller)).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
  } else if (step == "quit") {
    Application::shared().terminate();
  } else if (step.startsWith("resize:")) {
    window->resize(argument.section(u',', 0, 0).toInt(), argument.section(u',', 1).toInt());
  } else if (step.startsWith("split:")) {
    window->findChild<QSplitter*>("splitter")->setSizes({argument.section(u',', 0, 0).toInt(),
                                                         argument.section(u',', 1).toInt()});
  } else if (step.startsWith("key:")) {
    window->activateWindow();
    const QKeySequence keys(argument);
    QTest::keyClick(window, Qt::Key(keys[0].key()), keys[0].keyboardModifiers());
  } else if (step.startsWith("menu:")) {
    window->findChild<QAction*>(argument)->trigger();
  } else if (step == "copy") {
    window->findChild<QToolButton*>("clipboardButton")->click();
  } else if (step == "save") {
    // The panel runs its own event loop; the script goes on inside it.
    QTimer::singleShot(0, window, [window] { window->findChild<QToolButton*>("saveButton")->click(); });
  } else if (step.startsWith("savename:")) {
    auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!panel) {
      steps.prepend(step);
      delay = 20;
    } else {
      panel->findChild<QLineEdit*>("fileNameEdit")->setText(argument);
      panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    }
  }
  QTimer::singleShot(delay, controller, [controller, steps] { play(controller, steps); });
}

int printClipboard(int argc, char** argv) {
  QApplication application(argc, argv);
  const QMimeData* contents = QGuiApplication::clipboard()->mimeData();
  QJsonObject flavours;
  if (contents) flavours["formats"] = QJsonArray::fromStringList(contents->formats());
  for (int i = 2; i < argc && contents; ++i) {
    const QString mimeType = QString::fromLocal8Bit(argv[i]);
    if (contents->hasFormat(mimeType))
      flavours[mimeType] = QString::fromLatin1(contents->data(mimeType).toBase64());
  }
  std::printf("%s\n", QJsonDocument(flavours).toJson(QJsonDocument::Compact).constData());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc > 1 && qstrcmp(argv[1], "--clipboard") == 0) return printClipboard(argc, argv);
  const QStringList steps = [&] {
    QStringList list;
    for (int i = 1; i < argc; ++i) list << QString::fromLocal8Bit(argv[i]);
    return list;
  }();
  return Application::applicationMain(argc, argv, [steps] {
    LexoraAppDelegate* controller = loadMainInterface();
    // The script starts once launching has finished and the event loop runs.
    QTimer::singleShot(0, controller, [controller, steps] { play(controller, steps); });
    return static_cast<QObject*>(controller);
  });
}
