// SPDX-License-Identifier: GPL-3.0-or-later
// Finder comments and notices through the Finder agent (a real second process), the path
// operations, and events to this process itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cstring>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/Memory.h"
#include "platform/carbon/Resources.h"
#include "support/PathComponents.h"
#include "support/events/FinderEvents.h"
#include "support/events/OpenDocuments.h"
#include "tests/TestEnvironment.h"

using namespace aeutil;

namespace {

FSRef refAt(const QString& path) {
  FSRef ref{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(QFile::encodeName(path).constData()), &ref, nullptr), noErr);
  return ref;
}

CFStringRef cf(const QString& s) {
  return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(s.utf16()), s.size());
}

QString qs(CFStringRef s) {
  if (!s) return "(null)";
  std::vector<UniChar> units(std::size_t(CFStringGetLength(s)));
  CFStringGetCharacters(s, CFRangeMake(0, CFIndex(units.size())), units.data());
  return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

std::vector<QString> names(const PathComponentList& list) {
  std::vector<QString> out;
  list.forEach([&](CFStringRef s) { out.push_back(qs(s)); });
  return out;
}

class FinderEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir().mkpath(env.path() + "/w"));
    work = QFileInfo(env.path() + "/w").canonicalFilePath();
    runtime = env.path() + "/run";
    ASSERT_TRUE(QDir().mkpath(runtime));
    chmod(QFile::encodeName(runtime).constData(), 0700);
    for (const char* name : {"XDG_RUNTIME_DIR", "VOCABULON_FINDER_AGENT", "VOCABULON_FINDER_IDLE_SECONDS"})
      saved.emplace_back(name, qgetenv(name));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("VOCABULON_FINDER_AGENT", FINDER_AGENT);
    qputenv("VOCABULON_FINDER_IDLE_SECONDS", "3");
  }
  void TearDown() override {
    // Agents this test started, found in its own registry.
    for (const auto& e : processes::livingEntries())
      if (e.pid != getpid()) kill(e.pid, SIGTERM);
    processes::unregisterSelf();
    for (const auto& [name, value] : saved)
      value.isNull() ? qunsetenv(name) : qputenv(name, value);
  }
  bool finderRuns() {
    ProcessSerialNumber psn;
    return FindProcessBySignature('MACS', 'FNDR', &psn) == noErr;
  }
  TestEnvironment env;
  QString work, runtime;
  std::vector<std::pair<const char*, QByteArray>> saved;
};

TEST_F(FinderEventsTest, CommentsGoThroughTheAgentIntoTheFreedesktopAttribute) {
  const QString path = work + "/Notiz ü.txt";
  QFile(path).open(QIODevice::WriteOnly);
  ASSERT_TRUE(QDir().mkpath(work + "/Ordner"));
  EXPECT_FALSE(finderRuns());
  const QString comment = QString::fromUtf8("Grüße – 日本語 comment");
  for (const QString& item : {path, work + "/Ordner"}) {
    const FSRef ref = refAt(item);
    CFStringRef text = cf(comment);
    ASSERT_EQ(SetFinderComment(&ref, text), noErr) << item.toStdString();
    CFRelease(text);
    // Another program sees it where Linux file managers keep comments.
    QProcess getfattr;
    getfattr.start("getfattr", {"--only-values", "-n", "user.xdg.comment", item});
    ASSERT_TRUE(getfattr.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(getfattr.readAllStandardOutput()), comment);
    CFStringRef back = GetFinderComment(&ref);
    EXPECT_EQ(qs(back), comment);
    if (back) CFRelease(back);
  }
  EXPECT_TRUE(finderRuns());
  const FSRef file = refAt(path);
  EXPECT_EQ(NotifyFinderOfChange(&file), noErr);
  // An empty comment removes the attribute.
  CFStringRef empty = cf("");
  ASSERT_EQ(SetFinderComment(&file, empty), noErr);
  CFRelease(empty);
  char buffer[8];
  EXPECT_LT(getxattr(QFile::encodeName(path).constData(), "user.xdg.comment", buffer, sizeof buffer), 0);
  CFStringRef none = GetFinderComment(&file);
  EXPECT_EQ(qs(none), QString());
  if (none) CFRelease(none);
  // Idle for its time, the agent leaves.
  QElapsedTimer timer;
  timer.start();
  while (finderRuns() && timer.elapsed() < 20000) QThread::msleep(100);
  EXPECT_FALSE(finderRuns());
}

TEST_F(FinderEventsTest, WithoutAFinderNothingIsSent) {
  qputenv("VOCABULON_FINDER_AGENT", "/nonexistent/vocabulon-finder");
  QFile(work + "/f").open(QIODevice::WriteOnly);
  const FSRef file = refAt(work + "/f");
  EXPECT_EQ(NotifyFinderOfChange(&file), procNotFound);
  EXPECT_EQ(GetFinderComment(&file), nullptr);
  CFStringRef text = cf("x");
  EXPECT_EQ(SetFinderComment(&file, text), procNotFound);
  CFRelease(text);
  CFStringRef out = nullptr;
  EXPECT_EQ(GetFinderCommentEvent(&file, &out, nullptr), paramErr);
  EXPECT_EQ(processes::livingEntries().size(), 0u);  // nobody was started, nobody registered
  char buffer[8];
  EXPECT_LT(getxattr(QFile::encodeName(work + "/f").constData(), "user.xdg.comment", buffer, sizeof buffer), 0);
}

TEST_F(FinderEventsTest, SpecifiersRepliesAndTextDescriptors) {
  QFile(work + "/f").open(QIODevice::WriteOnly);
  for (const auto& [item, suffix] : {std::pair<QString, QString>{work, ":"}, {work + "/f", "f"}}) {
    const FSRef ref = refAt(item);
    AEDesc specifier, name;
    ASSERT_EQ(MakeItemObjectSpecifier(&ref, &specifier), noErr);
    DescType want = 0;
    AEGetKeyPtr(&specifier, keyAEDesiredClass, typeType, nullptr, &want, 4, nullptr);
    EXPECT_EQ(want, suffix == ":" ? cObject : cFile);
    ASSERT_EQ(AEGetKeyDesc(&specifier, keyAEKeyData, typeUnicodeText, &name), noErr);
    CFStringRef path = nullptr;
    ASSERT_EQ(CopyStringFromDesc(&name, &path), noErr);
    EXPECT_TRUE(qs(path).endsWith(suffix == ":" ? "w:" : "w:f")) << qs(path).toStdString();
    CFRelease(path);
    DisposeDescriptor(&specifier);
    DisposeDescriptor(&name);
    EXPECT_EQ(specifier.descriptorType, typeNull);
  }
  AppleEvent reply;
  AEInitializeDesc(&reply);
  EXPECT_EQ(GetReplyErrorNumber(&reply), noErr);
  AECreateAppleEvent(kCoreEventClass, kAEAnswer, nullptr, 1, 0, &reply);
  EXPECT_EQ(GetReplyErrorNumber(&reply), noErr);  // no 'errn': success
  const SInt32 err = -43;
  AEPutParamPtr(&reply, keyErrorNumber, typeSInt32, &err, 4);
  EXPECT_EQ(GetReplyErrorNumber(&reply), -43);
  AEDisposeDesc(&reply);
}

TEST_F(FinderEventsTest, PathComponentsAndFolders) {
  PathComponentList split;
  CFStringRef path = cf("/Users//me/");
  SplitPath(path, split);
  CFRelease(path);
  EXPECT_EQ(names(split), (std::vector<QString>{"Users", "me"}));

  struct Prefix {
    std::vector<const char*> a, b;
    bool expected;
  };
  for (const Prefix& p : {Prefix{{"Volume", "Users", "me"}, {"volume", "users"}, true},
                          Prefix{{"volume", "users"}, {"Volume", "Users", "me"}, false},
                          Prefix{{"a"}, {}, true}, Prefix{{"a", "b"}, {"a", "c"}, false}}) {
    PathComponentList a, b;
    for (const char* s : p.a) a.append(cf(s));
    for (const char* s : p.b) b.append(cf(s));
    EXPECT_EQ(bool(PathHasPrefix(a, b)), p.expected);
    ReleasePathComponents(a);
    ReleasePathComponents(b);
  }

  ASSERT_TRUE(QDir().mkpath(work + "/Docs/empty"));
  const FSRef docs = refAt(work + "/Docs");
  PathComponentList list;
  ASSERT_EQ(GetPathComponents(&docs, list), noErr);
  std::vector<QString> got = names(list);
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got.back(), "Docs");
  QFile(work + "/Docs/file.txt").open(QIODevice::WriteOnly);
  const FSRef file = refAt(work + "/Docs/file.txt");
  PathComponentList ofFile;
  ASSERT_EQ(GetPathComponents(&file, ofFile), noErr);
  EXPECT_EQ(names(ofFile), got);  // a file's own name is not included
  DropLeadingComponents(list, 1);
  EXPECT_EQ(list.count(), int(got.size()) - 1);
  ReleasePathComponents(list);
  ReleasePathComponents(ofFile);

  PathComponentList abc;
  for (const char* s : {"a", "b", "c"}) abc.append(cf(s));
  FSRef made, again;
  const FSRef empty = refAt(work + "/Docs/empty");
  ASSERT_EQ(CreateFolders(&empty, abc, &made), noErr);
  EXPECT_TRUE(QFileInfo(work + "/Docs/empty/a/b/c").isDir());
  ASSERT_EQ(CreateFolders(&empty, abc, &again), noErr);
  EXPECT_EQ(FSCompareFSRefs(&made, &again), noErr);
  FSRef created;
  CFStringRef name = cf("x.txt");
  ASSERT_EQ(CreateFileAlongPath(&empty, abc, name, &created), noErr);
  CFRelease(name);
  EXPECT_TRUE(QFileInfo(work + "/Docs/empty/a/b/c/x.txt").isFile());
  ReleasePathComponents(abc);

  FileRefList files;
  ASSERT_EQ(ListFilesInFolder(&docs, files), noErr);
  ASSERT_EQ(files.count(), 1);
  EXPECT_EQ(FSCompareFSRefs(&files.head()->value, &file), noErr);
}

std::vector<std::string> gOpened;
int gEvents = 0;

OSErr openDocuments(const AppleEvent* event, AppleEvent*, SRefCon) {
  ++gEvents;
  AEDescList list;
  if (OSErr err = AEGetParamDesc(event, keyDirectObject, typeAEList, &list)) return err;
  long count = 0;
  AECountItems(&list, &count);
  for (long i = 1; i <= count; ++i) {
    FSRef ref;
    if (AEGetNthPtr(&list, i, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr) == noErr) {
      UInt8 path[4096];
      FSRefMakePath(&ref, path, sizeof path);
      gOpened.push_back(reinterpret_cast<char*>(path));
    }
  }
  AEDisposeDesc(&list);
  return noErr;
}

TEST_F(FinderEventsTest, OpenDocumentsInSelfDeliversOneEventWithAList) {
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, openDocuments, 0, false), noErr);
  FSSpec specs[3];
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) {
    const QString path = work + "/doc" + QString::number(i);
    QFile(path).open(QIODevice::WriteOnly);
    const FSRef ref = refAt(path);
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &specs[i], nullptr), noErr);
    expected.push_back(QFile::encodeName(path).toStdString());
  }
  gOpened.clear();
  gEvents = 0;
  EXPECT_EQ(OpenDocumentsInSelf(0, specs), paramErr);
  EXPECT_EQ(OpenDocumentsInSelf(3, nullptr), paramErr);
  ASSERT_EQ(OpenDocumentsInSelf(3, specs), noErr);
  EXPECT_EQ(gEvents, 0);  // no reply asked: handled by the event loop, not during the call
  EXPECT_EQ(AEProcessPendingEvents(5000), 1);
  EXPECT_EQ(gEvents, 1);
  EXPECT_EQ(gOpened, expected);
  AERemoveEventHandler(kCoreEventClass, kAEOpenDocuments, openDocuments, false);
}

TEST_F(FinderEventsTest, TheQtEventLoopDispatchesArrivals) {
  int argc = 1;
  char name[] = "finder-events-test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, openDocuments, 0, false), noErr);
  QFile(work + "/doc").open(QIODevice::WriteOnly);
  const FSRef doc = refAt(work + "/doc");
  FSSpec spec;
  ASSERT_EQ(FSGetCatalogInfo(&doc, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
  gEvents = 0;
  gOpened.clear();
  ASSERT_EQ(OpenDocumentsInSelf(1, &spec), noErr);
  // Nobody calls the dispatcher here: the application's own loop runs the handler.
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (gEvents) loop.quit();
  });
  check.start(10);
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(gEvents, 1);
  EXPECT_EQ(gOpened, std::vector<std::string>{QFile::encodeName(work + "/doc").toStdString()});
  AERemoveEventHandler(kCoreEventClass, kAEOpenDocuments, openDocuments, false);
}

TEST_F(FinderEventsTest, TheApplicationAcceptsOpenDocuments) {
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, AcceptOpenDocuments, 0, false), noErr);
  QFile(work + "/doc").open(QIODevice::WriteOnly);
  const FSRef doc = refAt(work + "/doc");
  const ProcessSerialNumber self{0, kCurrentProcess};
  struct Case {
    bool damaged;
    OSErr expected;
  };
  for (const Case c : {Case{false, noErr}, Case{true, errAECoercionFail}}) {
    AEDescList list;
    AECreateList(nullptr, 0, false, &list);
    if (c.damaged) AEPutPtr(&list, 0, typeAlias, "not an alias", 12);
    else AEPutPtr(&list, 0, typeFSRef, &doc, sizeof doc);
    AEAddressDesc address;
    AECreateDesc(typeProcessSerialNumber, &self, sizeof self, &address);
    AppleEvent event, reply;
    AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, &address, kAutoGenerateReturnID, 0, &event);
    AEPutParamDesc(&event, keyDirectObject, &list);
    ASSERT_EQ(AESend(&event, &reply, kAEWaitReply, kAENormalPriority, 600, nullptr, nullptr), noErr);
    EXPECT_EQ(GetReplyErrorNumber(&reply), c.expected);
    for (AEDesc* d : {&list, &address, &event, &reply}) AEDisposeDesc(d);
  }
  AERemoveEventHandler(kCoreEventClass, kAEOpenDocuments, AcceptOpenDocuments, false);
}

TEST_F(FinderEventsTest, AnAliasResourceOpensItsTarget) {
  const QString target = work + "/target.txt";
  QFile(target).open(QIODevice::WriteOnly);
  QFile(work + "/holder").open(QIODevice::WriteOnly);
  const FSRef targetRef = refAt(target), holder = refAt(work + "/holder");
  AliasHandle alias;
  ASSERT_EQ(FSNewAlias(nullptr, &targetRef, &alias), noErr);
  HFSUniStr255 forkName;
  FSGetResourceForkName(&forkName);
  ASSERT_EQ(FSCreateResourceFork(&holder, forkName.length, forkName.unicode, 0), noErr);
  const ResFileRefNum file = FSOpenResFile(&holder, fsRdWrPerm);
  AddResource(reinterpret_cast<Handle>(alias), 'alis', 128, nullptr);
  CloseResFile(file);
  // The holder may be read-only: the map is only read.
  ASSERT_EQ(chmod(QFile::encodeName(work + "/._holder").constData(), 0444), 0);

  const QString script = env.path() + "/opener.sh", opened = env.path() + "/opened";
  QFile f(script);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(("#!/bin/sh\nprintf '%s' \"$1\" > '" + opened + ".tmp' && mv '" + opened + ".tmp' '" + opened + "'\n").toUtf8());
  f.close();
  chmod(QFile::encodeName(script).constData(), 0755);
  const QByteArray savedOpener = qgetenv("VOCABULON_OPENER");
  qputenv("VOCABULON_OPENER", QFile::encodeName(script));
  ASSERT_TRUE(QFile::rename(target, work + "/renamed.txt"));
  EXPECT_EQ(OpenAliasResourceTarget(&holder), noErr);
  QElapsedTimer timer;
  timer.start();
  while (!QFile::exists(opened) && timer.elapsed() < 10000) QThread::msleep(20);
  QFile result(opened);
  ASSERT_TRUE(result.open(QIODevice::ReadOnly));
  EXPECT_EQ(result.readAll(), QFile::encodeName(work + "/renamed.txt"));
  QFile::remove(work + "/renamed.txt");
  EXPECT_EQ(OpenAliasResourceTarget(&holder), fnfErr);
  savedOpener.isNull() ? qunsetenv("VOCABULON_OPENER") : qputenv("VOCABULON_OPENER", savedOpener);
}

}  // namespace
