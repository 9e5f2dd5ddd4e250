// Runs the application as its main routine does, offscreen, and plays a script of user
// actions given as arguments, printing what the window shows at each "report":
//   type:TEXT  define  choose:DICTIONARY  wait:MS  report  quit
#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Menus.h"

namespace {

QJsonObject snapshot(LexoraAppDelegate* controller) {
  return {{"query", controller->query_textView->toPlainText()},
          {"result", controller->result_textView->toPlainText()},
          {"recent", QJsonArray::fromStringList(controller->recentWords)},
          {"dictionary", controller->selectedDictionaryName()},
          {"workflow", controller->workflowURL.toLocalFile()}};
}

void play(LexoraAppDelegate* controller, QStringList steps) {
  if (steps.isEmpty()) return;
  const QString step = steps.takeFirst();
  int delay = 0;
  if (step.startsWith("type:")) {
    controller->query_textView->setPlainText(step.mid(5));
  } else if (step == "define") {
    controller->window()->findChild<QPushButton*>("defineButton")->click();
  } else if (step.startsWith("choose:")) {
    for (QAction* item : controller->dictionariesMenu->actions())
      if (menuItemTitle(item) == step.mid(7)) item->trigger();
  } else if (step.startsWith("wait:")) {
    delay = step.mid(5).toInt();
  } else if (step == "report") {
    std::printf("%s\n", QJsonDocument(snapshot(controller)).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
  } else if (step == "quit") {
    Application::shared().terminate();
  }
  QTimer::singleShot(delay, controller, [controller, steps] { play(controller, steps); });
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
