// SPDX-License-Identifier: GPL-3.0-or-later
// Data forks: reading, writing, positions, sizes, and who may open a fork for writing.
#include "tests/platform/carbon/FileManagerTestSupport.h"

namespace {

class ForksTest : public FileManagerTest {
 protected:
  void SetUp() override {
    FileManagerTest::SetUp();
    ASSERT_EQ(makeFile(workRef, "data", &file), noErr);
  }
  QByteArray contents() const {
    QFile f(work() + "/data");
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
  }
  FSRef file{};
};

TEST_F(ForksTest, WrittenBytesReadBackAndTheEndIsReported) {
  FSIORefNum fork;
  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &fork), noErr);
  ByteCount done = 0;
  ASSERT_EQ(FSWriteFork(fork, fsFromStart | noCacheMask, 0, 11, "hello world", &done), noErr);
  EXPECT_EQ(done, 11u);
  SInt64 position = -1, size = -1;
  ASSERT_EQ(FSGetForkPosition(fork, &position), noErr);
  EXPECT_EQ(position, 11);
  ASSERT_EQ(FSGetForkSize(fork, &size), noErr);
  EXPECT_EQ(size, 11);

  char buffer[32] = {};
  ASSERT_EQ(FSReadFork(fork, fsFromLEOF, -5, 5, buffer, &done), noErr);
  EXPECT_EQ(std::string(buffer, done), "world");
  ASSERT_EQ(FSReadFork(fork, fsFromStart, 6, 20, buffer, &done), eofErr);
  EXPECT_EQ(std::string(buffer, done), "world");
  ASSERT_EQ(FSReadFork(fork, fsFromStart, 0, 5, buffer, &done), noErr);
  ASSERT_EQ(FSReadFork(fork, fsFromMark, 1, 5, buffer, &done), noErr);  // mark was 5
  EXPECT_EQ(std::string(buffer, done), "world");
  EXPECT_EQ(FSReadFork(fork, fsFromStart, -1, 1, buffer, &done), posErr);
  EXPECT_EQ(FSSetForkPosition(fork, fsFromStart, 12), eofErr);
  ASSERT_EQ(FSCloseFork(fork), noErr);
  EXPECT_EQ(contents(), "hello world");
  EXPECT_EQ(FSCloseFork(fork), rfNumErr);
  EXPECT_EQ(FSReadFork(fork, fsAtMark, 0, 1, buffer, &done), rfNumErr);
}

TEST_F(ForksTest, WritingFewerBytesKeepsTheTailUntilTheSizeIsSet) {
  {
    QFile f(work() + "/data");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, '.'));
  }
  FSIORefNum fork;
  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &fork), noErr);
  ASSERT_EQ(FSWriteFork(fork, fsFromStart, 0, 10, "0123456789", nullptr), noErr);
  EXPECT_EQ(contents(), QByteArray("0123456789") + QByteArray(90, '.'));
  ASSERT_EQ(FSSetForkSize(fork, fsFromStart, 4), noErr);
  SInt64 position;
  FSGetForkPosition(fork, &position);
  EXPECT_EQ(position, 4);  // the mark never lies past the end
  ASSERT_EQ(FSCloseFork(fork), noErr);
  EXPECT_EQ(contents(), "0123");
}

TEST_F(ForksTest, OnlyOneExclusiveWriterAtATime) {
  FSIORefNum writer, reader, second, shared1, shared2;
  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &writer), noErr);
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, fsWrPerm, &second), opWrErr);
  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdPerm, &reader), noErr);
  EXPECT_EQ(FSWriteFork(reader, fsFromStart, 0, 1, "x", nullptr), wrPermErr);
  // Whatever is allowed: reading, while another holds the fork for writing.
  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsCurPerm, &second), noErr);
  EXPECT_EQ(FSWriteFork(second, fsFromStart, 0, 1, "x", nullptr), wrPermErr);

  FSCatalogInfo info;
  ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), noErr);
  EXPECT_TRUE(info.nodeFlags & kFSNodeDataOpenMask);
  EXPECT_EQ(FSDeleteObject(&file), fBsyErr);
  for (FSIORefNum fork : {writer, reader, second}) ASSERT_EQ(FSCloseFork(fork), noErr);

  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrShPerm, &shared1), noErr);
  ASSERT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrShPerm, &shared2), noErr);
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &second), opWrErr);
  FSCloseFork(shared1);
  FSCloseFork(shared2);
  EXPECT_EQ(FSDeleteObject(&file), noErr);
}

TEST_F(ForksTest, TheDataAndResourceForksOpenOtherNamedForksDoNot) {
  FSIORefNum fork;
  HFSUniStr255 resource;
  ASSERT_EQ(FSGetResourceForkName(&resource), noErr);
  // Every file has a resource fork, empty until written; reading it creates nothing.
  ASSERT_EQ(FSOpenFork(&file, resource.length, resource.unicode, fsRdPerm, &fork), noErr);
  SInt64 size = -1;
  EXPECT_EQ(FSGetForkSize(fork, &size), noErr);
  EXPECT_EQ(size, 0);
  char byte;
  EXPECT_EQ(FSReadFork(fork, fsFromStart, 0, 1, &byte, nullptr), eofErr);
  EXPECT_EQ(FSCloseFork(fork), noErr);
  EXPECT_FALSE(QFileInfo::exists(work() + "/._" + QFileInfo(QString::fromStdString(pathOf(file))).fileName()));
  const UniChar other[] = {'X'};
  EXPECT_EQ(FSOpenFork(&file, 1, other, fsRdPerm, &fork), errFSForkNotFound);
  EXPECT_EQ(FSOpenFork(&workRef, 0, nullptr, fsRdPerm, &fork), notAFileErr);
  EXPECT_EQ(FSOpenFork(&file, 0, nullptr, 7, &fork), paramErr);
}

}  // namespace
