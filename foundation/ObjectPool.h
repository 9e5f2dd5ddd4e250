// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ObjectPool: one process-wide allocator per object type. Objects are taken from blocks of 256
// and released onto a free list; blocks are never given back, so a released object's memory is
// always reused by the next request of the same type.
#include <cstddef>
#include <new>
#include <utility>

template <class T>
class ObjectPool {
 public:
  static constexpr std::size_t kBlockSize = 256;

  // The pool of T. Never destroyed: objects of static lifetime may release into it at exit.
  static ObjectPool& shared() {
    static ObjectPool* pool = new ObjectPool;
    return *pool;
  }

  // Raw storage for one T, the most recently released first; a new block only when none is free.
  // Throws std::bad_alloc when a block cannot be had.
  void* take() {
    if (!free_) grow();
    Slot* slot = free_;
    free_ = slot->link;
    slot->link = nullptr;
    --freeCount_;
    return slot->storage;
  }
  void give(void* storage) {
    if (!storage) return;
    Slot* slot = reinterpret_cast<Slot*>(static_cast<unsigned char*>(storage) - offsetof(Slot, storage));
    slot->link = free_;
    free_ = slot;
    ++freeCount_;
  }

  template <class... Args>
  T* make(Args&&... args) {
    void* storage = take();
    try {
      return ::new (storage) T(std::forward<Args>(args)...);
    } catch (...) {
      give(storage);
      throw;
    }
  }
  void dispose(T* object) {
    if (!object) return;
    object->~T();
    give(object);
  }

  std::size_t blockCount() const { return blocks_; }
  std::size_t freeCount() const { return freeCount_; }

 private:
  struct Slot {
    alignas(T) unsigned char storage[sizeof(T)];
    Slot* link;
  };

  ObjectPool() = default;

  void grow() {
    Slot* block = new Slot[kBlockSize];
    ++blocks_;
    // The first slot is handed out at once; the others go on the free list so that they are
    // handed out in address order.
    for (std::size_t i = kBlockSize; i-- > 1;) {
      block[i].link = free_;
      free_ = &block[i];
      ++freeCount_;
    }
    block[0].link = free_;
    free_ = &block[0];
    ++freeCount_;
  }

  Slot* free_ = nullptr;
  std::size_t blocks_ = 0;
  std::size_t freeCount_ = 0;
};
