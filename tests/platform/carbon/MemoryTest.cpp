// SPDX-License-Identifier: GPL-3.0-or-later
// Memory Manager blocks and handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/carbon/Memory.h"

namespace {

std::string bytesOf(Handle h) { return std::string(*h, std::size_t(GetHandleSize(h))); }

TEST(MemoryTest, PointersKnowTheirSizeAndAreDisposedOfOnce) {
  Ptr p = NewPtr(100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(GetPtrSize(p), 100);
  std::memset(p, 'x', 100);
  SetPtrSize(p, 10);
  EXPECT_EQ(GetPtrSize(p), 10);
  Ptr cleared = NewPtrClear(64);
  ASSERT_NE(cleared, nullptr);
  EXPECT_EQ(std::string(cleared, 64), std::string(64, '\0'));
  Ptr empty = NewPtr(0);
  EXPECT_NE(empty, nullptr);
  EXPECT_NE(empty, p);

  DisposePtr(p);
  EXPECT_EQ(MemError(), noErr);
  DisposePtr(p);
  EXPECT_EQ(MemError(), memWZErr);
  char onStack[16];
  EXPECT_EQ(GetPtrSize(onStack), 0);
  EXPECT_EQ(MemError(), memWZErr);
  EXPECT_EQ(NewPtr(-1), nullptr);
  EXPECT_EQ(MemError(), memSCErr);
  DisposePtr(cleared);
  DisposePtr(empty);
  DisposePtr(nullptr);
  EXPECT_EQ(MemError(), noErr);
}

TEST(MemoryTest, HandlesResizeKeepingTheirBytes) {
  Handle h = NewHandle(0);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(*h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 0);
  SetHandleSize(h, 5);
  ASSERT_EQ(MemError(), noErr);
  std::memcpy(*h, "abcde", 5);
  SetHandleSize(h, 100000);  // large enough to move the block
  ASSERT_EQ(MemError(), noErr);
  EXPECT_EQ(std::string(*h, 5), "abcde");
  EXPECT_EQ((*h)[99999], 0);
  SetHandleSize(h, 3);
  EXPECT_EQ(bytesOf(h), "abc");
  SetHandleSize(h, -2);
  EXPECT_EQ(MemError(), memSCErr);
  EXPECT_EQ(GetHandleSize(h), 3);
  DisposeHandle(h);
  DisposeHandle(h);
  EXPECT_EQ(MemError(), memWZErr);

  Handle none = NewEmptyHandle();
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(*none, nullptr);
  EXPECT_EQ(PtrAndHand("xy", none, 2), noErr);
  EXPECT_EQ(bytesOf(none), "xy");
  DisposeHandle(none);
}

TEST(MemoryTest, CopyingAndAppending) {
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand("Docs:", &h, 5), noErr);
  ASSERT_EQ(PtrAndHand("file", h, 4), noErr);
  EXPECT_EQ(bytesOf(h), "Docs:file");
  // Appending a handle's own bytes, which the growth may move.
  ASSERT_EQ(PtrAndHand(*h, h, 4), noErr);
  EXPECT_EQ(bytesOf(h), "Docs:fileDocs");
  Handle copy = h;
  ASSERT_EQ(HandToHand(&copy), noErr);
  EXPECT_NE(copy, h);
  EXPECT_EQ(bytesOf(copy), bytesOf(h));
  ASSERT_EQ(HandAndHand(copy, h), noErr);
  EXPECT_EQ(GetHandleSize(h), 26);
  EXPECT_EQ(PtrAndHand("x", nullptr, 1), nilHandleErr);
  EXPECT_EQ(PtrToHand(nullptr, &copy, 3), paramErr);
  EXPECT_EQ(copy, nullptr);
  DisposeHandle(h);
}

TEST(MemoryTest, MungerInsertsReplacesAndSearches) {
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand("file", &h, 4), noErr);
  // Inserting at the front, as a path is built from its end.
  EXPECT_EQ(Munger(h, 0, nullptr, 0, "Docs:", 5), 5);
  EXPECT_EQ(Munger(h, 0, nullptr, 0, "Vol:", 4), 4);
  EXPECT_EQ(bytesOf(h), "Vol:Docs:file");
  EXPECT_EQ(Munger(h, 0, "Docs", 4, "Documents", 9), 13);
  EXPECT_EQ(bytesOf(h), "Vol:Documents:file");
  EXPECT_EQ(Munger(h, 0, ":", 1, nullptr, 0), 3);  // search only
  EXPECT_EQ(Munger(h, 4, ":", 1, "", 0), 13);      // deletes the colon after Documents
  EXPECT_EQ(bytesOf(h), "Vol:Documentsfile");
  EXPECT_LT(Munger(h, 0, "zzz", 3, "y", 1), 0);
  EXPECT_LT(Munger(h, 100, nullptr, 0, "y", 1), 0);
  EXPECT_EQ(Munger(h, 4, nullptr, -1, "x", 1), 5);  // replaces everything after offset 4
  EXPECT_EQ(bytesOf(h), "Vol:x");
  DisposeHandle(h);
}

}  // namespace
