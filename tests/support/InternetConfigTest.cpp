// SPDX-License-Identifier: GPL-3.0-or-later
// The Internet Config client over the desktop's databases: the mapping loaders into the start-up
// tables, file-name mapping, helpers, URLs and preferences through the desktop's opener, the
// "not installed" road, and the newest application across volumes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <map>

#include "foundation/StartupTables.h"
#include "platform/carbon/Components.h"
#include "platform/carbon/Gestalt.h"
#include "support/InternetConfigClient.h"
#include "tests/TestEnvironment.h"

namespace {

QString pascal(const unsigned char* p) { return QString::fromUtf8(reinterpret_cast<const char*>(p + 1), p[0]); }

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(path.section(u'/', 0, -2));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  f.write(bytes);
}

// An application bundle with the signature, modified at the given time.
void makeBundle(const QString& path, const char* signature, time_t modified, const char* name = nullptr) {
  QByteArray plist = QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>") +
                     "<key>CFBundleSignature</key><string>" + signature + "</string>";
  if (name) plist += QByteArray("<key>CFBundleName</key><string>") + name + "</string>";
  writeFile(path + "/Contents/Info.plist", plist + "</dict></plist>\n");
  struct utimbuf times{modified, modified};
  ASSERT_EQ(utime(QFile::encodeName(path).constData(), &times), 0);
}

class InternetConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ExtensionMappings.destroy();
    FileTypeMappings.destroy();
  }
  void TearDown() override {
    ExtensionMappings.destroy();
    FileTypeMappings.destroy();
    qunsetenv("VOCABULON_OPENER");
  }
  // A program standing in for the desktop's opener: it writes its argument to a file.
  QString recordingOpener() {
    const QString script = env.path() + "/opener.sh";
    writeFile(script, ("#!/bin/sh\nprintf '%s' \"$1\" > '" + env.path() + "/opened.tmp' && mv '" +
                       env.path() + "/opened.tmp' '" + env.path() + "/opened'\n").toUtf8());
    chmod(QFile::encodeName(script).constData(), 0755);
    qputenv("VOCABULON_OPENER", QFile::encodeName(script));
    return env.path() + "/opened";
  }
  QByteArray waitFor(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path) && timer.elapsed() < 10000) QThread::msleep(20);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // Default applications and their desktop entries, as a desktop writes them.
  void setDefaults(const std::map<QString, std::pair<QString, QString>>& byType) {
    QByteArray list = "[Default Applications]\n";
    for (const auto& [type, app] : byType) {
      list += (type + "=" + app.first + ";\n").toUtf8();
      writeFile(env.home() + "/.local/share/applications/" + app.first,
                ("[Desktop Entry]\nType=Application\nName=" + app.second + "\nName[de]=Anders\nExec=true\n").toUtf8());
    }
    writeFile(env.home() + "/.config/mimeapps.list", list);
  }
  TestEnvironment env;
};

TEST_F(InternetConfigTest, ExtensionMappingsFollowSharedMimeInfo) {
  LoadExtensionMappings();
  const QMimeType pdf = QMimeDatabase().mimeTypeForName("application/pdf");
  ASSERT_TRUE(pdf.isValid()) << "shared-mime-info is not installed";
  const auto* node = ExtensionMappings.find(".pdf");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(pascal(node->entry.MIMEType), "application/pdf");
  EXPECT_EQ(pascal(node->entry.entryName), pdf.comment());
  EXPECT_EQ(pascal(node->entry.extension), ".pdf");
  EXPECT_EQ(node->entry.fileType, FOUR_CHAR_CODE("PDF "));
  EXPECT_TRUE(node->entry.flags & kICMapBinaryMask);
  EXPECT_GE(ExtensionMappings.nodeCount, 500);
  EXPECT_EQ(ExtensionMappings.orderList.count(), ExtensionMappings.nodeCount);
  EXPECT_EQ(FileTypeMappings.nodeCount, 0);

  LoadFileTypeMappings();
  const auto* text = FileTypeMappings.find(FOUR_CHAR_CODE("TEXT"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->entry.fileType, FOUR_CHAR_CODE("TEXT"));
  EXPECT_FALSE(text->entry.flags & kICMapBinaryMask);
  // Every kind without a classic type shares the node of type 0.
  ASSERT_NE(FileTypeMappings.find(0), nullptr);
  EXPECT_LT(FileTypeMappings.nodeCount, 30);
}

// A second type claiming "*.txt" (a user's own shared-mime-info package): the loader walks two
// '.txt' entries and keeps one node holding the one read last.
TEST_F(InternetConfigTest, TwoTxtEntriesLeaveOneNodeHoldingTheSecond) {
  // A process reads the MIME database once (and again only after seconds): run where it has not
  // been read yet, a fresh process of this test program.
  if (!qEnvironmentVariableIsSet("VOCABULON_FRESH_MIME_PROCESS")) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VOCABULON_FRESH_MIME_PROCESS", "1");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QFile::symLinkTarget("/proc/self/exe"),
                {"--gtest_filter=InternetConfigTest.TwoTxtEntriesLeaveOneNodeHoldingTheSecond"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
    return;
  }
  writeFile(env.home() + "/.local/share/mime/packages/notes.xml",
            "<?xml version=\"1.0\"?>\n<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">"
            "<mime-type type=\"text/x-vocabulon-notes\"><comment>Vocabulon notes</comment>"
            "<sub-class-of type=\"text/plain\"/><glob pattern=\"*.txt\"/></mime-type></mime-info>\n");
  InternetConfigClient client(FOUR_CHAR_CODE("Qbzr"));
  ASSERT_EQ(client.Start(), noErr);
  ASSERT_EQ(client.BeginMappings(), noErr);
  std::vector<QString> txtTypes;
  ICMapEntry entry;
  while (client.NextMapping(&entry))
    if (pascal(entry.extension) == ".txt") txtTypes.push_back(pascal(entry.MIMEType));
  EXPECT_EQ(client.EndMappings(), noErr);
  EXPECT_EQ(client.EndMappings(), -1);  // no walk open any more
  ASSERT_EQ(txtTypes.size(), 2u);
  EXPECT_NE(txtTypes[0], txtTypes[1]);

  LoadExtensionMappings();
  const SInt32 count = ExtensionMappings.nodeCount;
  const auto* node = ExtensionMappings.find(".txt");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(pascal(node->entry.MIMEType), txtTypes[1]);
  // Loading again adds no node: every key is there already.
  LoadExtensionMappings();
  EXPECT_EQ(ExtensionMappings.nodeCount, count);
}

TEST_F(InternetConfigTest, MapFilenameByGlobWithDefaultApplication) {
  setDefaults({{"application/pdf", {"reader.desktop", "Test Reader"}}});
  InternetConfigClient client(FOUR_CHAR_CODE("Qbzr"));
  ICMapEntry entry;
  EXPECT_EQ(client.MapFilename("report.pdf", &entry), -1);  // not started
  ASSERT_EQ(client.Start(), noErr);

  struct Case {
    QByteArray name;
    OSStatus result;
    const char* mime;
    const char* extension;
  };
  // 251 + 4 bytes reach the extension; what follows the 255th byte is not read.
  const QByteArray longName = QByteArray(251, 'a') + ".pdf" + QByteArray(45, 'x');
  ASSERT_EQ(longName.size(), 300);
  const Case cases[] = {
      {"report.pdf", noErr, "application/pdf", ".pdf"},
      {"REPORT.PDF", noErr, "application/pdf", ".pdf"},
      {"archive.tar.gz", noErr, "application/x-compressed-tar", ".tar.gz"},
      {longName, noErr, "application/pdf", ".pdf"},
      {"no-extension-here", icPrefNotFoundErr, nullptr, nullptr},
      {"", paramErr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.left(40).toStdString());
    std::memset(&entry, 0, sizeof entry);
    ASSERT_EQ(client.MapFilename(c.name.constData(), &entry), c.result);
    if (!c.mime) continue;
    EXPECT_EQ(pascal(entry.MIMEType), c.mime);
    EXPECT_EQ(pascal(entry.extension), c.extension);
  }
  ASSERT_EQ(client.MapFilename("x.pdf", &entry), noErr);
  EXPECT_EQ(pascal(entry.creatorAppName), "Test Reader");
  EXPECT_EQ(entry.fileType, FOUR_CHAR_CODE("PDF "));
  EXPECT_EQ(entry.fileCreator, FOUR_CHAR_CODE("prvw"));
  // The Pascal form of a name over 255 bytes cannot exist; the C form is cut.
  EXPECT_EQ(client.MapFilename(static_cast<const char*>(nullptr), &entry), paramErr);
}

TEST_F(InternetConfigTest, HelpersUrlsAndPreferencesGoThroughTheDesktop) {
  setDefaults({{"x-scheme-handler/http", {"browser.desktop", "Test Browser"}},
                {"x-scheme-handler/mailto", {"mailer.desktop", "Test Mailer"}}});
  makeBundle(env.home() + "/Applications/Test Browser.app", "TsBr", 1000000000);
  InternetConfigClient client(FOUR_CHAR_CODE("Qbzr"));
  ASSERT_EQ(client.Start(), noErr);

  FSSpec app{};
  OSType creator = 0;
  ASSERT_EQ(client.GetHelperApplication((const unsigned char*)"\15Helper\xE2\x80\xA2http", &app, &creator), noErr);
  EXPECT_EQ(creator, FOUR_CHAR_CODE("TsBr"));
  EXPECT_EQ(pascal(app.name), "Test Browser.app");
  unsigned char buffer[260];
  ASSERT_EQ(client.GetPref((const unsigned char*)"\15Helper\xA5mailto", buffer), noErr);  // Mac Roman bullet
  ICAppSpec spec;
  std::memcpy(&spec, buffer, sizeof spec);
  EXPECT_EQ(pascal(spec.name), "Test Mailer");
  EXPECT_EQ(spec.fCreator, FOUR_CHAR_CODE("????"));
  // No bundle for the mail program: no helper application to give.
  EXPECT_EQ(client.GetHelperApplication((const unsigned char*)"\17Helper\xE2\x80\xA2mailto", &app, &creator), -1);
  EXPECT_EQ(client.GetPref((const unsigned char*)"\17Helper\xE2\x80\xA2gopher", buffer), icPrefNotFoundErr);
  EXPECT_EQ(client.GetPref256((const unsigned char*)"\7Mapping", buffer), icTruncatedErr);

  const QString opened = recordingOpener();
  EXPECT_EQ(client.LaunchURL((const unsigned char*)"\24http://example.org/a"), noErr);
  EXPECT_EQ(waitFor(opened), "http://example.org/a");
  QFile::remove(opened);
  EXPECT_EQ(client.LaunchURL((const unsigned char*)"\11not a url"), icNoURLErr);
  EXPECT_EQ(client.EditPreferences((const unsigned char*)"\7Mapping"), noErr);
  EXPECT_EQ(waitFor(opened), QFile::encodeName(env.home() + "/.config/mimeapps.list"));
  // The user's list is opened as it is, never rewritten.
  QFile list(env.home() + "/.config/mimeapps.list");
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_TRUE(list.readAll().contains("x-scheme-handler/mailto=mailer.desktop;"));
}

TEST_F(InternetConfigTest, WithoutTheComponentEverythingAnswersNotStarted) {
  const ComponentDescription ic{kICComponentType, kICComponentSubType, 0, 0, 0};
  Component component = FindNextComponent(nullptr, &ic);
  ASSERT_NE(component, nullptr);
  SInt32 version = 0;
  EXPECT_EQ(Gestalt(gestaltComponentMgr, &version), noErr);
  ComponentDescription registered;
  ASSERT_EQ(GetComponentInfo(component, &registered), noErr);
  ASSERT_EQ(UnregisterComponent(component), noErr);
  EXPECT_EQ(UnregisterComponent(component), invalidComponentID);
  EXPECT_EQ(CountComponents(&ic), 0);

  InternetConfigClient client(FOUR_CHAR_CODE("Qbzr"));
  EXPECT_FALSE(client.IsAvailable());
  EXPECT_NE(client.Start(), noErr);
  ICMapEntry entry;
  unsigned char buffer[260];
  FSSpec spec;
  OSType creator;
  EXPECT_EQ(client.LaunchURL((const unsigned char*)"\22http://example.org"), -1);
  EXPECT_EQ(client.MapFilename((const unsigned char*)"\5a.pdf", &entry), -1);
  EXPECT_EQ(client.GetPref((const unsigned char*)"\7Mapping", buffer), -1);
  EXPECT_EQ(client.EditPreferences((const unsigned char*)"\7Mapping"), -1);
  EXPECT_EQ(client.GetHelperApplication((const unsigned char*)"\15Helper\xE2\x80\xA2http", &spec, &creator), -1);
  EXPECT_EQ(client.BeginMappings(), -1);
  EXPECT_FALSE(client.NextMapping(&entry));
  EXPECT_EQ(client.EndMappings(), -1);
  LoadExtensionMappings();
  LoadFileTypeMappings();
  EXPECT_EQ(ExtensionMappings.nodeCount, 0);
  EXPECT_EQ(FileTypeMappings.nodeCount, 0);

  ASSERT_NE(RegisterComponent(&registered, "Internet Config"), nullptr);
  EXPECT_TRUE(InternetConfigClient(FOUR_CHAR_CODE("Qbzr")).IsAvailable());
}

// Copies of one application on two volumes: the system root's /Applications on the volume of
// the temporary folder, ~/Applications on a second file system (/dev/shm).
TEST_F(InternetConfigTest, NewestApplicationAcrossVolumes) {
  QTemporaryDir otherHome(QStringLiteral("/dev/shm/vocabulon-home-XXXXXX"));
  struct stat a, b;
  if (!otherHome.isValid() || stat(QFile::encodeName(env.path()).constData(), &a) != 0 ||
      stat(QFile::encodeName(otherHome.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "needs /dev/shm on a file system of its own";
  const QByteArray savedHome = qgetenv("HOME");
  qputenv("HOME", QFile::encodeName(otherHome.path()));
  const QString systemCopy = env.systemRoot() + "/Applications/Tool.app";
  const QString userCopy = otherHome.path() + "/Applications/Tool.app";

  // The volume index of each copy's volume.
  auto volumeIndexOf = [](const QString& path) {
    FSRef ref;
    FSSpec spec;
    const QByteArray local = QFile::encodeName(path);
    if (FSPathMakeRef((const UInt8*)local.constData(), &ref, nullptr) ||
        FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr))
      return -1;
    for (SInt16 index = 1;; ++index) {
      HParamBlockRec volume{};
      volume.volumeParam.ioVolIndex = index;
      if (PBHGetVInfoSync(&volume)) return -1;
      if (volume.volumeParam.header.ioVRefNum == spec.vRefNum) return int(index);
    }
  };
  struct Case {
    time_t systemDate, userDate;
    bool expectUser;  // else the system copy; -1 below: the lower volume index
    bool tie;
  };
  const Case cases[] = {{1000000000, 1100000000, true, false},
                        {1100000000, 1000000000, false, false},
                        {1000000000, 1000000000, false, true}};
  for (const Case& c : cases) {
    makeBundle(systemCopy, "VbTl", c.systemDate);
    makeBundle(userCopy, "VbTl", c.userDate);
    const int systemIndex = volumeIndexOf(systemCopy), userIndex = volumeIndexOf(userCopy);
    ASSERT_GT(systemIndex, 0);
    ASSERT_GT(userIndex, 0);
    ASSERT_NE(systemIndex, userIndex);
    const bool wantUser = c.tie ? userIndex < systemIndex : c.expectUser;
    FSSpec found{};
    ASSERT_TRUE(FindNewestApplication(FOUR_CHAR_CODE("VbTl"), &found));
    FSRef ref;
    ASSERT_EQ(FSpMakeFSRef(&found, &ref), noErr);
    UInt8 path[4096];
    ASSERT_EQ(FSRefMakePath(&ref, path, sizeof path), noErr);
    EXPECT_EQ(QFile::decodeName((const char*)path),
              QFileInfo(wantUser ? userCopy : systemCopy).canonicalFilePath());
  }
  FSSpec untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  EXPECT_FALSE(FindNewestApplication(FOUR_CHAR_CODE("None"), &untouched));
  EXPECT_EQ(untouched.vRefNum, 0x5A5A);
  qputenv("HOME", savedHome);
}

}  // namespace
