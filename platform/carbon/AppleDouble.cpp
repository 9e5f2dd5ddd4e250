// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/AppleDouble.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/carbon/FilesCatalog.h"

namespace appledouble {

namespace {

UInt32 be32(const UInt8* p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}
UInt16 be16(const UInt8* p) { return UInt16((p[0] << 8) | p[1]); }
void put32(UInt8* p, UInt32 v) {
  p[0] = UInt8(v >> 24);
  p[1] = UInt8(v >> 16);
  p[2] = UInt8(v >> 8);
  p[3] = UInt8(v);
}
void put16(UInt8* p, UInt16 v) {
  p[0] = UInt8(v >> 8);
  p[1] = UInt8(v);
}

// The largest companion read whole (a resource fork's own format stops at 16 MiB of data).
constexpr UInt64 kMaxCompanion = 64ull << 20;

struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

bool readAll(int fd, UInt64 offset, std::size_t size, UInt8* out) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, out + done, size - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

bool writeAll(int fd, UInt64 offset, const UInt8* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd, bytes + done, size - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

std::vector<UInt8> buildHeader(const std::vector<Entry>& entries) {
  std::vector<UInt8> bytes(kHeaderSize + kEntrySize * entries.size(), 0);
  put32(&bytes[0], kMagic);
  put32(&bytes[4], kVersion);
  put16(&bytes[24], UInt16(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    UInt8* e = &bytes[kHeaderSize + kEntrySize * i];
    put32(e, entries[i].id);
    put32(e + 4, entries[i].offset);
    put32(e + 8, entries[i].length);
  }
  return bytes;
}

}  // namespace

const Entry* Header::find(UInt32 id) const {
  for (const Entry& e : entries)
    if (e.id == id) return &e;
  return nullptr;
}

std::string companionPath(const std::string& itemPath) {
  const std::size_t slash = itemPath.rfind('/');
  if (slash == std::string::npos || slash + 1 >= itemPath.size()) return {};
  return itemPath.substr(0, slash + 1) + "._" + itemPath.substr(slash + 1);
}

bool parseHeader(const UInt8* bytes, std::size_t size, UInt64 fileSize, Header* out) {
  if (!bytes || size < kHeaderSize || fileSize < size) return false;
  if (be32(bytes) != kMagic || be32(bytes + 4) != kVersion) return false;
  const std::size_t count = be16(bytes + 24);
  if (count > kMaxEntries || kHeaderSize + kEntrySize * count > size) return false;
  Header header;
  for (std::size_t i = 0; i < count; ++i) {
    const UInt8* e = bytes + kHeaderSize + kEntrySize * i;
    Entry entry{be32(e), be32(e + 4), be32(e + 8)};
    if (entry.id == 0 || UInt64(entry.offset) + entry.length > fileSize) return false;
    // Two entries of one kind would make the item's facts ambiguous.
    if (header.find(entry.id)) return false;
    header.entries.push_back(entry);
  }
  *out = std::move(header);
  return true;
}

OSErr readCompanion(const std::string& companion, Header* out, UInt64* fileSize) {
  if (companion.empty()) return fnfErr;
  Fd f(open(companion.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (f.fd < 0) return errno == ENOENT || errno == ELOOP ? OSErr(fnfErr) : filemanager::errorFromErrno(errno);
  struct stat st;
  if (fstat(f.fd, &st) != 0) return filemanager::errorFromErrno(errno);
  if (!S_ISREG(st.st_mode)) return fnfErr;
  UInt8 bytes[kHeaderSize + kEntrySize * kMaxEntries];
  const std::size_t want = std::min<UInt64>(sizeof bytes, UInt64(st.st_size));
  if (!readAll(f.fd, 0, want, bytes)) return fnfErr;
  if (!parseHeader(bytes, want, UInt64(st.st_size), out)) return fnfErr;
  if (fileSize) *fileSize = UInt64(st.st_size);
  return noErr;
}

OSErr readEntry(const std::string& companion, UInt32 id, std::vector<UInt8>* out) {
  Header header;
  if (OSErr err = readCompanion(companion, &header, nullptr)) return err;
  const Entry* e = header.find(id);
  if (!e) return fnfErr;
  if (e->length > kMaxCompanion) return memFullErr;
  Fd f(open(companion.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (f.fd < 0) return filemanager::errorFromErrno(errno);
  out->resize(e->length);
  if (!readAll(f.fd, e->offset, e->length, out->data())) return ioErr;
  return noErr;
}

OSErr prepareResourceFork(const std::string& companion, const UInt8 finderInfo[32],
                          UInt32* dataOffset, UInt32* lengthOffset) {
  if (companion.empty()) return paramErr;
  Header header;
  UInt64 fileSize = 0;
  const OSErr found = readCompanion(companion, &header, &fileSize);
  if (found == noErr) {
    const Entry* rsrc = header.find(kResourceForkEntry);
    bool last = rsrc && UInt64(rsrc->offset) + rsrc->length == fileSize;
    for (const Entry& e : header.entries)
      if (rsrc && &e != rsrc && e.offset >= rsrc->offset && e.length) last = false;
    if (last) {
      *dataOffset = rsrc->offset;
      *lengthOffset = UInt32(kHeaderSize + kEntrySize * std::size_t(rsrc - header.entries.data()) + 8);
      return noErr;
    }
  } else if (found != fnfErr) {
    return found;
  }
  // Lay the companion out afresh: every kept entry, then the resource fork.
  struct Piece {
    UInt32 id;
    std::vector<UInt8> bytes;
  };
  std::vector<Piece> pieces;
  struct stat st;
  const bool exists = lstat(companion.c_str(), &st) == 0;
  if (found == noErr) {
    for (const Entry& e : header.entries) {
      Piece p{e.id, {}};
      if (OSErr err = readEntry(companion, e.id, &p.bytes)) return err;
      pieces.push_back(std::move(p));
    }
  } else if (exists) {
    // A file of that name that is not a sound companion is kept aside, never destroyed.
    if (rename(companion.c_str(), (companion + ".damaged").c_str()) != 0)
      return filemanager::errorFromErrno(errno);
  }
  if (!std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.id == kFinderInfoEntry; }))
    pieces.insert(pieces.begin(), Piece{kFinderInfoEntry, std::vector<UInt8>(finderInfo, finderInfo + 32)});
  std::stable_partition(pieces.begin(), pieces.end(),
                        [](const Piece& p) { return p.id != kResourceForkEntry; });
  if (pieces.back().id != kResourceForkEntry) pieces.push_back(Piece{kResourceForkEntry, {}});
  std::vector<Entry> entries;
  UInt64 offset = kHeaderSize + kEntrySize * pieces.size();
  for (const Piece& p : pieces) {
    entries.push_back({p.id, UInt32(offset), UInt32(p.bytes.size())});
    offset += p.bytes.size();
  }
  const std::string temporary = companion + ".new";
  {
    Fd f(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (f.fd < 0) return filemanager::errorFromErrno(errno);
    const std::vector<UInt8> head = buildHeader(entries);
    bool ok = writeAll(f.fd, 0, head.data(), head.size());
    for (std::size_t i = 0; ok && i < pieces.size(); ++i)
      ok = writeAll(f.fd, entries[i].offset, pieces[i].bytes.data(), pieces[i].bytes.size());
    if (!ok || fsync(f.fd) != 0) {
      const int error = errno ? errno : EIO;
      unlink(temporary.c_str());
      return filemanager::errorFromErrno(error);
    }
  }
  if (rename(temporary.c_str(), companion.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return filemanager::errorFromErrno(error);
  }
  *dataOffset = entries.back().offset;
  *lengthOffset = UInt32(kHeaderSize + kEntrySize * (entries.size() - 1) + 8);
  return noErr;
}

OSErr writeFinderInfo(const std::string& companion, const UInt8 finderInfo[32]) {
  Header header;
  if (OSErr err = readCompanion(companion, &header, nullptr)) return err;
  const Entry* e = header.find(kFinderInfoEntry);
  if (!e || e->length < 32) return fnfErr;
  Fd f(open(companion.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (f.fd < 0) return filemanager::errorFromErrno(errno);
  return writeAll(f.fd, e->offset, finderInfo, 32) ? OSErr(noErr) : OSErr(ioErr);
}

}  // namespace appledouble
