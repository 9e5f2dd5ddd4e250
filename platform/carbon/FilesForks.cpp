// SPDX-License-Identifier: GPL-3.0-or-later
// Data forks: a file's bytes, opened by reference number, read and written at a mark.
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/carbon/Files.h"
#include "platform/carbon/FilesCatalog.h"

using namespace filemanager;

namespace {

struct OpenFork {
  int fd = -1;
  Identity id;
  bool canRead = false;
  bool canWrite = false;
  bool sharedWrite = false;  // opened with fsRdWrShPerm
  SInt64 mark = 0;
};

struct ForkTable {
  std::mutex mutex;
  std::map<FSIORefNum, OpenFork> forks;
  FSIORefNum next = 1;
};

ForkTable& table() {
  static auto* t = new ForkTable;
  return *t;
}

const char kResourceForkName[] = "RESOURCE_FORK";

void setName(HFSUniStr255* out, const char* ascii) {
  UInt16 n = 0;
  while (ascii[n] && n < 255) {
    out->unicode[n] = UniChar(ascii[n]);
    ++n;
  }
  out->length = n;
}

OSErr sizeOf(const OpenFork& fork, SInt64* size) {
  struct stat st;
  if (fstat(fork.fd, &st) != 0) return errorFromErrno(errno);
  *size = st.st_size;
  return noErr;
}

// The absolute position that a position mode and offset name.
OSErr positionOf(const OpenFork& fork, UInt16 positionMode, SInt64 offset, SInt64* position) {
  SInt64 base = 0;
  switch (positionMode & 0x3) {
    case fsAtMark:
      *position = fork.mark;
      return noErr;
    case fsFromStart:
      base = 0;
      break;
    case fsFromLEOF:
      if (OSErr err = sizeOf(fork, &base)) return err;
      break;
    case fsFromMark:
      base = fork.mark;
      break;
  }
  if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < INT64_MIN - offset))
    return posErr;
  *position = base + offset;
  return *position < 0 ? posErr : noErr;
}

OpenFork* find(FSIORefNum refNum) {
  auto it = table().forks.find(refNum);
  return it == table().forks.end() ? nullptr : &it->second;
}

}  // namespace

namespace filemanager {

UInt16 openForkFlags(const Identity& id) {
  std::lock_guard lock(table().mutex);
  for (const auto& [refNum, fork] : table().forks)
    if (fork.id.device == id.device && fork.id.inode == id.inode)
      return kFSNodeDataOpenMask | kFSNodeForkOpenMask;
  return 0;
}

}  // namespace filemanager

OSErr FSGetDataForkName(HFSUniStr255* dataForkName) {
  if (!dataForkName) return paramErr;
  dataForkName->length = 0;
  return noErr;
}

OSErr FSGetResourceForkName(HFSUniStr255* resourceForkName) {
  if (!resourceForkName) return paramErr;
  setName(resourceForkName, kResourceForkName);
  return noErr;
}

OSErr FSOpenFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName,
                 SInt8 permissions, FSIORefNum* forkRefNum) {
  if (!ref || !forkRefNum || (forkNameLength > 0 && !forkName)) return paramErr;
  // Only the data fork (the empty name) exists on Linux files.
  if (forkNameLength != 0) return errFSForkNotFound;
  const int access = permissions & 0x07;
  if (access > fsRdWrShPerm) return paramErr;

  std::lock_guard catalogLock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  if (!S_ISREG(item.st.sx.stx_mode)) return notAFileErr;

  std::lock_guard lock(table().mutex);
  const bool shared = access == fsRdWrShPerm;
  int granted = access;
  if (access != fsRdPerm) {
    for (const auto& [refNum, fork] : table().forks) {
      if (fork.id.device != item.st.id.device || fork.id.inode != item.st.id.inode) continue;
      if (fork.canWrite && !(shared && fork.sharedWrite)) {
        if (access != fsCurPerm) return opWrErr;
        granted = fsRdPerm;  // "whatever is allowed": another writer leaves reading
      }
    }
  }
  const int flags = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
  bool canRead = true, canWrite = true;
  int fd;
  switch (granted) {
    case fsRdPerm:
      fd = open(item.path.c_str(), flags | O_RDONLY);
      canWrite = false;
      break;
    case fsWrPerm:
      fd = open(item.path.c_str(), flags | O_WRONLY);
      canRead = false;
      break;
    case fsCurPerm:
      fd = open(item.path.c_str(), flags | O_RDWR);
      if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = open(item.path.c_str(), flags | O_RDONLY);
        canWrite = false;
      }
      break;
    default:
      fd = open(item.path.c_str(), flags | O_RDWR);
      break;
  }
  if (fd < 0) return errorFromErrno(errno);
  struct stat st;
  // The file opened must be the item resolved, not one that took its name meanwhile.
  if (fstat(fd, &st) != 0 || st.st_ino != item.st.id.inode || st.st_dev != item.st.id.device) {
    close(fd);
    return fnfErr;
  }
  OpenFork fork;
  fork.fd = fd;
  fork.id = item.st.id;
  fork.canRead = canRead;
  fork.canWrite = canWrite;
  fork.sharedWrite = shared;
  ForkTable& t = table();
  for (int tries = 0; tries < INT16_MAX; ++tries) {
    const FSIORefNum refNum = t.next;
    t.next = t.next == INT16_MAX ? 1 : FSIORefNum(t.next + 1);
    if (!t.forks.count(refNum)) {
      t.forks.emplace(refNum, fork);
      *forkRefNum = refNum;
      return noErr;
    }
  }
  close(fd);
  return tmfoErr;
}

OSErr FSReadFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset,
                 ByteCount requestCount, void* buffer, ByteCount* actualCount) {
  if (actualCount) *actualCount = 0;
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  if (!buffer && requestCount > 0) return paramErr;
  if (!fork->canRead) return afpAccessDenied;
  SInt64 position;
  if (OSErr err = positionOf(*fork, positionMode, positionOffset, &position)) return err;
  ByteCount done = 0;
  OSErr result = noErr;
  while (done < requestCount) {
    const ssize_t n = pread(fork->fd, static_cast<char*>(buffer) + done, requestCount - done,
                            off_t(position + SInt64(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      result = errorFromErrno(errno);
      break;
    }
    if (n == 0) {
      result = eofErr;
      break;
    }
    done += ByteCount(n);
  }
  fork->mark = position + SInt64(done);
  if (actualCount) *actualCount = done;
  return result;
}

OSErr FSWriteFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset,
                  ByteCount requestCount, const void* buffer, ByteCount* actualCount) {
  if (actualCount) *actualCount = 0;
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  if (!buffer && requestCount > 0) return paramErr;
  if (!fork->canWrite) return wrPermErr;
  SInt64 position;
  if (OSErr err = positionOf(*fork, positionMode, positionOffset, &position)) return err;
  ByteCount done = 0;
  OSErr result = noErr;
  while (done < requestCount) {
    const ssize_t n = pwrite(fork->fd, static_cast<const char*>(buffer) + done,
                             requestCount - done, off_t(position + SInt64(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      result = errorFromErrno(errno);
      break;
    }
    done += ByteCount(n);
  }
  fork->mark = position + SInt64(done);
  if (actualCount) *actualCount = done;
  return result;
}

OSErr FSGetForkPosition(FSIORefNum forkRefNum, SInt64* position) {
  if (!position) return paramErr;
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  *position = fork->mark;
  return noErr;
}

OSErr FSSetForkPosition(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset) {
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  SInt64 position, size;
  if (OSErr err = positionOf(*fork, positionMode, positionOffset, &position)) return err;
  if (OSErr err = sizeOf(*fork, &size)) return err;
  if (position > size) return eofErr;
  fork->mark = position;
  return noErr;
}

OSErr FSGetForkSize(FSIORefNum forkRefNum, SInt64* forkSize) {
  if (!forkSize) return paramErr;
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  return sizeOf(*fork, forkSize);
}

OSErr FSSetForkSize(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset) {
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  if (!fork->canWrite) return wrPermErr;
  SInt64 size;
  if (OSErr err = positionOf(*fork, positionMode, positionOffset, &size)) return err;
  if (ftruncate(fork->fd, off_t(size)) != 0) return errorFromErrno(errno);
  if (fork->mark > size) fork->mark = size;
  return noErr;
}

OSErr FSFlushFork(FSIORefNum forkRefNum) {
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  return fdatasync(fork->fd) == 0 || errno == EINVAL ? OSErr(noErr) : errorFromErrno(errno);
}

OSErr FSCloseFork(FSIORefNum forkRefNum) {
  std::lock_guard lock(table().mutex);
  auto it = table().forks.find(forkRefNum);
  if (it == table().forks.end()) return rfNumErr;
  const int fd = it->second.fd;
  table().forks.erase(it);
  return close(fd) == 0 ? noErr : ioErr;
}
