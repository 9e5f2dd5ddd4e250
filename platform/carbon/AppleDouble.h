// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// AppleDouble version 2 companions (RFC 1740): the file "._NAME" beside NAME holds what a Mac
// keeps beside a file's data: its resource fork (entry 2) and its Finder information (entry 9).
// macOS writes these on every volume without forks, so files copied from a Mac keep their forks
// here and ours travel back. Layout written here: header, entry 9 (32 bytes), then entry 2 last,
// so that the resource fork can grow in place.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/carbon/MacTypes.h"

namespace appledouble {

constexpr UInt32 kMagic = 0x00051607;
constexpr UInt32 kVersion = 0x00020000;
constexpr UInt32 kResourceForkEntry = 2;
constexpr UInt32 kFinderInfoEntry = 9;
constexpr std::size_t kHeaderSize = 26;
constexpr std::size_t kEntrySize = 12;
// More entries than this is a damaged header (the RFC defines fifteen kinds).
constexpr std::size_t kMaxEntries = 64;

struct Entry {
  UInt32 id = 0;
  UInt32 offset = 0;
  UInt32 length = 0;
};

struct Header {
  std::vector<Entry> entries;
  const Entry* find(UInt32 id) const;
};

// "/dir/._name" for "/dir/name"; empty for "/".
std::string companionPath(const std::string& itemPath);

// The header of a companion of fileSize bytes whose first bytes are given. False for anything
// that is not a sound version 2 header: wrong magic or version, too many entries, or an entry
// reaching past the end of the file.
bool parseHeader(const UInt8* bytes, std::size_t size, UInt64 fileSize, Header* out);

// Reads the companion's header. fnfErr when there is none; ioErr-like codes for read errors;
// a damaged companion is treated as absent (answers fnfErr) and is never written over in place.
OSErr readCompanion(const std::string& companion, Header* out, UInt64* fileSize);
// The bytes of one entry; fnfErr when the companion or the entry is missing.
OSErr readEntry(const std::string& companion, UInt32 id, std::vector<UInt8>* out);

// Makes sure the companion exists and its resource fork is the last entry, rewriting it (to a
// temporary file, then renamed over) when needed; other entries are kept. The Finder
// information given (32 bytes, big-endian) is used when the companion is new or has none.
// *dataOffset is where the fork's bytes begin, *lengthOffset where its length field is.
OSErr prepareResourceFork(const std::string& companion, const UInt8 finderInfo[32],
                          UInt32* dataOffset, UInt32* lengthOffset);
// Writes the Finder information entry (32 bytes, big-endian) of an existing companion.
OSErr writeFinderInfo(const std::string& companion, const UInt8 finderInfo[32]);

}  // namespace appledouble
