// SPDX-License-Identifier: GPL-3.0-or-later
// File-system item operations: creation, whole forks, resource-fork copies, dates, names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <cstring>

#include "platform/carbon/Memory.h"
#include "platform/carbon/Resources.h"
#include "support/FileOperations.h"
#include "tests/TestEnvironment.h"

namespace {

CFStringRef cf(const char* s) { return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8); }

FSRef refAt(const QString& path) {
  FSRef ref{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(QFile::encodeName(path).constData()), &ref, nullptr), noErr);
  return ref;
}

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

void write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

class FileOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir().mkpath(env.path() + "/w"));
    work = QFileInfo(env.path() + "/w").canonicalFilePath();
    folder = refAt(work);
  }
  TestEnvironment env;
  QString work;
  FSRef folder{};
};

TEST_F(FileOperationsTest, FilesAreCreatedOnlyWhenMissing) {
  CFStringRef name = cf("notes.txt");
  FSRef first, second;
  ASSERT_EQ(CreateFileIfMissing(&folder, name, &first), noErr);
  write(work + "/notes.txt", "kept");
  ASSERT_EQ(CreateFileIfMissing(&folder, name, &second), noErr);
  EXPECT_EQ(FSCompareFSRefs(&first, &second), noErr);
  EXPECT_EQ(contents(work + "/notes.txt"), QByteArray("kept"));
  // On an existing file, type and creator change.
  ASSERT_EQ(CreateFileWithCreatorAndType(&folder, name, 'ttxt', 'TEXT', &second), noErr);
  OSType type = 0, creator = 0;
  FSCatalogInfo info;
  ASSERT_EQ(FSGetCatalogInfo(&second, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
  FileInfo fi;
  std::memcpy(&fi, info.finderInfo, 16);
  type = fi.fileType;
  creator = fi.fileCreator;
  EXPECT_EQ(type, OSType('TEXT'));
  EXPECT_EQ(creator, OSType('ttxt'));
  CFRelease(name);

  // By path: made in the folder before the last "/"; a missing folder is not made.
  const QByteArray path = QFile::encodeName(work + "/made.dat");
  CFStringRef cfPath = cf(path.constData());
  FSRef made;
  EXPECT_EQ(MakeFileAtPath(cfPath, &made), noErr);
  EXPECT_TRUE(QFileInfo::exists(work + "/made.dat"));
  CFRelease(cfPath);
  CFStringRef deep = cf(QFile::encodeName(work + "/no/such.dat").constData());
  EXPECT_EQ(MakeFileAtPath(deep, &made), fnfErr);
  CFRelease(deep);
  EXPECT_EQ(WriteFileAtPath(QFile::encodeName(work + "/w.txt").constData(), "abc", 3), noErr);
  EXPECT_EQ(contents(work + "/w.txt"), QByteArray("abc"));
}

TEST_F(FileOperationsTest, WholeDataForksAreReadAndWritten) {
  write(work + "/long", QByteArray(100, 'o'));
  FSRef file = refAt(work + "/long");
  ASSERT_EQ(WriteDataFork(&file, "0123456789", 10), noErr);
  // The old tail stays: the fork is not shortened.
  EXPECT_EQ(contents(work + "/long"), QByteArray("0123456789") + QByteArray(90, 'o'));
  UInt8* bytes = CopyDataFork(&file);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(bytes), 100), contents(work + "/long"));
  std::free(bytes);

  // A read-only file is read all the same.
  write(work + "/ro", "read only");
  ASSERT_EQ(chmod(QFile::encodeName(work + "/ro").constData(), 0444), 0);
  FSRef ro = refAt(work + "/ro");
  bytes = CopyDataFork(&ro);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(bytes), 9), QByteArray("read only"));
  std::free(bytes);
  CFStringRef path = cf(QFile::encodeName(work + "/ro").constData());
  CFMutableStringRef mutablePath = CFStringCreateMutableCopy(nullptr, 0, path);
  for (CFStringRef p : {path, CFStringRef(mutablePath)}) {
    bytes = CopyDataForkAtPath(p);
    ASSERT_NE(bytes, nullptr);
    std::free(bytes);
  }
  CFRelease(path);
  CFRelease(mutablePath);
  FSRef dir = refAt(work);
  EXPECT_EQ(CopyDataFork(&dir), nullptr);
  EXPECT_EQ(GetDataForkSize(&ro), 9u);
  EXPECT_EQ(GetTotalSize(&ro), 9u);
}

TEST_F(FileOperationsTest, ResourceForksAreCopiedByteForByte) {
  write(work + "/src", "data");
  write(work + "/dst", "other data");
  FSRef src = refAt(work + "/src"), dst = refAt(work + "/dst");
  HFSUniStr255 name;
  FSGetResourceForkName(&name);
  ASSERT_EQ(FSCreateResourceFork(&src, name.length, name.unicode, 0), noErr);
  const ResFileRefNum file = FSOpenResFile(&src, fsRdWrPerm);
  ASSERT_NE(file, -1);
  for (ResID id = 1; id <= 40; ++id) {
    Handle h = NewHandle(1000);
    std::memset(*h, id, 1000);
    AddResource(h, 'DATA', id, nullptr);
  }
  CloseResFile(file);
  ASSERT_EQ(ResError(), noErr);

  CopyResourceFork(&src, &dst);
  const QByteArray a = contents(work + "/._src"), b = contents(work + "/._dst");
  ASSERT_GT(a.size(), 40000);
  // Same fork bytes: the fork is the companion's last entry in both.
  EXPECT_EQ(a.right(a.size() - 82), b.right(b.size() - 82));
  EXPECT_EQ(GetTotalSize(&dst), UInt64(10 + a.size() - 82));
  EXPECT_EQ(contents(work + "/dst"), QByteArray("other data"));
  // A source without a fork copies nothing and creates nothing.
  write(work + "/plain", "x");
  FSRef plain = refAt(work + "/plain"), target = refAt(work + "/src");
  CopyResourceFork(&plain, &target);
  EXPECT_EQ(contents(work + "/._src"), a);
}

TEST_F(FileOperationsTest, DatesPermissionsAndTouching) {
  write(work + "/f", "xyz");
  FSRef file = refAt(work + "/f");
  const UTCDateTime when{0, 3000000000u, 0};
  struct Case {
    OSErr (*set)(const FSRef*, const UTCDateTime*);
    OSErr (*get)(const FSRef*, UTCDateTime*);
  };
  for (const Case c : {Case{SetCreateDate, GetCreateDate}, Case{SetContentModDate, GetContentModDate}}) {
    EXPECT_EQ(c.set(&file, &when), noErr);
    UTCDateTime got{};
    EXPECT_EQ(c.get(&file, &got), noErr);
    EXPECT_EQ(got.lowSeconds, when.lowSeconds);
  }
  EXPECT_EQ(GetModificationSeconds(&file), when.lowSeconds);
  FSSpec spec;
  ASSERT_EQ(GetFSSpec(&file, &spec), noErr);
  const UTCDateTime later{0, 3000000100u, 0};
  EXPECT_EQ(SetContentModDate(&spec, &later), noErr);
  EXPECT_EQ(GetModificationSeconds(&file), later.lowSeconds);
  // A reference to nothing changes nothing and still answers 0.
  const FSRef bad{};
  EXPECT_EQ(SetCreateDate(&bad, &when), noErr);

  ASSERT_EQ(TouchFile(&file, &when), noErr);
  EXPECT_EQ(contents(work + "/f"), QByteArray("xyz"));
  write(work + "/empty", "");
  FSRef empty = refAt(work + "/empty");
  ASSERT_EQ(TouchFile(&empty, &when), noErr);
  EXPECT_EQ(contents(work + "/empty"), QByteArray());

  ASSERT_EQ(chmod(QFile::encodeName(work + "/f").constData(), 0600), 0);
  ASSERT_EQ(MakeReadableWritableByAll(&file), noErr);
  struct stat st;
  ASSERT_EQ(stat(QFile::encodeName(work + "/f").constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST_F(FileOperationsTest, NamesPathsAndParents) {
  write(work + "/before", "");
  FSRef file = refAt(work + "/before");
  CFStringRef newName = cf("after é");
  ASSERT_EQ(RenameItem(&file, newName), noErr);
  CFStringRef name = CopyItemName(&file);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(CFStringCompare(name, newName, 0), kCFCompareEqualTo);
  CFRelease(name);
  CFRelease(newName);
  Str255 path;
  ASSERT_EQ(GetPathAsPascal(&file, path), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(path + 1), path[0]),
            QFile::encodeName(work + "/after é").toStdString());
  FSRef parent;
  EXPECT_TRUE(GetParentRef(&file, &parent));
  EXPECT_EQ(FSCompareFSRefs(&parent, &folder), noErr);
  const FSRef bad{};
  EXPECT_FALSE(GetParentRef(&bad, &parent));
  EXPECT_EQ(CopyItemName(&bad), nullptr);

  // From descriptors of each kind that names an item; text names none.
  FSSpec spec;
  ASSERT_EQ(GetFSSpec(&file, &spec), noErr);
  AEDesc fsref, fss, alias, text;
  AECreateDesc(typeFSRef, &file, sizeof file, &fsref);
  AECreateDesc(typeFSS, &spec, sizeof spec, &fss);
  AECoerceDesc(&fsref, typeAlias, &alias);
  AECreateDesc(typeChar, "x", 1, &text);
  for (AEDesc* d : {&fsref, &fss, &alias}) {
    FSRef got{};
    EXPECT_EQ(GetFSRefFromDesc(&got, d), noErr);
    EXPECT_EQ(FSCompareFSRefs(&got, &file), noErr);
  }
  FSRef none;
  EXPECT_EQ(GetFSRefFromDesc(&none, &text), errAECoercionFail);
  for (AEDesc* d : {&fsref, &fss, &alias, &text}) AEDisposeDesc(d);
}

}  // namespace
