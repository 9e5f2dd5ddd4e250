// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

#include "platform/automator/BundleAction.h"
#include "platform/automator/Workflow.h"
#include "platform/cf/PropertyList.h"
#include "tests/TestEnvironment.h"

namespace {

const QString kActionSource = QStringLiteral(VOCABULON_SOURCE_DIR "/data/automator/Get Definition of Word.action");
const QString kActionMacPath = QStringLiteral("/System/Library/Automator/Get Definition of Word.action");
const QString kDictionaryKey = QStringLiteral("last selected dictionary URL");

void writeBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

bool writePlist(const QString& path, const QVariant& value) {
  return QDir().mkpath(QFileInfo(path).absolutePath()) && plist::writeFile(path, value);
}

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void copyTree(const QString& from, const QString& to) {
  QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString source = it.next(), target = to + source.mid(from.size());
    QDir().mkpath(QFileInfo(target).absolutePath());
    ASSERT_TRUE(QFile::copy(source, target));
  }
}

ino_t inodeOf(const QString& path) {
  struct stat info;
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// dictd index numbers: base 64, most significant digit first.
QByteArray dictdNumber(qint64 value) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  QByteArray text;
  do text.prepend(digits[value % 64]);
  while ((value /= 64) > 0);
  return text;
}

class AutomatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    copyTree(kActionSource, env.systemRoot() + kActionMacPath);
    QDir().mkpath(folder);
  }

  // A dictd bundle "NAME.dictionary" in the dictionaries folder; entries in index order.
  void makeDictionary(const QString& name, const std::vector<std::pair<QByteArray, QByteArray>>& entries) {
    const QString bundle = env.dictionariesFolder() + '/' + name + ".dictionary";
    QByteArray index, data;
    for (const auto& [word, text] : entries) {
      index += word + '\t' + dictdNumber(data.size()) + '\t' + dictdNumber(text.size()) + '\n';
      data += text;
    }
    writeBytes(bundle + '/' + name + ".index", index);
    writeBytes(bundle + '/' + name + ".dict", data);
    ASSERT_TRUE(plist::writeFile(bundle + "/Info.plist",
                                 QVariantMap{{"CFBundleName", name}, {"VocabulonDictionaryFormat", "dictd"},
                                             {"VocabulonDictionaryFiles", QVariantList{name + ".index", name + ".dict"}}}));
  }

  std::unique_ptr<BundleAction> loadAction(const QString& path = {}) {
    QString error;
    auto action = BundleAction::initWithContentsOfURL(QUrl::fromLocalFile(path.isEmpty() ? env.systemRoot() + kActionMacPath : path), &error);
    EXPECT_TRUE(action) << error.toStdString();
    return action;
  }

  // Writes a one-action workflow that looks words up in the named dictionary.
  QUrl writeWorkflow(const QString& dictionaryName, const QString& fileName = "Lookup.workflow") {
    std::unique_ptr<BundleAction> action = loadAction();
    if (!action) return {};
    QVariantMap parameters = action->parameters();
    parameters.insert(kDictionaryKey, "/Library/Dictionaries/" + dictionaryName + ".dictionary");
    action->setParameters(parameters);
    Workflow workflow;
    workflow.addAction(*action);
    const QUrl url = QUrl::fromLocalFile(folder + '/' + fileName);
    QString error;
    EXPECT_TRUE(workflow.writeToURL(url, &error)) << error.toStdString();
    return url;
  }

  QString documentOf(const QUrl& url) { return Workflow::documentPath(url.toLocalFile()); }
  QVariantList onDiskActions(const QUrl& url) {
    return plist::readFile(documentOf(url)).value_or(QVariant()).toMap().value("Actions").toList();
  }

  TestEnvironment env;
  QString folder = env.home() + "/workflows";
};

TEST_F(AutomatorTest, LoadsTheActionBundle) {
  std::unique_ptr<BundleAction> action = loadAction();
  ASSERT_TRUE(action);
  EXPECT_EQ(action->bundleIdentifier(), "org.vocabulon.action.GetDefinitionOfWord");
  EXPECT_EQ(action->name(), "Get Definition of Word");
  EXPECT_EQ(action->parameters(), (QVariantMap{{kDictionaryKey, ""}}));
  EXPECT_FALSE(action->inputTypes().isEmpty());

  const QString root = env.path() + "/actions";
  writeBytes(root + "/Corrupt.action/Contents/Info.plist", "<plist><dict><key>CFBundleIdentifier</key>");
  ASSERT_TRUE(writePlist(root + "/NoId.action/Contents/Info.plist", QVariantMap{{"CFBundleName", "x"}}));
  ASSERT_TRUE(writePlist(root + "/BadDefaults.action/Contents/Info.plist",
                               QVariantMap{{"CFBundleIdentifier", "x.y"}, {"AMDefaultParameters", "text"}}));
  writeBytes(root + "/File.action", "not a folder");
  QDir().mkpath(root + "/Empty.action");
  for (const char* name : {"Missing", "Empty", "Corrupt", "NoId", "BadDefaults", "File"}) {
    QString error;
    EXPECT_FALSE(BundleAction::initWithContentsOfURL(QUrl::fromLocalFile(root + '/' + name + ".action"), &error)) << name;
    EXPECT_FALSE(error.isEmpty()) << name;
  }
  EXPECT_FALSE(BundleAction::initWithContentsOfURL(QUrl("https://example.org/Thing.action")));
}

TEST_F(AutomatorTest, DocumentNamesEachActionAndItsParameters) {
  const QString elsewhere = env.path() + "/elsewhere/Copy.action";
  copyTree(kActionSource, elsewhere);
  std::unique_ptr<BundleAction> action = loadAction();
  action->setParameters({{kDictionaryKey, "/Library/Dictionaries/Webster.dictionary"}});
  Workflow workflow;
  workflow.addAction(*action);
  workflow.addAction(*loadAction(elsewhere));
  const QUrl url = QUrl::fromLocalFile(folder + "/Two.workflow");
  ASSERT_TRUE(workflow.writeToURL(url));

  const QVariantList actions = onDiskActions(url);
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0].toMap().value("BundlePath").toString(), kActionMacPath);  // mac-style under the root
  EXPECT_EQ(actions[1].toMap().value("BundlePath").toString(), elsewhere);

  std::unique_ptr<Workflow> back = Workflow::initWithContentsOfURL(url);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->actions().size(), 2u);
  EXPECT_EQ(back->actions()[0].bundlePath(), env.systemRoot() + kActionMacPath);
  EXPECT_EQ(back->actions()[0].bundleIdentifier(), action->bundleIdentifier());
  EXPECT_EQ(back->actions()[0].parameters(), action->parameters());
  EXPECT_EQ(back->actions()[1].bundlePath(), elsewhere);
}

TEST_F(AutomatorTest, WritingReplacesWhateverIsThere) {
  const QUrl url = writeWorkflow("First");
  const QString path = url.toLocalFile(), document = documentOf(url);
  const ino_t before = inodeOf(document);
  writeWorkflow("Second");
  EXPECT_NE(inodeOf(document), before);  // a new file renamed into place
  EXPECT_TRUE(readBytes(document).contains("Second.dictionary"));
  const ino_t second = inodeOf(document);
  writeWorkflow("Second");  // the same document already there is not written again
  EXPECT_EQ(inodeOf(document), second);
  writeBytes(document, readBytes(document) + " ");  // anything else is
  writeWorkflow("Second");
  EXPECT_NE(inodeOf(document), second);
  EXPECT_FALSE(readBytes(document).endsWith(" "));

  // Whatever stands in the way, the next write leaves a workflow there.
  const std::pair<const char*, std::function<void()>> obstacles[] = {
      {"Third", [&] { QDir(path).removeRecursively(); writeBytes(path, "a plain file"); }},
      {"Fourth", [&] { QDir(path).removeRecursively(); QFile::link(env.path() + "/nowhere", path); }},
      {"Fifth", [&] { QFile::remove(document); QDir().mkpath(document + "/in the way"); }}};
  for (const auto& [name, obstruct] : obstacles) {
    obstruct();
    writeWorkflow(name);
    EXPECT_TRUE(readBytes(document).contains(QByteArray(name) + ".dictionary")) << name;
  }
  EXPECT_FALSE(QFileInfo::exists(env.path() + "/nowhere"));  // the dangling link was not followed

  EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"Lookup.workflow"});  // no temporary leftovers
  Workflow workflow;
  EXPECT_FALSE(workflow.writeToURL(QUrl::fromLocalFile(env.path() + "/no/such/folder/X.workflow")));
  EXPECT_FALSE(workflow.writeToURL(QUrl("https://example.org/X.workflow")));
}

// Running, with the real dictionary service behind the action.
class RunTest : public AutomatorTest {
 protected:
  void SetUp() override {
    AutomatorTest::SetUp();
    makeDictionary("Fruit", {{"apple", "apple\n  A round fruit of a rose-family tree.\n"},
                             {"pear", "pear\n  A sweet fruit, narrow at the stalk.\n"}});
    makeDictionary("Colour", {{"apple", "apple\n  A shade of green.\n"}});
  }
  static QString run(const QUrl& url, const QVariant& input) { return Workflow::runWorkflowAtURL(url, input).toString(); }
  static bool nil(const QUrl& url, const QVariant& input) { return !Workflow::runWorkflowAtURL(url, input).isValid(); }
};

TEST_F(RunTest, ReturnsTheDefinitions) {
  const QUrl url = writeWorkflow("Fruit");
  EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("A round fruit"));
  EXPECT_FALSE(run(url, QVariantList{"apple"}).contains("sweet"));
  EXPECT_TRUE(run(url, QStringList{"pear"}).contains("narrow at the stalk"));

  const QString both = run(url, QVariantList{"pear", "nothing", "apple"});
  const qsizetype pear = both.indexOf("narrow"), apple = both.indexOf("A round fruit");
  ASSERT_GE(pear, 0);
  ASSERT_GT(apple, pear);
  EXPECT_TRUE(both.mid(pear, apple - pear).contains("\n\n"));
}

TEST_F(RunTest, NilWhenNothingIsFoundOrTheWorkflowIsBad) {
  const QUrl url = writeWorkflow("Fruit");
  for (const QVariant& input : {QVariant(QVariantList{"zebra"}), QVariant(QVariantList{"nothing", "neither"}),
                                QVariant(QVariantList{""}), QVariant(QVariantList{}), QVariant(), QVariant(42)})
    EXPECT_TRUE(nil(url, input)) << input.toString().toStdString();
  EXPECT_TRUE(nil(writeWorkflow("Missing", "Missing.workflow"), QVariantList{"apple"}));
  EXPECT_TRUE(nil(QUrl::fromLocalFile(folder + "/None.workflow"), QVariantList{"apple"}));
  EXPECT_TRUE(nil(QUrl("https://example.org/x.workflow"), QVariantList{"apple"}));

  const QUrl bad = writeWorkflow("Fruit", "Bad.workflow");
  auto withAction = [](const QVariantMap& action) {
    return QVariantMap{{"WorkflowDocumentVersion", 1}, {"Actions", QVariantList{action}}};
  };
  const QString id = "org.vocabulon.action.GetDefinitionOfWord";
  const QVariant documents[] = {
      QVariantMap{{"WorkflowDocumentVersion", 1}, {"Actions", QVariantList{}}},
      QVariantMap{{"WorkflowDocumentVersion", 99}, {"Actions", QVariantList{}}},
      withAction({{"BundleIdentifier", "org.example.unknown"}}),
      withAction({{"BundleIdentifier", id}, {"Parameters", 3}}),
      withAction({{"BundleIdentifier", id}, {"Parameters", QVariantMap{{kDictionaryKey, "Fruit"}}}}),
      withAction({{"BundleIdentifier", id}, {"Parameters", QVariantMap{{kDictionaryKey, 7}}}}),
  };
  for (const QVariant& document : documents) {
    ASSERT_TRUE(plist::writeFile(documentOf(bad), document));
    EXPECT_TRUE(nil(bad, QVariantList{"apple"})) << plist::serialize(document).toStdString();
  }
  writeBytes(documentOf(bad), "<plist><dict><key>Actions</key>");
  EXPECT_TRUE(nil(bad, QVariantList{"apple"}));
  EXPECT_FALSE(Workflow::initWithContentsOfURL(bad));
}

TEST_F(RunTest, ParsesADocumentOnlyWhenItChanges) {
  const QUrl url = writeWorkflow("Fruit");
  const quint64 start = Workflow::documentsParsedForRunning();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("round fruit"));
  EXPECT_TRUE(run(QUrl::fromLocalFile(url.toLocalFile()), QVariantList{"pear"}).contains("narrow"));
  EXPECT_EQ(Workflow::documentsParsedForRunning(), start + 1);

  writeWorkflow("Colour");  // same path, another dictionary
  EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("shade of green"));
  EXPECT_TRUE(nil(url, QVariantList{"pear"}));
  EXPECT_EQ(Workflow::documentsParsedForRunning(), start + 2);

  writeBytes(documentOf(url), "garbage");  // a bad document is not parsed for every word either
  EXPECT_TRUE(nil(url, QVariantList{"apple"}));
  EXPECT_TRUE(nil(url, QVariantList{"apple"}));
  EXPECT_EQ(Workflow::documentsParsedForRunning(), start + 3);

  QDir(url.toLocalFile()).removeRecursively();
  EXPECT_TRUE(nil(url, QVariantList{"apple"}));
  writeWorkflow("Fruit");
  EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("round fruit"));
  EXPECT_EQ(Workflow::documentsParsedForRunning(), start + 4);
}

// Within one lookup the document is looked at once; the next lookup sees what changed.
TEST_F(RunTest, ALookupSessionLooksAtTheDocumentOnce) {
  const QUrl url = writeWorkflow("Fruit");
  {
    const Workflow::LookupSession lookup;
    EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("round fruit"));
    writeWorkflow("Colour");
    EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("round fruit"));
    EXPECT_TRUE(Workflow::canRunWorkflowAtURL(url));
    {
      const Workflow::LookupSession inner;  // a new lookup looks again
      EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("shade of green"));
      QDir(url.toLocalFile()).removeRecursively();
      EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("shade of green"));
    }
  }
  QString error;
  EXPECT_FALSE(Workflow::canRunWorkflowAtURL(url, &error));
  EXPECT_TRUE(error.contains("no workflow document")) << error.toStdString();
  {
    const Workflow::LookupSession lookup;  // a document missing at the start stays missing
    EXPECT_TRUE(nil(url, QVariantList{"apple"}));
    writeWorkflow("Fruit");
    EXPECT_TRUE(nil(url, QVariantList{"apple"}));
  }
  EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("round fruit"));
}

TEST_F(RunTest, AnEditInPlaceOfTheSameSizeIsNoticed) {
  makeDictionary("Fruix", {{"apple", "apple\n  Fruix says crisp.\n"}});
  const QUrl url = writeWorkflow("Fruit");
  EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("round fruit"));
  // Same inode and length: only the time tells. It is moved on by hand, since two writes in
  // one tick of the file system clock would share it.
  const QByteArray path = QFile::encodeName(documentOf(url));
  struct stat before;
  ASSERT_EQ(::stat(path.constData(), &before), 0);
  QFile file(documentOf(url));
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  const QByteArray bytes = file.readAll().replace("Fruit.dictionary", "Fruix.dictionary");
  file.seek(0);
  file.write(bytes);
  file.close();
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
  EXPECT_TRUE(run(url, QVariantList{"apple"}).contains("crisp"));
}

}  // namespace
