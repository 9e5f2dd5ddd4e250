// SPDX-License-Identifier: GPL-3.0-or-later
// Data forks: a file's bytes, opened by reference number, read and written at a mark.
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/carbon/Files.h"
#include "platform/carbon/AppleDouble.h"
#include "platform/carbon/FilesCatalog.h"

#include <algorithm>
#include <fcntl.h>

using namespace filemanager;

namespace {

struct OpenFork;
OSErr addFork(const OpenFork& fork, FSIORefNum* forkRefNum);
OSErr openResourceFork(const Resolved& item, int granted, bool shared, FSIORefNum* forkRefNum);

struct OpenFork {
  int fd = -1;
  Identity id;
  bool canRead = false;
  bool canWrite = false;
  bool sharedWrite = false;  // opened with fsRdWrShPerm
  SInt64 mark = 0;
  // A resource fork lives in the item's AppleDouble companion: its bytes begin at base and its
  // length is the big-endian field at lengthField. No companion yet (read-only): fd is -1, empty.
  bool resource = false;
  SInt64 base = 0;
  SInt64 lengthField = -1;
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
  if (fork.resource) {
    *size = 0;
    if (fork.lengthField < 0) return noErr;
    UInt8 b[4];
    if (pread(fork.fd, b, 4, off_t(fork.lengthField)) != 4) return ioErr;
    *size = (SInt64(b[0]) << 24) | (SInt64(b[1]) << 16) | (SInt64(b[2]) << 8) | SInt64(b[3]);
    return noErr;
  }
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

OSErr setResourceLength(const OpenFork& fork, SInt64 length) {
  if (length > INT32_MAX) return fileBoundsErr;
  const UInt8 b[4] = {UInt8(length >> 24), UInt8(length >> 16), UInt8(length >> 8), UInt8(length)};
  return pwrite(fork.fd, b, 4, off_t(fork.lengthField)) == 4 ? OSErr(noErr) : ioErr;
}

bool isResourceForkName(UniCharCount length, const UniChar* name) {
  static const char kName[] = "RESOURCE_FORK";
  if (length != sizeof kName - 1) return false;
  for (UniCharCount i = 0; i < length; ++i)
    if (name[i] != UniChar(kName[i])) return false;
  return true;
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
  // The data fork (the empty name) and the resource fork, kept in the AppleDouble companion.
  const bool resource = forkNameLength != 0;
  if (resource && !isResourceForkName(forkNameLength, forkName)) return errFSForkNotFound;
  const int access = permissions & 0x07;
  if (access > fsRdWrShPerm) return paramErr;

  std::lock_guard catalogLock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  if (!resource && !S_ISREG(item.st.sx.stx_mode)) return notAFileErr;
  if (resource && !S_ISREG(item.st.sx.stx_mode) && !item.st.isDirectory()) return notAFileErr;

  std::lock_guard lock(table().mutex);
  const bool shared = access == fsRdWrShPerm;
  int granted = access;
  if (access != fsRdPerm) {
    for (const auto& [refNum, fork] : table().forks) {
      if (fork.id.device != item.st.id.device || fork.id.inode != item.st.id.inode) continue;
      if (fork.resource != resource) continue;
      if (fork.canWrite && !(shared && fork.sharedWrite)) {
        if (access != fsCurPerm) return opWrErr;
        granted = fsRdPerm;  // "whatever is allowed": another writer leaves reading
      }
    }
  }
  if (resource) return openResourceFork(item, granted, shared, forkRefNum);
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
  return addFork(fork, forkRefNum);
}

namespace {

OSErr addFork(const OpenFork& fork, FSIORefNum* forkRefNum) {
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
  if (fork.fd >= 0) close(fork.fd);
  return tmfoErr;
}

// Writing needs the companion laid out with the fork last; reading takes it as it is.
OSErr openResourceFork(const Resolved& item, int granted, bool shared, FSIORefNum* forkRefNum) {
  const std::string companion = appledouble::companionPath(item.path);
  OpenFork fork;
  fork.id = item.st.id;
  fork.resource = true;
  fork.sharedWrite = shared;
  fork.canRead = granted != fsWrPerm;
  fork.canWrite = granted != fsRdPerm;
  if (fork.canWrite) {
    UInt8 finderInfo[32];
    finderInfoForCompanion(item, finderInfo);
    UInt32 dataOffset, lengthOffset;
    OSErr err = appledouble::prepareResourceFork(companion, finderInfo, &dataOffset, &lengthOffset);
    if (err && granted == fsCurPerm) {
      fork.canWrite = false;
    } else if (err) {
      return err;
    } else {
      fork.fd = open(companion.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
      if (fork.fd < 0) return errorFromErrno(errno);
      fork.base = dataOffset;
      fork.lengthField = lengthOffset;
      return addFork(fork, forkRefNum);
    }
  }
  appledouble::Header header;
  if (appledouble::readCompanion(companion, &header, nullptr) == noErr) {
    const std::size_t index = std::size_t(
        std::find_if(header.entries.begin(), header.entries.end(),
                     [](const appledouble::Entry& e) { return e.id == appledouble::kResourceForkEntry; }) -
        header.entries.begin());
    if (index < header.entries.size()) {
      fork.fd = open(companion.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fork.fd < 0) return errorFromErrno(errno);
      fork.base = header.entries[index].offset;
      fork.lengthField = SInt64(appledouble::kHeaderSize + appledouble::kEntrySize * index + 8);
    }
  }
  return addFork(fork, forkRefNum);
}

}  // namespace

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
  ByteCount wanted = requestCount;
  if (fork->resource) {
    // Never read past the fork into whatever follows it in the companion.
    SInt64 size;
    if (OSErr err = sizeOf(*fork, &size)) return err;
    const SInt64 left = std::max<SInt64>(0, size - position);
    if (SInt64(wanted) > left) {
      wanted = ByteCount(left);
      result = eofErr;
    }
  }
  while (done < wanted) {
    const ssize_t n = pread(fork->fd, static_cast<char*>(buffer) + done, wanted - done,
                            off_t(fork->base + position + SInt64(done)));
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
  if (fork->resource && position + SInt64(requestCount) > INT32_MAX) return fileBoundsErr;
  while (done < requestCount) {
    const ssize_t n = pwrite(fork->fd, static_cast<const char*>(buffer) + done,
                             requestCount - done, off_t(fork->base + position + SInt64(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      result = errorFromErrno(errno);
      break;
    }
    done += ByteCount(n);
  }
  if (fork->resource) {
    SInt64 size;
    if (sizeOf(*fork, &size) == noErr && position + SInt64(done) > size) {
      if (OSErr err = setResourceLength(*fork, position + SInt64(done))) return err;
    }
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
  if (fork->resource) {
    if (size > INT32_MAX) return fileBoundsErr;
    if (ftruncate(fork->fd, off_t(fork->base + size)) != 0) return errorFromErrno(errno);
    if (OSErr err = setResourceLength(*fork, size)) return err;
  } else if (ftruncate(fork->fd, off_t(size)) != 0) {
    return errorFromErrno(errno);
  }
  if (fork->mark > size) fork->mark = size;
  return noErr;
}

OSErr FSFlushFork(FSIORefNum forkRefNum) {
  std::lock_guard lock(table().mutex);
  OpenFork* fork = find(forkRefNum);
  if (!fork) return rfNumErr;
  if (fork->fd < 0) return noErr;
  return fdatasync(fork->fd) == 0 || errno == EINVAL ? OSErr(noErr) : errorFromErrno(errno);
}

OSErr FSCloseFork(FSIORefNum forkRefNum) {
  std::lock_guard lock(table().mutex);
  auto it = table().forks.find(forkRefNum);
  if (it == table().forks.end()) return rfNumErr;
  const int fd = it->second.fd;
  table().forks.erase(it);
  if (fd < 0) return noErr;
  return close(fd) == 0 ? noErr : ioErr;
}

OSErr FSCreateFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName) {
  if (!ref || (forkNameLength && !forkName)) return paramErr;
  if (forkNameLength == 0) return errFSForkExists;  // the data fork always exists
  if (!isResourceForkName(forkNameLength, forkName)) return errFSBadForkName;
  std::lock_guard catalogLock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  const std::string companion = appledouble::companionPath(item.path);
  appledouble::Header header;
  if (appledouble::readCompanion(companion, &header, nullptr) == noErr &&
      header.find(appledouble::kResourceForkEntry))
    return errFSForkExists;
  UInt8 finderInfo[32];
  finderInfoForCompanion(item, finderInfo);
  UInt32 dataOffset, lengthOffset;
  return appledouble::prepareResourceFork(companion, finderInfo, &dataOffset, &lengthOffset);
}

OSErr FSCreateResourceFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName,
                           UInt32 flags) {
  if (flags) return paramErr;
  return FSCreateFork(ref, forkNameLength, forkName);
}
