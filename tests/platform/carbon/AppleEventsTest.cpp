// SPDX-License-Identifier: GPL-3.0-or-later
// The Apple Event Manager and the Process Manager: descriptors, coercions, templates, flattened
// events, and events between real processes over the registry's sockets.
#include <signal.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <cstring>
#include <random>

#include "platform/carbon/AppleEvents.h"
#include "platform/carbon/Memory.h"
#include "tests/platform/carbon/FileManagerTestSupport.h"

namespace {

std::string text(const AEDesc& d) {
  std::string s(std::size_t(AEGetDescDataSize(&d)), '\0');
  AEGetDescData(&d, s.data(), Size(s.size()));
  return s;
}

// What an 'aevt'/'ansr' event brought: its return ID, 'errn' and direct object.
struct Answer {
  SInt32 returnID = 0;
  SInt32 errn = 0;
  std::string direct;
};

OSErr takeAnswer(const AppleEvent* event, AppleEvent*, SRefCon answers) {
  Answer a;
  AEGetAttributePtr(event, keyReturnIDAttr, typeSInt32, nullptr, &a.returnID, 4, nullptr);
  AEGetParamPtr(event, keyErrorNumber, typeSInt32, nullptr, &a.errn, 4, nullptr);
  AEDesc direct;
  if (AEGetParamDesc(event, keyDirectObject, typeChar, &direct) == noErr) a.direct = text(direct), AEDisposeDesc(&direct);
  reinterpret_cast<std::vector<Answer>*>(answers)->push_back(a);
  return noErr;
}

// This process's 'test'/'echo': the direct object back, or the 'fail' number.
OSErr echoHere(const AppleEvent* event, AppleEvent* reply, SRefCon) {
  SInt32 fail = 0;
  AEGetParamPtr(event, 'fail', typeSInt32, nullptr, &fail, 4, nullptr);
  if (fail) return OSErr(fail);
  AEDesc direct;
  AEGetParamDesc(event, keyDirectObject, typeWildCard, &direct);
  AEPutParamDesc(reply, keyDirectObject, &direct);
  AEDisposeDesc(&direct);
  return noErr;
}

class AppleEventsTest : public FileManagerTest {
 protected:
  void SetUp() override {
    FileManagerTest::SetUp();
    // A registry of the test's own: no process outside the test is seen or reached.
    runtime = env.path() + "/run";
    ASSERT_TRUE(QDir().mkpath(runtime));
    chmod(QFile::encodeName(runtime).constData(), 0700);
    saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
  }
  void TearDown() override {
    for (QProcess* p : peers) {
      p->kill();
      p->waitForFinished(5000);
      delete p;
    }
    processes::unregisterSelf();
    qputenv("XDG_RUNTIME_DIR", saved);
  }
  // A peer process that handles 'test'/'echo'; answers once it is registered.
  QProcess* startPeer() {
    auto* p = new QProcess;
    peers.push_back(p);
    p->start(CARBON_PEER, {"serve", "30"});
    EXPECT_TRUE(p->waitForReadyRead(20000));
    EXPECT_EQ(p->readLine().trimmed(), QByteArray("ready"));
    return p;
  }
  QString runtime;
  QByteArray saved;
  std::vector<QProcess*> peers;
};

TEST_F(AppleEventsTest, ListsRecordsAndCoercions) {
  AEDescList list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  const SInt16 small = 7;
  ASSERT_EQ(AEPutPtr(&list, 0, typeSInt16, &small, 2), noErr);
  ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "héllo", 6), noErr);
  AEDesc nested;
  ASSERT_EQ(AECreateList(nullptr, 0, true, &nested), noErr);
  ASSERT_EQ(AEPutKeyPtr(&nested, 'name', typeChar, "x", 1), noErr);
  ASSERT_EQ(AEPutDesc(&list, 0, &nested), noErr);
  long count = 0;
  ASSERT_EQ(AECountItems(&list, &count), noErr);
  EXPECT_EQ(count, 3);

  SInt32 wide = 0;
  DescType type;
  Size size;
  EXPECT_EQ(AEGetNthPtr(&list, 1, typeSInt32, nullptr, &type, &wide, 4, &size), noErr);
  EXPECT_EQ(wide, 7);
  EXPECT_EQ(type, typeSInt32);
  AEDesc unicode;
  ASSERT_EQ(AEGetNthDesc(&list, 2, typeUnicodeText, nullptr, &unicode), noErr);
  EXPECT_EQ(AEGetDescDataSize(&unicode), 10);  // five UTF-16 units
  AEDesc back;
  ASSERT_EQ(AECoerceDesc(&unicode, typeChar, &back), noErr);
  EXPECT_EQ(text(back), "héllo");
  AEDesc record;
  ASSERT_EQ(AEGetNthDesc(&list, 3, typeAERecord, nullptr, &record), noErr);
  char name[4] = {};
  EXPECT_EQ(AEGetKeyPtr(&record, 'name', typeChar, nullptr, name, 4, &size), noErr);
  EXPECT_EQ(std::string(name, std::size_t(size)), "x");
  EXPECT_EQ(AEGetKeyPtr(&record, 'none', typeChar, nullptr, name, 4, &size), errAEDescNotFound);
  EXPECT_EQ(AEGetNthPtr(&list, 4, typeWildCard, nullptr, nullptr, nullptr, 0, nullptr), errAEIllegalIndex);
  const SInt32 big = 100000;
  AEDesc out;
  EXPECT_EQ(AECoercePtr(typeSInt32, &big, 4, typeSInt16, &out), errAECoercionFail);

  // Among 'fss ', 'fsrf' and 'alis', through the item itself.
  FSRef file;
  ASSERT_EQ(makeFile(workRef, "doc", &file), noErr);
  AEDesc fsref, alias, spec, again;
  ASSERT_EQ(AECreateDesc(typeFSRef, &file, sizeof file, &fsref), noErr);
  ASSERT_EQ(AECoerceDesc(&fsref, typeAlias, &alias), noErr);
  ASSERT_EQ(AECoerceDesc(&alias, typeFSS, &spec), noErr);
  ASSERT_EQ(AECoerceDesc(&spec, typeFSRef, &again), noErr);
  FSRef result;
  AEGetDescData(&again, &result, sizeof result);
  EXPECT_EQ(FSCompareFSRefs(&result, &file), noErr);
  for (AEDesc* d : {&list, &nested, &unicode, &back, &record, &fsref, &alias, &spec, &again}) {
    EXPECT_EQ(AEDisposeDesc(d), noErr);
    EXPECT_EQ(d->descriptorType, typeNull);
    EXPECT_EQ(d->dataHandle, nullptr);
  }
}

TEST_F(AppleEventsTest, TemplatesBuildEventsAndMalformedOnesFail) {
  AEDesc name, specifier, container;
  AEInitializeDesc(&container);
  const char16_t path[] = u"Root:tmp:";
  ASSERT_EQ(AECreateDesc(typeUnicodeText, path, 18, &name), noErr);
  ASSERT_EQ(CreateObjSpecifier(cObject, &container, formName, &name, false, &specifier), noErr);
  const OSType finder = 'MACS';
  AppleEvent event;
  AEBuildError error{};
  ASSERT_EQ(AEBuildAppleEvent('core', 'getd', typeApplSignature, &finder, 4, kAutoGenerateReturnID, 0, &event,
                              &error, "'----':obj {form:prop,want:type(prop),seld:type(comt),from:(@)}, "
                              "nums:[1, -2, 100000, \"t\"], rec:{a:enum}", &specifier),
            noErr)
      << error.fError << " at " << error.fErrorPos;
  AEDesc direct;
  ASSERT_EQ(AEGetParamDesc(&event, keyDirectObject, typeWildCard, &direct), noErr);
  EXPECT_EQ(direct.descriptorType, typeObjectSpecifier);
  DescType seld = 0, form = 0;
  EXPECT_EQ(AEGetKeyPtr(&direct, keyAEKeyData, typeType, nullptr, &seld, 4, nullptr), noErr);
  EXPECT_EQ(seld, pComment);
  EXPECT_EQ(AEGetKeyPtr(&direct, keyAEKeyForm, typeEnumerated, nullptr, &form, 4, nullptr), noErr);
  EXPECT_EQ(form, formPropertyID);
  AEDesc from, inner;
  ASSERT_EQ(AEGetKeyDesc(&direct, keyAEContainer, typeWildCard, &from), noErr);
  ASSERT_EQ(AEGetKeyDesc(&from, keyAEKeyData, typeUnicodeText, &inner), noErr);
  EXPECT_EQ(AEGetDescDataSize(&inner), 18);
  AEDesc nums;
  ASSERT_EQ(AEGetParamDesc(&event, 'nums', typeAEList, &nums), noErr);
  DescType types[4];
  for (long i = 1; i <= 4; ++i) AEGetNthPtr(&nums, i, typeWildCard, nullptr, &types[i - 1], nullptr, 0, nullptr);
  EXPECT_EQ(types[0], typeSInt16);
  EXPECT_EQ(types[1], typeSInt16);
  EXPECT_EQ(types[2], typeSInt32);
  EXPECT_EQ(types[3], typeChar);
  OSType eventClass = 0;
  EXPECT_EQ(AEGetAttributePtr(&event, keyEventClassAttr, typeType, nullptr, &eventClass, 4, nullptr), noErr);
  EXPECT_EQ(eventClass, OSType('core'));

  struct Bad {
    const char* text;
    UInt32 error;
  };
  for (const Bad& bad : {Bad{"'----'", aeBuildSyntaxNoColon}, Bad{"abc:[1, 2", aeBuildSyntaxNoCloseBracket},
                         Bad{"abc:{x:1", aeBuildSyntaxNoCloseBrace}, Bad{"abc:type(prop", aeBuildSyntaxNoCloseParen},
                         Bad{"abc:\"open", aeBuildSyntaxNoCloseString}, Bad{"abc:$0A$", aeBuildSyntaxUncoercedHex},
                         Bad{"abc:long($0A0$)", aeBuildSyntaxOddHex}, Bad{"abc:-x", aeBuildSyntaxBadNegative},
                         Bad{"abc:1 def:2", aeBuildSyntaxNoEOF}, Bad{"toolong:1", aeBuildSyntaxBadToken},
                         Bad{"abc:", aeBuildSyntaxBadEOF}, Bad{":1", aeBuildSyntaxNoKey}}) {
    AppleEvent built;
    error = {};
    EXPECT_EQ(AEBuildAppleEvent('core', 'getd', typeApplSignature, &finder, 4, 0, 0, &built, &error, bad.text),
              errAEBuildSyntaxError)
        << bad.text;
    EXPECT_EQ(error.fError, bad.error) << bad.text;
    EXPECT_EQ(built.dataHandle, nullptr);
  }
  // Deep nesting is refused, not followed until the stack runs out.
  std::string deep = "abc:";
  for (int i = 0; i < 10000; ++i) deep += "[";
  AppleEvent built;
  EXPECT_EQ(AEBuildAppleEvent('core', 'getd', typeNull, nullptr, 0, 0, 0, &built, &error, deep.c_str()), errAEBuildSyntaxError);
  for (AEDesc* d : {&name, &specifier, &event, &direct, &from, &inner, &nums}) AEDisposeDesc(d);
}

TEST_F(AppleEventsTest, DamagedFlattenedEventsAreRefused) {
  AppleEvent event;
  const OSType sign = 'Tst1';
  ASSERT_EQ(AEBuildAppleEvent('test', 'echo', typeApplSignature, &sign, 4, 1, 0, &event, nullptr,
                              "'----':[1, {a:\"x\", b:[2, 3]}, \"text\"], data:type(prop)"),
            noErr);
  std::vector<char> flat(std::size_t(AESizeOfFlattenedDesc(&event)));
  Size size = 0;
  ASSERT_EQ(AEFlattenDesc(&event, flat.data(), Size(flat.size()), &size), noErr);
  AEDesc round;
  ASSERT_EQ(AEUnflattenDescFromBytes(flat.data(), size, &round), noErr);
  EXPECT_EQ(text(round), text(event));
  std::mt19937 random(1707);
  int refused = 0;
  for (int i = 0; i < 4000; ++i) {
    std::vector<char> bytes = flat;
    for (int c = 0; c < 1 + int(random() % 3); ++c) {
      const std::size_t at = random() % bytes.size();
      if (random() % 5 == 0) bytes.resize(std::max<std::size_t>(at, 1));
      else bytes[at] = char(random());
    }
    AEDesc d;
    const OSErr err = AEUnflattenDescFromBytes(bytes.data(), Size(bytes.size()), &d);
    if (err) {
      ++refused;
      EXPECT_EQ(d.dataHandle, nullptr);
      continue;
    }
    // Whatever was accepted can be taken apart without harm.
    long count = 0;
    AEDesc direct;
    if (AEGetParamDesc(&d, keyDirectObject, typeAEList, &direct) == noErr) {
      AECountItems(&direct, &count);
      for (long n = 1; n <= count; ++n) AEGetNthPtr(&direct, n, typeUnicodeText, nullptr, nullptr, nullptr, 0, nullptr);
      AEDisposeDesc(&direct);
    }
    AEDisposeDesc(&d);
  }
  EXPECT_GT(refused, 1000);
  AEDisposeDesc(&event);
  AEDisposeDesc(&round);
}

TEST_F(AppleEventsTest, EventsTravelBetweenProcessesAndRepliesCarryErrors) {
  QProcess* peer = startPeer();
  // The peer is in the registry with its type and creator; dead entries are cleaned.
  QFile stale(runtime + "/vocabulon-events/999999.proc");
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.write("1 999999 999999 1 1 12345\n/nowhere.sock\n");
  stale.close();
  ProcessSerialNumber psn{0, kNoProcess}, found{0, 0};
  int seen = 0;
  while (GetNextProcess(&psn) == noErr) {
    ++seen;
    ProcessInfoRec info{};
    info.processInfoLength = 60;
    ASSERT_EQ(GetProcessInformation(&psn, &info), noErr);
    if (info.processSignature == 'Tst1' && info.processType == 'APPL') found = psn;
  }
  EXPECT_EQ(seen, 1);
  EXPECT_FALSE(stale.exists());
  pid_t pid = 0;
  ASSERT_EQ(GetProcessPID(&found, &pid), noErr);
  EXPECT_EQ(pid, peer->processId());
  Boolean same = true;
  ProcessSerialNumber current;
  GetCurrentProcess(&current);
  EXPECT_EQ(SameProcess(&current, &found, &same), noErr);
  EXPECT_FALSE(same);
  const ProcessSerialNumber self{0, kCurrentProcess};
  EXPECT_EQ(SameProcess(&current, &self, &same), noErr);
  EXPECT_TRUE(same);

  struct Case {
    SInt32 fail;
    OSErr expected;
  };
  for (const Case c : {Case{0, noErr}, Case{-43, -43}}) {
    AppleEvent event, reply;
    const OSType sign = 'Tst1';
    ASSERT_EQ(AEBuildAppleEvent('test', 'echo', typeApplSignature, &sign, 4, kAutoGenerateReturnID, 0, &event,
                                nullptr, "'----':\"ünïcode\", fail:long(@)", nullptr),
              errAEBuildSyntaxError);  // a null "@" argument is bad data, not a crash
    AEDesc failDesc;
    AECreateDesc(typeSInt32, &c.fail, 4, &failDesc);
    ASSERT_EQ(AEBuildAppleEvent('test', 'echo', typeApplSignature, &sign, 4, kAutoGenerateReturnID, 0, &event,
                                nullptr, "'----':\"ünïcode\", fail:(@)", &failDesc),
              noErr);
    ASSERT_EQ(AESend(&event, &reply, kAEWaitReply, kAENormalPriority, 600, nullptr, nullptr), noErr);
    SInt16 errn = 0;
    const OSErr got = AEGetParamPtr(&reply, keyErrorNumber, typeSInt16, nullptr, &errn, 2, nullptr);
    if (c.expected == noErr) {
      EXPECT_EQ(got, errAEDescNotFound);
      AEDesc echoed;
      ASSERT_EQ(AEGetParamDesc(&reply, keyDirectObject, typeChar, &echoed), noErr);
      EXPECT_EQ(text(echoed), "ünïcode");
      AEDisposeDesc(&echoed);
    } else {
      EXPECT_EQ(errn, c.expected);
    }
    AEDisposeDesc(&event);
    AEDisposeDesc(&reply);
    AEDisposeDesc(&failDesc);
  }
  // An event for a process that is not there.
  AppleEvent event, reply;
  const OSType nobody = 'Nobd';
  AEBuildAppleEvent('test', 'echo', typeApplSignature, &nobody, 4, 1, 0, &event, nullptr, "");
  EXPECT_EQ(AESend(&event, &reply, kAEWaitReply, kAENormalPriority, 60, nullptr, nullptr), procNotFound);
  AEDisposeDesc(&event);
}

TEST_F(AppleEventsTest, QueuedRepliesComeBackAsAnswerEvents) {
  std::vector<Answer> answers;
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEAnswer, takeAnswer, SRefCon(&answers), false), noErr);
  ASSERT_EQ(AEInstallEventHandler('test', 'echo', echoHere, 0, false), noErr);
  startPeer();
  const QByteArray gate = QFile::encodeName(env.path() + "/gate");
  struct Case {
    bool self;
    SInt32 fail;
  };
  for (const Case c : {Case{false, 0}, Case{false, -43}, Case{true, 0}, Case{true, -43}}) {
    SCOPED_TRACE(testing::Message() << "self " << c.self << " fail " << c.fail);
    QFile::remove(QFile::decodeName(gate));
    answers.clear();
    const OSType sign = 'Tst1';
    const ProcessSerialNumber me{0, kCurrentProcess};
    AEDesc failDesc;
    AECreateDesc(typeSInt32, &c.fail, 4, &failDesc);
    AppleEvent event, reply;
    ASSERT_EQ(AEBuildAppleEvent('test', 'echo', c.self ? typeProcessSerialNumber : typeApplSignature,
                                c.self ? static_cast<const void*>(&me) : &sign, c.self ? 8 : 4, kAutoGenerateReturnID,
                                0, &event, nullptr, "'----':\"ünïcode\", fail:(@)", &failDesc),
              noErr);
    // The peer's handler waits for the gate, opened only once the send has returned.
    if (!c.self) AEPutParamPtr(&event, 'gate', typeChar, gate.constData(), gate.size());
    SInt32 returnID = 0;
    AEGetAttributePtr(&event, keyReturnIDAttr, typeSInt32, nullptr, &returnID, 4, nullptr);
    ASSERT_EQ(AESend(&event, &reply, kAEQueueReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
    EXPECT_EQ(reply.descriptorType, typeNull);
    AEProcessPendingEvents(c.self ? 0 : 200);
    if (!c.self) {
      EXPECT_TRUE(answers.empty());
    }
    QFile(QFile::decodeName(gate)).open(QIODevice::WriteOnly);
    for (int i = 0; i < 100 && answers.empty(); ++i) AEProcessPendingEvents(100);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].returnID, returnID);
    EXPECT_EQ(answers[0].errn, c.fail);
    EXPECT_EQ(answers[0].direct, c.fail ? "" : "ünïcode");
    AEDisposeDesc(&event);
    AEDisposeDesc(&failDesc);
  }
  // Without a handler for answers, the answer is dropped: only the event itself counts as handled.
  ASSERT_EQ(AERemoveEventHandler(kCoreEventClass, kAEAnswer, takeAnswer, false), noErr);
  AppleEvent event;
  const pid_t pid = getpid();
  AEBuildAppleEvent('test', 'echo', typeKernelProcessID, &pid, 4, 1, 0, &event, nullptr, "'----':1");
  ASSERT_EQ(AESend(&event, nullptr, kAEQueueReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
  EXPECT_EQ(AEProcessPendingEvents(0), 1);
  EXPECT_EQ(AEProcessPendingEvents(0), 0);
  AEDisposeDesc(&event);
  AERemoveEventHandler('test', 'echo', echoHere, false);
}

TEST_F(AppleEventsTest, AProcessThatDidNotRegisterIsRefused) {
  startPeer();
  const QString socket = runtime + "/vocabulon-events/" + QString::number(peers[0]->processId()) + ".sock";
  QFileInfo info(socket);
  EXPECT_EQ(info.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup), 0);
  EXPECT_EQ(QFileInfo(runtime + "/vocabulon-events").permissions() & (QFile::ReadOther | QFile::ExeOther), 0);
  QProcess raw;
  raw.start(CARBON_PEER, {"raw-send", socket});
  ASSERT_TRUE(raw.waitForFinished(20000));
  EXPECT_EQ(raw.readAllStandardOutput().trimmed(), QByteArray("refused"));
  // The peer still serves registered senders afterwards.
  AppleEvent event, reply;
  const OSType sign = 'Tst1';
  AEBuildAppleEvent('test', 'echo', typeApplSignature, &sign, 4, 1, 0, &event, nullptr, "'----':5");
  EXPECT_EQ(AESend(&event, &reply, kAEWaitReply, kAENormalPriority, 600, nullptr, nullptr), noErr);
  SInt32 five = 0;
  EXPECT_EQ(AEGetParamPtr(&reply, keyDirectObject, typeSInt32, nullptr, &five, 4, nullptr), noErr);
  EXPECT_EQ(five, 5);
  AEDisposeDesc(&event);
  AEDisposeDesc(&reply);
}

}  // namespace
