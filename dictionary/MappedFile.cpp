// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/MappedFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/SafeFile.h"

namespace dictionary {
namespace mapguard {
namespace {

struct sigaction previousAction {};

void onBusError(int signal, siginfo_t* info, void* context) {
  if (Frame* frame = current) siglongjmp(frame->jump, 1);
  // Not a read of ours: hand the fault to whoever had it before. With the old disposition
  // back, the faulting instruction runs again and faults into it.
  (void)signal, (void)info, (void)context;
  sigaction(SIGBUS, &previousAction, nullptr);
}

}  // namespace

void install() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    // SA_NODEFER: the jump out of the handler then leaves the signal mask as it was.
    action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previousAction);
  });
}

}  // namespace mapguard

std::unique_ptr<MappedFile> MappedFile::open(const QString& path, std::uint64_t maxBytes, QString* error) {
  qint64 size = 0;
  const int fd = safefile::openRegular(path, qint64(std::min<std::uint64_t>(maxBytes, INT64_MAX)), error, &size);
  if (fd < 0) return nullptr;
  std::unique_ptr<MappedFile> file(new MappedFile);
  file->path_ = path;
  file->size_ = static_cast<std::size_t>(size);
  if (file->size_ > 0) {
    void* address = ::mmap(nullptr, file->size_, PROT_READ, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
      const int saved = errno;
      ::close(fd);
      if (error) *error = QStringLiteral("%1: cannot map (%2)").arg(path, safefile::errnoText(saved));
      return nullptr;
    }
    file->address_ = address;
  }
  ::close(fd);  // the mapping keeps the file
  return file;
}

MappedFile::~MappedFile() {
  if (address_) ::munmap(address_, size_);
}

bool MappedFile::copy(std::uint64_t offset, std::size_t size, char* out) const {
  if (offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  const char* from = data() + offset;
  return guardedRead([&] { std::memcpy(out, from, size); });
}

}  // namespace dictionary
