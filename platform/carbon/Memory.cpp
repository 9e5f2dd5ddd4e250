// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Memory.h"

#include <malloc.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace {

// Every block starts with its size; 16 bytes keep the caller's bytes suitably aligned.
struct alignas(16) BlockHeader {
  Size size;
};
static_assert(sizeof(BlockHeader) == 16);

thread_local OSErr lastError = noErr;

struct Registry {
  std::mutex mutex;
  std::unordered_set<const void*> pointers;  // live Ptr blocks (the caller's address)
  std::unordered_set<const void*> handles;   // live master pointers
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: blocks may be freed during exit
  return *r;
}

OSErr setError(OSErr err) {
  lastError = err;
  return err;
}

BlockHeader* headerOf(const void* data) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(data)) -
                                        sizeof(BlockHeader));
}

// A raw block of the given size, or null (memSCErr / memFullErr already set).
char* allocateBlock(Size byteCount, bool clear) {
  if (byteCount < 0) {
    setError(memSCErr);
    return nullptr;
  }
  const auto count = static_cast<std::size_t>(byteCount);
  if (count > SIZE_MAX - sizeof(BlockHeader)) {
    setError(memFullErr);
    return nullptr;
  }
  void* raw = clear ? std::calloc(1, sizeof(BlockHeader) + count)
                    : std::malloc(sizeof(BlockHeader) + count);
  if (!raw) {
    setError(memFullErr);
    return nullptr;
  }
  auto* header = static_cast<BlockHeader*>(raw);
  header->size = byteCount;
  return reinterpret_cast<char*>(header + 1);
}

void freeBlock(char* data) {
  if (data) std::free(headerOf(data));
}

// Resizes a handle's block; new bytes are zero. The block may move.
OSErr resizeBlock(Handle h, Size newSize) {
  if (newSize < 0) return setError(memSCErr);
  if (!*h) {
    char* block = allocateBlock(newSize, true);
    if (!block) return lastError;
    *h = block;
    return setError(noErr);
  }
  const Size oldSize = headerOf(*h)->size;
  const auto count = static_cast<std::size_t>(newSize);
  if (count > SIZE_MAX - sizeof(BlockHeader)) return setError(memFullErr);
  void* raw = std::realloc(headerOf(*h), sizeof(BlockHeader) + count);
  if (!raw) return setError(memFullErr);
  auto* header = static_cast<BlockHeader*>(raw);
  header->size = newSize;
  char* data = reinterpret_cast<char*>(header + 1);
  if (newSize > oldSize) std::memset(data + oldSize, 0, static_cast<std::size_t>(newSize - oldSize));
  *h = data;
  return setError(noErr);
}

bool isLiveHandle(Handle h) {
  if (!h) return false;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.handles.count(h) != 0;
}

Handle makeHandle(Size byteCount, bool clear, bool empty) {
  auto* master = static_cast<Ptr*>(std::malloc(sizeof(Ptr)));
  if (!master) {
    setError(memFullErr);
    return nullptr;
  }
  *master = nullptr;
  if (!empty) {
    *master = allocateBlock(byteCount, clear);
    if (!*master) {
      std::free(master);
      return nullptr;
    }
  }
  Registry& r = registry();
  {
    std::lock_guard lock(r.mutex);
    r.handles.insert(master);
  }
  setError(noErr);
  return master;
}

// A registered nonrelocatable block, zeroed when asked.
Ptr newPointer(Size byteCount, bool clear) {
  char* block = allocateBlock(byteCount, clear);
  if (!block) return nullptr;
  Registry& r = registry();
  {
    std::lock_guard lock(r.mutex);
    r.pointers.insert(block);
  }
  setError(noErr);
  return block;
}

}  // namespace

OSErr MemError() { return lastError; }

Ptr NewPtr(Size byteCount) { return newPointer(byteCount, false); }

Ptr NewPtrClear(Size byteCount) { return newPointer(byteCount, true); }

void DisposePtr(Ptr p) {
  if (!p) {
    setError(noErr);
    return;
  }
  Registry& r = registry();
  {
    std::lock_guard lock(r.mutex);
    if (!r.pointers.erase(p)) {
      setError(memWZErr);
      return;
    }
  }
  freeBlock(p);
  setError(noErr);
}

Size GetPtrSize(Ptr p) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (!p || !r.pointers.count(p)) {
    setError(p ? memWZErr : nilHandleErr);
    return 0;
  }
  setError(noErr);
  return headerOf(p)->size;
}

void SetPtrSize(Ptr p, Size newSize) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (!p || !r.pointers.count(p)) {
    setError(p ? memWZErr : nilHandleErr);
    return;
  }
  if (newSize < 0) {
    setError(memSCErr);
    return;
  }
  BlockHeader* header = headerOf(p);
  // The allocator's block often has slack behind the requested size; growing into it keeps the
  // pointer where it is, which is all a nonrelocatable block may do.
  const std::size_t usable = malloc_usable_size(header) - sizeof(BlockHeader);
  if (static_cast<std::size_t>(newSize) > usable) {
    setError(memFullErr);
    return;
  }
  if (newSize > header->size)
    std::memset(p + header->size, 0, static_cast<std::size_t>(newSize - header->size));
  header->size = newSize;
  setError(noErr);
}

Handle NewHandle(Size byteCount) { return makeHandle(byteCount, false, false); }
Handle NewHandleClear(Size byteCount) { return makeHandle(byteCount, true, false); }
Handle NewEmptyHandle() { return makeHandle(0, false, true); }

void DisposeHandle(Handle h) {
  if (!h) {
    setError(noErr);
    return;
  }
  Registry& r = registry();
  {
    std::lock_guard lock(r.mutex);
    if (!r.handles.erase(h)) {
      setError(memWZErr);
      return;
    }
  }
  freeBlock(*h);
  std::free(h);
  setError(noErr);
}

Size GetHandleSize(Handle h) {
  if (!isLiveHandle(h)) {
    setError(h ? memWZErr : nilHandleErr);
    return 0;
  }
  setError(noErr);
  return *h ? headerOf(*h)->size : 0;
}

void SetHandleSize(Handle h, Size newSize) {
  if (!isLiveHandle(h)) {
    setError(h ? memWZErr : nilHandleErr);
    return;
  }
  resizeBlock(h, newSize);
}

void EmptyHandle(Handle h) {
  if (!isLiveHandle(h)) {
    setError(h ? memWZErr : nilHandleErr);
    return;
  }
  freeBlock(*h);
  *h = nullptr;
  setError(noErr);
}

void ReallocateHandle(Handle h, Size byteCount) {
  if (!isLiveHandle(h)) {
    setError(h ? memWZErr : nilHandleErr);
    return;
  }
  char* block = allocateBlock(byteCount, false);
  if (!block) return;
  freeBlock(*h);
  *h = block;
  setError(noErr);
}

OSErr PtrToHand(const void* srcPtr, Handle* dstHndl, long size) {
  if (!dstHndl) return setError(paramErr);
  *dstHndl = nullptr;
  if (size < 0) return setError(memSCErr);
  if (!srcPtr && size > 0) return setError(paramErr);
  Handle h = NewHandle(size);
  if (!h) return lastError;
  if (size > 0) std::memcpy(*h, srcPtr, static_cast<std::size_t>(size));
  *dstHndl = h;
  return setError(noErr);
}

OSErr PtrAndHand(const void* ptr1, Handle hand2, long size) {
  if (!isLiveHandle(hand2)) return setError(hand2 ? memWZErr : nilHandleErr);
  if (size < 0) return setError(memSCErr);
  if (size == 0) return setError(noErr);
  if (!ptr1) return setError(paramErr);
  // The source may lie inside the handle's own block, which the resize can move.
  std::vector<char> copy(static_cast<const char*>(ptr1), static_cast<const char*>(ptr1) + size);
  const Size oldSize = *hand2 ? headerOf(*hand2)->size : 0;
  if (size > LONG_MAX - oldSize) return setError(memFullErr);
  if (OSErr err = resizeBlock(hand2, oldSize + size)) return err;
  std::memcpy(*hand2 + oldSize, copy.data(), copy.size());
  return setError(noErr);
}

OSErr HandToHand(Handle* theHndl) {
  if (!theHndl || !isLiveHandle(*theHndl)) return setError(theHndl && *theHndl ? memWZErr : nilHandleErr);
  Handle source = *theHndl;
  const Size size = *source ? headerOf(*source)->size : 0;
  Handle copy = NewHandle(size);
  if (!copy) return lastError;
  if (size > 0) std::memcpy(*copy, *source, static_cast<std::size_t>(size));
  *theHndl = copy;
  return setError(noErr);
}

OSErr HandAndHand(Handle aHndl, Handle bHndl) {
  if (!isLiveHandle(aHndl)) return setError(aHndl ? memWZErr : nilHandleErr);
  const Size size = *aHndl ? headerOf(*aHndl)->size : 0;
  return PtrAndHand(*aHndl, bHndl, size);
}

long Munger(Handle h, long offset, const void* ptr1, long len1, const void* ptr2, long len2) {
  if (!isLiveHandle(h)) {
    setError(h ? memWZErr : nilHandleErr);
    return -1;
  }
  const long size = *h ? headerOf(*h)->size : 0;
  if (offset < 0 || offset > size || (ptr2 && len2 < 0)) {
    setError(noErr);
    return -1;
  }
  long start = offset;
  long length = 0;
  if (!ptr1) {
    length = (len1 < 0 || len1 > size - offset) ? size - offset : len1;
  } else {
    if (len1 < 0) {
      setError(paramErr);
      return -1;
    }
    const char* base = *h;
    const auto* pattern = static_cast<const char*>(ptr1);
    bool found = false;
    for (long i = offset; i + len1 <= size; ++i) {
      if (len1 == 0 || std::memcmp(base + i, pattern, static_cast<std::size_t>(len1)) == 0) {
        start = i;
        found = true;
        break;
      }
    }
    if (!found) {
      setError(noErr);
      return -1;
    }
    length = len1;
  }
  if (!ptr2) {
    setError(noErr);
    return start;
  }
  std::vector<char> replacement(static_cast<const char*>(ptr2),
                                static_cast<const char*>(ptr2) + len2);
  const long tail = size - start - length;
  const long newSize = size - length + len2;
  if (newSize > size) {
    if (resizeBlock(h, newSize) != noErr) return -1;
  }
  char* base = *h;
  if (tail > 0) std::memmove(base + start + len2, base + start + length, static_cast<std::size_t>(tail));
  if (len2 > 0) std::memcpy(base + start, replacement.data(), replacement.size());
  if (newSize < size && resizeBlock(h, newSize) != noErr) return -1;
  setError(noErr);
  return start + len2;
}

void BlockMove(const void* srcPtr, void* destPtr, Size byteCount) {
  if (srcPtr && destPtr && byteCount > 0)
    std::memmove(destPtr, srcPtr, static_cast<std::size_t>(byteCount));
}

void BlockMoveData(const void* srcPtr, void* destPtr, Size byteCount) {
  BlockMove(srcPtr, destPtr, byteCount);
}

void BlockZero(void* destPtr, Size byteCount) {
  if (destPtr && byteCount > 0) std::memset(destPtr, 0, static_cast<std::size_t>(byteCount));
}
