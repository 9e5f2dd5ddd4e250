// SPDX-License-Identifier: GPL-3.0-or-later
// A second process for the tests: it does one thing with the platform stand-ins and prints what
// it found, so that tests check what crosses a process boundary.
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/AppleEvents.h"
#include "platform/carbon/Resources.h"

namespace {

FSRef refAt(const char* path) {
  FSRef ref{};
  FSPathMakeRef(reinterpret_cast<const UInt8*>(path), &ref, nullptr);
  return ref;
}

// resolve-alias FILE: the 'alis' 128 resource of FILE, resolved; prints the target's path.
int resolveAlias(const char* file) {
  const FSRef ref = refAt(file);
  const ResFileRefNum res = FSOpenResFile(&ref, fsRdPerm);
  if (res == -1) return std::printf("error %d\n", ResError()), 1;
  Handle h = Get1Resource('alis', 128);
  if (!h) return std::printf("error %d\n", ResError()), 1;
  FSRef target;
  Boolean changed = false;
  const OSErr err = FSResolveAliasWithMountFlags(nullptr, reinterpret_cast<AliasHandle>(h), &target, &changed, 0);
  ReleaseResource(h);
  CloseResFile(res);
  if (err) return std::printf("error %d\n", err), 1;
  UInt8 path[4096];
  FSRefMakePath(&target, path, sizeof path);
  std::printf("%s%s\n", reinterpret_cast<char*>(path), changed ? " (moved)" : "");
  return 0;
}

// The handler of 'test'/'echo': answers the direct object, or the error number it is given.
// With 'gate' (a path) it first waits for that file, failing with errAETimeout after 10 s, so a
// test can tell whether its send returned before the handler finished.
OSErr echo(const AppleEvent* event, AppleEvent* reply, SRefCon) {
  char gate[1024] = {};
  if (AEGetParamPtr(event, 'gate', typeChar, nullptr, gate, sizeof gate - 1, nullptr) == noErr) {
    for (int waited = 0; access(gate, F_OK) != 0; ++waited) {
      if (waited == 1000) return errAETimeout;
      usleep(10000);
    }
  }
  SInt32 fail = 0;
  if (AEGetParamPtr(event, 'fail', typeSInt32, nullptr, &fail, sizeof fail, nullptr) == noErr && fail) return OSErr(fail);
  AEDesc direct;
  if (OSErr err = AEGetParamDesc(event, keyDirectObject, typeWildCard, &direct)) return err;
  const OSErr err = AEPutParamDesc(reply, keyDirectObject, &direct);
  AEDisposeDesc(&direct);
  return err;
}

// serve SECONDS: registers as 'APPL'/'Tst1', handles 'test'/'echo' until idle that long.
int serve(int seconds) {
  if (processes::registerSelf('APPL', 'Tst1') || AEInstallEventHandler('test', 'echo', echo, 0, false)) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  int idle = 0;
  while (idle < seconds * 4) idle = AEProcessPendingEvents(250) > 0 ? 0 : idle + 1;
  return 0;
}

// raw-send SOCKET: sends a sound event frame without registering; prints what came back.
int rawSend(const char* path) {
  AppleEvent event;
  AECreateAppleEvent('test', 'echo', nullptr, 1, 0, &event);
  const Size size = AESizeOfFlattenedDesc(&event);
  std::vector<char> frame(12 + std::size_t(size));
  const UInt32 head[3] = {__builtin_bswap32(0x56624145), __builtin_bswap32(1), __builtin_bswap32(UInt32(size))};
  std::memcpy(frame.data(), head, 12);
  AEFlattenDesc(&event, frame.data() + 12, size, nullptr);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return std::printf("no connection\n"), 1;
  // The receiver may close before the whole frame is written: that is a refusal, not a signal.
  if (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != ssize_t(frame.size())) return std::printf("refused\n"), 0;
  char ack[4];
  std::printf(read(fd, ack, 4) == 4 ? "accepted\n" : "refused\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !std::strcmp(argv[1], "resolve-alias")) return resolveAlias(argv[2]);
  if (argc == 3 && !std::strcmp(argv[1], "serve")) return serve(std::atoi(argv[2]));
  if (argc == 3 && !std::strcmp(argv[1], "raw-send")) return rawSend(argv[2]);
  std::fprintf(stderr, "usage: carbon-peer resolve-alias FILE\n");
  return 2;
}
