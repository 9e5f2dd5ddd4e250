// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/MappedFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dictionary {

std::unique_ptr<MappedFile> MappedFile::open(const QString& path, QString* error) {
  auto fail = [&](const char* what) {
    if (error) *error = QStringLiteral("%1: %2 (%3)").arg(path, QString::fromLatin1(what),
                                                           QString::fromLocal8Bit(std::strerror(errno)));
    return nullptr;
  };
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail("cannot open");
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return fail("cannot read its size");
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    if (error) *error = QStringLiteral("%1: not a regular file").arg(path);
    return nullptr;
  }
  std::unique_ptr<MappedFile> file(new MappedFile);
  file->size_ = static_cast<std::size_t>(info.st_size);
  if (file->size_ > 0) {
    void* address = ::mmap(nullptr, file->size_, PROT_READ, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
      const int saved = errno;
      ::close(fd);
      errno = saved;
      file->size_ = 0;
      return fail("cannot map");
    }
    file->address_ = address;
  }
  ::close(fd);  // the mapping keeps the file
  return file;
}

MappedFile::~MappedFile() {
  if (address_) ::munmap(address_, size_);
}

}  // namespace dictionary
