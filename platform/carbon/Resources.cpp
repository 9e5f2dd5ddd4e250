// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Resources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/carbon/Memory.h"

namespace {

// A fork's own format cannot address more: 24-bit data offsets, 16-bit map offsets.
constexpr std::size_t kMaxForkSize = (16u << 20) + (1u << 16) + 256;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDataStart = 256;
constexpr std::size_t kMapHeaderSize = 28;

struct Resource {
  ResType type = 0;
  ResID id = 0;
  bool named = false;
  std::string name;
  UInt8 attributes = 0;
  std::vector<UInt8> bytes;
  Handle handle = nullptr;  // loaded, owned by the file until released or detached
  bool changed = false;
};

struct ResFile {
  FSIORefNum fork = 0;
  bool writable = false;
  bool changed = false;
  UInt16 attributes = 0;
  std::vector<Resource> resources;
};

struct State {
  std::recursive_mutex mutex;
  std::map<ResFileRefNum, ResFile> files;
  std::vector<ResFileRefNum> chain;  // in the order opened
  ResFileRefNum current = 0;
};

State& state() {
  static auto* s = new State;
  return *s;
}

thread_local OSErr lastError = noErr;

OSErr setError(OSErr err) {
  lastError = err;
  return err;
}

UInt32 be32(const UInt8* p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}
UInt32 be24(const UInt8* p) { return (UInt32(p[0]) << 16) | (UInt32(p[1]) << 8) | UInt32(p[2]); }
UInt16 be16(const UInt8* p) { return UInt16((p[0] << 8) | p[1]); }
void put32(std::vector<UInt8>& v, UInt32 x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(UInt8(x >> s));
}
void put24(std::vector<UInt8>& v, UInt32 x) {
  for (int s = 16; s >= 0; s -= 8) v.push_back(UInt8(x >> s));
}
void put16(std::vector<UInt8>& v, UInt16 x) {
  v.push_back(UInt8(x >> 8));
  v.push_back(UInt8(x));
}
void set32(std::vector<UInt8>& v, std::size_t at, UInt32 x) {
  for (int i = 0; i < 4; ++i) v[at + std::size_t(i)] = UInt8(x >> (24 - 8 * i));
}
void set16(std::vector<UInt8>& v, std::size_t at, UInt16 x) {
  v[at] = UInt8(x >> 8);
  v[at + 1] = UInt8(x);
}

// Every offset and length is checked against the fork before it is used.
OSErr parse(const UInt8* b, std::size_t size, std::vector<Resource>* out, UInt16* fileAttributes) {
  out->clear();
  if (size == 0) return noErr;  // an empty fork is an empty resource file
  if (size < kHeaderSize) return mapReadErr;
  const UInt64 dataOffset = be32(b), mapOffset = be32(b + 4), dataLength = be32(b + 8),
               mapLength = be32(b + 12);
  if (dataOffset + dataLength > size || mapOffset + mapLength > size) return mapReadErr;
  if (mapLength < kMapHeaderSize + 2) return mapReadErr;
  const UInt8* map = b + mapOffset;
  const UInt8* data = b + dataOffset;
  if (fileAttributes) *fileAttributes = be16(map + 22);
  const std::size_t typeList = be16(map + 24), nameList = be16(map + 26);
  if (typeList + 2 > mapLength || nameList > mapLength) return mapReadErr;
  const std::size_t types = (std::size_t(be16(map + typeList)) + 1) & 0xFFFF;
  if (typeList + 2 + types * 8 > mapLength) return mapReadErr;
  for (std::size_t t = 0; t < types; ++t) {
    const UInt8* entry = map + typeList + 2 + t * 8;
    const ResType type = be32(entry);
    const std::size_t count = std::size_t(be16(entry + 4)) + 1;
    const std::size_t refList = typeList + be16(entry + 6);
    if (refList + count * 12 > mapLength) return mapReadErr;
    for (std::size_t r = 0; r < count; ++r) {
      const UInt8* ref = map + refList + r * 12;
      Resource res;
      res.type = type;
      res.id = ResID(be16(ref));
      const UInt16 nameOffset = be16(ref + 2);
      res.attributes = ref[4];
      const UInt64 at = be24(ref + 5);
      if (nameOffset != 0xFFFF) {
        const std::size_t n = nameList + nameOffset;
        if (n >= mapLength || n + 1 + map[n] > mapLength) return mapReadErr;
        res.named = true;
        res.name.assign(reinterpret_cast<const char*>(map + n + 1), map[n]);
      }
      if (at + 4 > dataLength) return mapReadErr;
      const UInt64 length = be32(data + at);
      if (at + 4 + length > dataLength) return mapReadErr;
      res.bytes.assign(data + at + 4, data + at + 4 + length);
      out->push_back(std::move(res));
    }
  }
  return noErr;
}

std::vector<UInt8> serialize(const ResFile& file) {
  std::vector<UInt8> dataBytes;
  std::vector<UInt32> offsets;
  for (const Resource& r : file.resources) {
    offsets.push_back(UInt32(dataBytes.size()));
    put32(dataBytes, UInt32(r.bytes.size()));
    dataBytes.insert(dataBytes.end(), r.bytes.begin(), r.bytes.end());
  }
  // Types in order of first appearance, each with its references.
  std::vector<ResType> types;
  for (const Resource& r : file.resources)
    if (std::find(types.begin(), types.end(), r.type) == types.end()) types.push_back(r.type);
  std::vector<UInt8> map(kMapHeaderSize, 0);
  set16(map, 22, file.attributes & ~UInt16(0x0020));  // the "map changed" bit is not kept
  set16(map, 24, UInt16(kMapHeaderSize));
  put16(map, UInt16(types.size() - 1));  // 0xFFFF for none
  const std::size_t typeListStart = kMapHeaderSize;
  std::size_t refAt = 2 + types.size() * 8;
  for (ResType type : types) {
    const std::size_t count = std::size_t(std::count_if(
        file.resources.begin(), file.resources.end(), [&](const Resource& r) { return r.type == type; }));
    put32(map, type);
    put16(map, UInt16(count - 1));
    put16(map, UInt16(refAt));
    refAt += count * 12;
  }
  std::vector<UInt8> names;
  for (ResType type : types) {
    for (std::size_t i = 0; i < file.resources.size(); ++i) {
      const Resource& r = file.resources[i];
      if (r.type != type) continue;
      put16(map, UInt16(r.id));
      if (r.named) {
        put16(map, UInt16(names.size()));
        names.push_back(UInt8(r.name.size()));
        names.insert(names.end(), r.name.begin(), r.name.end());
      } else {
        put16(map, 0xFFFF);
      }
      map.push_back(r.attributes & ~UInt8(0x02));  // "changed" is not kept on disk
      put24(map, offsets[i]);
      put32(map, 0);
    }
  }
  (void)typeListStart;
  set16(map, 26, UInt16(map.size()));
  map.insert(map.end(), names.begin(), names.end());

  std::vector<UInt8> fork(kDataStart, 0);
  const UInt32 mapOffset = UInt32(kDataStart + dataBytes.size());
  set32(fork, 0, UInt32(kDataStart));
  set32(fork, 4, mapOffset);
  set32(fork, 8, UInt32(dataBytes.size()));
  set32(fork, 12, UInt32(map.size()));
  std::copy(fork.begin(), fork.begin() + kHeaderSize, map.begin());  // the map's copy of the header
  fork.insert(fork.end(), dataBytes.begin(), dataBytes.end());
  fork.insert(fork.end(), map.begin(), map.end());
  return fork;
}

ResFile* fileOf(ResFileRefNum refNum) {
  auto it = state().files.find(refNum);
  return it == state().files.end() ? nullptr : &it->second;
}

// The resource a handle belongs to, in any open file.
Resource* resourceOf(Handle h, ResFile** owner = nullptr) {
  if (!h) return nullptr;
  for (auto& [refNum, file] : state().files)
    for (Resource& r : file.resources)
      if (r.handle == h) {
        if (owner) *owner = &file;
        return &r;
      }
  return nullptr;
}

Handle load(Resource& r) {
  if (r.handle) return r.handle;
  Handle h = nullptr;
  if (PtrToHand(r.bytes.data(), &h, long(r.bytes.size())) != noErr) {
    setError(memFullErr);
    return nullptr;
  }
  r.handle = h;
  return h;
}

OSErr update(ResFile& file) {
  if (!file.changed) return noErr;
  if (!file.writable) return wrPermErr;
  for (Resource& r : file.resources) {
    if (r.changed && r.handle) {
      const Size size = GetHandleSize(r.handle);
      r.bytes.assign(reinterpret_cast<UInt8*>(*r.handle), reinterpret_cast<UInt8*>(*r.handle) + size);
    }
  }
  const std::vector<UInt8> bytes = serialize(file);
  if (bytes.size() > kMaxForkSize) return addResFailed;
  if (OSErr err = FSSetForkSize(file.fork, fsFromStart, 0)) return err;
  if (OSErr err = FSWriteFork(file.fork, fsFromStart, 0, ByteCount(bytes.size()), bytes.data(), nullptr))
    return err;
  for (Resource& r : file.resources) r.changed = false;
  file.changed = false;
  return noErr;
}

}  // namespace

OSErr ValidateResourceFork(const UInt8* bytes, std::size_t size) {
  std::vector<Resource> resources;
  return parse(bytes, size, &resources, nullptr);
}

OSErr FSOpenResourceFile(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName,
                         SInt8 permissions, ResFileRefNum* refNum) {
  if (!refNum) return setError(paramErr);
  *refNum = kResFileNotOpened;
  FSIORefNum fork;
  if (OSErr err = FSOpenFork(ref, forkNameLength, forkName, permissions, &fork)) return setError(err);
  SInt64 size = 0;
  OSErr err = FSGetForkSize(fork, &size);
  if (!err && (size < 0 || UInt64(size) > kMaxForkSize)) err = mapReadErr;
  std::vector<UInt8> bytes(err ? 0 : std::size_t(size));
  if (!err && size > 0) err = FSReadFork(fork, fsFromStart, 0, ByteCount(size), bytes.data(), nullptr);
  ResFile file;
  if (!err) err = parse(bytes.data(), bytes.size(), &file.resources, &file.attributes);
  if (err) {
    FSCloseFork(fork);
    return setError(err);
  }
  // The fork table knows what it granted: a write of nothing tells.
  file.fork = fork;
  file.writable = FSWriteFork(fork, fsFromStart, 0, 0, bytes.data(), nullptr) == noErr;
  std::lock_guard lock(state().mutex);
  state().files[fork] = std::move(file);
  state().chain.push_back(fork);
  state().current = fork;
  *refNum = fork;
  return setError(noErr);
}

ResFileRefNum FSOpenResFile(const FSRef* ref, SInt8 permission) {
  HFSUniStr255 name;
  FSGetResourceForkName(&name);
  ResFileRefNum refNum = kResFileNotOpened;
  FSOpenResourceFile(ref, name.length, name.unicode, permission, &refNum);
  return refNum;
}

OSErr FSCreateResourceFile(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                           FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo,
                           UniCharCount forkNameLength, const UniChar* forkName, FSRef* newRef,
                           FSSpec* newSpec) {
  FSRef made;
  if (OSErr err = FSCreateFileUnicode(parentRef, nameLength, name, whichInfo, catalogInfo, &made, newSpec))
    return setError(err);
  if (newRef) *newRef = made;
  if (OSErr err = FSCreateFork(&made, forkNameLength, forkName)) return setError(err);
  FSIORefNum fork;
  if (OSErr err = FSOpenFork(&made, forkNameLength, forkName, fsWrPerm, &fork)) return setError(err);
  const std::vector<UInt8> empty = serialize(ResFile{});
  OSErr err = FSWriteFork(fork, fsFromStart, 0, ByteCount(empty.size()), empty.data(), nullptr);
  FSCloseFork(fork);
  return setError(err);
}

void UpdateResFile(ResFileRefNum refNum) {
  std::lock_guard lock(state().mutex);
  ResFile* file = fileOf(refNum);
  setError(file ? update(*file) : OSErr(resFNotFound));
}

void WriteResFile(ResFileRefNum refNum) { UpdateResFile(refNum); }

void CloseResFile(ResFileRefNum refNum) {
  std::lock_guard lock(state().mutex);
  ResFile* file = fileOf(refNum);
  if (!file) {
    setError(resFNotFound);
    return;
  }
  OSErr err = file->writable ? update(*file) : OSErr(noErr);
  for (Resource& r : file->resources) DisposeHandle(r.handle);
  const OSErr closeErr = FSCloseFork(file->fork);
  if (!err) err = closeErr;
  state().files.erase(refNum);
  auto& chain = state().chain;
  chain.erase(std::remove(chain.begin(), chain.end(), refNum), chain.end());
  if (state().current == refNum) state().current = chain.empty() ? 0 : chain.back();
  setError(err);
}

ResFileRefNum CurResFile() {
  std::lock_guard lock(state().mutex);
  return state().current;
}

void UseResFile(ResFileRefNum refNum) {
  std::lock_guard lock(state().mutex);
  if (!fileOf(refNum)) {
    setError(resFNotFound);
    return;
  }
  state().current = refNum;
  setError(noErr);
}

OSErr ResError() { return lastError; }

Handle Get1Resource(ResType type, ResID id) {
  std::lock_guard lock(state().mutex);
  ResFile* file = fileOf(state().current);
  if (file)
    for (Resource& r : file->resources)
      if (r.type == type && r.id == id) {
        setError(noErr);
        return load(r);
      }
  setError(resNotFound);
  return nullptr;
}

Handle Get1NamedResource(ResType type, ConstStr255Param name) {
  std::lock_guard lock(state().mutex);
  ResFile* file = fileOf(state().current);
  const std::string wanted = name ? std::string(reinterpret_cast<const char*>(name + 1), name[0]) : "";
  if (file)
    for (Resource& r : file->resources)
      if (r.type == type && r.named && r.name == wanted) {
        setError(noErr);
        return load(r);
      }
  setError(resNotFound);
  return nullptr;
}

SInt16 Count1Resources(ResType type) {
  std::lock_guard lock(state().mutex);
  ResFile* file = fileOf(state().current);
  setError(noErr);
  if (!file) return 0;
  return SInt16(std::count_if(file->resources.begin(), file->resources.end(),
                              [&](const Resource& r) { return r.type == type; }));
}

Handle Get1IndResource(ResType type, SInt16 index) {
  std::lock_guard lock(state().mutex);
  ResFile* file = fileOf(state().current);
  SInt16 seen = 0;
  if (file && index > 0)
    for (Resource& r : file->resources)
      if (r.type == type && ++seen == index) {
        setError(noErr);
        return load(r);
      }
  setError(resNotFound);
  return nullptr;
}

void GetResInfo(Handle resource, ResID* id, ResType* type, Str255 name) {
  std::lock_guard lock(state().mutex);
  const Resource* r = resourceOf(resource);
  if (!r) {
    setError(resNotFound);
    return;
  }
  if (id) *id = r->id;
  if (type) *type = r->type;
  if (name) {
    name[0] = UInt8(r->name.size());
    std::memcpy(name + 1, r->name.data(), r->name.size());
  }
  setError(noErr);
}

// A changed resource keeps its bytes until written, whatever happens to its handle.
static void keepChangedBytes(Resource* r) {
  if (!r->changed) return;
  const Size size = GetHandleSize(r->handle);
  r->bytes.assign(reinterpret_cast<UInt8*>(*r->handle), reinterpret_cast<UInt8*>(*r->handle) + size);
}

void ReleaseResource(Handle resource) {
  std::lock_guard lock(state().mutex);
  Resource* r = resourceOf(resource);
  if (!r) {
    setError(resNotFound);
    return;
  }
  keepChangedBytes(r);
  DisposeHandle(r->handle);
  r->handle = nullptr;
  setError(noErr);
}

void DetachResource(Handle resource) {
  std::lock_guard lock(state().mutex);
  Resource* r = resourceOf(resource);
  if (!r) {
    setError(resNotFound);
    return;
  }
  keepChangedBytes(r);
  r->handle = nullptr;  // the caller owns it now
  setError(noErr);
}

void AddResource(Handle data, ResType type, ResID id, ConstStr255Param name) {
  std::lock_guard lock(state().mutex);
  ResFile* file = fileOf(state().current);
  if (!file || !file->writable || !data || resourceOf(data) || GetHandleSize(data) < 0 ||
      MemError() == memWZErr) {
    setError(addResFailed);
    return;
  }
  Resource r;
  r.type = type;
  r.id = id;
  if (name && name[0]) {
    r.named = true;
    r.name.assign(reinterpret_cast<const char*>(name + 1), name[0]);
  }
  r.handle = data;
  r.changed = true;
  const Size size = GetHandleSize(data);
  if (size > 0) r.bytes.assign(reinterpret_cast<UInt8*>(*data), reinterpret_cast<UInt8*>(*data) + size);
  file->resources.push_back(std::move(r));
  file->changed = true;
  setError(noErr);
}

void ChangedResource(Handle resource) {
  std::lock_guard lock(state().mutex);
  ResFile* owner = nullptr;
  Resource* r = resourceOf(resource, &owner);
  if (!r) {
    setError(resNotFound);
    return;
  }
  if (!owner->writable) {
    setError(wrPermErr);
    return;
  }
  r->changed = true;
  owner->changed = true;
  setError(noErr);
}

void RemoveResource(Handle resource) {
  std::lock_guard lock(state().mutex);
  ResFile* owner = nullptr;
  Resource* r = resourceOf(resource, &owner);
  if (!r || !owner->writable) {
    setError(rmvResFailed);
    return;
  }
  // The handle goes back to the caller, as a detached resource would.
  owner->resources.erase(owner->resources.begin() + (r - owner->resources.data()));
  owner->changed = true;
  setError(noErr);
}
