// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Memory Manager basics: nonrelocatable blocks (Ptr) and relocatable blocks (Handle).
//
// A Ptr is a heap block that knows its size. A Handle points to a master pointer, which points to
// the block; resizing a handle may move the block and updates the master pointer, so code that
// keeps the Handle (never *h across a resize) stays valid. Every live block and master pointer is
// recorded, so that disposing of something twice, or of a pointer that never came from here,
// answers memWZErr instead of corrupting the heap. MemError() reports the result of the last call
// on the calling thread.
#include "platform/carbon/MacTypes.h"

enum : OSErr {
  memROZErr = -99,   // operation on a read-only zone
  memAdrErr = -110,  // an address that is not a block of ours
  memSCErr = -116,   // a size check failed (a negative size)
};

// The result of the last Memory Manager call on this thread.
OSErr MemError();

// Nonrelocatable blocks. NewPtr answers null (memFullErr, or memSCErr for a negative size) on
// failure; a block of 0 bytes is a valid, distinct block.
Ptr NewPtr(Size byteCount);
Ptr NewPtrClear(Size byteCount);
void DisposePtr(Ptr p);  // null is accepted
Size GetPtrSize(Ptr p);  // 0 with memWZErr for a pointer that is not a live block
void SetPtrSize(Ptr p, Size newSize);  // a Ptr never moves: memFullErr when it cannot grow in place

// Relocatable blocks.
Handle NewHandle(Size byteCount);
Handle NewHandleClear(Size byteCount);
Handle NewEmptyHandle();  // a handle whose master pointer is null (no block yet)
void DisposeHandle(Handle h);  // null is accepted
Size GetHandleSize(Handle h);
void SetHandleSize(Handle h, Size newSize);  // keeps the leading bytes; new bytes are zero
void EmptyHandle(Handle h);  // frees the block, keeps the master pointer (null)
void ReallocateHandle(Handle h, Size byteCount);  // a fresh block of that size, old bytes lost

// New handle holding a copy of the bytes; *dstHndl is set to null on failure.
OSErr PtrToHand(const void* srcPtr, Handle* dstHndl, long size);
// Appends the bytes to the handle.
OSErr PtrAndHand(const void* ptr1, Handle hand2, long size);
// Replaces *theHndl by a new handle holding a copy of its bytes.
OSErr HandToHand(Handle* theHndl);
// Appends the bytes of aHndl to bHndl.
OSErr HandAndHand(Handle aHndl, Handle bHndl);

// Searches the handle from offset for the len1 bytes at ptr1 and replaces them by the len2 bytes
// at ptr2. A null ptr1 replaces the len1 bytes at offset without searching (a negative len1 means
// "to the end"); a null ptr2 only searches. Answers the offset just past the replacement (or of
// the match when only searching), or a negative value when the target was not found or offset
// lies past the end.
long Munger(Handle h, long offset, const void* ptr1, long len1, const void* ptr2, long len2);

void BlockMove(const void* srcPtr, void* destPtr, Size byteCount);
void BlockMoveData(const void* srcPtr, void* destPtr, Size byteCount);
void BlockZero(void* destPtr, Size byteCount);
