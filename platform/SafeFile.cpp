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

int openRegular(const QString& path, qint64 maxBytes, QString* error, qint64* sizeOut) {
  auto fail = [&](const QString& why) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, why);
    return -1;
  };
  // O_NONBLOCK so that opening a FIFO with no writer returns at once instead of waiting.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(errnoText(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int saved = errno;
    ::close(fd);
    return fail(errnoText(saved));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return fail(QStringLiteral("not a regular file"));
  }
  if (info.st_size > maxBytes) {
    ::close(fd);
    return fail(QStringLiteral("too large (%1 bytes; at most %2)").arg(info.st_size).arg(maxBytes));
  }
  // Regular files ignore O_NONBLOCK for reads, but clear it so later reads behave plainly.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (sizeOut) *sizeOut = info.st_size;
  return fd;
}

std::optional<QByteArray> readRegular(const QString& path, qint64 maxBytes, QString* error) {
  qint64 size = 0;
  const int fd = openRegular(path, maxBytes, error, &size);
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
      return std::nullopt;
    }
    if (got == 0) break;
    done += got;
  }
  ::close(fd);
  if (done > maxBytes) {
    if (error) *error = QStringLiteral("%1: too large (more than %2 bytes)").arg(path).arg(maxBytes);
    return std::nullopt;
  }
  bytes.truncate(done);
  return bytes;
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error) {
  QSaveFile file(path);
  // QSaveFile::commit() can report success although flushing its buffer failed (a full
  // disk), so every step is checked before the rename.
  const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                       file.flush() && file.error() == QFileDevice::NoError;
  if (!written) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

}  // namespace safefile
