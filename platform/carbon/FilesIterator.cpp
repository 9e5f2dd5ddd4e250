// SPDX-License-Identifier: GPL-3.0-or-later
// Listing a folder's direct items in batches.
#include <dirent.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "platform/carbon/Files.h"
#include "platform/carbon/FilesCatalog.h"

using namespace filemanager;

struct OpaqueFSIterator {
  Key container = 0;
  DIR* dir = nullptr;
  statx_timestamp modifiedAtOpen{};
  bool changed = false;
};

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Iterators handed out and not yet closed; anything else passed in is refused.
std::unordered_set<FSIterator>& liveIterators() {
  static auto* set = new std::unordered_set<FSIterator>;
  return *set;
}

bool modifiedSince(DIR* dir, const statx_timestamp& then) {
  struct statx sx;
  if (statx(dirfd(dir), "", AT_EMPTY_PATH, STATX_MTIME, &sx) != 0) return true;
  return sx.stx_mtime.tv_sec != then.tv_sec || sx.stx_mtime.tv_nsec != then.tv_nsec;
}

}  // namespace

OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator) {
  if (!container || !iterator) return paramErr;
  if (iteratorFlags & kFSIterateReserved) return errFSBadIteratorFlags;
  if (iteratorFlags & kFSIterateSubtree) return errFSIteratorNotSupported;
  Lock lock(catalogMutex());
  Resolved folder;
  if (OSErr err = resolveRef(container, &folder)) return err;
  if (!folder.st.isDirectory()) return errFSNotAFolder;
  DIR* dir = opendir(folder.path.c_str());
  if (!dir) return errorFromErrno(errno);
  // The folder opened must be the one resolved, not something that took its place meanwhile.
  struct statx sx;
  if (statx(dirfd(dir), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &sx) != 0 ||
      sx.stx_ino != folder.st.id.inode ||
      makedev(sx.stx_dev_major, sx.stx_dev_minor) != folder.st.id.device) {
    closedir(dir);
    return fnfErr;
  }
  auto* it = new OpaqueFSIterator;
  it->container = folder.key;
  it->dir = dir;
  it->modifiedAtOpen = folder.st.sx.stx_mtime;
  liveIterators().insert(it);
  *iterator = it;
  return noErr;
}

OSErr FSCloseIterator(FSIterator iterator) {
  Lock lock(catalogMutex());
  if (!iterator || !liveIterators().erase(iterator)) return paramErr;
  closedir(iterator->dir);
  delete iterator;
  return noErr;
}

OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maxObjects, ItemCount* actualObjects,
                           Boolean* containerChanged, FSCatalogInfoBitmap whichInfo,
                           FSCatalogInfo* catalogInfos, FSRef* refs, FSSpec* specs,
                           HFSUniStr255* names) {
  if (actualObjects) *actualObjects = 0;
  if (containerChanged) *containerChanged = false;
  if (whichInfo & kFSCatInfoReserved) return errFSBadInfoBitmap;
  if (whichInfo != kFSCatInfoNone && !catalogInfos) return paramErr;
  if (maxObjects == 0) return errFSBadItemCount;
  Lock lock(catalogMutex());
  if (!iterator || !liveIterators().count(iterator)) return paramErr;
  Resolved folder;
  if (OSErr err = resolveKey(iterator->container, &folder)) return err;
  if (modifiedSince(iterator->dir, iterator->modifiedAtOpen)) iterator->changed = true;

  ItemCount count = 0;
  while (count < maxObjects) {
    errno = 0;
    const dirent* d = readdir(iterator->dir);
    if (!d) {
      if (errno) return errorFromErrno(errno);
      break;
    }
    if (!strcmp(d->d_name, ".") || !strcmp(d->d_name, "..") || isCompanionName(d->d_name)) continue;
    ItemStat st;
    if (OSErr err = statItem(dirfd(iterator->dir), d->d_name, &st)) {
      if (err != fnfErr) return err;
      iterator->changed = true;  // removed since the folder was listed
      continue;
    }
    Resolved item{enterItem(folder.key, d->d_name, st), joinPath(folder.path, d->d_name), st};
    if (catalogInfos && whichInfo) fillCatalogInfo(item, whichInfo, &catalogInfos[count]);
    if (refs) makeRef(item.key, &refs[count]);
    if (specs) specOf(item.key, &specs[count]);
    if (names) nameToUnicode(catalogName(item.key), &names[count]);
    ++count;
  }
  if (actualObjects) *actualObjects = count;
  if (containerChanged) *containerChanged = iterator->changed;
  return count == 0 ? errFSNoMoreItems : noErr;
}
