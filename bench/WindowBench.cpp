// vocabulon-bench-window TITLE FILE N: the window looking up the first N words of a text,
// with the dictionary open and warm; median and slowest of five runs.
#include <QApplication>
#include <QPlainTextEdit>
#include <cstdio>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "bench/Measure.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

int windowCommand(const QString& title, const QString& textPath, int count) {
  QStringList words = readWords(textPath);
  if (words.size() > count) words = words.mid(0, count);
  UserDefaults::standardUserDefaults().setObject(title, QStringLiteral("LastDictionaryUsed"));
  UserDefaults::standardUserDefaults().setObject(false, QStringLiteral("resetWindowOnLookup"));
  LexoraAppDelegate* controller = loadMainInterface();
  controller->awakeFromNib();
  controller->applicationDidFinishLaunching(nullptr);
  controller->query_textView->setPlainText(words.join(' '));
  controller->buttonClicked(nullptr);  // opens the dictionary and warms its caches
  std::vector<double> runs;
  for (int i = 0; i < 5; ++i) {
    controller->result_textView->clear();
    const auto start = Clock::now();
    controller->buttonClicked(nullptr);
    runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const Stats s = stats(runs);
  std::printf("words=%lld window_ms median=%.1f max=%.1f result_chars=%lld peak_mib=%.1f\n",
              static_cast<long long>(words.size()), s.median, runs.back() > s.p99 ? runs.back() : s.p99,
              static_cast<long long>(controller->result_textView->toPlainText().size()),
              peakMemoryMiB(RUSAGE_SELF));
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QStringList args = application.arguments().mid(1);
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: vocabulon-bench-window DICTIONARY TEXT WORDS\n");
    return 2;
  }
  return windowCommand(args[0], args[1], args[2].toInt());
}
