// SPDX-License-Identifier: GPL-3.0-or-later
// Running workflow documents. The application runs the same document once per word, so a
// document is parsed once into ready action instances and kept, keyed by its URL; each run
// costs a hash lookup and the actions' work, plus one stat() of the document to notice a
// change: at every run, or once per lookup session.
#include <QFile>
#include <QHash>
#include <QDir>
#include <atomic>
#include <mutex>
#include <unordered_map>
#include <sys/stat.h>

#include "platform/automator/ActionRegistry.h"
#include "platform/automator/Workflow.h"
#include "platform/automator/WorkflowDocument.h"

namespace {

// Identifies one version of a file: a rewrite through a temporary file and a rename always
// changes the inode, an edit in place the time or the size.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  time_t seconds = 0;
  long nanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

struct LoadedWorkflow {
  QByteArray documentPath;  // encoded for stat()
  bool parsed = false;
  FileStamp stamp;
  std::vector<std::unique_ptr<automator::ActionInstance>> actions;
  QString problem;  // why the document cannot run, when it cannot
  quint64 lookedAtIn = 0;  // the session that last looked at the file (0: none)
};

constexpr qsizetype kMaxCachedWorkflows = 16;

struct UrlHash {
  size_t operator()(const QUrl& url) const noexcept { return qHash(url); }
};
using Cache = std::unordered_map<QUrl, LoadedWorkflow, UrlHash>;

std::mutex runnerMutex;
Cache& cache() {
  static Cache workflows;
  return workflows;
}
std::atomic<quint64> parseCount{0};
quint64 sessionNumber = 0;  // the innermost open session's; under runnerMutex
int openSessions = 0;

void load(LoadedWorkflow& workflow, const FileStamp& stamp) {
  ++parseCount;
  workflow.parsed = true;
  workflow.stamp = stamp;
  workflow.actions.clear();
  workflow.problem.clear();
  const std::optional<std::vector<workflow_document::ActionRecord>> records =
      workflow_document::read(QFile::decodeName(workflow.documentPath), &workflow.problem);
  if (!records) return;
  if (records->empty()) {
    workflow.problem = QStringLiteral("the workflow has no actions");
    return;
  }
  for (const workflow_document::ActionRecord& record : *records) {
    const automator::ActionFactory factory = automator::findAction(record.identifier);
    std::unique_ptr<automator::ActionInstance> instance =
        factory ? factory(record.parameters, &workflow.problem) : nullptr;
    if (!instance) {
      if (!factory) workflow.problem = QStringLiteral("unknown action %1").arg(record.identifier);
      workflow.actions.clear();
      return;
    }
    workflow.actions.push_back(std::move(instance));
  }
}

}  // namespace

quint64 Workflow::documentsParsedForRunning() { return parseCount.load(); }

namespace {

// The parsed document at the URL, read afresh when its file changed; null, with a message,
// when it cannot run. Called with runnerMutex held.
LoadedWorkflow* prepare(const QUrl& fileUrl, QString* error) {
  Cache& workflows = cache();
  auto it = workflows.find(fileUrl);
  if (it == workflows.end()) {
    if (!fileUrl.isLocalFile()) {
      if (error) *error = QStringLiteral("not a file URL: %1").arg(fileUrl.toString());
      return nullptr;
    }
    if (workflows.size() >= kMaxCachedWorkflows) workflows.clear();
    LoadedWorkflow fresh;
    fresh.documentPath = QFile::encodeName(Workflow::documentPath(QDir::cleanPath(fileUrl.toLocalFile())));
    it = workflows.emplace(fileUrl, std::move(fresh)).first;
  }
  LoadedWorkflow& workflow = it->second;

  const bool lookedAt = openSessions > 0 && workflow.lookedAtIn == sessionNumber;
  if (!lookedAt) {
    workflow.lookedAtIn = openSessions > 0 ? sessionNumber : 0;
    struct stat info;
    if (::stat(workflow.documentPath.constData(), &info) != 0) {
      workflow.parsed = false;  // gone: read afresh when it comes back
      workflow.actions.clear();
      workflow.problem = QStringLiteral("no workflow document at %1").arg(QFile::decodeName(workflow.documentPath));
    } else {
      const FileStamp stamp = stampOf(info);
      if (!workflow.parsed || !(stamp == workflow.stamp)) load(workflow, stamp);
    }
  }
  if (workflow.actions.empty()) {
    if (error) *error = workflow.problem;
    return nullptr;
  }
  return &workflow;
}

}  // namespace

Workflow::LookupSession::LookupSession() {
  std::lock_guard lock(runnerMutex);
  ++openSessions;
  ++sessionNumber;
}

Workflow::LookupSession::~LookupSession() {
  std::lock_guard lock(runnerMutex);
  --openSessions;
}

bool Workflow::canRunWorkflowAtURL(const QUrl& fileUrl, QString* error) {
  std::lock_guard lock(runnerMutex);
  return prepare(fileUrl, error) != nullptr;
}

QVariant Workflow::runWorkflowAtURL(const QUrl& fileUrl, const QVariant& input, QString* error) {
  std::lock_guard lock(runnerMutex);
  LoadedWorkflow* workflow = prepare(fileUrl, error);
  if (!workflow) return QVariant();
  QVariant value = input;
  for (const auto& action : workflow->actions) {
    value = action->run(value, error);
    if (!value.isValid()) return QVariant();
  }
  return value;
}
