// SPDX-License-Identifier: GPL-3.0-or-later
// Every kind of file the program writes, written on a small file system that is full: the
// write reports the failure, the file that was there stays as it was, and nothing new (no
// temporary file, no empty file) is left behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTextDocument>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/mount.h>
#include <unistd.h>

#include "dictionary/Bundle.h"
#include "dictionary/DictdWriter.h"
#include "platform/Places.h"
#include "platform/automator/BundleAction.h"
#include "platform/automator/Workflow.h"
#include "platform/cf/PropertyList.h"
#include "platform/cocoa/RichText.h"
#include "platform/cocoa/UserDefaults.h"
#include "platform/PreferenceStore.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"

namespace {

const QString kExecutable = QStringLiteral(VOCABULON_BINARY_DIR "/vocabulon");

// Each writer's file grows well past the one page left free, so the write cannot fit.
const QString kLarge = QString(20000, u'x');

std::map<QString, QByteArray> snapshot(const QString& folder) {
  std::map<QString, QByteArray> files;
  QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    files[path.mid(folder.size())] = it.fileInfo().isDir() ? QByteArray("<folder>")
                                     : file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                       : QByteArray("<unreadable>");
  }
  return files;
}

QList<dictionary::DictdEntry> entries(const QString& text, int count) {
  QList<dictionary::DictdEntry> list;
  for (int i = 0; i < count; ++i) list.append({QStringLiteral("w%1").arg(i, 4, 10, QLatin1Char('0')), text});
  return list;
}

QString makeBundle(const QString& folder, const QString& text, int count) {
  const QString bundle = folder + "/B.dictionary";
  QDir().mkpath(bundle);
  EXPECT_TRUE(dictionary::writeDictd(bundle + "/data", entries(text, count), {}));
  return bundle;
}

std::unique_ptr<Workflow> workflowWith(const QString& parameter) {
  const QString action = places::hostPath("/System/Library/Automator/Get Definition of Word.action");
  std::unique_ptr<BundleAction> loaded = BundleAction::initWithContentsOfURL(QUrl::fromLocalFile(action));
  if (!loaded) return nullptr;
  loaded->setParameters({{"last selected dictionary URL", parameter}});
  auto workflow = std::make_unique<Workflow>();
  workflow->addAction(*loaded);
  return workflow;
}

bool writeDocument(const QString& path, const QString& text, QString* error) {
  QTextDocument document;
  document.setPlainText(text);
  return writeRTFDPackage(document, path, error);
}

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    installDefinitionAction(env);
    disk = env.path() + "/small";
    QDir().mkpath(disk);
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0)
      GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                   << "); the full-disk tests need root (CI runs them as root)";
    mounted = true;
  }
  void TearDown() override {
    if (mounted) ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
  }

  // Fills the file system to the last byte, then frees one page (room for a lock file or a
  // temporary file's first page, as a nearly full disk has).
  void fill(bool leaveAPage) {
    const QByteArray spare = QFile::encodeName(disk + "/.spare");
    const QByteArray filler = QFile::encodeName(disk + "/.filler");
    if (leaveAPage) {
      const int fd = ::open(spare.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::write(fd, QByteArray(4096, 's').constData(), 4096), 4096);
      ::close(fd);
    }
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ASSERT_GE(fd, 0);
    const QByteArray chunk(4096, 'f');
    while (::write(fd, chunk.constData(), chunk.size()) > 0) {}
    while (::write(fd, chunk.constData(), 1) > 0) {}
    ::close(fd);
    if (leaveAPage) ::unlink(spare.constData());
  }
  void unfill() { ::unlink(QFile::encodeName(disk + "/.filler").constData()); }

  TestEnvironment env;
  QString disk;
  bool mounted = false;
};

TEST_F(FullDisk, EveryWriterFailsCleanlyAndKeepsTheOldFile) {
  using Prepare = std::function<void(const QString& folder)>;
  using Write = std::function<bool(const QString& folder, QString* error)>;
  const struct {
    const char* name;
    Prepare prepare;
    Write write;
  } writers[] = {
      {"property list", [](const QString& f) { ASSERT_TRUE(plist::writeFile(f + "/a.plist", QVariantMap{{"k", "old"}})); },
       [](const QString& f, QString* error) { return plist::writeFile(f + "/a.plist", QVariantMap{{"k", kLarge}}, error); }},
      {"user defaults",
       [](const QString& f) {
         UserDefaults defaults(f + "/prefs.plist");
         defaults.setObject("old", "k");
         ASSERT_TRUE(defaults.synchronize());
       },
       [](const QString& f, QString* error) {
         UserDefaults defaults(f + "/prefs.plist");
         defaults.setObject(kLarge, "k");
         const bool written = defaults.synchronize();
         *error = defaults.store().problem();
         EXPECT_TRUE(defaults.hasPendingChanges());
         return written;
       }},
      {"workflow document, replaced",
       [](const QString& f) {
         std::unique_ptr<Workflow> workflow = workflowWith("old");
         ASSERT_TRUE(workflow && workflow->writeToURL(QUrl::fromLocalFile(f + "/W.workflow")));
       },
       [](const QString& f, QString* error) {
         return workflowWith(kLarge)->writeToURL(QUrl::fromLocalFile(f + "/W.workflow"), error);
       }},
      {"workflow document, new", [](const QString&) {},
       [](const QString& f, QString* error) {
         return workflowWith(kLarge)->writeToURL(QUrl::fromLocalFile(f + "/W.workflow"), error);
       }},
      {"RTFD package", [](const QString& f) { ASSERT_TRUE(writeDocument(f + "/R.rtfd", "old", nullptr)); },
       [](const QString& f, QString* error) { return writeDocument(f + "/R.rtfd", kLarge, error); }},
      {"dictd files", [](const QString& f) { ASSERT_TRUE(dictionary::writeDictd(f + "/d", entries("old", 1), {})); },
       [](const QString& f, QString* error) {
         dictionary::DictdWriterOptions plain;
         plain.dictzip = false;
         return dictionary::writeDictd(f + "/d", entries(kLarge, 1), plain, nullptr, error);
       }},
      {"prepared data",
       [](const QString& f) {
         const QString bundle = makeBundle(f, "old text", 50);
         ASSERT_TRUE(dictionary::writePreparedData(bundle, "data.dict.dz"));
         makeBundle(f, kLarge, 1);  // the data changed since
       },
       [](const QString& f, QString* error) {
         return dictionary::writePreparedData(f + "/B.dictionary", "data.dict.dz", error).has_value();
       }},
      {"prepared index order",
       [](const QString& f) {
         const QString bundle = makeBundle(f, "t", 10);
         ASSERT_TRUE(dictionary::writePreparedIndex(bundle, "data.index", "data.dict.dz"));
         makeBundle(f, "t", 2500);
       },
       [](const QString& f, QString* error) {
         return dictionary::writePreparedIndex(f + "/B.dictionary", "data.index", "data.dict.dz", error).has_value();
       }},
      {"dictionary Info.plist",
       [](const QString& f) {
         QDir().mkpath(f + "/B.dictionary");
         ASSERT_TRUE(dictionary::writeBundleInfo(f + "/B.dictionary", {"Old", "dictd", {"data.index"}}));
       },
       [](const QString& f, QString* error) {
         return dictionary::writeBundleInfo(f + "/B.dictionary", {kLarge, "dictd", {"data.index"}}, error);
       }},
  };
  for (const auto& writer : writers) {
    SCOPED_TRACE(writer.name);
    const QString folder = disk + "/" + QString::number(&writer - writers);
    ASSERT_TRUE(QDir().mkpath(folder));
    writer.prepare(folder);
    const std::map<QString, QByteArray> before = snapshot(folder);
    fill(true);
    QString error;
    EXPECT_FALSE(writer.write(folder, &error));
    // The prepared copy looks at the free space before it starts; the others find out writing.
    EXPECT_TRUE(error.contains("No space left on device") || error.contains("not enough free space")) << error.toStdString();
    EXPECT_EQ(snapshot(folder), before);
    unfill();
    QDir(folder).removeRecursively();
  }
}

// The command line says so and fails when its private workflow cannot be written, and leaves
// nothing behind.
TEST_F(FullDisk, DefineFailsClearlyWhenItsWorkflowCannotBeWritten) {
  addTestDictionary(env, "Animals", {{"cat", "A small furry animal."}});
  fill(false);
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("TMPDIR", disk);
  environment.insert("XDG_CACHE_HOME", disk);
  process.setProcessEnvironment(environment);
  process.start(kExecutable, {"define", "cat"});
  ASSERT_TRUE(process.waitForFinished(30000));
  const QString err = QString::fromLocal8Bit(process.readAllStandardError());
  EXPECT_NE(process.exitCode(), 0);
  EXPECT_TRUE(err.contains("cannot write the lookup workflow") && err.contains("No space left on device"))
      << err.toStdString();
  EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
  unfill();
  // At most the cache's empty folders, no partial document.
  for (const auto& [path, bytes] : snapshot(disk)) EXPECT_EQ(bytes, "<folder>") << path.toStdString();
}

}  // namespace
