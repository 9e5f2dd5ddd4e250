// SPDX-License-Identifier: GPL-3.0-or-later
// The classic calls: colon paths, specifications, reference-number forks, parameter blocks and
// volumes.
#include <sys/stat.h>

#include <QFile>
#include <cstring>
#include <fstream>

#include "tests/platform/carbon/FileManagerTestSupport.h"

namespace {

std::vector<UInt8> pstr(const std::string& s) {
  std::vector<UInt8> bytes(s.size() + 1, UInt8(s.size()));
  std::memcpy(bytes.data() + 1, s.data(), s.size());
  return bytes;
}

std::string fromPascal(const UInt8* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

class ClassicTest : public FileManagerTest {
 protected:
  void SetUp() override {
    FileManagerTest::SetUp();
    FSCatalogInfo info{};
    ASSERT_EQ(FSGetCatalogInfo(&workRef, kFSCatInfoNodeID | kFSCatInfoVolume, &info, nullptr,
                               nullptr, nullptr),
              noErr);
    vRefNum = info.volume;
    workId = SInt32(info.nodeID);
    ASSERT_TRUE(QDir().mkpath(work() + "/a/b"));
    QFile f(work() + "/a/b/note.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("hello");
  }
  // The full colon path of the work folder, from its volume's name.
  std::string workColonPath() {
    FSSpec spec;
    EXPECT_EQ(FSMakeFSSpec(vRefNum, workId, nullptr, &spec), noErr);
    std::string path;
    SInt32 id = workId;
    while (true) {
      CInfoPBRec pb{};
      Str255 name{};
      pb.dirInfo.header.ioNamePtr = name;
      pb.dirInfo.header.ioVRefNum = vRefNum;
      pb.dirInfo.ioDrDirID = id;
      pb.dirInfo.ioFDirIndex = -1;
      EXPECT_EQ(PBGetCatInfoSync(&pb), noErr);
      path = fromPascal(name) + ":" + path;
      if (pb.dirInfo.ioDrDirID == fsRtDirID) break;
      id = pb.dirInfo.ioDrParID;
    }
    return path;
  }
  FSVolumeRefNum vRefNum = 0;
  SInt32 workId = 0;
};

TEST_F(ClassicTest, ColonPathsNameItemsFromAFolderOrAVolume) {
  struct Case {
    std::string name;  // "$" stands for the work folder's full path
    OSErr err;
    std::string expectedPath;  // relative to the work folder; "" for none
  };
  const std::vector<Case> cases{
      {":a:b:note.txt", noErr, "/a/b/note.txt"},
      {":a:b:", noErr, "/a/b"},
      {":a:b::", noErr, "/a"},
      {":a::a:b", noErr, "/a/b"},
      {":a:missing", fnfErr, ""},
      {":nofolder:x", dirNFErr, ""},
      {":a:b:note.txt:x", dirNFErr, ""},
      {"$a:b:note.txt", noErr, "/a/b/note.txt"},
      {"$a:", noErr, "/a"},
      {"NoSuchVolume\x01:x", nsvErr, ""},
  };
  const std::string full = workColonPath();
  for (const Case& c : cases) {
    std::string name = c.name;
    if (name[0] == '$') name = full + name.substr(1);
    FSSpec spec{};
    const auto p = pstr(name);
    EXPECT_EQ(FSMakeFSSpec(vRefNum, workId, p.data(), &spec), c.err) << name;
    if (c.expectedPath.empty()) continue;
    FSRef ref;
    ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr) << name;
    EXPECT_EQ(pathOf(ref), workPath() + c.expectedPath) << name;
  }
  // A missing item of an existing folder: the FSSpec names where it would be.
  FSSpec spec{};
  const auto p = pstr(":a:missing");
  ASSERT_EQ(FSMakeFSSpec(vRefNum, workId, p.data(), &spec), fnfErr);
  EXPECT_EQ(fromPascal(spec.name), "missing");
  FSRef a;
  ASSERT_EQ(lookUp(workRef, "a", &a), noErr);
  FSCatalogInfo info{};
  FSGetCatalogInfo(&a, kFSCatInfoNodeID, &info, nullptr, nullptr, nullptr);
  EXPECT_EQ(spec.parID, SInt32(info.nodeID));
}

TEST_F(ClassicTest, CreateOpenPositionWriteAndCloseLikeALogFile) {
  FSSpec spec;
  const auto p = pstr(":log.txt");
  ASSERT_EQ(FSMakeFSSpec(vRefNum, workId, p.data(), &spec), fnfErr);
  ASSERT_EQ(FSpCreate(&spec, 'ttxt', 'TEXT', -1), noErr);
  EXPECT_EQ(FSpCreate(&spec, 0, 0, -1), dupFNErr);
  FSRef ref;
  ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr);
  FSCatalogInfo info{};
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
  FileInfo finder;
  std::memcpy(&finder, info.finderInfo, sizeof finder);
  EXPECT_EQ(finder.fileType, OSType('TEXT'));
  EXPECT_EQ(finder.fileCreator, OSType('ttxt'));

  for (const char* line : {"one\r", "two\r"}) {
    FSIORefNum refNum = 0;
    ASSERT_EQ(FSpOpenDF(&spec, fsWrPerm, &refNum), noErr);
    ASSERT_EQ(SetFPos(refNum, fsFromLEOF, 0), noErr);
    SInt32 count = SInt32(std::strlen(line));
    EXPECT_EQ(FSWrite(refNum, &count, line), noErr);
    EXPECT_EQ(count, SInt32(std::strlen(line)));
    SInt32 position = 0, eof = 0;
    EXPECT_EQ(GetFPos(refNum, &position), noErr);
    EXPECT_EQ(GetEOF(refNum, &eof), noErr);
    EXPECT_EQ(position, eof);
    EXPECT_EQ(FSClose(refNum), noErr);
    EXPECT_EQ(FSClose(refNum), rfNumErr);
  }
  QFile f(work() + "/log.txt");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("one\rtwo\r"));

  FSIORefNum refNum = 0;
  ASSERT_EQ(FSpOpenDF(&spec, fsRdPerm, &refNum), noErr);
  char buffer[16] = {};
  SInt32 count = 16;
  EXPECT_EQ(FSRead(refNum, &count, buffer), eofErr);
  EXPECT_EQ(count, 8);
  EXPECT_EQ(SetFPos(refNum, fsFromStart, 100), eofErr);
  FSClose(refNum);
}

TEST_F(ClassicTest, CatalogCallsByNameByIndexAndByFolderID) {
  FSRef a;
  ASSERT_EQ(lookUp(workRef, "a", &a), noErr);
  FSCatalogInfo aInfo{};
  FSGetCatalogInfo(&a, kFSCatInfoNodeID, &aInfo, nullptr, nullptr, nullptr);
  // A companion beside the file is never one of the folder's items.
  QFile companion(work() + "/a/._zz");
  ASSERT_TRUE(companion.open(QIODevice::WriteOnly));
  companion.close();
  QFile(work() + "/a/c.txt").open(QIODevice::WriteOnly);

  Str255 name{};
  CInfoPBRec pb{};
  pb.hFileInfo.header.ioNamePtr = name;
  pb.hFileInfo.header.ioVRefNum = vRefNum;
  pb.hFileInfo.ioDirID = SInt32(aInfo.nodeID);
  std::vector<std::string> names;
  for (SInt16 index = 1;; ++index) {
    pb.hFileInfo.ioDirID = SInt32(aInfo.nodeID);
    pb.hFileInfo.ioFDirIndex = index;
    const OSErr err = PBGetCatInfoSync(&pb);
    if (err == fnfErr) break;
    ASSERT_EQ(err, noErr);
    names.push_back(fromPascal(name) + ((pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask) ? ":" : ""));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"b:", "c.txt"}));

  // By name, a file: its sizes, its parent, its ID.
  const auto note = pstr(":b:note.txt");
  std::memcpy(name, note.data(), note.size());
  pb = {};
  pb.hFileInfo.header.ioNamePtr = name;
  pb.hFileInfo.header.ioVRefNum = vRefNum;
  pb.hFileInfo.ioDirID = SInt32(aInfo.nodeID);
  ASSERT_EQ(PBGetCatInfoSync(&pb), noErr);
  EXPECT_FALSE(pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask);
  EXPECT_EQ(pb.hFileInfo.ioFlLgLen, 5);
  EXPECT_EQ(pb.hFileInfo.ioFlRLgLen, 0);
  struct stat st;
  ASSERT_EQ(stat((workPath() + "/a/b/note.txt").c_str(), &st), 0);
  EXPECT_EQ(UInt32(pb.hFileInfo.ioDirID), st.st_ino);
  const SInt32 bId = pb.hFileInfo.ioFlParID;

  // Index -1: the folder of that ID, and its parent's ID.
  pb = {};
  pb.dirInfo.header.ioNamePtr = name;
  pb.dirInfo.header.ioVRefNum = vRefNum;
  pb.dirInfo.ioDrDirID = bId;
  pb.dirInfo.ioFDirIndex = -1;
  ASSERT_EQ(PBGetCatInfoSync(&pb), noErr);
  EXPECT_EQ(fromPascal(name), "b");
  EXPECT_EQ(pb.dirInfo.ioDrParID, SInt32(aInfo.nodeID));
  EXPECT_EQ(pb.dirInfo.ioDrNmFls, 1);

  FSRef made{};
  FSRefParam fp{};
  fp.header.ioVRefNum = vRefNum;
  fp.ioDirID = bId;
  const auto file = pstr("note.txt");
  fp.header.ioNamePtr = const_cast<StringPtr>(file.data());
  fp.newRef = &made;
  ASSERT_EQ(PBMakeFSRefSync(&fp), noErr);
  EXPECT_EQ(pathOf(made), workPath() + "/a/b/note.txt");
  const auto missing = pstr("nope");
  fp.header.ioNamePtr = const_cast<StringPtr>(missing.data());
  EXPECT_EQ(PBMakeFSRefSync(&fp), fnfErr);
  EXPECT_EQ(PBGetCatInfoSync(nullptr), paramErr);
}

TEST_F(ClassicTest, VolumesComeFromTheMountTable) {
  // Every index up to the count answers; the one past it is nsvErr; "/" is -100, "Root".
  std::vector<FSVolumeRefNum> seen;
  for (SInt16 index = 1; index < 200; ++index) {
    HParamBlockRec pb{};
    Str255 name{};
    pb.volumeParam.header.ioNamePtr = name;
    pb.volumeParam.ioVolIndex = index;
    const OSErr err = PBHGetVInfoSync(&pb);
    if (err == nsvErr) break;
    ASSERT_EQ(err, noErr);
    EXPECT_GT(name[0], 0);
    EXPECT_EQ(pb.volumeParam.ioVSigWord, 0x482B);
    seen.push_back(pb.volumeParam.header.ioVRefNum);
    if (pb.volumeParam.header.ioVRefNum == -100) EXPECT_EQ(fromPascal(name), "Root");
  }
  ASSERT_FALSE(seen.empty());
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], FSVolumeRefNum(-100 - SInt16(i)));

  // The mount points that are real file systems are among them.
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  std::size_t mounts = 0;
  while (std::getline(in, line)) ++mounts;
  EXPECT_GE(mounts, 1u);

  HParamBlockRec pb{};
  pb.volumeParam.header.ioVRefNum = vRefNum;
  ASSERT_EQ(PBHGetVInfoSync(&pb), noErr);
  EXPECT_EQ(pb.volumeParam.header.ioVRefNum, vRefNum);
  EXPECT_GT(pb.volumeParam.ioVAlBlkSiz, 0u);
  pb = {};
  pb.volumeParam.header.ioVRefNum = -32000;
  EXPECT_EQ(PBHGetVInfoSync(&pb), nsvErr);
}

}  // namespace
