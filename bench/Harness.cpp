// vocabulon-bench: measurements the benchmark script combines.
//   open PATH                    time to open a dictionary in this fresh process
//   lookup PATH WORDS            per-word times, engine alone and through a workflow run
//   exec -- COMMAND...           wall time and peak memory of a child process
//   stardict PATH OUTDIR         a StarDict copy of a dictionary, for sdcv
//   window TITLE FILE N          the window looking up the first N words of a text, warm
//   words FILE                   the words of a text, one a line, as the lookup cuts them
#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <memory>
#include <vector>

#include "app/DictionaryMenu.h"
#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "app/LookupWorkflowBuilder.h"
#include "app/MultiWordLookup.h"
#include "bench/StarDictExport.h"
#include "dictionary/Dictionary.h"
#include "platform/Places.h"
#include "platform/automator/Workflow.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

using Clock = std::chrono::steady_clock;

double peakMemoryMiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

struct Stats {
  double median, p99, mean;
};

Stats stats(std::vector<double> microseconds) {
  std::sort(microseconds.begin(), microseconds.end());
  double sum = 0;
  for (double value : microseconds) sum += value;
  const size_t n = microseconds.size();
  return {microseconds[n / 2], microseconds[std::min(n - 1, n * 99 / 100)], sum / n};
}

QStringList readWords(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return wordsOfQuery(QString::fromUtf8(file.readAll()));
}

int openCommand(const QString& path) {
  const auto start = Clock::now();
  QString error;
  auto dictionary = dictionary::open(path, &error);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (!dictionary) {
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(error));
    return 1;
  }
  std::printf("open_ms=%.2f entries=%lld peak_mib=%.1f\n", ms,
              static_cast<long long>(dictionary->entryCount()), peakMemoryMiB(RUSAGE_SELF));
  return 0;
}

// The bundle's menu title, for the workflow's dictionary parameter.
QString titleOfBundle(const QString& bundlePath) {
  return stringByDeletingPathExtension(QFileInfo(bundlePath).fileName());
}

int lookupCommand(const QString& bundlePath, const QString& wordsPath) {
  const QStringList words = readWords(wordsPath);
  QString error;
  auto dictionary = dictionary::open(bundlePath, &error);
  if (!dictionary || words.isEmpty()) {
    std::fprintf(stderr, "cannot open %s or no words: %s\n", qPrintable(bundlePath), qPrintable(error));
    return 1;
  }
  // The workflow names the bundle by its mac path, under the system root in force.
  QTemporaryDir folder;
  const QUrl url = QUrl::fromLocalFile(folder.filePath("bench.workflow"));
  auto workflow = makeDefinitionWorkflow(titleOfBundle(bundlePath));
  if (!workflow || !workflow->writeToURL(url, &error)) {
    std::fprintf(stderr, "cannot write the workflow: %s\n", qPrintable(error));
    return 1;
  }

  size_t found = 0;
  for (const QString& word : words) found += dictionary->define(word).has_value();  // warm up

  std::vector<double> engine, workflowRun;
  engine.reserve(words.size());
  workflowRun.reserve(words.size());
  for (const QString& word : words) {
    const auto start = Clock::now();
    auto definition = dictionary->define(word);
    engine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  size_t foundByWorkflow = 0;
  for (const QString& word : words) {
    const auto start = Clock::now();
    const QVariant definition = Workflow::runWorkflowAtURL(url, QVariantList{word}, nullptr);
    workflowRun.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    foundByWorkflow += definition.isValid();
  }
  const Stats e = stats(engine), w = stats(workflowRun);
  std::printf("words=%lld found=%zu found_by_workflow=%zu\n", static_cast<long long>(words.size()),
              found, foundByWorkflow);
  std::printf("engine_us median=%.2f p99=%.2f mean=%.2f\n", e.median, e.p99, e.mean);
  std::printf("workflow_us median=%.2f p99=%.2f mean=%.2f\n", w.median, w.p99, w.mean);
  std::printf("peak_mib=%.1f\n", peakMemoryMiB(RUSAGE_SELF));
  return found == foundByWorkflow ? 0 : 1;
}

int execCommand(const QStringList& command) {
  std::vector<QByteArray> storage;
  for (const QString& part : command) storage.push_back(part.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& part : storage) argv.push_back(part.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("seconds=%.4f peak_mib=%.1f status=%d\n", seconds, usage.ru_maxrss / 1024.0,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

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
  const bool window = argc > 1 && QByteArray(argv[1]) == "window";
  if (window && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QCoreApplication> application;
  if (window) application = std::make_unique<QApplication>(argc, argv);
  else application = std::make_unique<QCoreApplication>(argc, argv);
  const QStringList args = application->arguments().mid(1);
  const QString mode = args.value(0);
  if (window && args.size() == 4) return windowCommand(args[1], args[2], args[3].toInt());
  if (mode == "open" && args.size() == 2) return openCommand(args[1]);
  if (mode == "lookup" && args.size() == 3) return lookupCommand(args[1], args[2]);
  if (mode == "exec" && args.size() > 2 && args[1] == "--") return execCommand(args.mid(2));
  if (mode == "words" && args.size() == 2) {
    for (const QString& word : readWords(args[1])) std::printf("%s\n", word.toUtf8().constData());
    return 0;
  }
  if (mode == "stardict" && args.size() == 3) return exportStarDict(args[1], args[2]) ? 0 : 1;
  std::fprintf(stderr, "usage: vocabulon-bench open PATH | lookup BUNDLE WORDS | exec -- CMD... | stardict INDEX OUTDIR\n");
  return 2;
}
