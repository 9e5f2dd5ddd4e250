// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the File Manager: the catalog of every item this process has handed out a reference to.
//
// An entry holds the item's identity (device, inode, birth stamp) and where it was last seen:
// its parent's entry and its name there. A path is rebuilt from that chain, so renaming or moving
// a folder through the File Manager changes one entry and every item below it follows. Entries
// are never reused: a key names one item for the life of the process.
//
// Everything here expects catalogMutex() to be held by the caller.
#include "platform/carbon/Files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <mutex>
#include <string>
#include <vector>

namespace filemanager {

using Key = UInt64;  // 0 is no entry

enum StampKind : UInt32 { kNoStamp = 0, kBirthTime = 1, kGeneration = 2 };

struct Identity {
  UInt64 device = 0;
  UInt64 inode = 0;
  SInt64 stampSeconds = 0;  // birth time, or the inode generation number
  UInt32 stampNanos = 0;
  UInt32 stampKind = kNoStamp;
};

// Same device and inode, and, where both sides carry a stamp of one kind, the same stamp:
// an inode number given to a new item after the old one was deleted does not match.
bool sameItem(const Identity& a, const Identity& b);

struct ItemStat {
  Identity id;
  struct statx sx {};
  bool isDirectory() const { return S_ISDIR(sx.stx_mode); }
  bool isSymlink() const { return S_ISLNK(sx.stx_mode); }
};

// The File Manager result for an errno value.
OSErr errorFromErrno(int error);

// Facts about path (relative to dirfd, or absolute with AT_FDCWD); a final symbolic link is not
// followed.
OSErr statItem(int dirfd, const char* path, ItemStat* out);

std::recursive_mutex& catalogMutex();

struct Resolved {
  Key key = 0;
  std::string path;  // absolute, no symbolic links before the last component
  ItemStat st;
};

// The item a reference names, found where it now is. errFSBadFSRef for bytes that are not a
// reference of this process, nsvErr for the all-zero reference or a volume that is gone,
// fnfErr for an item that no longer exists.
OSErr resolveRef(const FSRef* ref, Resolved* out);
OSErr resolveKey(Key key, Resolved* out);
void makeRef(Key key, FSRef* ref);

// The item at a path, entered into the catalog with all its folders.
OSErr refFromPath(const std::string& path, bool followLeafLink, Resolved* out);

// The item called name inside the folder parent (errFSNotAFolder when parent is not a folder).
OSErr lookupChild(const Resolved& parent, const std::string& name, Resolved* out);

// Records an item seen as name inside the entry parent (0 only for "/"); answers its key.
Key enterItem(Key parent, const std::string& name, const ItemStat& st);
void noteRenamed(Key key, const std::string& newName);
void noteMoved(Key key, Key newParent);
void noteDeleted(Key key);

// Catalog facts of a known entry.
bool isVolumeRoot(Key key);
Key catalogParent(Key key);             // 0 for a volume's root folder
bool isWithin(Key key, Key ancestor);   // key is ancestor or lies below it
std::string catalogName(Key key);       // the item's name; a volume root's is the volume name
FSVolumeRefNum volumeOf(Key key);
UInt32 nodeIdOf(Key key);
UInt32 parentIdOf(Key key);             // fsRtParID for a volume's root folder
void specOf(Key key, FSSpec* spec);

// nsvErr for an unknown volume; 0 stands for the working directory's volume.
OSErr deviceOfVolume(FSVolumeRefNum vRefNum, UInt64* device);
OSErr volumeRootKey(UInt64 device, Key* key);
// dirNFErr when no item of this process's catalog has that ID on the device.
OSErr keyForId(UInt64 device, UInt32 id, Key* key);
// Volumes in vRefNum order (index 0 is -100).
std::size_t volumeCount();
UInt64 volumeDeviceAt(std::size_t index);
// Enters every mounted file system of /proc/self/mountinfo (pseudo file systems left out) as a
// volume, so that index and name lookups see volumes no reference has reached yet.
void enterMountedVolumes();
// nsvErr when no mounted volume has that name (compared ignoring case, as HFS names are).
OSErr deviceOfVolumeNamed(const std::string& name, UInt64* device);

// The item that (volume, folder ID, name) names; names may be colon paths. On fnfErr *folder
// is the folder that would hold the missing item (0 when none does) and *leaf its name.
OSErr locateSpec(FSVolumeRefNum vRefNum, SInt32 dirID, const std::string& name, Resolved* out,
                 Key* folder, std::string* leaf);
OSErr locateColonPath(FSVolumeRefNum vRefNum, SInt32 dirID, const std::string& name,
                      Resolved* out, Key* folder, std::string* leaf);

// A file "._NAME" is the AppleDouble companion of NAME: never an item of its own.
inline bool isCompanionName(const std::string& name) {
  return name.size() > 2 && name[0] == '.' && name[1] == '_';
}
// The names of a folder's items (companions left out), sorted as a Mac catalog is.
std::vector<std::string> visibleItems(const std::string& folder);

// Names: UTF-16 from callers to POSIX bytes and back.
OSErr nameFromUnicode(const UniChar* name, UniCharCount length, std::string* out);
void nameToUnicode(const std::string& name, HFSUniStr255* out);
std::string joinPath(const std::string& folder, const std::string& name);

// Catalog information of a resolved item: fills the fields whichInfo names, leaves the others.
void fillCatalogInfo(const Resolved& item, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* info);
// The item's Finder information as an AppleDouble companion keeps it (32 bytes, big-endian).
void finderInfoForCompanion(const Resolved& item, UInt8 out[32]);
OSErr applyCatalogInfo(const Resolved& item, FSCatalogInfoBitmap whichInfo,
                       const FSCatalogInfo* info);

// Open forks (kept by the fork table): kFSNodeDataOpenMask | kFSNodeForkOpenMask when any fork
// of the item is open, else 0.
UInt16 openForkFlags(const Identity& id);

}  // namespace filemanager
