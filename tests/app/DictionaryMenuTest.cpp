#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/core/DictionaryMenu.h"
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
