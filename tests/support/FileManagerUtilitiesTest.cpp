// SPDX-License-Identifier: GPL-3.0-or-later
// The File Manager utility library: full paths, parents, names, listings, fork copies.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "platform/carbon/Memory.h"
#include "support/files/FileManagerUtilities.h"
#include "tests/TestEnvironment.h"

using namespace fsutil;

namespace {

FSRef refAt(const QString& path) {
  FSRef ref{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(QFile::encodeName(path).constData()), &ref,
                          nullptr),
            noErr);
  return ref;
}

std::vector<UInt8> pstr(const std::string& s) {
  std::vector<UInt8> bytes(s.size() + 1, UInt8(s.size()));
  std::memcpy(bytes.data() + 1, s.data(), s.size());
  return bytes;
}

class FileManagerUtilitiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir().mkpath(env.path() + "/w/Docs"));
    work = QFileInfo(env.path() + "/w").canonicalFilePath();
    docs = refAt(work + "/Docs");
    FSCatalogInfo info{};
    ASSERT_EQ(FSGetCatalogInfo(&docs, kFSCatInfoNodeID | kFSCatInfoVolume, &info, nullptr, nullptr,
                               nullptr),
              noErr);
    vRefNum = info.volume;
    docsId = SInt32(info.nodeID);
  }
  std::string fullPath(SInt32 dirID, const std::string& name, OSErr expected = noErr) {
    SInt16 length = -1;
    Handle h = nullptr;
    const auto p = pstr(name);
    EXPECT_EQ(GetFullPath(vRefNum, dirID, name.empty() ? nullptr : p.data(), &length, &h), expected)
        << name;
    if (!h) return "(none)";
    EXPECT_EQ(length, GetHandleSize(h));
    std::string path(*h, std::size_t(length));
    DisposeHandle(h);
    return path;
  }
  TestEnvironment env;
  QString work;
  FSRef docs{};
  FSVolumeRefNum vRefNum = 0;
  SInt32 docsId = 0;
};

TEST_F(FileManagerUtilitiesTest, FullPathsEndInAColonForFoldersAndVolumes) {
  QFile(work + "/Docs/a.txt").open(QIODevice::WriteOnly);
  const std::string folder = fullPath(docsId, "");
  ASSERT_GT(folder.size(), 5u);
  EXPECT_EQ(folder.substr(folder.size() - 6), ":Docs:");
  EXPECT_EQ(fullPath(docsId, "a.txt"), folder + "a.txt");
  // A missing file: -43, and the path it would have.
  EXPECT_EQ(fullPath(docsId, "gone.txt", fnfErr), folder + "gone.txt");
  // The volume alone: its name and ":", which also begins every other path.
  const std::string volume = fullPath(fsRtDirID, "");
  EXPECT_EQ(volume.back(), ':');
  EXPECT_EQ(folder.rfind(volume, 0), 0u);
  EXPECT_EQ(std::count(volume.begin(), volume.end(), ':'), 1);
  // The path names the same item again through the colon-path lookup.
  FSSpec spec;
  const auto p = pstr(folder + "a.txt");
  ASSERT_EQ(MakeSpecCompat(0, 0, p.data(), &spec), noErr);
  FSRef again;
  ASSERT_EQ(FSpMakeFSRef(&spec, &again), noErr);
  EXPECT_EQ(FSCompareFSRefs(&again, &(const FSRef&)refAt(work + "/Docs/a.txt")), noErr);
  EXPECT_EQ(fullPath(docsId, ":no:such", dirNFErr), "(none)");
}

TEST_F(FileManagerUtilitiesTest, ParentsNamesAndFinderInformation) {
  FSRef parent;
  ASSERT_EQ(GetParentRef(&docs, &parent), noErr);
  EXPECT_EQ(FSCompareFSRefs(&parent, &(const FSRef&)refAt(work)), noErr);
  // Climbing ends at a volume's root, whose parent is all zero bytes.
  FSRef at = docs;
  const FSRef zero{};
  for (int i = 0; i < 100 && std::memcmp(&at, &zero, sizeof at); ++i) {
    FSRef up;
    ASSERT_EQ(GetParentRef(&at, &up), noErr);
    at = up;
  }
  EXPECT_EQ(std::memcmp(&at, &zero, sizeof at), 0);
  EXPECT_EQ(GetParentRef(&docs, nullptr), paramErr);

  HFSUniStr255 name;
  ASSERT_EQ(GetItemName(&docs, &name), noErr);
  EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(name.unicode), name.length), "Docs");
  EXPECT_EQ(GetItemName(&docs, nullptr), paramErr);

  Boolean folder = false;
  FileInfo info;
  EXPECT_EQ(GetFinderInfo(&docs, &info, nullptr, &folder), noErr);
  EXPECT_TRUE(folder);
}

TEST_F(FileManagerUtilitiesTest, DirectoryItemsOfEmptyAndFullFolders) {
  for (int count : {0, 25}) {
    const QString path = work + "/f" + QString::number(count);
    ASSERT_TRUE(QDir().mkpath(path));
    for (int i = 0; i < count; ++i) QFile(path + "/" + QString::number(i)).open(QIODevice::WriteOnly);
    // Companions never appear as items.
    QFile(path + "/._0").open(QIODevice::WriteOnly);
    const FSRef folder = refAt(path);
    Handle refs = nullptr;
    ItemCount n = 99;
    Boolean changed = true;
    ASSERT_EQ(GetDirectoryItems(&folder, &refs, &n, &changed), noErr);
    ASSERT_NE(refs, nullptr);
    EXPECT_EQ(n, ItemCount(count));
    EXPECT_FALSE(changed);
    EXPECT_EQ(GetHandleSize(refs), Size(count * sizeof(FSRef)));
    std::set<std::string> names;
    for (ItemCount i = 0; i < n; ++i) {
      HFSUniStr255 name;
      ASSERT_EQ(GetItemName(reinterpret_cast<const FSRef*>(*refs) + i, &name), noErr);
      names.insert(QString::fromUtf16(reinterpret_cast<const char16_t*>(name.unicode), name.length)
                       .toStdString());
    }
    EXPECT_EQ(names.size(), std::size_t(count));
    DisposeHandle(refs);
  }
  Handle refs = nullptr;
  ItemCount n;
  Boolean changed;
  const FSRef file = refAt(work + "/f25/3");
  EXPECT_EQ(GetDirectoryItems(&file, &refs, &n, &changed), errFSNotAFolder);
  EXPECT_EQ(refs, nullptr);
  EXPECT_EQ(GetDirectoryItems(&docs, nullptr, &n, &changed), paramErr);
}

TEST_F(FileManagerUtilitiesTest, CopyForkContentsInChunks) {
  struct Case {
    int size;
    ByteCount buffer;
  };
  for (const Case c : {Case{20000, 8192}, Case{20000, 5000}, Case{0, 4096}, Case{100, 10}}) {
    QByteArray bytes;
    for (int i = 0; i < c.size; ++i) bytes += char(i * 7);
    QFile src(work + "/src"), dst(work + "/dst");
    ASSERT_TRUE(src.open(QIODevice::WriteOnly | QIODevice::Truncate));
    src.write(bytes);
    src.close();
    ASSERT_TRUE(dst.open(QIODevice::WriteOnly | QIODevice::Truncate));
    dst.write(QByteArray(30000, 'x'));  // longer than the source: it is cut to size
    dst.close();
    const FSRef s = refAt(work + "/src"), d = refAt(work + "/dst");
    FSIORefNum in, out;
    ASSERT_EQ(FSOpenFork(&s, 0, nullptr, fsRdPerm, &in), noErr);
    ASSERT_EQ(FSOpenFork(&d, 0, nullptr, fsRdWrPerm, &out), noErr);
    std::vector<char> buffer(c.buffer);
    EXPECT_EQ(CopyForkContents(in, out, buffer.data(), c.buffer), noErr);
    EXPECT_EQ(CopyForkContents(in, out, nullptr, c.buffer), paramErr);
    EXPECT_EQ(CopyForkContents(in, out, buffer.data(), 0), paramErr);
    FSCloseFork(in);
    FSCloseFork(out);
    ASSERT_TRUE(dst.open(QIODevice::ReadOnly));
    EXPECT_EQ(dst.readAll(), bytes) << c.size << " " << c.buffer;
  }
}

}  // namespace
