// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/automator/Workflow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Places.h"
#include "platform/SafeFile.h"
#include "platform/automator/WorkflowDocument.h"
#include "platform/cf/PropertyList.h"

namespace {

bool fail(QString* error, const QString& message) {
  if (error) *error = message;
  return false;
}

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Replaces the document inside an existing workflow folder: the document file goes through a
// temporary file and a rename; a file or link where Contents should be is replaced by a folder.
bool rewriteInPlace(const QString& path, const QByteArray& document, QString* error,
                    safefile::Durability durability) {
  const QString contents = path + QStringLiteral("/Contents");
  const QFileInfo contentsInfo(contents);
  if (contentsInfo.isSymLink() || (contentsInfo.exists() && !contentsInfo.isDir())) {
    if (!QFile::remove(contents)) return fail(error, QStringLiteral("cannot replace %1").arg(contents));
  }
  if (!QDir().mkpath(contents)) return fail(error, QStringLiteral("cannot create %1").arg(contents));
  const QString documentFile = Workflow::documentPath(path);
  const QFileInfo documentInfo(documentFile);
  if (documentInfo.isDir() && !documentInfo.isSymLink() && !QDir(documentFile).removeRecursively())
    return fail(error, QStringLiteral("cannot replace %1").arg(documentFile));
  // Every write checked before the rename: a full disk must not leave an empty document.
  return safefile::writeAtomically(documentFile, document, error, durability);
}

// Builds the whole folder beside the target and moves it into place in one step: a rename
// when nothing is there, an exchange with whatever non-folder is there.
bool createWhole(const QString& path, bool somethingThere, const QByteArray& document, QString* error,
                 safefile::Durability durability) {
  const QFileInfo target(path);
  QByteArray pattern = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                         target.fileName() + QStringLiteral(".XXXXXX"));
  if (!::mkdtemp(pattern.data())) return fail(error, QStringLiteral("%1: %2").arg(target.absolutePath(), errnoText()));
  const QString temporary = QFile::decodeName(pattern);
  auto cleanUp = [&] { QDir(temporary).removeRecursively(); };
  // mkdtemp makes the folder private; the workflow gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(pattern.constData(), 0777 & ~mask);

  QString problem;
  if (!rewriteInPlace(temporary, document, &problem, durability)) {
    cleanUp();
    return fail(error, problem);
  }
  const QByteArray to = QFile::encodeName(path);
  if (!somethingThere) {
    if (::rename(pattern.constData(), to.constData()) != 0) {
      problem = QStringLiteral("%1: %2").arg(path, errnoText());
      cleanUp();
      return fail(error, problem);
    }
    return true;
  }
  if (::renameat2(AT_FDCWD, pattern.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
    // The temporary name now holds the old file or link.
    if (::unlink(pattern.constData()) != 0) cleanUp();
    return true;
  }
  // A file system without exchange: move the old thing aside first.
  if (errno != EINVAL && errno != ENOSYS) {
    problem = QStringLiteral("%1: %2").arg(path, errnoText());
    cleanUp();
    return fail(error, problem);
  }
  const QByteArray aside = pattern + ".old";
  if (::rename(to.constData(), aside.constData()) != 0 || ::rename(pattern.constData(), to.constData()) != 0) {
    problem = QStringLiteral("%1: %2").arg(path, errnoText());
    ::rename(aside.constData(), to.constData());
    cleanUp();
    return fail(error, problem);
  }
  ::unlink(aside.constData());
  return true;
}

}  // namespace

QString Workflow::documentPath(const QString& workflowPath) {
  return workflowPath + QStringLiteral("/Contents/document.wflow");
}

bool Workflow::writeToURL(const QUrl& fileUrl, QString* error, bool temporary) const {
  if (!fileUrl.isLocalFile()) return fail(error, QStringLiteral("not a file URL: %1").arg(fileUrl.toString()));
  const QString path = QDir::cleanPath(fileUrl.toLocalFile());
  if (path.isEmpty() || path == QLatin1String("/")) return fail(error, QStringLiteral("no file name"));

  QVariantList actions;
  for (const BundleAction& action : actions_) {
    workflow_document::ActionRecord record;
    record.identifier = action.bundleIdentifier();
    record.name = action.name();
    record.hostBundlePath = action.bundlePath();
    record.parameters = action.parameters();
    actions.append(workflow_document::encode(record));
  }
  const QByteArray document = plist::serialize(workflow_document::encodeDocument(actions));

  const auto durability = temporary ? safefile::Durability::Temporary : safefile::Durability::Synced;
  struct stat info;
  if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) return createWhole(path, true, document, error, durability);
    // The same document already in place (a plain file, not a link) needs no write.
    const QString contents = path + QStringLiteral("/Contents");
    if (!QFileInfo(contents).isSymLink() && !QFileInfo(documentPath(path)).isSymLink()) {
      const std::optional<QByteArray> present = safefile::readRegular(documentPath(path), document.size(), nullptr);
      if (present && *present == document) return true;
    }
    return rewriteInPlace(path, document, error, durability);
  }
  if (errno != ENOENT) return fail(error, QStringLiteral("%1: %2").arg(path, errnoText()));
  return createWhole(path, false, document, error, durability);
}

std::unique_ptr<Workflow> Workflow::initWithContentsOfURL(const QUrl& fileUrl, QString* error) {
  if (!fileUrl.isLocalFile()) {
    fail(error, QStringLiteral("not a file URL: %1").arg(fileUrl.toString()));
    return nullptr;
  }
  const std::optional<std::vector<workflow_document::ActionRecord>> records =
      workflow_document::read(documentPath(QDir::cleanPath(fileUrl.toLocalFile())), error);
  if (!records) return nullptr;
  auto workflow = std::make_unique<Workflow>();
  for (const workflow_document::ActionRecord& record : *records) {
    BundleAction action;
    action.bundlePath_ = record.hostBundlePath;
    action.identifier_ = record.identifier;
    action.name_ = record.name;
    action.parameters_ = record.parameters;
    workflow->actions_.push_back(std::move(action));
  }
  return workflow;
}
