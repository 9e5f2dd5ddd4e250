// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/core/DictionaryMenu.h"
#include "app/core/LookupWorkflowBuilder.h"
#include "platform/Places.h"
#include "tests/TestEnvironment.h"

TEST(DictionaryMenu, TitlesDropOnlyTheLastExtension) {
  EXPECT_EQ(stringByDeletingPathExtension("WordNet.dictionary"), "WordNet");
  EXPECT_EQ(stringByDeletingPathExtension("a.b.dictionary"), "a.b");
  EXPECT_EQ(stringByDeletingPathExtension("README"), "README");
  EXPECT_EQ(stringByDeletingPathExtension(".hidden"), ".hidden");
}

TEST(DictionaryMenu, ListsEveryEntrySortedAndNothingForAMissingFolder) {
  TestEnvironment env;
  QDir().mkpath(env.dictionariesFolder() + "/b.dictionary");
  QDir().mkpath(env.dictionariesFolder() + "/A.dictionary");
  QFile note(env.dictionariesFolder() + "/notes.txt");
  ASSERT_TRUE(note.open(QIODevice::WriteOnly));
  note.close();
  EXPECT_EQ(dictionaryFolderEntries(), (QStringList{"A.dictionary", "b.dictionary", "notes.txt"}));
  QDir(env.dictionariesFolder()).removeRecursively();
  EXPECT_TRUE(dictionaryFolderEntries().isEmpty());
}

// The user's dictionaries come after the machine's; a title both hold names the machine's
// bundle, one only the user holds names the user's, through the user-domain path.
TEST(DictionaryMenu, UserDictionariesFollowTheMachinesAndKeepTheirOwnPath) {
  TestEnvironment env;
  const QString user = env.home() + "/.local/share/vocabulon/Dictionaries";
  EXPECT_EQ(places::userDictionariesFolder(), user);
  for (const QString& bundle : {env.dictionariesFolder() + "/Shared.dictionary", env.dictionariesFolder() + "/b.dictionary",
                                user + "/Shared.dictionary", user + "/Mine.dictionary", user + "/a.dictionary"})
    ASSERT_TRUE(QDir().mkpath(bundle));
  EXPECT_EQ(dictionaryFolderEntries(), (QStringList{"b.dictionary", "Shared.dictionary", "a.dictionary",
                                                    "Mine.dictionary", "Shared.dictionary"}));
  const QList<DictionaryEntry> entries = dictionaryEntries();
  ASSERT_EQ(entries.size(), 5);
  EXPECT_FALSE(entries[1].user);
  EXPECT_TRUE(entries[2].user);
  EXPECT_EQ(entries[2].folder, user);

  const struct {
    const char* title;
    const char* parameter;
  } cases[] = {{"Shared", "/Library/Dictionaries/Shared.dictionary"},
               {"Mine", "~/Library/Dictionaries/Mine.dictionary"},
               {"Gone", "/Library/Dictionaries/Gone.dictionary"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(dictionaryParameterValue(c.title), c.parameter);
  }
  EXPECT_EQ(places::hostPath("~/Library/Dictionaries/Mine.dictionary"), user + "/Mine.dictionary");
  EXPECT_EQ(places::hostPath("/Library/Dictionaries/Mine.dictionary"), env.systemRoot() + "/Library/Dictionaries/Mine.dictionary");

  // A user folder that is the machine's, through a link, is not listed twice.
  ASSERT_TRUE(QDir(user).removeRecursively());
  ASSERT_TRUE(QFile::link(env.dictionariesFolder(), user));
  EXPECT_EQ(dictionaryFolderEntries(), (QStringList{"b.dictionary", "Shared.dictionary"}));
}

// An installed copy keeps the system root's /Library apart ($VOCABULON_MACHINE_LIBRARY names it
// here); everything else stays in the root, and a root named outright takes /Library back.
TEST(DictionaryMenu, TheMachinesLibraryLivesApartFromTheSystemRoot) {
  TestEnvironment env;
  const QString library = env.path() + "/var/lib/vocabulon";
  const QString root = QStringLiteral(VOCABULON_BINARY_DIR "/root");
  qunsetenv("VOCABULON_SYSTEM_ROOT");  // put back by the environment
  qputenv("VOCABULON_MACHINE_LIBRARY", library.toLocal8Bit());
  const struct {
    const char* mac;
    QString host;
  } cases[] = {
      {"/Library/Dictionaries/X.dictionary", library + "/Dictionaries/X.dictionary"},
      {"/Library", library},
      {"/LibraryX/a", root + "/LibraryX/a"},
      {"/System/Library/Automator/A.action", root + "/System/Library/Automator/A.action"},
      {"~/Library/Dictionaries/X.dictionary", env.home() + "/.local/share/vocabulon/Dictionaries/X.dictionary"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mac);
    EXPECT_EQ(places::hostPath(c.mac), c.host);
    if (c.mac[0] == '/') EXPECT_EQ(places::macPath(c.host), c.mac);
  }
  QDir().mkpath(library + "/Dictionaries/Machine.dictionary");
  EXPECT_EQ(dictionaryFolderEntries(), QStringList{"Machine.dictionary"});
  EXPECT_EQ(dictionaryParameterValue("Machine"), "/Library/Dictionaries/Machine.dictionary");

  qputenv("VOCABULON_SYSTEM_ROOT", env.systemRoot().toLocal8Bit());
  EXPECT_EQ(places::hostPath("/Library/Dictionaries/X.dictionary"), env.systemRoot() + "/Library/Dictionaries/X.dictionary");
  qunsetenv("VOCABULON_MACHINE_LIBRARY");
}
