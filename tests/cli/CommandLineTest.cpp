// SPDX-License-Identifier: GPL-3.0-or-later
// The command line, run as the real executable in a temporary home and system root.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "dictionary/StarDictWriter.h"
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

  Result run(const QStringList& arguments, const QByteArray& input = {}, bool unprivileged = false,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
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
  EXPECT_TRUE(lines[0].startsWith("Animals\tAnimals.dictionary\tmachine\tdictd, ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].endsWith(": Animals")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith("notes\tnotes.txt\tmachine\tnot a readable dictionary")) << lines[1].toStdString();
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

  // Nothing defined is a failure to a script, as with grep; one word found is success.
  result = run({"define", "-d", "Animals", "zzz qqq"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "zzz:\nCould not retrieve definition\n\nqqq:\nCould not retrieve definition\n\n");
  EXPECT_EQ(run({"define", "-d", "Animals", "zzz cat"}).exitCode, 0);

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
  // Root imports for the machine; anyone else for themselves.
  const QString folder = ::geteuid() == 0 ? env.dictionariesFolder() : env.home() + "/.local/share/vocabulon/Dictionaries";
  EXPECT_TRUE(QFileInfo::exists(folder + "/Fruit Words.dictionary"));
  EXPECT_EQ(run({"define", "apple"}).out, "apple:\nA round fruit.\n\n");
}

// Help and the version are printed with no display to open, and exit 0.
TEST_F(CommandLine, HelpAndVersionNeedNoDisplay) {
  QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) headless.remove(name);
  const struct {
    QStringList arguments;
    const char* says;
  } cases[] = {
      {{"--version"}, "vocabulon " VOCABULON_VERSION "\n"},
      {{"--help"}, "usage: vocabulon define"},
      {{"-h"}, "vocabulon import [--user]"},
      {{"define", "--help"}, "--exact"},
      {{"define", "-d", "x", "word", "-h"}, "-d, --dictionary NAME"},
      {{"dictionaries", "--help"}, "machine or user"},
      {{"import", "--help"}, "--user"},
      {{"lookup-selection", "--help"}, "usage: vocabulon lookup-selection"},
      {{"help", "import"}, "usage: vocabulon import"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const Result result = run(c.arguments, {}, false, headless);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains(QString::fromUtf8(c.says))) << result.out.toStdString();
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
  }
  // The window's own program, which vocabulon starts, answers them too.
  for (const char* option : {"--version", "--help"}) {
    QProcess window;
    window.setProcessEnvironment(headless);
    window.start(QStringLiteral(VOCABULON_BINARY_DIR "/vocabulon-window"), {option});
    ASSERT_TRUE(window.waitForFinished(30000));
    EXPECT_EQ(window.exitCode(), 0) << option;
    EXPECT_TRUE(window.readAllStandardOutput().startsWith(option[2] == 'v' ? "vocabulon-window " VOCABULON_VERSION : "usage:"));
  }
}

// -d takes a title, a bundle or database name, or a unique prefix of one in any letter case;
// the user's dictionaries are listed, and chosen, after the machine's.
TEST_F(CommandLine, DictionaryNamesPrefixesAndTheUsersFolder) {
  const QString source = env.path() + "/src";
  QDir().mkpath(source);
  writeTestDictd(source + "/wn", "WordNet (r) 3.0", {{"tree", "A woody plant."}});
  writeTestDictd(source + "/wow", "Words of Wisdom", {{"tree", "Known by its fruit."}});
  ASSERT_EQ(run({"import", source + "/wn.index"}).exitCode, 0);
  const Result user = run({"import", "--user", source + "/wow.index"});
  ASSERT_EQ(user.exitCode, 0) << user.err.toStdString();
  EXPECT_TRUE(QFileInfo::exists(env.home() + "/.local/share/vocabulon/Dictionaries/Words of Wisdom.dictionary"));

  const QStringList listed = run({"dictionaries"}).out.trimmed().split('\n');
  ASSERT_EQ(listed.size(), 2);
  EXPECT_TRUE(listed[0].startsWith("WordNet (r) 3.0\tWordNet (r) 3.0.dictionary\tmachine\t")) << listed[0].toStdString();
  EXPECT_TRUE(listed[1].startsWith("Words of Wisdom\tWords of Wisdom.dictionary\tuser\t")) << listed[1].toStdString();

  const QString wordnet = "tree:\nA woody plant.\n\n", wisdom = "tree:\nKnown by its fruit.\n\n";
  const struct {
    const char* name;
    int exitCode;
    QString out;
    const char* err;
  } cases[] = {
      {"WordNet (r) 3.0", 0, wordnet, ""},
      {"wn", 0, wordnet, ""},
      {"wordnet", 0, wordnet, ""},
      {"WORDNET (R) 3.0.dictionary", 0, wordnet, ""},
      {"words", 0, wisdom, ""},
      {"WOW", 0, wisdom, ""},
      {"Words of Wisdom", 0, wisdom, ""},
      {"w", 1, "", "fits several dictionaries: WordNet (r) 3.0, Words of Wisdom"},
      {"gone", 1, "", "no such dictionary"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Result result = run({"define", "-d", c.name, "tree"});
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
    EXPECT_EQ(result.out, c.out);
    EXPECT_TRUE(result.err.contains(QString::fromUtf8(c.err))) << result.err.toStdString();
  }
}

// An ordinary user imports a StarDict dictionary into their own folder (the machine's is not
// theirs to write), sees it after the machine's, and looks words up in it.
TEST_F(CommandLine, AnOrdinaryUserImportsIntoTheirOwnFolder) {
  addDictionary("Animals", {{"cat", "A small furry animal."}});
  const QString source = env.path() + "/src";
  QDir().mkpath(source);
  QList<dictionary::StarDictEntry> entries{dictionary::starDictTextEntry("tree", "A tall plant.")};
  dictionary::StarDictWriterOptions options;
  options.bookName = QStringLiteral("Garden Words");
  options.dictzip = true;
  dictionary::StarDictFiles files;
  ASSERT_TRUE(dictionary::writeStarDict(source + "/garden", entries, options, &files));
  ::chmod(QFile::encodeName(env.path()).constData(), 0755);
  ASSERT_EQ(QProcess::execute("chown", {"-R", QString::number(unprivilegedUid()), env.home()}), 0);

  const Result imported = run({"import", files.ifo}, {}, true);
  ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
  const QString bundle = env.home() + "/.local/share/vocabulon/Dictionaries/Garden Words.dictionary";
  EXPECT_TRUE(imported.out.contains(bundle)) << imported.out.toStdString();
  EXPECT_FALSE(QFileInfo::exists(env.dictionariesFolder() + "/Garden Words.dictionary"));
  const QStringList listed = run({"dictionaries"}, {}, true).out.trimmed().split('\n');
  ASSERT_EQ(listed.size(), 2);
  EXPECT_TRUE(listed[0].startsWith("Animals\t")) << listed[0].toStdString();
  EXPECT_TRUE(listed[1].startsWith("Garden Words\tGarden Words.dictionary\tuser\tStarDict, 1 entries")) << listed[1].toStdString();
  const Result defined = run({"define", "-d", "garden", "tree"}, {}, true);
  EXPECT_EQ(defined.exitCode, 0) << defined.err.toStdString();
  EXPECT_EQ(defined.out, "tree:\nA tall plant.\n\n");
}

}  // namespace

namespace {

// What bash completion offers for the words typed, the last one being completed.
QStringList completions(const QStringList& words) {
  QStringList quoted;
  for (const QString& word : words) quoted << "'" + QString(word).replace("'", "'\\''") + "'";
  QProcess bash;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("PATH", QStringLiteral(VOCABULON_BINARY_DIR ":") + environment.value("PATH"));
  bash.setProcessEnvironment(environment);
  bash.start("bash", {"-c", QStringLiteral("shopt -s extglob; source '" VOCABULON_SOURCE_DIR "/data/completion/vocabulon'; "
                                           "COMP_WORDS=(%1); COMP_CWORD=%2; _vocabulon; printf '%s\\n' \"${COMPREPLY[@]}\"")
                                .arg(quoted.join(' '))
                                .arg(words.size() - 1)});
  EXPECT_TRUE(bash.waitForFinished(30000));
  QStringList offered = QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  offered.sort();
  return offered;
}

}  // namespace

TEST_F(CommandLine, BashCompletesCommandsOptionsAndDictionaries) {
  addDictionary("Words of Wisdom", {{"tree", "x"}});
  addDictionary("WordNet", {{"tree", "y"}});
  const struct {
    QStringList words;
    QStringList offered;
  } cases[] = {
      {{"vocabulon", "d"}, {"define", "dictionaries"}},
      {{"vocabulon", "--v"}, {"--version"}},
      {{"vocabulon", "define", "--s"}, {"--sort"}},
      {{"vocabulon", "import", "--"}, {"--help", "--user"}},
      {{"vocabulon", "define", "-d", "word"}, {"WordNet", "Words\\ of\\ Wisdom"}},
      {{"vocabulon", "define", "--dictionary", "\"words "}, {"Words\\ of\\ Wisdom"}},
      {{"vocabulon", "define", "-d", "x"}, {}},
      {{"vocabulon", "help", "im"}, {"import"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.join(' ').toStdString());
    EXPECT_EQ(completions(c.words), c.offered);
  }
}
