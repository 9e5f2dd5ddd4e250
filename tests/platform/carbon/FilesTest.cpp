// SPDX-License-Identifier: GPL-3.0-or-later
// References, paths, creation, renaming, moving, deleting, catalog information, specifications.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <cstring>
#include <set>

#include "tests/platform/carbon/FileManagerTestSupport.h"

namespace {

bool isZero(const FSRef& ref) {
  static const FSRef zero{};
  return !std::memcmp(&ref, &zero, sizeof ref);
}

FSCatalogInfo infoOf(const FSRef& ref, FSCatalogInfoBitmap which, HFSUniStr255* name = nullptr,
                     FSSpec* spec = nullptr, FSRef* parent = nullptr) {
  FSCatalogInfo info{};
  EXPECT_EQ(FSGetCatalogInfo(&ref, which, &info, name, spec, parent), noErr);
  return info;
}

std::vector<UInt8> pascal(const std::string& s) {
  std::vector<UInt8> bytes(s.size() + 1, UInt8(s.size()));
  std::memcpy(bytes.data() + 1, s.data(), s.size());
  return bytes;
}

OSErr refFor(const std::string& path, FSRef* ref, Boolean* isFolder = nullptr) {
  return FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), ref, isFolder);
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

TEST_F(FileManagerTest, LookingUpAMissingItemIsFileNotFound) {
  FSRef ref;
  EXPECT_EQ(lookUp(workRef, "missing", &ref), fnfErr);
  EXPECT_EQ(lookUp(workRef, "", &ref), bdNamErr);
  EXPECT_EQ(lookUp(workRef, "a/b", &ref), bdNamErr);
  EXPECT_EQ(lookUp(workRef, QString(QChar(0)) + "x", &ref), bdNamErr);
  EXPECT_EQ(lookUp(workRef, "..", &ref), bdNamErr);
  EXPECT_EQ(FSMakeFSRefUnicode(&workRef, 3, nullptr, kTextEncodingUnknown, &ref), paramErr);
  EXPECT_EQ(FSMakeFSRefUnicode(nullptr, 1, units("x"), kTextEncodingUnknown, &ref), paramErr);
  EXPECT_EQ(FSMakeFSRefUnicode(&workRef, 1, units("x"), kTextEncodingUnknown, nullptr), paramErr);
}

TEST_F(FileManagerTest, ACreatedFolderIsTheItemFoundByName) {
  FSRef created, found, other;
  FSSpec spec;
  UInt32 dirID = 0;
  ASSERT_EQ(FSCreateDirectoryUnicode(&workRef, 5, units("Words"), kFSCatInfoNone, nullptr, &created,
                                     &spec, &dirID),
            noErr);
  EXPECT_TRUE(QFileInfo(work() + "/Words").isDir());
  ASSERT_EQ(lookUp(workRef, "Words", &found), noErr);
  EXPECT_EQ(FSCompareFSRefs(&created, &found), noErr);
  EXPECT_EQ(infoOf(found, kFSCatInfoNodeID).nodeID, dirID);
  EXPECT_EQ(SInt32(spec.parID), SInt32(infoOf(workRef, kFSCatInfoNodeID).nodeID));

  EXPECT_EQ(makeFolder(workRef, "Words", &other), dupFNErr);
  ASSERT_EQ(makeFile(workRef, "note.txt", &other), noErr);
  EXPECT_EQ(makeFile(workRef, "note.txt", &other), dupFNErr);
  EXPECT_EQ(FSCompareFSRefs(&created, &other), errFSRefsDifferent);
  EXPECT_EQ(lookUp(other, "x", &found), errFSNotAFolder);
}

TEST_F(FileManagerTest, PathsRoundTrip) {
  FSRef sub, back;
  ASSERT_EQ(makeFolder(workRef, "sub", &sub), noErr);
  EXPECT_EQ(pathOf(sub), workPath() + "/sub");
  Boolean isFolder = false;
  const std::string path = pathOf(sub);
  ASSERT_EQ(refFor(path, &back, &isFolder), noErr);
  EXPECT_TRUE(isFolder);
  EXPECT_EQ(FSCompareFSRefs(&sub, &back), noErr);

  // Spellings of the same folder give the same item.
  for (const std::string& spelling : {path + "/", path + "/.", path + "//../sub", workPath() + "//sub"}) {
    FSRef ref;
    ASSERT_EQ(refFor(spelling, &ref), noErr) << spelling;
    EXPECT_EQ(FSCompareFSRefs(&sub, &ref), noErr) << spelling;
  }
  EXPECT_EQ(refFor(workPath() + "/nothing/here", &back), fnfErr);
  EXPECT_EQ(refFor("", &back), fnfErr);

  // A link at the end of a path is followed unless asked not to.
  FSRef viaLink, link;
  const std::string linkPath = workPath() + "/link";
  ASSERT_EQ(symlink("sub", linkPath.c_str()), 0);
  ASSERT_EQ(refFor(linkPath, &viaLink, &isFolder), noErr);
  EXPECT_TRUE(isFolder);
  EXPECT_EQ(FSCompareFSRefs(&sub, &viaLink), noErr);
  ASSERT_EQ(FSPathMakeRefWithOptions(reinterpret_cast<const UInt8*>(linkPath.c_str()),
                                     kFSPathMakeRefDoNotFollowLeafSymlink, &link, &isFolder),
            noErr);
  EXPECT_FALSE(isFolder);
  EXPECT_EQ(pathOf(link), linkPath);
}

TEST_F(FileManagerTest, AReferenceFollowsItsItemThroughRenamesAndMoves) {
  FSRef folder, file, dest, renamedRef;
  ASSERT_EQ(makeFolder(workRef, "A", &folder), noErr);
  ASSERT_EQ(makeFile(folder, "f.txt", &file), noErr);
  ASSERT_EQ(makeFolder(workRef, "Dest", &dest), noErr);

  ASSERT_EQ(FSRenameUnicode(&folder, 1, units("B"), kTextEncodingUnknown, &renamedRef), noErr);
  EXPECT_EQ(FSCompareFSRefs(&folder, &renamedRef), noErr);
  EXPECT_EQ(pathOf(folder), workPath() + "/B");
  EXPECT_EQ(pathOf(file), workPath() + "/B/f.txt");  // the item inside follows its folder

  ASSERT_EQ(FSMoveObject(&file, &dest, nullptr), noErr);
  EXPECT_EQ(pathOf(file), workPath() + "/Dest/f.txt");
  ASSERT_EQ(FSMoveObject(&folder, &dest, nullptr), noErr);
  EXPECT_EQ(pathOf(folder), workPath() + "/Dest/B");
  EXPECT_FALSE(QFileInfo::exists(work() + "/B"));

  // Refusals leave everything where it was.
  FSRef inner;
  ASSERT_EQ(makeFolder(folder, "inner", &inner), noErr);
  EXPECT_EQ(FSMoveObject(&folder, &inner, nullptr), badMovErr);
  EXPECT_EQ(FSMoveObject(&folder, &folder, nullptr), badMovErr);
  EXPECT_EQ(FSMoveObject(&dest, &file, nullptr), errFSNotAFolder);
  EXPECT_EQ(FSRenameUnicode(&file, 1, units("B"), kTextEncodingUnknown, nullptr), dupFNErr);
  EXPECT_EQ(FSRenameUnicode(&file, 3, units("x/y"), kTextEncodingUnknown, nullptr), bdNamErr);
  EXPECT_EQ(pathOf(file), workPath() + "/Dest/f.txt");
  EXPECT_EQ(pathOf(inner), workPath() + "/Dest/B/inner");

  // Renames done behind the File Manager's back are followed too.
  const std::string d = workPath() + "/Dest";
  ASSERT_EQ(std::rename((d + "/f.txt").c_str(), (d + "/g").c_str()), 0);
  EXPECT_EQ(pathOf(file), d + "/g");
  ASSERT_EQ(std::rename(d.c_str(), (workPath() + "/Z").c_str()), 0);
  EXPECT_EQ(pathOf(file), workPath() + "/Z/g");
  EXPECT_EQ(pathOf(inner), workPath() + "/Z/B/inner");
}

TEST_F(FileManagerTest, AReferenceToADeletedItemFailsEvenWhenANewItemTakesItsName) {
  FSRef file, folder, replacement;
  ASSERT_EQ(makeFile(workRef, "x", &file), noErr);
  ASSERT_EQ(makeFolder(workRef, "d", &folder), noErr);
  ASSERT_EQ(FSDeleteObject(&file), noErr);
  EXPECT_FALSE(QFileInfo::exists(work() + "/x"));
  UInt8 path[4098];
  EXPECT_EQ(FSRefMakePath(&file, path, sizeof path), fnfErr);
  ASSERT_EQ(makeFile(workRef, "x", &replacement), noErr);
  EXPECT_EQ(FSRefMakePath(&file, path, sizeof path), fnfErr);
  EXPECT_EQ(FSCompareFSRefs(&file, &replacement), fnfErr);

  // The same, done behind the File Manager's back, for a folder and then a file.
  ASSERT_TRUE(QDir(work()).rmdir("d"));
  EXPECT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);
  ASSERT_TRUE(QDir(work()).mkdir("d"));
  EXPECT_EQ(FSRefMakePath(&folder, path, sizeof path), fnfErr);
  ASSERT_TRUE(QFile::remove(work() + "/x"));
  writeFile(work() + "/x", "new");
  EXPECT_EQ(FSRefMakePath(&replacement, path, sizeof path), fnfErr);

  // A folder with items in it is not deleted.
  FSRef full, inside;
  ASSERT_EQ(makeFolder(workRef, "full", &full), noErr);
  ASSERT_EQ(makeFile(full, "f", &inside), noErr);
  EXPECT_EQ(FSDeleteObject(&full), fBsyErr);
  ASSERT_EQ(FSDeleteObject(&inside), noErr);
  EXPECT_EQ(FSDeleteObject(&full), noErr);
  EXPECT_EQ(FSDeleteObject(&full), fnfErr);
}

TEST_F(FileManagerTest, MakingAPathRefusesBadReferencesAndLeavesAShortBufferAlone) {
  FSRef zero{}, forged = workRef;
  forged.hidden[20] ^= 1;
  UInt8 small[64];
  EXPECT_EQ(FSRefMakePath(&zero, small, sizeof small), nsvErr);
  EXPECT_EQ(FSRefMakePath(&forged, small, sizeof small), errFSBadFSRef);
  EXPECT_EQ(FSRefMakePath(nullptr, small, sizeof small), paramErr);
  EXPECT_EQ(FSRefMakePath(&workRef, nullptr, 10), paramErr);

  const std::string path = workPath();
  std::vector<UInt8> buffer(path.size() + 16, 0xAB);
  EXPECT_EQ(FSRefMakePath(&workRef, buffer.data(), UInt32(path.size())), pathTooLongErr);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](UInt8 b) { return b == 0xAB; }));
  EXPECT_EQ(FSRefMakePath(&workRef, buffer.data(), 0), pathTooLongErr);
  ASSERT_EQ(FSRefMakePath(&workRef, buffer.data(), UInt32(path.size() + 1)), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), path);
  EXPECT_EQ(buffer[path.size() + 1], 0xAB);
}

TEST_F(FileManagerTest, NamesBeyondAsciiRoundTrip) {
  const QString name = QString::fromUtf8("Wörterbücher 📚 日本語");
  FSRef folder, found;
  ASSERT_EQ(makeFolder(workRef, name, &folder), noErr);
  EXPECT_TRUE(QFileInfo(work() + '/' + name).isDir());
  EXPECT_EQ(pathOf(folder), workPath() + "/" + name.toStdString());
  HFSUniStr255 outName;
  infoOf(folder, kFSCatInfoNone, &outName);
  EXPECT_EQ(nameOf(outName), name);
  ASSERT_EQ(lookUp(workRef, name, &found), noErr);
  EXPECT_EQ(FSCompareFSRefs(&folder, &found), noErr);

  // A POSIX name that is not UTF-8 comes back as escape units and is found by them.
  const std::string raw = workPath() + "/\xff\xfe.txt";
  ASSERT_EQ(close(open(raw.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
  FSRef rawRef;
  ASSERT_EQ(refFor(raw, &rawRef), noErr);
  infoOf(rawRef, kFSCatInfoNone, &outName);
  ASSERT_EQ(outName.length, 6);
  EXPECT_EQ(outName.unicode[0], 0xDCFF);
  EXPECT_EQ(outName.unicode[1], 0xDCFE);
  ASSERT_EQ(FSMakeFSRefUnicode(&workRef, outName.length, outName.unicode, kTextEncodingUnknown, &found),
            noErr);
  EXPECT_EQ(pathOf(found), raw);
  EXPECT_EQ(FSDeleteObject(&found), noErr);  // Qt cannot remove such a name when cleaning up
  const UniChar loneHigh[] = {'a', 0xD800};
  EXPECT_EQ(FSMakeFSRefUnicode(&workRef, 2, loneHigh, kTextEncodingUnknown, &found), bdNamErr);
}

TEST_F(FileManagerTest, CatalogInformationDescribesTheItem) {
  FSRef folder, file, parent, other;
  ASSERT_EQ(makeFolder(workRef, "F", &folder), noErr);
  ASSERT_EQ(makeFile(folder, "data.bin", &file), noErr);
  writeFile(work() + "/F/data.bin", QByteArray(1234, 'x'));
  ASSERT_EQ(makeFile(folder, "second", &other), noErr);

  const FSCatalogInfo folderInfo =
      infoOf(folder, kFSCatInfoNodeFlags | kFSCatInfoNodeID | kFSCatInfoValence | kFSCatInfoVolume);
  EXPECT_TRUE(folderInfo.nodeFlags & kFSNodeIsDirectoryMask);
  EXPECT_EQ(folderInfo.valence, 2u);
  HFSUniStr255 name;
  FSSpec spec;
  const FSCatalogInfo info = infoOf(file, kFSCatInfoGettableInfo, &name, &spec, &parent);
  EXPECT_FALSE(info.nodeFlags & kFSNodeIsDirectoryMask);
  EXPECT_EQ(info.parentDirID, folderInfo.nodeID);
  EXPECT_EQ(info.volume, folderInfo.volume);
  EXPECT_NE(info.nodeID, folderInfo.nodeID);
  EXPECT_EQ(nameOf(name), "data.bin");
  EXPECT_EQ(FSCompareFSRefs(&parent, &folder), noErr);
  EXPECT_EQ(SInt16(spec.vRefNum), folderInfo.volume);
  EXPECT_EQ(SInt32(spec.parID), SInt32(folderInfo.nodeID));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(spec.name + 1), spec.name[0]), "data.bin");
  EXPECT_EQ(info.dataLogicalSize, 1234u);

  FSPermissionInfo permissions;
  std::memcpy(&permissions, info.permissions, sizeof permissions);
  struct stat st;
  ASSERT_EQ(stat((workPath() + "/F/data.bin").c_str(), &st), 0);
  EXPECT_EQ(permissions.mode, UInt16(st.st_mode));
  EXPECT_TRUE(S_ISREG(permissions.mode));
  EXPECT_EQ(permissions.userID, getuid());

  // Dates count seconds from 1904.
  const qint64 mtime = QFileInfo(work() + "/F/data.bin").lastModified().toSecsSinceEpoch();
  const SInt64 seconds = (SInt64(info.contentModDate.highSeconds) << 32) | info.contentModDate.lowSeconds;
  EXPECT_EQ(seconds - 2082844800, mtime);
}

TEST_F(FileManagerTest, SettableInformationReachesTheDisk) {
  FSRef file;
  ASSERT_EQ(makeFile(workRef, "doc", &file), noErr);
  FSCatalogInfo info{};
  FileInfo finder{};
  finder.fileType = FOUR_CHAR_CODE("TEXT");
  finder.fileCreator = FOUR_CHAR_CODE("Vcbl");
  std::memcpy(info.finderInfo, &finder, sizeof finder);
  info.contentModDate = {0, 3000000000u, 0x8000};  // 1999-01-24 05:20:00.5 UTC
  info.createDate = {0, 2000000000u, 0};
  FSPermissionInfo permissions{getuid(), getgid(), 0, 0, 0640, 0};
  std::memcpy(info.permissions, &permissions, sizeof permissions);
  const OSErr err = FSSetCatalogInfo(
      &file, kFSCatInfoFinderInfo | kFSCatInfoContentMod | kFSCatInfoCreateDate | kFSCatInfoPermissions,
      &info);
  if (err == wrgVolTypErr) GTEST_SKIP() << "no user attributes on this file system";
  ASSERT_EQ(err, noErr);

  const std::string path = workPath() + "/doc";
  EXPECT_EQ(getxattr(path.c_str(), "user.vocabulon.finderinfo", nullptr, 0), 16);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 3000000000ll - 2082844800);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const FSCatalogInfo back = infoOf(file, kFSCatInfoFinderInfo | kFSCatInfoCreateDate | kFSCatInfoContentMod);
  FileInfo finderBack;
  std::memcpy(&finderBack, back.finderInfo, sizeof finderBack);
  EXPECT_EQ(finderBack.fileType, FOUR_CHAR_CODE("TEXT"));
  EXPECT_EQ(finderBack.fileCreator, FOUR_CHAR_CODE("Vcbl"));
  EXPECT_EQ(UInt32(back.createDate.lowSeconds), 2000000000u);
  EXPECT_EQ(UInt32(back.contentModDate.lowSeconds), 3000000000u);
  EXPECT_EQ(UInt16(back.contentModDate.fraction), 0x8000);

  // Zero Finder information is the same as none.
  std::memset(info.finderInfo, 0, sizeof info.finderInfo);
  ASSERT_EQ(FSSetCatalogInfo(&file, kFSCatInfoFinderInfo, &info), noErr);
  EXPECT_LT(getxattr(path.c_str(), "user.vocabulon.finderinfo", nullptr, 0), 0);
  EXPECT_EQ(FSGetCatalogInfo(&file, kFSCatInfoReserved, &info, nullptr, nullptr, nullptr),
            errFSBadInfoBitmap);
}

TEST_F(FileManagerTest, AVolumeRootIsFolderTwoWithParentOne) {
  // Climb from the work folder until the parent reference is all zero.
  FSRef ref = workRef, parent;
  FSCatalogInfo info{};
  UInt32 childParentID = 0;
  for (int depth = 0; depth < 64; ++depth) {
    info = infoOf(ref, kFSCatInfoNodeID | kFSCatInfoParentDirID, nullptr, nullptr, &parent);
    if (isZero(parent)) break;
    childParentID = info.parentDirID;
    ref = parent;
  }
  ASSERT_TRUE(isZero(parent));
  EXPECT_EQ(info.nodeID, UInt32(fsRtDirID));
  EXPECT_EQ(info.parentDirID, UInt32(fsRtParID));
  EXPECT_EQ(childParentID, UInt32(fsRtDirID));
  FSSpec spec;
  infoOf(ref, kFSCatInfoNone, nullptr, &spec);
  EXPECT_EQ(SInt32(spec.parID), fsRtParID);

  FSRef root, again;
  ASSERT_EQ(refFor("/", &root), noErr);
  EXPECT_EQ(pathOf(root), "/");
  EXPECT_EQ(infoOf(root, kFSCatInfoNodeID).nodeID, UInt32(fsRtDirID));
  // The root can be reached again by its specification.
  infoOf(root, kFSCatInfoNone, nullptr, &spec);
  ASSERT_EQ(FSpMakeFSRef(&spec, &again), noErr);
  EXPECT_EQ(FSCompareFSRefs(&root, &again), noErr);
}

TEST_F(FileManagerTest, SpecificationsNameItemsByVolumeFolderAndName) {
  FSRef folder, file, back;
  ASSERT_EQ(makeFolder(workRef, "S", &folder), noErr);
  ASSERT_EQ(makeFile(folder, "item", &file), noErr);
  const FSCatalogInfo info = infoOf(folder, kFSCatInfoVolume | kFSCatInfoNodeID);

  FSSpec spec;
  ASSERT_EQ(FSMakeFSSpec(info.volume, SInt32(info.nodeID), pascal("item").data(), &spec), noErr);
  ASSERT_EQ(FSpMakeFSRef(&spec, &back), noErr);
  EXPECT_EQ(FSCompareFSRefs(&file, &back), noErr);

  // An empty name names the folder itself.
  ASSERT_EQ(FSMakeFSSpec(info.volume, SInt32(info.nodeID), nullptr, &spec), noErr);
  ASSERT_EQ(FSpMakeFSRef(&spec, &back), noErr);
  EXPECT_EQ(FSCompareFSRefs(&folder, &back), noErr);

  // A missing item still gets a specification, for creating it.
  EXPECT_EQ(FSMakeFSSpec(info.volume, SInt32(info.nodeID), pascal("new").data(), &spec), fnfErr);
  EXPECT_EQ(SInt32(spec.parID), SInt32(info.nodeID));
  EXPECT_EQ(spec.name[0], 3);
  EXPECT_EQ(FSMakeFSSpec(-32000, 2, nullptr, &spec), nsvErr);
  EXPECT_EQ(FSMakeFSSpec(info.volume, 5, nullptr, &spec), dirNFErr);

  // A name too long for 63 bytes is shortened with the item's ID and found again by it.
  const QString longName = QString(80, 'n') + ".txt";
  FSRef longRef;
  ASSERT_EQ(makeFile(folder, longName, &longRef), noErr);
  infoOf(longRef, kFSCatInfoNone, nullptr, &spec);
  ASSERT_LE(spec.name[0], 63);
  const std::string shortName(reinterpret_cast<const char*>(spec.name + 1), spec.name[0]);
  EXPECT_NE(shortName.find('#'), std::string::npos);
  EXPECT_TRUE(shortName.ends_with(".txt"));
  ASSERT_EQ(FSpMakeFSRef(&spec, &back), noErr);
  EXPECT_EQ(FSCompareFSRefs(&longRef, &back), noErr);
}

TEST_F(FileManagerTest, FolderItemsComeInBatchesUntilNoMoreItems) {
  FSRef folder;
  ASSERT_EQ(makeFolder(workRef, "many", &folder), noErr);
  for (int i = 0; i < 25; ++i) {
    FSRef item;
    ASSERT_EQ(makeFile(folder, QString("item %1").arg(i), &item), noErr);
  }
  FSIterator iterator = nullptr;
  ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);
  std::vector<ItemCount> batches;
  std::set<QString> seen;
  OSErr err;
  const UInt32 folderID = infoOf(folder, kFSCatInfoNodeID).nodeID;
  for (int round = 0; round < 10; ++round) {
    FSRef refs[10];
    HFSUniStr255 names[10];
    FSCatalogInfo infos[10];
    ItemCount count = 99;
    Boolean changed = true;
    err = FSGetCatalogInfoBulk(iterator, 10, &count, &changed, kFSCatInfoParentDirID, infos, refs,
                               nullptr, names);
    if (err != noErr) {
      EXPECT_EQ(count, 0u);
      break;
    }
    EXPECT_FALSE(changed);
    batches.push_back(count);
    for (ItemCount i = 0; i < count; ++i) {
      seen.insert(nameOf(names[i]));
      EXPECT_EQ(infos[i].parentDirID, folderID);
      FSRef byName;
      ASSERT_EQ(lookUp(folder, nameOf(names[i]), &byName), noErr);
      EXPECT_EQ(FSCompareFSRefs(&refs[i], &byName), noErr);
    }
  }
  EXPECT_EQ(err, errFSNoMoreItems);
  EXPECT_EQ(batches, (std::vector<ItemCount>{10, 10, 5}));
  EXPECT_EQ(seen.size(), 25u);
  EXPECT_EQ(FSCloseIterator(iterator), noErr);
  EXPECT_EQ(FSCloseIterator(iterator), paramErr);
}

TEST_F(FileManagerTest, IterationReportsAChangedFolderAndRefusesNonFolders) {
  FSRef folder, file;
  ASSERT_EQ(makeFolder(workRef, "few", &folder), noErr);
  ASSERT_EQ(makeFile(folder, "a", &file), noErr);
  FSIterator iterator;
  EXPECT_EQ(FSOpenIterator(&file, kFSIterateFlat, &iterator), errFSNotAFolder);
  EXPECT_EQ(FSOpenIterator(&folder, kFSIterateSubtree, &iterator), errFSIteratorNotSupported);
  ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);
  ItemCount count;
  FSRef ref;
  EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 0, &count, nullptr, 0, nullptr, &ref, nullptr, nullptr),
            errFSBadItemCount);
  FSRef added;
  ASSERT_EQ(makeFile(folder, "b", &added), noErr);
  Boolean changed = false;
  ASSERT_EQ(FSGetCatalogInfoBulk(iterator, 1, &count, &changed, 0, nullptr, &ref, nullptr, nullptr),
            noErr);
  EXPECT_TRUE(changed);
  FSCloseIterator(iterator);

  FSRef empty;
  ASSERT_EQ(makeFolder(workRef, "empty", &empty), noErr);
  ASSERT_EQ(FSOpenIterator(&empty, kFSIterateFlat, &iterator), noErr);
  EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 10, &count, nullptr, 0, nullptr, nullptr, nullptr, nullptr),
            errFSNoMoreItems);
  EXPECT_EQ(count, 0u);
  FSCloseIterator(iterator);
}

}  // namespace
