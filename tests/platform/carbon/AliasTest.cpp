// SPDX-License-Identifier: GPL-3.0-or-later
// Alias records: made, stored in a resource, resolved here and in another process.
#include <QProcess>
#include <cstring>
#include <random>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/Memory.h"
#include "platform/carbon/Resources.h"
#include "tests/platform/carbon/FileManagerTestSupport.h"

namespace {

std::string resolved(AliasHandle alias, Boolean* changed = nullptr, OSErr expected = noErr) {
  FSRef target;
  const OSErr err = FSResolveAliasWithMountFlags(nullptr, alias, &target, changed, 0);
  EXPECT_EQ(err, expected);
  return err ? "error " + std::to_string(err) : pathOf(target);
}

// The peer resolves the 'alis' 128 resource of a file in a process of its own.
std::string resolvedByPeer(const QString& file) {
  QProcess peer;
  peer.start(CARBON_PEER, {"resolve-alias", file});
  EXPECT_TRUE(peer.waitForFinished(20000));
  return peer.readAllStandardOutput().trimmed().toStdString();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

TEST_F(FileManagerTest, AliasesFollowRenamesAndReportGoneTargets) {
  writeFile(work() + "/target.txt", "t");
  FSRef target = refAt(work() + "/target.txt"), folder;
  ASSERT_EQ(makeFolder(workRef, "folder", &folder), noErr);
  AliasHandle fileAlias = nullptr, folderAlias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &target, &fileAlias), noErr);
  ASSERT_EQ(FSNewAlias(nullptr, &folder, &folderAlias), noErr);
  EXPECT_EQ(GetAliasSize(fileAlias), GetHandleSize(reinterpret_cast<Handle>(fileAlias)));

  Boolean changed = true;
  EXPECT_EQ(resolved(fileAlias, &changed), workPath() + "/target.txt");
  EXPECT_FALSE(changed);
  EXPECT_EQ(resolved(folderAlias), workPath() + "/folder");

  // Renamed behind our back (by another program): found by identity.
  ASSERT_TRUE(QFile::rename(work() + "/target.txt", work() + "/renamed.txt"));
  EXPECT_EQ(resolved(fileAlias, &changed), workPath() + "/renamed.txt");
  EXPECT_TRUE(changed);
  // Replaced under its old name by a new file: that file is the one meant.
  ASSERT_TRUE(QFile::remove(work() + "/renamed.txt"));
  writeFile(work() + "/target.txt", "new");
  EXPECT_EQ(resolved(fileAlias, &changed), workPath() + "/target.txt");
  EXPECT_TRUE(changed);
  // Gone altogether.
  ASSERT_TRUE(QFile::remove(work() + "/target.txt"));
  EXPECT_EQ(resolved(fileAlias, nullptr, fnfErr), "error -43");
  EXPECT_EQ(FSResolveAliasWithMountFlags(nullptr, nullptr, &target, nullptr, 0), paramErr);
  DisposeHandle(reinterpret_cast<Handle>(fileAlias));
  DisposeHandle(reinterpret_cast<Handle>(folderAlias));
}

TEST_F(FileManagerTest, AliasesInResourcesResolveInAnotherProcess) {
  writeFile(work() + "/doc.txt", "d");
  writeFile(work() + "/holder", "");
  FSRef doc = refAt(work() + "/doc.txt"), holder = refAt(work() + "/holder");
  AliasHandle alias;
  ASSERT_EQ(FSNewAlias(nullptr, &doc, &alias), noErr);
  HFSUniStr255 name;
  FSGetResourceForkName(&name);
  ASSERT_EQ(FSCreateResourceFork(&holder, name.length, name.unicode, 0), noErr);
  const ResFileRefNum file = FSOpenResFile(&holder, fsRdWrPerm);
  ASSERT_NE(file, -1);
  AddResource(reinterpret_cast<Handle>(alias), 'alis', 128, nullptr);
  ASSERT_EQ(ResError(), noErr);
  CloseResFile(file);

  EXPECT_EQ(resolvedByPeer(work() + "/holder"), workPath() + "/doc.txt");
  ASSERT_TRUE(QFile::rename(work() + "/doc.txt", work() + "/doc renamed.txt"));
  EXPECT_EQ(resolvedByPeer(work() + "/holder"), workPath() + "/doc renamed.txt (moved)");
  ASSERT_TRUE(QFile::remove(work() + "/doc renamed.txt"));
  EXPECT_EQ(resolvedByPeer(work() + "/holder"), "error -43");
}

TEST_F(FileManagerTest, DamagedAliasRecordsAreRefused) {
  writeFile(work() + "/t", "t");
  FSRef t = refAt(work() + "/t");
  AliasHandle alias;
  ASSERT_EQ(FSNewAlias(nullptr, &t, &alias), noErr);
  const Size size = GetHandleSize(reinterpret_cast<Handle>(alias));
  const std::vector<UInt8> good(reinterpret_cast<UInt8*>(*alias), reinterpret_cast<UInt8*>(*alias) + size);
  std::mt19937 random(99);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<UInt8> bytes = good;
    for (int c = 0; c < 1 + int(random() % 3); ++c) {
      const std::size_t at = random() % bytes.size();
      if (random() % 4 == 0) bytes.resize(at);
      else bytes[at] = UInt8(random());
      if (bytes.empty()) break;
    }
    Handle h = nullptr;
    ASSERT_EQ(PtrToHand(bytes.data(), &h, long(bytes.size())), noErr);
    FSRef target;
    const OSErr err = FSResolveAliasWithMountFlags(nullptr, reinterpret_cast<AliasHandle>(h), &target, nullptr, 0);
    EXPECT_TRUE(err == noErr || err == paramErr || err == fnfErr) << err;
    if (err == paramErr) ++refused;
    EXPECT_EQ(ValidateAliasRecord(bytes.data(), bytes.size()) == noErr, err != paramErr);
    DisposeHandle(h);
  }
  EXPECT_GT(refused, 1000);
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

}  // namespace
