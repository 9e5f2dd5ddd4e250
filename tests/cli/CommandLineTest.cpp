// The command line, run as the real executable in a temporary home and system root.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <functional>
#include <sys/stat.h>

#include "platform/cf/PropertyList.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"
#include "tests/TestProcesses.h"

namespace {

const QString kExecutable = QStringLiteral(VOCABULON_BINARY_DIR "/vocabulon");

struct Result {
  int exitCode;
  QString out, err;
};

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override { installDefinitionAction(env); }

  void addDictionary(const QString& name, const TestEntries& entries) { addTestDictionary(env, name, entries); }

  Result run(const QStringList& arguments, const QByteArray& input = {}, bool unprivileged = false) {
    QProcess process;
    process.setProgram(kExecutable);
    if (unprivileged) {
      process.setProgram(reachableCopy(kExecutable, env.path()));
      runUnprivileged(process);
    }
    process.setArguments(arguments);
    process.start();
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
  }

  TestEnvironment env;
};

TEST_F(CommandLine, DefinePrintsTheResultViewBlocks) {
  addDictionary("Animals", {{"cat", "A small furry animal."}, {"well", "In a good way.\n"},
                            {"known", "Familiar."}});
  const Result result = run({"define", "Cat well-known zzz"});
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  EXPECT_EQ(result.out,
            "Cat:\nA small furry animal.\n\n"
            "well:\nIn a good way.\n\n"
            "known:\nFamiliar.\n\n"
            "zzz:\nCould not retrieve definition\n\n");
}

TEST_F(CommandLine, SortJsonAndStandardInput) {
  addDictionary("Animals", {{"apple", "A fruit."}, {"zebra", "A striped horse."}});
  const Result sorted = run({"define", "--sort", "--json", "-"}, "zebra Apple item10 item9");
  ASSERT_EQ(sorted.exitCode, 0) << sorted.err.toStdString();
  const QStringList lines = sorted.out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 4);
  QStringList order;
  for (const QString& line : lines) order << QJsonDocument::fromJson(line.toUtf8()).object()["word"].toString();
  EXPECT_EQ(order, (QStringList{"Apple", "item9", "item10", "zebra"}));
  const QJsonObject first = QJsonDocument::fromJson(lines[0].toUtf8()).object();
  EXPECT_EQ(first["definition"].toString(), "A fruit.");
  EXPECT_TRUE(QJsonDocument::fromJson(lines[1].toUtf8()).object()["definition"].isNull());
}

TEST_F(CommandLine, DefaultDictionaryIsTheStoredChoiceElseTheFirstListed) {
  addDictionary("A First", {{"word", "from the first"}});
  addDictionary("B Second", {{"word", "from the second"}});
  EXPECT_EQ(run({"define", "word"}).out, "word:\nfrom the first\n\n");

  const QString preferences = env.home() + "/.config/org.vocabulon.Vocabulon.plist";
  ASSERT_TRUE(QDir().mkpath(env.home() + "/.config"));
  ASSERT_TRUE(plist::writeFile(preferences, QVariantMap{{"LastDictionaryUsed", "B Second"}}));
  EXPECT_EQ(run({"define", "word"}).out, "word:\nfrom the second\n\n");
  EXPECT_EQ(run({"define", "-d", "A First", "word"}).out, "word:\nfrom the first\n\n");
}

TEST_F(CommandLine, ListsTheDictionariesFolderLikeTheMenu) {
  addDictionary("Animals", {{"cat", "x"}, {"dog", "y"}});
  QFile stray(env.dictionariesFolder() + "/notes.txt");
  ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
  stray.close();
  const Result result = run({"dictionaries"});
  EXPECT_EQ(result.exitCode, 0);
  const QStringList lines = result.out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith("Animals\tAnimals.dictionary\tdictd, ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].endsWith(": Animals")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith("notes\tnotes.txt\tnot a readable dictionary")) << lines[1].toStdString();
}

// Input read in pieces gives the words of the whole text: whatever the alignment of the
// pieces, no word and no character is cut in two.
TEST_F(CommandLine, LongInputIsDefinedWordForWord) {
  addDictionary("Drinks", {{"café", "Coffee."}, {"cat", "A small furry animal."}});
  QByteArray blocks;
  for (int i = 0; i < 7000; ++i) blocks += "café:\nCoffee.\n\ncat:\nA small furry animal.\n\n";
  for (int shift = 0; shift < 11; ++shift) {  // "café cat, " is 11 bytes long
    const QByteArray prefix(shift, 'x');
    const Result result = run({"define", "-"}, prefix + " " + QByteArray("café cat, ").repeated(7000));
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QByteArray expected = (shift ? prefix + ":\nCould not retrieve definition\n\n" : QByteArray()) + blocks;
    EXPECT_TRUE(result.out.toUtf8() == expected) << "shift " << shift;
  }
}

TEST_F(CommandLine, ClearFailuresAndUsageErrors) {
  Result result = run({"define", "word"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.err.contains("no dictionaries")) << result.err.toStdString();

  addDictionary("Animals", {{"cat", "x"}});
  result = run({"define", "-d", "Missing", "cat"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.err.contains("Missing")) << result.err.toStdString();

  QDir().mkpath(env.dictionariesFolder() + "/Broken.dictionary");
  result = run({"define", "-d", "Broken", "cat"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(result.err.isEmpty());

  // An action bundle that no runner knows: the workflow is written but cannot run, which is
  // said once, not answered with a failure line per word.
  const QString actionInfo = env.systemRoot() + "/System/Library/Automator/Get Definition of Word.action/Contents/Info.plist";
  QVariantMap info = plist::readFile(actionInfo).value_or(QVariant()).toMap();
  info["CFBundleIdentifier"] = "org.example.UnknownAction";
  ASSERT_TRUE(plist::writeFile(actionInfo, info));
  result = run({"define", "-d", "Animals", "cat", "dog"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.err.contains("cannot read the lookup workflow") && result.err.contains("org.example.UnknownAction"))
      << result.err.toStdString();
  EXPECT_FALSE(result.out.contains("Could not retrieve definition"));

  EXPECT_EQ(run({"define", "--bogus"}).exitCode, 2);
  EXPECT_EQ(run({"define", "-d"}).exitCode, 2);
  EXPECT_EQ(run({"frobnicate"}).exitCode, 2);
  EXPECT_EQ(run({"import", "/nonexistent/x.index"}).exitCode, 1);
}

// A preference file that is not a regular file, or is damaged, never hangs define: it is
// moved aside, reported, and the defaults apply.
TEST_F(CommandLine, HostilePreferenceFilesAreSetAsideNotWaitedOn) {
  addDictionary("A First", {{"word", "from the first"}});
  addDictionary("B Second", {{"word", "from the second"}});
  const QString preferences = env.home() + "/.config/org.vocabulon.Vocabulon.plist";
  ASSERT_TRUE(QDir().mkpath(env.home() + "/.config"));
  const QString fifo = env.path() + "/fifo";
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const std::pair<const char*, std::function<bool()>> cases[] = {
      {"a FIFO", [&] { return ::mkfifo(QFile::encodeName(preferences).constData(), 0600) == 0; }},
      {"a link to a FIFO", [&] { return QFile::link(fifo, preferences); }},
      {"a link to /dev/zero", [&] { return QFile::link("/dev/zero", preferences); }},
      {"damaged", [&] {
         QFile file(preferences);
         return file.open(QIODevice::WriteOnly) && file.write("<plist><dict><key>LastDictionaryUsed</key>") > 0;
       }},
  };
  for (const auto& [name, make] : cases) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(make());
    const Result result = run({"define", "word"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, "word:\nfrom the first\n\n");
    EXPECT_TRUE(result.err.contains("damaged") && result.err.contains(preferences + ".corrupt")) << result.err.toStdString();
    struct stat info;
    EXPECT_NE(::lstat(QFile::encodeName(preferences).constData(), &info), 0);
    EXPECT_EQ(::lstat(QFile::encodeName(preferences + ".corrupt").constData(), &info), 0);
    QFile::remove(preferences + ".corrupt");
  }
}

// A preference file this user may not read is no damage: define uses the defaults, says why,
// and leaves the file as it is.
TEST_F(CommandLine, UnreadablePreferencesAreLeftAloneAndReported) {
  addDictionary("A First", {{"word", "from the first"}});
  addDictionary("B Second", {{"word", "from the second"}});
  const QString preferences = env.home() + "/.config/org.vocabulon.Vocabulon.plist";
  ASSERT_TRUE(QDir().mkpath(env.home() + "/.config"));
  ASSERT_TRUE(plist::writeFile(preferences, QVariantMap{{"LastDictionaryUsed", "B Second"}}));
  const QByteArray before = [&] {
    QFile file(preferences);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }();
  ::chmod(QFile::encodeName(env.path()).constData(), 0755);
  ::chmod(QFile::encodeName(preferences).constData(), 0);
  ASSERT_EQ(::chown(QFile::encodeName(env.home() + "/.config").constData(), unprivilegedUid(), unprivilegedGid()), 0);

  const Result result = run({"define", "word"}, {}, true);
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  EXPECT_EQ(result.out, "word:\nfrom the first\n\n");
  EXPECT_TRUE(result.err.contains(preferences) && result.err.contains("Permission denied") &&
              result.err.contains("left as it is"))
      << result.err.toStdString();
  ::chmod(QFile::encodeName(preferences).constData(), 0600);
  QFile file(preferences);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
  EXPECT_FALSE(QFileInfo::exists(preferences + ".corrupt"));
}

TEST_F(CommandLine, ImportMakesBundlesThatDefineReads) {
  const QString source = env.path() + "/src";
  QDir().mkpath(source);
  writeTestDictd(source + "/fruit", "Fruit Words", {{"apple", "A round fruit."}});
  const Result imported = run({"import", source + "/fruit.index"});
  ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
  EXPECT_TRUE(QFileInfo::exists(env.dictionariesFolder() + "/Fruit Words.dictionary"));
  EXPECT_EQ(run({"define", "apple"}).out, "apple:\nA round fruit.\n\n");
}

}  // namespace
