// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PathComponents.h"

#include <sched.h>

#include <cstring>
#include <vector>

#include "platform/cf/CFArray.h"

#include "platform/carbon/Aliases.h"
#include "platform/carbon/Memory.h"
#include "platform/carbon/Resources.h"
#include "support/FileKinds.h"
#include "support/LogFile.h"
#include "support/events/FinderEvents.h"
#include "support/files/FileManagerUtilities.h"

namespace {

OSErr folderIfMissing(const FSRef* parent, CFStringRef name, FSRef* folder) {
  const CFIndex length = CFStringGetLength(name);
  std::vector<UniChar> units(std::size_t(length ? length : 1));
  CFStringGetCharacters(name, CFRangeMake(0, length), units.data());
  const OSErr found = FSMakeFSRefUnicode(parent, UniCharCount(length), units.data(), kTextEncodingUnknown, folder);
  if (found != fnfErr) return found;
  return FSCreateDirectoryUnicode(parent, UniCharCount(length), units.data(), kFSCatInfoNone, nullptr, folder,
                                  nullptr, nullptr);
}

}  // namespace

void SplitPath(CFStringRef path, PathComponentList& list) {
  if (!path) return;
  CFArrayRef pieces = CFStringCreateArrayBySeparatingStrings(nullptr, path, CFSTR("/"));
  if (!pieces) return;
  for (CFIndex i = 0; i < CFArrayGetCount(pieces); ++i) {
    const auto piece = static_cast<CFStringRef>(CFArrayGetValueAtIndex(pieces, i));
    if (CFStringGetLength(piece) > 0) list.append(static_cast<CFStringRef>(CFRetain(piece)));
  }
  CFRelease(pieces);
}

OSErr GetPathComponents(const FSRef* item, PathComponentList& list) {
  ReleasePathComponents(list);
  list.clear();
  FSCatalogInfo info;
  HFSUniStr255 name;
  OSErr err = FSGetCatalogInfo(item, kFSCatInfoNodeFlags, &info, &name, nullptr, nullptr);
  if (err) return err;
  if (info.nodeFlags & kFSNodeIsDirectoryMask)
    list.append(CFStringCreateWithCharacters(nullptr, name.unicode, name.length));
  FSRef at = *item;
  const FSRef zero{};
  for (int depth = 0; depth < 4096; ++depth) {
    FSRef parent;
    if ((err = fsutil::GetParentRef(&at, &parent)) != noErr) break;
    // The root's parent is all zero bytes: the climb is done.
    if (!std::memcmp(&parent, &zero, sizeof parent)) break;
    if ((err = fsutil::GetItemName(&parent, &name)) != noErr) break;
    list.append(CFStringCreateWithCharacters(nullptr, name.unicode, name.length));
    at = parent;
  }
  list.reverse();
  return err;
}

Boolean PathHasPrefix(const PathComponentList& a, const PathComponentList& b) {
  if (b.count() > a.count()) return false;
  auto* x = a.head();
  for (auto* y = b.head(); y; y = y->next, x = x->next)
    if (CFStringCompare(x->value, y->value, kCFCompareCaseInsensitive) != kCFCompareEqualTo) return false;
  return true;
}

void DropLeadingComponents(PathComponentList& list, int n) {
  for (int i = 0; i < n && list.head(); ++i) {
    auto* cell = list.head();
    CFRelease(cell->value);
    list.remove(cell);
  }
}

void ReleasePathComponents(PathComponentList& list) {
  for (auto* cell = list.head(); cell; cell = cell->next)
    if (cell->value) {
      CFRelease(cell->value);
      cell->value = nullptr;
    }
}

OSErr CreateFolders(const FSRef* parent, const PathComponentList& list, FSRef* innermost) {
  if (!list.head()) return noErr;
  FSRef at = *parent;
  for (auto* cell = list.head(); cell; cell = cell->next) {
    FSRef next;
    if (OSErr err = folderIfMissing(&at, cell->value, &next)) return err;
    at = next;
  }
  *innermost = at;
  return noErr;
}

OSErr CreateFileAlongPath(const FSRef* parent, const PathComponentList& list, CFStringRef name, FSRef* file) {
  FSRef folder = *parent;
  if (list.head())
    if (OSErr err = CreateFolders(parent, list, &folder)) return err;
  // Type and creator 0, as a plain file is made.
  FSRef made;
  const CFIndex length = CFStringGetLength(name);
  std::vector<UniChar> units(std::size_t(length ? length : 1));
  CFStringGetCharacters(name, CFRangeMake(0, length), units.data());
  OSErr err = FSMakeFSRefUnicode(&folder, UniCharCount(length), units.data(), kTextEncodingUnknown, &made);
  if (err == fnfErr)
    err = FSCreateFileUnicode(&folder, UniCharCount(length), units.data(), kFSCatInfoNone, nullptr, &made, nullptr);
  if (!err && file) *file = made;
  return err;
}

OSErr ListFilesInFolder(const FSRef* folder, FileRefList& list) {
  Handle refs = nullptr;
  ItemCount count = 0;
  Boolean changed = false;
  if (OSErr err = fsutil::GetDirectoryItems(folder, &refs, &count, &changed)) return err;
  for (ItemCount i = 0; i < count; ++i) {
    const FSRef* ref = reinterpret_cast<const FSRef*>(*refs) + i;
    if (IsFile(ref)) list.append(*ref);
  }
  DisposeHandle(refs);
  return noErr;
}

CFStringRef GetFinderComment(const FSRef* item) {
  CFStringRef comment = nullptr;
  if (aeutil::GetFinderCommentEvent(item, &comment, YieldingIdleProc) != noErr) {
    if (comment) CFRelease(comment);
    return nullptr;
  }
  return comment;
}

OSErr SetFinderComment(const FSRef* item, CFStringRef comment) {
  return aeutil::SetFinderCommentEvent(item, comment, YieldingIdleProc);
}

Boolean YieldingIdleProc(EventRecord*, SInt32* sleepTime, RgnHandle* mouseRgn) {
  if (sleepTime) *sleepTime = 10;
  if (mouseRgn) *mouseRgn = nullptr;
  sched_yield();
  return false;
}

OSErr OpenAliasResourceTarget(const FSRef* file) {
  // Read-only: resolving needs nothing more, and read-only files and volumes work too.
  const ResFileRefNum map = FSOpenResFile(file, fsRdPerm);
  if (map == -1) return ResError();
  OSErr err = noErr;
  Handle alias = Get1Resource(typeAlias, 128);
  if (!alias) {
    err = ResError();
  } else {
    FSRef target;
    err = FSResolveAliasWithMountFlags(nullptr, reinterpret_cast<AliasHandle>(alias), &target, nullptr, 0);
    if (!err) err = OSErr(OpenWithDefaultApplication(&target));
    ReleaseResource(alias);
  }
  CloseResFile(map);
  return err;
}

OSErr OpenDocumentsInSelf(long n, const FSSpec* specs) {
  if (n <= 0 || !specs) return paramErr;
  AEDescList list;
  if (OSErr err = AECreateList(nullptr, 0, false, &list)) return err;
  OSErr err = noErr;
  for (long i = 0; i < n && !err; ++i) {
    FSRef ref;
    AliasHandle alias = nullptr;
    err = FSpMakeFSRef(&specs[i], &ref);
    if (!err) err = FSNewAlias(nullptr, &ref, &alias);
    if (!err) err = AEPutPtr(&list, 0, typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)));
    DisposeHandle(reinterpret_cast<Handle>(alias));
  }
  const ProcessSerialNumber self{0, kCurrentProcess};
  AEAddressDesc address;
  AppleEvent event;
  AEInitializeDesc(&address);
  AEInitializeDesc(&event);
  if (!err) err = AECreateDesc(typeProcessSerialNumber, &self, sizeof self, &address);
  if (!err) err = AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, &address, kAutoGenerateReturnID, kAnyTransactionID, &event);
  if (!err) err = AEPutParamDesc(&event, keyDirectObject, &list);
  if (!err) err = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr);
  AEDisposeDesc(&event);
  AEDisposeDesc(&address);
  AEDisposeDesc(&list);
  return err;
}
