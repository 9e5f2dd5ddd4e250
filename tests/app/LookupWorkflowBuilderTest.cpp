// SPDX-License-Identifier: GPL-3.0-or-later
// The folder the lookup workflow is written to, and the workflow it holds.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/LookupWorkflowBuilder.h"
#include "foundation/NSStringExtensions.h"
#include "platform/automator/Workflow.h"
#include "platform/carbon/Files.h"
#include "platform/carbon/Memory.h"
#include "platform/cf/CoreFoundation.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"

namespace {

class WorkflowFolder : public ::testing::Test {
 protected:
  QString vendorFolder() const { return env.home() + "/.local/share/Quenbrook"; }
  TestEnvironment env;
};

TEST_F(WorkflowFolder, FirstUseCreatesBothFoldersAndFindsThemAgain) {
  FSRef folder{};
  ASSERT_TRUE(GetApplicationSupportFolder(&folder));
  EXPECT_EQ(NSStringExtensions::stringWithFSRef(&folder), vendorFolder() + "/Vocabulon");
  EXPECT_TRUE(QFileInfo(vendorFolder() + "/Vocabulon").isDir());
  FSRef again{};
  ASSERT_TRUE(GetApplicationSupportFolder(&again));
  EXPECT_EQ(FSCompareFSRefs(&folder, &again), noErr);
}

TEST_F(WorkflowFolder, AnItemThatIsNoFolderCountsAsPresentAndIsLeftAlone) {
  ASSERT_TRUE(QDir().mkpath(env.home() + "/.local/share"));
  QFile blocker(vendorFolder());
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.write("not a folder");
  blocker.close();
  FSRef folder{};
  // Present, so nothing is created; the reference it gives names nothing usable.
  EXPECT_TRUE(GetApplicationSupportFolder(&folder));
  EXPECT_TRUE(NSStringExtensions::stringWithFSRef(&folder).isNull());
  EXPECT_TRUE(QFileInfo(vendorFolder()).isFile());
}

TEST_F(WorkflowFolder, HelpersFollowTheFileManagersStatuses) {
  FSRef home{}, item{};
  ASSERT_TRUE(NSStringExtensions::getFSRef(env.home(), &home));
  CFStringRef name = CFStringCreateWithCString(nullptr, "caf\xc3\xa9", kCFStringEncodingUTF8);
  EXPECT_FALSE(FolderItemExists(&home, name, &item));
  EXPECT_EQ(CreateFolderIfMissing(&home, name, &item), noErr);
  EXPECT_TRUE(QFileInfo(env.home() + QString::fromUtf8("/caf\xc3\xa9")).isDir());
  EXPECT_TRUE(FolderItemExists(&home, name, &item));
  EXPECT_EQ(CreateFolderIfMissing(&home, name, &item), noErr);  // found, not made again

  UniCharCount length = 0;
  UniChar* characters = CopyStringCharacters(name, &length);
  ASSERT_NE(characters, nullptr);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(characters[3], 0xE9);
  EXPECT_EQ(GetPtrSize(reinterpret_cast<Ptr>(characters)), 8);
  DisposePtr(reinterpret_cast<Ptr>(characters));
  CFRelease(name);

  CFStringRef bundleName = CopyBundleName();
  ASSERT_NE(bundleName, nullptr);
  EXPECT_EQ(CFStringToQString(bundleName), "Vocabulon");
  CFRelease(bundleName);
}

TEST_F(WorkflowFolder, FileReferencesBecomePathsAndBack) {
  FSRef ref{};
  EXPECT_TRUE(NSStringExtensions::stringWithFSRef(nullptr).isNull());
  EXPECT_FALSE(NSStringExtensions::getFSRef(env.home() + "/missing", &ref));
  ASSERT_TRUE(NSStringExtensions::getFSRef(env.home(), &ref));
  EXPECT_EQ(NSStringExtensions::stringWithFSRef(&ref), env.home());
}

TEST(DefinitionWorkflow, NamesTheChosenBundleAndLooksWordsUp) {
  TestEnvironment env;
  installDefinitionAction(env);
  addTestDictionary(env, "X", {{"cat", "A pet."}});
  EXPECT_EQ(dictionaryParameterValue("X"), "/Library/Dictionaries/X.dictionary");
  auto workflow = makeDefinitionWorkflow("X");
  ASSERT_NE(workflow, nullptr);
  const QUrl url = QUrl::fromLocalFile(env.path() + "/" + kWorkflowFileName);
  ASSERT_TRUE(workflow->writeToURL(url));
  EXPECT_EQ(Workflow::runWorkflowAtURL(url, QVariantList{"cat"}).toString(), "A pet.");
  EXPECT_FALSE(Workflow::runWorkflowAtURL(url, QVariantList{"dog"}).isValid());

  QDir(env.systemRoot() + "/System").removeRecursively();
  EXPECT_EQ(makeDefinitionWorkflow("X"), nullptr);  // no action bundle, no workflow
}

}  // namespace
