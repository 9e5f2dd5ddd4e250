// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/FilesCatalog.h"

#include <dirent.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <unordered_map>
#include <vector>

namespace filemanager {
namespace {

// IDs from this value up come from the process's table instead of inode numbers.
constexpr UInt32 kFirstMappedId = 0x80000000u;
// Inode numbers below this never serve as IDs: 1 and 2 have fixed meanings.
constexpr UInt64 kFirstDirectId = 16;
constexpr FSVolumeRefNum kFirstVolume = -100;
constexpr int kMaxDepth = 4096;     // deeper chains mean a damaged catalog
constexpr int kMaxLinkHops = 40;    // as the kernel's own limit on nested links
constexpr UInt32 kRefTag = 0x56624652;  // "VbFR"

struct Entry {
  Identity id;
  Key parent = 0;
  std::string name;
  bool alive = true;
  bool volumeRoot = false;
};

struct DevIno {
  UInt64 device;
  UInt64 inode;
  bool operator==(const DevIno&) const = default;
};

struct DevInoHash {
  std::size_t operator()(const DevIno& d) const {
    return std::hash<UInt64>()(d.inode * 0x9E3779B97F4A7C15ull ^ d.device);
  }
};

struct Volume {
  FSVolumeRefNum vRefNum;
  Key root;
};

struct Catalog {
  std::recursive_mutex mutex;
  std::vector<Entry> entries = std::vector<Entry>(1);  // key 0 is never used
  std::unordered_map<DevIno, Key, DevInoHash> byIdentity;  // living entries only
  std::unordered_map<UInt64, Volume> volumes;              // by device
  std::vector<UInt64> volumeDevices;                       // by kFirstVolume - vRefNum
  std::unordered_map<DevIno, UInt32, DevInoHash> mappedIds;
  std::vector<DevIno> mappedById;                          // by id - kFirstMappedId
  UInt32 secret = std::random_device()();
};

Catalog& catalog() {
  static Catalog* c = new Catalog;  // references may be used by code running at exit
  return *c;
}

// The bytes of an FSRef as this File Manager writes them.
struct RefImage {
  UInt32 tag;
  UInt32 stampKind;
  UInt64 key;
  UInt64 device;
  UInt64 inode;
  SInt64 stampSeconds;
  UInt32 stampNanos;
  UInt8 zero[32];
  UInt32 check;
};
static_assert(sizeof(RefImage) == sizeof(FSRef));

UInt32 checkOf(const RefImage& image) {
  // FNV-1a over everything but the check itself, mixed with a per-process secret so that
  // references from another run (or made up) are refused rather than misread.
  UInt32 hash = 2166136261u;
  const auto* bytes = reinterpret_cast<const UInt8*>(&image);
  for (std::size_t i = 0; i < offsetof(RefImage, check); ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash ^ catalog().secret;
}

Entry* entryOf(Key key) {
  Catalog& c = catalog();
  return key > 0 && key < c.entries.size() ? &c.entries[key] : nullptr;
}

// The path of an entry from its chain of parents; empty when the chain is damaged.
std::string buildPath(Key key) {
  std::vector<const std::string*> names;
  Key k = key;
  for (int depth = 0; k != 0; ++depth) {
    const Entry* e = entryOf(k);
    if (!e || depth > kMaxDepth) return {};
    if (e->parent == 0) break;
    names.push_back(&e->name);
    k = e->parent;
  }
  if (names.empty()) return "/";
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    path += '/';
    path += **it;
  }
  return path;
}

// Looks for the entry's item among the items of its last known folder: a rename done behind our
// back keeps the inode, so the item can still be told apart from a newcomer.
bool findInFolder(const Entry& e, const std::string& folder, std::string* foundName,
                  ItemStat* foundStat) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  bool found = false;
  while (dirent* d = readdir(dir)) {
    if (d->d_ino != e.id.inode) continue;
    if (!strcmp(d->d_name, ".") || !strcmp(d->d_name, "..")) continue;
    ItemStat st;
    if (statItem(dirfd(dir), d->d_name, &st) == noErr && sameItem(st.id, e.id)) {
      *foundName = d->d_name;
      *foundStat = st;
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

OSErr resolveAt(Key key, Resolved* out, int depth) {
  Entry* e = entryOf(key);
  if (!e) return errFSBadFSRef;
  if (!e->alive) return fnfErr;
  std::string path = buildPath(key);
  if (path.empty()) return fnfErr;
  ItemStat st;
  if (statItem(AT_FDCWD, path.c_str(), &st) == noErr && sameItem(st.id, e->id)) {
    *out = {key, std::move(path), st};
    return noErr;
  }
  // Not where we last saw it.
  const Key parent = e->parent;
  if (parent == 0 || depth > kMaxDepth) return nsvErr;
  Resolved folder;
  OSErr err = resolveAt(parent, &folder, depth + 1);
  e = entryOf(key);
  if (err != noErr) return err == nsvErr ? nsvErr : fnfErr;
  std::string name;
  if (findInFolder(*e, folder.path, &name, &st)) {
    e->name = name;
    *out = {key, joinPath(folder.path, name), st};
    return noErr;
  }
  // A volume root that no longer answers at its mount point was unmounted.
  return e->volumeRoot ? nsvErr : fnfErr;
}

// Enters "/" and every folder of an absolute path without symbolic links.
OSErr enterChain(const std::string& canonical, Resolved* out) {
  ItemStat st;
  if (OSErr err = statItem(AT_FDCWD, "/", &st)) return err;
  Key key = enterItem(0, "/", st);
  std::string prefix;
  std::size_t pos = 1;
  while (pos < canonical.size()) {
    std::size_t next = canonical.find('/', pos);
    if (next == std::string::npos) next = canonical.size();
    if (next > pos) {
      const std::string component = canonical.substr(pos, next - pos);
      prefix += '/';
      prefix += component;
      if (OSErr err = statItem(AT_FDCWD, prefix.c_str(), &st)) return err;
      key = enterItem(key, component, st);
    }
    pos = next + 1;
  }
  *out = {key, prefix.empty() ? std::string("/") : prefix, st};
  return noErr;
}

std::string realPath(const std::string& path, OSErr* err) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) {
    *err = errno == ENOTDIR ? OSErr(dirNFErr) : errorFromErrno(errno);
    return {};
  }
  std::string result(resolved);
  std::free(resolved);
  *err = noErr;
  return result;
}

std::string workingDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

void appendUtf8(UInt32 cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | (cp >> 6)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(char(0xE0 | (cp >> 12)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (cp >> 18)));
    out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]; answers its length, or 0 when it is not well formed.
int decodeUtf8(const std::string& s, std::size_t i, UInt32* cp) {
  const auto b0 = UInt8(s[i]);
  int length;
  UInt32 value;
  UInt32 minimum;
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2, value = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, value = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, value = b0 & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (int k = 1; k < length; ++k) {
    const auto b = UInt8(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return length;
}

std::string hex(UInt32 value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value);
  return s;
}

// The name as a classic specification shows it: at most 63 bytes, no ':'.
std::string specName(Key key) {
  const std::string name = catalogName(key);
  if (name.size() <= 63 && name.find(':') == std::string::npos) return name;
  std::string extension;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= 16) extension = name.substr(dot);
  const std::string suffix = '#' + hex(nodeIdOf(key)) + extension;
  std::size_t keep = std::min<std::size_t>(name.size() - extension.size(), 63 - suffix.size());
  // Never cut a UTF-8 sequence in two.
  while (keep > 0 && keep < name.size() && (UInt8(name[keep]) & 0xC0) == 0x80) --keep;
  std::string shortened = name.substr(0, keep) + suffix;
  for (char& ch : shortened)
    if (ch == ':') ch = '_';
  return shortened;
}

}  // namespace

bool sameItem(const Identity& a, const Identity& b) {
  if (a.device != b.device || a.inode != b.inode) return false;
  if (a.stampKind == kNoStamp || a.stampKind != b.stampKind) return true;
  return a.stampSeconds == b.stampSeconds && a.stampNanos == b.stampNanos;
}

OSErr errorFromErrno(int error) {
  switch (error) {
    case 0: return noErr;
    case ENOENT: return fnfErr;
    case ENOTDIR: return dirNFErr;
    case EEXIST: return dupFNErr;
    case ENOTEMPTY: return fBsyErr;
    case EBUSY: return fBsyErr;
    case EACCES: return afpAccessDenied;
    case EPERM: return permErr;
    case EROFS: return wPrErr;
    case ENOSPC: return dskFulErr;
    case EDQUOT: return errFSQuotaExceeded;
    case ENAMETOOLONG: return errFSNameTooLong;
    case EXDEV: return diffVolErr;
    case EMFILE:
    case ENFILE: return tmfoErr;
    case ENOMEM: return memFullErr;
    case EINVAL: return paramErr;
    case ELOOP: return fnfErr;
    case EISDIR: return notAFileErr;
    case EFBIG: return fileBoundsErr;
    case ENODEV:
    case ENXIO: return nsvErr;
    default: return ioErr;
  }
}

OSErr statItem(int dirfd, const char* path, ItemStat* out) {
  ItemStat st;
  if (statx(dirfd, path, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME,
            &st.sx) != 0)
    return errorFromErrno(errno);
  st.id.device = makedev(st.sx.stx_dev_major, st.sx.stx_dev_minor);
  st.id.inode = st.sx.stx_ino;
  if (st.sx.stx_mask & STATX_BTIME) {
    st.id.stampKind = kBirthTime;
    st.id.stampSeconds = st.sx.stx_btime.tv_sec;
    st.id.stampNanos = st.sx.stx_btime.tv_nsec;
  } else if (S_ISREG(st.sx.stx_mode) || S_ISDIR(st.sx.stx_mode)) {
    // Without a birth time the inode generation (where the file system keeps one) still tells a
    // reused inode number from the item that had it before.
    const int fd = openat(dirfd, path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
      long generation = 0;
      if (ioctl(fd, FS_IOC_GETVERSION, &generation) == 0) {
        st.id.stampKind = kGeneration;
        st.id.stampSeconds = static_cast<UInt32>(generation);
      }
      close(fd);
    }
  }
  *out = st;
  return noErr;
}

std::recursive_mutex& catalogMutex() { return catalog().mutex; }

void makeRef(Key key, FSRef* ref) {
  RefImage image{};
  const Entry* e = entryOf(key);
  if (!e) {
    std::memset(ref, 0, sizeof(FSRef));
    return;
  }
  image.tag = kRefTag;
  image.stampKind = e->id.stampKind;
  image.key = key;
  image.device = e->id.device;
  image.inode = e->id.inode;
  image.stampSeconds = e->id.stampSeconds;
  image.stampNanos = e->id.stampNanos;
  image.check = checkOf(image);
  std::memcpy(ref, &image, sizeof(FSRef));
}

OSErr decodeRef(const FSRef* ref, Key* key, Identity* id) {
  if (!ref) return paramErr;
  static const FSRef zero{};
  if (!std::memcmp(ref, &zero, sizeof(FSRef))) return nsvErr;
  RefImage image;
  std::memcpy(&image, ref, sizeof image);
  static const UInt8 noBytes[sizeof image.zero] = {};
  if (image.tag != kRefTag || std::memcmp(image.zero, noBytes, sizeof noBytes) ||
      image.check != checkOf(image))
    return errFSBadFSRef;
  *key = image.key;
  id->device = image.device;
  id->inode = image.inode;
  id->stampKind = image.stampKind;
  id->stampSeconds = image.stampSeconds;
  id->stampNanos = image.stampNanos;
  return noErr;
}

OSErr resolveRef(const FSRef* ref, Resolved* out) {
  Key key;
  Identity id;
  if (OSErr err = decodeRef(ref, &key, &id)) return err;
  const Entry* e = entryOf(key);
  if (!e || e->id.device != id.device || e->id.inode != id.inode ||
      e->id.stampKind != id.stampKind || !sameItem(e->id, id))
    return errFSBadFSRef;
  return resolveAt(key, out, 0);
}

OSErr resolveKey(Key key, Resolved* out) { return resolveAt(key, out, 0); }

OSErr refFromPath(const std::string& given, bool followLeafLink, Resolved* out) {
  if (given.empty()) return fnfErr;
  std::string path = given;
  if (path[0] != '/') {
    const std::string cwd = workingDirectory();
    if (cwd.empty()) return fnfErr;
    path = joinPath(cwd, path);
  }
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    OSErr err;
    // A path ending in "/", "." or ".." names a folder: let the kernel resolve all of it.
    std::size_t slash = path.rfind('/');
    const std::string leaf = path.substr(slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..") {
      const std::string canonical = realPath(path, &err);
      if (err) return err;
      return enterChain(canonical, out);
    }
    const std::string folder = realPath(slash == 0 ? std::string("/") : path.substr(0, slash), &err);
    if (err) return err == fnfErr || err == dirNFErr ? OSErr(fnfErr) : err;
    const std::string itemPath = joinPath(folder, leaf);
    ItemStat st;
    if (OSErr statErr = statItem(AT_FDCWD, itemPath.c_str(), &st)) return statErr;
    if (st.isSymlink() && followLeafLink) {
      std::vector<char> target(PATH_MAX + 1);
      const ssize_t n = readlink(itemPath.c_str(), target.data(), target.size() - 1);
      if (n <= 0) return fnfErr;
      const std::string link(target.data(), std::size_t(n));
      path = link[0] == '/' ? link : joinPath(folder, link);
      continue;
    }
    Resolved parent;
    if (OSErr chainErr = enterChain(folder, &parent)) return chainErr;
    const Key key = enterItem(parent.key, leaf, st);
    *out = {key, itemPath, st};
    return noErr;
  }
  return fnfErr;  // a loop of links
}

OSErr lookupChild(const Resolved& parent, const std::string& name, Resolved* out) {
  if (!parent.st.isDirectory()) return errFSNotAFolder;
  std::string path = joinPath(parent.path, name);
  ItemStat st;
  if (OSErr err = statItem(AT_FDCWD, path.c_str(), &st)) return err;
  *out = {enterItem(parent.key, name, st), std::move(path), st};
  return noErr;
}

Key enterItem(Key parent, const std::string& name, const ItemStat& st) {
  Catalog& c = catalog();
  const DevIno di{st.id.device, st.id.inode};
  const Entry* parentEntry = entryOf(parent);
  const bool root = !parentEntry || parentEntry->id.device != st.id.device;
  if (auto it = c.byIdentity.find(di); it != c.byIdentity.end()) {
    Entry& e = c.entries[it->second];
    if (sameItem(e.id, st.id)) {
      if (e.id.stampKind == kNoStamp) e.id = st.id;
      if (e.parent != parent || e.name != name) {
        e.parent = parent;
        e.name = name;
        e.volumeRoot = root || e.volumeRoot;
      }
      return it->second;
    }
    // The inode number now belongs to another item: the old one is gone.
    e.alive = false;
    c.byIdentity.erase(it);
  }
  const Key key = c.entries.size();
  Entry e;
  e.id = st.id;
  e.parent = parent;
  e.name = name;
  e.volumeRoot = root;
  c.entries.push_back(std::move(e));
  c.byIdentity.emplace(di, key);
  if (!c.volumes.count(st.id.device)) {
    const long index = long(c.volumeDevices.size());
    if (kFirstVolume - index > SHRT_MIN) {
      c.volumes.emplace(st.id.device, Volume{FSVolumeRefNum(kFirstVolume - index), key});
      c.volumeDevices.push_back(st.id.device);
      c.entries[key].volumeRoot = true;
    }
  }
  return key;
}

void noteRenamed(Key key, const std::string& newName) {
  if (Entry* e = entryOf(key)) e->name = newName;
}

void noteMoved(Key key, Key newParent) {
  if (Entry* e = entryOf(key)) e->parent = newParent;
}

void noteDeleted(Key key) {
  Entry* e = entryOf(key);
  if (!e) return;
  e->alive = false;
  Catalog& c = catalog();
  const DevIno di{e->id.device, e->id.inode};
  if (auto it = c.byIdentity.find(di); it != c.byIdentity.end() && it->second == key)
    c.byIdentity.erase(it);
}

bool isVolumeRoot(Key key) {
  const Entry* e = entryOf(key);
  return e && e->volumeRoot;
}

Key catalogParent(Key key) {
  const Entry* e = entryOf(key);
  return e && !e->volumeRoot ? e->parent : 0;
}

bool isWithin(Key key, Key ancestor) {
  Key k = key;
  for (int depth = 0; k != 0 && depth <= kMaxDepth; ++depth) {
    if (k == ancestor) return true;
    const Entry* e = entryOf(k);
    if (!e) return false;
    k = e->parent;
  }
  return false;
}

std::string catalogName(Key key) {
  const Entry* e = entryOf(key);
  if (!e) return {};
  // The root of the whole tree has no name of its own.
  if (e->parent == 0) return "Root";
  return e->name;
}

FSVolumeRefNum volumeOf(Key key) {
  const Entry* e = entryOf(key);
  if (!e) return 0;
  auto it = catalog().volumes.find(e->id.device);
  return it == catalog().volumes.end() ? 0 : it->second.vRefNum;
}

UInt32 nodeIdOf(Key key) {
  const Entry* e = entryOf(key);
  if (!e) return 0;
  if (e->volumeRoot) return fsRtDirID;
  if (e->id.inode >= kFirstDirectId && e->id.inode < kFirstMappedId) return UInt32(e->id.inode);
  Catalog& c = catalog();
  const DevIno di{e->id.device, e->id.inode};
  if (auto it = c.mappedIds.find(di); it != c.mappedIds.end()) return it->second;
  const UInt32 id = kFirstMappedId + UInt32(c.mappedById.size());
  c.mappedIds.emplace(di, id);
  c.mappedById.push_back(di);
  return id;
}

UInt32 parentIdOf(Key key) {
  const Entry* e = entryOf(key);
  if (!e) return 0;
  return e->volumeRoot ? UInt32(fsRtParID) : nodeIdOf(e->parent);
}

void specOf(Key key, FSSpec* spec) {
  std::memset(spec, 0, sizeof *spec);
  spec->vRefNum = volumeOf(key);
  spec->parID = SInt32(parentIdOf(key));
  const std::string name = specName(key);
  spec->name[0] = UInt8(name.size());
  std::memcpy(spec->name + 1, name.data(), name.size());
}

OSErr deviceOfVolume(FSVolumeRefNum vRefNum, UInt64* device) {
  Catalog& c = catalog();
  if (vRefNum == 0) {
    Resolved cwd;
    if (OSErr err = refFromPath(".", true, &cwd)) return err == fnfErr ? OSErr(nsvErr) : err;
    *device = cwd.st.id.device;
    return c.volumes.count(*device) ? noErr : nsvErr;
  }
  const long index = long(kFirstVolume) - long(vRefNum);
  if (index < 0 || index >= long(c.volumeDevices.size())) return nsvErr;
  *device = c.volumeDevices[std::size_t(index)];
  return noErr;
}

OSErr volumeRootKey(UInt64 device, Key* key) {
  auto it = catalog().volumes.find(device);
  if (it == catalog().volumes.end()) return nsvErr;
  *key = it->second.root;
  return noErr;
}

std::size_t volumeCount() { return catalog().volumeDevices.size(); }

UInt64 volumeDeviceAt(std::size_t index) { return catalog().volumeDevices.at(index); }

OSErr keyForId(UInt64 device, UInt32 id, Key* key) {
  Catalog& c = catalog();
  if (id == UInt32(fsRtDirID)) return volumeRootKey(device, key) ? dirNFErr : noErr;
  DevIno di{device, id};
  if (id >= kFirstMappedId) {
    const std::size_t index = id - kFirstMappedId;
    if (index >= c.mappedById.size() || c.mappedById[index].device != device) return dirNFErr;
    di = c.mappedById[index];
  } else if (id < kFirstDirectId) {
    return dirNFErr;
  }
  auto it = c.byIdentity.find(di);
  if (it == c.byIdentity.end()) return dirNFErr;
  *key = it->second;
  return noErr;
}

OSErr nameFromUnicode(const UniChar* name, UniCharCount length, std::string* out) {
  if (length == 0) return bdNamErr;
  if (!name) return paramErr;
  if (length > 255) return errFSNameTooLong;
  std::string bytes;
  for (UniCharCount i = 0; i < length; ++i) {
    UInt32 unit = name[i];
    if (unit == 0 || unit == '/') return bdNamErr;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= length || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return bdNamErr;
      appendUtf8(0x10000 + ((unit - 0xD800) << 10) + (name[i + 1] - 0xDC00), &bytes);
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      // A byte of a POSIX name that was not UTF-8 (see nameToUnicode).
      if (unit < 0xDC80 || unit > 0xDCFF) return bdNamErr;
      bytes.push_back(char(unit - 0xDC00));
    } else {
      appendUtf8(unit, &bytes);
    }
  }
  if (bytes == "." || bytes == "..") return bdNamErr;
  if (bytes.size() > NAME_MAX) return errFSNameTooLong;
  *out = std::move(bytes);
  return noErr;
}

void nameToUnicode(const std::string& name, HFSUniStr255* out) {
  UInt16 n = 0;
  for (std::size_t i = 0; i < name.size() && n < 255;) {
    UInt32 cp;
    const int length = decodeUtf8(name, i, &cp);
    if (length == 0) {
      out->unicode[n++] = UniChar(0xDC00 + UInt8(name[i]));
      ++i;
      continue;
    }
    i += std::size_t(length);
    if (cp >= 0x10000) {
      if (n + 2 > 255) break;
      out->unicode[n++] = UniChar(0xD800 + ((cp - 0x10000) >> 10));
      out->unicode[n++] = UniChar(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out->unicode[n++] = UniChar(cp);
    }
  }
  out->length = n;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + '/' + name;
}

}  // namespace filemanager
