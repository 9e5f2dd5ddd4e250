// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// PooledList: a singly linked list whose cells come from the cell type's ObjectPool. A value is
// one machine word (a node or string reference, a number) or a record stored by value (an
// FSRef, a 256-byte string). Values are not owned: removing or clearing never releases what a
// cell held.
#include "foundation/ObjectPool.h"

template <class V>
class PooledList {
 public:
  struct Cell {
    V value;
    Cell* next;
  };
  using Pool = ObjectPool<Cell>;

  PooledList() = default;
  ~PooledList() { clear(); }
  PooledList(const PooledList&) = delete;
  PooledList& operator=(const PooledList&) = delete;

  Cell* head() const { return head_; }
  Cell* tail() const { return tail_; }
  Cell* cursor() const { return cursor_; }
  void setCursor(Cell* cell) { cursor_ = cell; }
  int count() const { return count_; }

  Cell* append(const V& value) {
    Cell* cell = Pool::shared().make(Cell{value, nullptr});
    cursor_ = tail_;
    if (tail_) tail_->next = cell;
    else head_ = cell;
    tail_ = cell;
    ++count_;
    return cell;
  }

  // False when the cell is not in this list.
  bool remove(Cell* cell) {
    Cell* previous = nullptr;
    Cell* at = head_;
    while (at && at != cell) previous = at, at = at->next;
    if (!at) return false;
    (previous ? previous->next : head_) = at->next;
    if (tail_ == at) tail_ = previous;
    if (cursor_ == at) cursor_ = previous;
    Pool::shared().dispose(at);
    --count_;
    return true;
  }

  // Relinks the cells in place: the same cells, in the opposite order. Nothing is taken from a
  // pool, so a reverse cannot fail halfway.
  void reverse() {
    if (count_ < 2) return;
    Cell* previous = nullptr;
    Cell* at = head_;
    tail_ = head_;
    while (at) {
      Cell* next = at->next;
      at->next = previous;
      previous = at;
      at = next;
    }
    head_ = previous;
  }

  void clear() {
    for (Cell* at = head_; at;) {
      Cell* next = at->next;
      Pool::shared().dispose(at);
      at = next;
    }
    head_ = tail_ = cursor_ = nullptr;
    count_ = 0;
  }

  template <class F>
  void forEach(F&& f) const {
    for (Cell* at = head_; at; at = at->next) f(at->value);
  }

 private:
  Cell* head_ = nullptr;
  Cell* tail_ = nullptr;
  Cell* cursor_ = nullptr;
  int count_ = 0;
};
