// SPDX-License-Identifier: GPL-3.0-or-later
// vocabulon-bench: measurements the benchmark script combines.
//   open PATH                    time to open a dictionary in this fresh process
//   lookup PATH WORDS            per-word times, engine alone and through a workflow run
//   exec -- COMMAND...           wall time and peak memory of a child process
//   stardict PATH OUTDIR         a StarDict copy of a dictionary, for sdcv
//   words FILE                   the words of a text, one a line, as the lookup cuts them
//   forms PATH FILE [LIST]       the share of a text's words defined, by their own entries and
//                                with base forms; LIST gets each distinct word defined from
//                                another headword, with where that came from
#include <QCoreApplication>
#include <QFileInfo>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>
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

#include "app/core/DictionaryMenu.h"
#include "app/core/LookupWorkflowBuilder.h"
#include "app/core/MultiWordLookup.h"
#include "bench/Measure.h"
#include "bench/StarDictExport.h"
#include "dictionary/Dictionary.h"
#include "dictionary/WordForms.h"
#include "platform/Places.h"
#include "platform/automator/Workflow.h"

namespace {

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

int formsCommand(const QString& path, const QString& textPath, const QString& listPath) {
  QFile text(textPath);
  QString error;
  auto dictionary = dictionary::open(path, &error);
  if (!dictionary || !text.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot open %s or %s: %s\n", qPrintable(path), qPrintable(textPath), qPrintable(error));
    return 1;
  }
  const QStringList words = wordsOfQuery(QString::fromUtf8(text.readAll()));
  QFile list(listPath);
  if (!listPath.isEmpty() && !list.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  qsizetype own = 0, defined = 0;
  QMap<QString, qsizetype> bySource;
  QSet<QString> listed;
  for (const QString& word : words) {
    own += dictionary::lookUp(*dictionary, word, false).definition.has_value();
    const dictionary::Lookup found = dictionary::lookUp(*dictionary, word);
    if (!found.definition) continue;
    ++defined;
    const auto source = found.sources.value(0, dictionary::FormSource::Exact);
    ++bySource[QString::fromLatin1(dictionary::formSourceName(source))];
    if (source != dictionary::FormSource::Exact && list.isOpen() && !listed.contains(word)) {
      listed.insert(word);
      QStringList used;
      for (qsizetype i = 0; i < found.headwords.size(); ++i) {
        used << found.headwords[i] + QLatin1Char('(') + QLatin1String(dictionary::formSourceName(found.sources[i])) + QLatin1Char(')');
      }
      list.write((word + QLatin1Char('\t') + used.join(QLatin1Char(' ')) + QLatin1Char('\n')).toUtf8());
    }
  }
  const double total = words.isEmpty() ? 1.0 : double(words.size());
  std::printf("words=%lld own=%lld own_share=%.2f%% defined=%lld defined_share=%.2f%%", static_cast<long long>(words.size()),
              static_cast<long long>(own), 100.0 * double(own) / total, static_cast<long long>(defined),
              100.0 * double(defined) / total);
  for (auto it = bySource.constBegin(); it != bySource.constEnd(); ++it) {
    std::printf(" %s=%lld", qPrintable(it.key()), static_cast<long long>(it.value()));
  }
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication application(argc, argv);
  const QStringList args = application.arguments().mid(1);
  const QString mode = args.value(0);
  if (mode == "open" && args.size() == 2) return openCommand(args[1]);
  if (mode == "lookup" && args.size() == 3) return lookupCommand(args[1], args[2]);
  if (mode == "exec" && args.size() > 2 && args[1] == "--") return execCommand(args.mid(2));
  if (mode == "words" && args.size() == 2) {
    for (const QString& word : readWords(args[1])) std::printf("%s\n", word.toUtf8().constData());
    return 0;
  }
  if (mode == "forms" && (args.size() == 3 || args.size() == 4)) return formsCommand(args[1], args[2], args.value(3));
  if (mode == "stardict" && args.size() == 3) return exportStarDict(args[1], args[2]) ? 0 : 1;
  std::fprintf(stderr, "usage: vocabulon-bench open PATH | lookup BUNDLE WORDS | exec -- CMD... | stardict INDEX OUTDIR\n");
  return 2;
}
