// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SafeFile.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safefile {

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

namespace {

ReadProblem problemOfErrno(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR:
      return ReadProblem::Missing;
    case EACCES:
    case EPERM:
      return ReadProblem::Denied;
    default:
      return ReadProblem::Failed;
  }
}

}  // namespace

int openRegular(const QString& path, qint64 maxBytes, QString* error, qint64* sizeOut,
                ReadProblem* problem, struct stat* infoOut) {
  auto fail = [&](ReadProblem kind, const QString& why) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, why);
    if (problem) *problem = kind;
    return -1;
  };
  if (problem) *problem = ReadProblem::None;
  // O_NONBLOCK so that opening a FIFO with no writer returns at once instead of waiting.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int saved = errno;
    return fail(problemOfErrno(saved), errnoText(saved));
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int saved = errno;
    ::close(fd);
    return fail(ReadProblem::Failed, errnoText(saved));
  }
  if (infoOut) *infoOut = info;
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return fail(ReadProblem::NotRegular, QStringLiteral("not a regular file"));
  }
  if (info.st_size > maxBytes) {
    ::close(fd);
    return fail(ReadProblem::TooLarge,
                QStringLiteral("too large (%1 bytes; at most %2)").arg(info.st_size).arg(maxBytes));
  }
  // Regular files ignore O_NONBLOCK for reads, but clear it so later reads behave plainly.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (sizeOut) *sizeOut = info.st_size;
  return fd;
}

std::optional<QByteArray> readRegular(const QString& path, qint64 maxBytes, QString* error,
                                      ReadProblem* problem, struct stat* infoOut) {
  qint64 size = 0;
  const int fd = openRegular(path, maxBytes, error, &size, problem, infoOut);
  if (fd < 0) return std::nullopt;
  QByteArray bytes;
  bytes.resize(size);
  qint64 done = 0;
  // Read to the end rather than to the size seen at open: the file may change meanwhile,
  // and the bound still holds.
  for (;;) {
    if (done == bytes.size()) {
      if (bytes.size() >= maxBytes + 1) break;
      bytes.resize(std::min<qint64>(maxBytes + 1, std::max<qint64>(4096, bytes.size() * 2)));
    }
    const ssize_t got = ::read(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int saved = errno;
      ::close(fd);
      if (error) *error = QStringLiteral("%1: %2").arg(path, errnoText(saved));
      if (problem) *problem = problemOfErrno(saved) == ReadProblem::Denied ? ReadProblem::Denied : ReadProblem::Failed;
      return std::nullopt;
    }
    if (got == 0) break;
    done += got;
  }
  ::close(fd);
  if (done > maxBytes) {
    if (error) *error = QStringLiteral("%1: too large (more than %2 bytes)").arg(path).arg(maxBytes);
    if (problem) *problem = ReadProblem::TooLarge;
    return std::nullopt;
  }
  bytes.truncate(done);
  return bytes;
}

QString failureOf(const QFileDevice& file) {
  // Qt drops the reason of a short write or a failed flush ("Unknown error"); the failing
  // system call's is still in errno.
  return errno != 0 ? errnoText(errno) : file.errorString();
}

bool commit(QSaveFile& file, QString* error, Durability durability) {
  // QSaveFile::commit() can report success although flushing its buffer failed (a full
  // disk), so every step is checked before the rename. Some file systems (NFS, quotas)
  // report a lack of space only when the data is synced.
  errno = 0;
  bool written = file.isOpen() && file.flush() && file.error() == QFileDevice::NoError;
  QString why = failureOf(file);
  if (written && durability == Durability::Synced && ::fdatasync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
    written = false;
    why = errnoText(errno);
  }
  if (written && file.commit()) return true;
  if (written) why = file.errorString();
  else file.cancelWriting();
  if (error) *error = QStringLiteral("%1: %2").arg(file.fileName(), why);
  return false;
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error, Durability durability) {
  QSaveFile file(path);
  errno = 0;
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) return commit(file, error, durability);
  if (error) *error = QStringLiteral("%1: %2").arg(path, failureOf(file));
  file.cancelWriting();
  return false;
}

}  // namespace safefile
