// SPDX-License-Identifier: GPL-3.0-or-later
// Standard folders of the user, local and system domains under a temporary home and root.
#include <sys/stat.h>

#include <QFileInfo>
#include <QTextStream>

#include "platform/carbon/Folders.h"
#include "tests/platform/carbon/FileManagerTestSupport.h"

namespace {

class FoldersTest : public ::testing::Test {
 protected:
  // The folder's path, or the error as text.
  std::string find(FSVolumeRefNum domain, OSType type, Boolean create) {
    FSRef ref;
    const OSErr err = FSFindFolder(domain, type, create, &ref);
    return err == noErr ? pathOf(ref) : "error " + std::to_string(err);
  }
  std::string under(const QString& path) { return QFileInfo(path).absoluteFilePath().toStdString(); }

  TestEnvironment env;
};

TEST_F(FoldersTest, UserApplicationSupportIsCreatedOnlyWhenAsked) {
  const QString dataHome = env.home() + "/.local/share";
  ASSERT_FALSE(QFileInfo::exists(dataHome));
  EXPECT_EQ(find(kUserDomain, kApplicationSupportFolderType, kDontCreateFolder), "error -43");
  EXPECT_FALSE(QFileInfo::exists(dataHome));
  EXPECT_EQ(find(kUserDomain, kApplicationSupportFolderType, kCreateFolder), under(dataHome));
  struct stat st;
  ASSERT_EQ(stat(QFile::encodeName(dataHome).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(find(kUserDomain, kApplicationSupportFolderType, kDontCreateFolder), under(dataHome));
}

TEST_F(FoldersTest, UserFoldersFollowTheXdgPlaces) {
  EXPECT_EQ(find(kUserDomain, kLogsFolderType, kCreateFolder), under(env.home() + "/.local/state/log"));
  EXPECT_EQ(find(kUserDomain, kPreferencesFolderType, kCreateFolder), under(env.home() + "/.config"));
  EXPECT_EQ(find(kUserDomain, kCurrentUserFolderType, kDontCreateFolder), under(env.home()));
  EXPECT_EQ(find(kUserDomain, kDocumentsFolderType, kCreateFolder), under(env.home() + "/Documents"));
  EXPECT_EQ(find(kOnAppropriateDisk, kDocumentsFolderType, kDontCreateFolder),
            under(env.home() + "/Documents"));

  // A desktop named in user-dirs.dirs wins over the default.
  EXPECT_EQ(find(kUserDomain, kDesktopFolderType, kCreateFolder), under(env.home() + "/Desktop"));
  QFile dirs(env.home() + "/.config/user-dirs.dirs");
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("# written by a test\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  dirs.close();
  EXPECT_EQ(find(kUserDomain, kDesktopFolderType, kCreateFolder), under(env.home() + "/Schreibtisch"));
}

TEST_F(FoldersTest, LocalAndSystemFoldersLieUnderTheSystemRoot) {
  EXPECT_EQ(find(kLocalDomain, kApplicationSupportFolderType, kDontCreateFolder), "error -43");
  EXPECT_EQ(find(kLocalDomain, kApplicationSupportFolderType, kCreateFolder),
            under(env.systemRoot() + "/Library/Application Support"));
  EXPECT_EQ(find(kOnSystemDisk, kApplicationSupportFolderType, kDontCreateFolder),
            under(env.systemRoot() + "/Library/Application Support"));
  EXPECT_EQ(find(kSystemDomain, kDomainLibraryFolderType, kCreateFolder),
            under(env.systemRoot() + "/System/Library"));
}

TEST_F(FoldersTest, FoldersThatCannotBeHadAreReportedMissing) {
  EXPECT_EQ(find(kUserDomain, FOUR_CHAR_CODE("zzzz"), kCreateFolder), "error -43");
  EXPECT_EQ(find(kNetworkDomain, kApplicationSupportFolderType, kCreateFolder), "error -43");
  EXPECT_EQ(find(-31000, kVolumeRootFolderType, kDontCreateFolder), "error -35");
  QFile file(env.home() + "/.config");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  EXPECT_EQ(find(kUserDomain, kPreferencesFolderType, kCreateFolder), "error -1407");
  EXPECT_EQ(FSFindFolder(kUserDomain, kPreferencesFolderType, kCreateFolder, nullptr), paramErr);
}

TEST_F(FoldersTest, TheClassicFormGivesVolumeAndFolderID) {
  FSVolumeRefNum volume = 0;
  SInt32 dirID = 0;
  ASSERT_EQ(FindFolder(kUserDomain, kCurrentUserFolderType, kDontCreateFolder, &volume, &dirID), noErr);
  FSSpec spec;
  FSRef viaSpec, direct;
  ASSERT_EQ(FSMakeFSSpec(volume, dirID, nullptr, &spec), noErr);
  ASSERT_EQ(FSpMakeFSRef(&spec, &viaSpec), noErr);
  ASSERT_EQ(FSFindFolder(kUserDomain, kCurrentUserFolderType, kDontCreateFolder, &direct), noErr);
  EXPECT_EQ(FSCompareFSRefs(&viaSpec, &direct), noErr);

  // That volume's root folder.
  FSRef root;
  ASSERT_EQ(FSFindFolder(volume, kVolumeRootFolderType, kDontCreateFolder, &root), noErr);
  FSCatalogInfo info;
  ASSERT_EQ(FSGetCatalogInfo(&root, kFSCatInfoNodeID | kFSCatInfoVolume, &info, nullptr, nullptr, nullptr),
            noErr);
  EXPECT_EQ(info.nodeID, UInt32(fsRtDirID));
  EXPECT_EQ(info.volume, volume);
}

}  // namespace
