// SPDX-License-Identifier: GPL-3.0-or-later
// Sending Apple events over the registered local sockets, and dispatching arrivals to handlers.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/carbon/AEInternal.h"
#include "platform/carbon/Memory.h"

using namespace aeimpl;

namespace {

constexpr UInt32 kFrameTag = 0x56624145;  // "VbAE"
constexpr UInt32 kAckTag = 0x56624F4B;    // "VbOK"
constexpr UInt32 kMaxFrame = 16u << 20;
constexpr int kAgentStartMs = 10000;

struct Handler {
  AEEventHandlerUPP proc;
  SRefCon refcon;
};

struct Arrival {
  Bytes flattened;  // the event, checked sound
  int fd = -1;      // where a waiting sender reads the reply; -1 for none
  // A queued reply goes back as an event of its own: to this socket, or to this process.
  bool queueReply = false;
  std::string replySocket;  // empty: this process
};

struct Dispatcher {
  std::mutex mutex;
  std::condition_variable arrived;
  std::map<std::pair<AEEventClass, AEEventID>, Handler> handlers;
  std::deque<Arrival> queue;
  bool listening = false;
};

Dispatcher& dispatcher() {
  static auto* d = new Dispatcher;
  return *d;
}

bool writeAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size) {
    const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

// Reads exactly size bytes, waiting at most until the deadline (none: -1 ms).
bool readAll(int fd, void* data, std::size_t size, int timeoutMs) {
  char* p = static_cast<char*>(data);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  while (size) {
    int wait = -1;
    if (timeoutMs >= 0) {
      wait = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      if (wait <= 0) return false;
    }
    pollfd pfd{fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

void be32(UInt8* out, UInt32 v) {
  for (int i = 0; i < 4; ++i) out[i] = UInt8(v >> (24 - 8 * i));
}

bool sendFrame(int fd, UInt32 mode, const Bytes& flattened) {
  UInt8 head[12];
  be32(head, kFrameTag);
  be32(head + 4, mode);
  be32(head + 8, UInt32(flattened.size()));
  return writeAll(fd, head, sizeof head) && writeAll(fd, flattened.data(), flattened.size());
}

// A frame's flattened descriptor; false for anything else (wrong tag, too long, cut short).
bool readFrame(int fd, UInt32* mode, Bytes* flattened, int timeoutMs) {
  UInt8 head[12];
  if (!readAll(fd, head, sizeof head, timeoutMs)) return false;
  if (get32(head) != kFrameTag) return false;
  const UInt32 length = get32(head + 8);
  if (length > kMaxFrame) return false;
  *mode = get32(head + 4);
  flattened->resize(length);
  return readAll(fd, flattened->data(), length, timeoutMs < 0 ? 10000 : timeoutMs);
}

Bytes flatten(const AEDesc* d) {
  const Bytes data = dataOf(d);
  Bytes b;
  put32(b, d->descriptorType);
  put32(b, UInt32(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// The event a handler gets, and the reply it fills.
Bytes dispatch(const Bytes& flattened, bool* handled) {
  *handled = false;
  AppleEvent event, reply;
  AEInitializeDesc(&reply);
  if (AEUnflattenDescFromBytes(flattened.data(), Size(flattened.size()), &event) != noErr) return {};
  Event parts;
  eventOf(&event, &parts);
  Handler handler{nullptr, 0};
  {
    std::lock_guard lock(dispatcher().mutex);
    auto& h = dispatcher().handlers;
    for (auto key : {std::make_pair(parts.eventClass, parts.eventID), std::make_pair(parts.eventClass, AEEventID(typeWildCard)),
                     std::make_pair(AEEventClass(typeWildCard), AEEventID(typeWildCard))})
      if (auto it = h.find(key); it != h.end()) {
        handler = it->second;
        break;
      }
  }
  AECreateAppleEvent(kCoreEventClass, kAEAnswer, nullptr, SInt16(parts.returnID), parts.transactionID, &reply);
  const OSErr err = handler.proc ? handler.proc(&event, &reply, handler.refcon) : OSErr(errAEEventNotHandled);
  *handled = handler.proc != nullptr;
  if (err) {
    const SInt32 number = err;
    AEPutParamPtr(&reply, keyErrorNumber, typeSInt32, &number, sizeof number);
  }
  Bytes out = flatten(&reply);
  AEDisposeDesc(&event);
  AEDisposeDesc(&reply);
  return out;
}

void wakeEventLoop() {
  dispatcher().arrived.notify_all();
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, [] { AEProcessPendingEvents(0); }, Qt::QueuedConnection);
}

// Accepts connections from our registered processes only, reads one event from each and queues
// it for the event loop.
void listenLoop(int listener) {
  while (true) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    processes::Entry sender;
    // Another user cannot reach the folder; a process of ours that did not register is refused.
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid() ||
        !processes::findByPid(peer.pid, &sender)) {
      close(fd);
      continue;
    }
    UInt32 mode = 0;
    Bytes flattened;
    AEDesc event;
    if (!readFrame(fd, &mode, &flattened, 5000) ||
        AEUnflattenDescFromBytes(flattened.data(), Size(flattened.size()), &event) != noErr) {
      close(fd);
      continue;
    }
    bool ok = event.descriptorType == typeAppleEvent;
    if (ok) {
      const SInt32 pid = peer.pid;
      AEPutAttributePtr(&event, keySenderPIDAttr, typeSInt32, &pid, sizeof pid);
      flattened = flatten(&event);
    }
    AEDisposeDesc(&event);
    if (!ok) {
      close(fd);
      continue;
    }
    const bool wantsReply = (mode & 3) == kAEWaitReply;
    const bool queueReply = (mode & 3) == kAEQueueReply;
    if (!wantsReply) {
      UInt8 ack[4];
      be32(ack, kAckTag);
      writeAll(fd, ack, 4);
      close(fd);
    }
    {
      std::lock_guard lock(dispatcher().mutex);
      dispatcher().queue.push_back({std::move(flattened), wantsReply ? fd : -1, queueReply, sender.socket});
    }
    wakeEventLoop();
  }
}

// A queued reply travels as an event without reply to the sender's registered socket; a sender
// that is gone, or does not take it, loses only its answer.
void sendAnswer(const std::string& socketPath, const Bytes& answer) {
  if (socketPath.empty()) return;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && sendFrame(fd, kAENoReply, answer)) {
    UInt8 ack[4];
    readAll(fd, ack, 4, 2000);
  }
  close(fd);
}

void queueHere(Bytes flattened, bool queueReply) {
  {
    std::lock_guard lock(dispatcher().mutex);
    dispatcher().queue.push_back({std::move(flattened), -1, queueReply, {}});
  }
  wakeEventLoop();
}

OSErr ensureListening(OSType type = 0, OSType creator = 0) {
  if (OSErr err = processes::registerSelf(type, creator)) return err;
  std::lock_guard lock(dispatcher().mutex);
  if (!dispatcher().listening) {
    dispatcher().listening = true;
    std::thread(listenLoop, processes::listeningSocket()).detach();
  }
  return noErr;
}

bool sameAsSelf(const ProcessSerialNumber& psn) {
  const ProcessSerialNumber me = processes::currentPSN();
  return (psn.highLongOfPSN == 0 && psn.lowLongOfPSN == kCurrentProcess) ||
         (psn.highLongOfPSN == me.highLongOfPSN && psn.lowLongOfPSN == me.lowLongOfPSN);
}

bool startFinderAgent(processes::Entry* out) {
  const std::string path = FinderAgentPath();
  if (path.empty() || !QProcess::startDetached(QFile::decodeName(path.c_str()), {})) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAgentStartMs);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const auto& e : processes::livingEntries())
      if (e.creator == FOUR_CHAR_CODE("MACS") && e.type == FOUR_CHAR_CODE("FNDR")) return *out = e, true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Where the event goes: this process (*self), or another's entry.
OSErr target(const Item& address, bool* self, processes::Entry* out) {
  *self = false;
  if (address.type == typeProcessSerialNumber && address.data.size() == 8) {
    ProcessSerialNumber psn;
    std::memcpy(&psn, address.data.data(), 8);
    if (sameAsSelf(psn)) return *self = true, noErr;
    return processes::findEntry(psn, out) ? OSErr(noErr) : OSErr(procNotFound);
  }
  if (address.type == typeKernelProcessID && address.data.size() == 4) {
    pid_t pid;
    std::memcpy(&pid, address.data.data(), 4);
    if (pid == getpid()) return *self = true, noErr;
    return processes::findByPid(pid, out) ? OSErr(noErr) : OSErr(procNotFound);
  }
  if (address.type == typeApplSignature && address.data.size() == 4) {
    OSType creator;
    std::memcpy(&creator, address.data.data(), 4);
    for (const auto& e : processes::livingEntries())
      if (e.creator == creator) {
        if (e.pid == getpid()) return *self = true, noErr;
        return *out = e, noErr;
      }
    // The Finder is started on demand by the first event addressed to it.
    if (creator == FOUR_CHAR_CODE("MACS") && startFinderAgent(out)) return noErr;
    return procNotFound;
  }
  return errAEUnknownAddressType;
}

int timeoutMsOf(SInt32 ticks) {
  if (ticks == kNoTimeOut) return -1;
  if (ticks == kAEDefaultTimeout || ticks < 0) return 120000;
  return int(std::min<long long>(ticks * 1000LL / 60, 24LL * 3600 * 1000));
}

}  // namespace

std::string FinderAgentPath() {
  if (const char* configured = std::getenv("VOCABULON_FINDER_AGENT")) return configured;
  const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  const QString dir = QFileInfo(exe).absolutePath();
  for (const QString& candidate : {dir + "/vocabulon-finder", dir + "/../libexec/vocabulon/vocabulon-finder"})
    if (QFileInfo(candidate).isExecutable()) return QFile::encodeName(candidate).toStdString();
  return {};
}

OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean) {
  if (!handler) return paramErr;
  {
    std::lock_guard lock(dispatcher().mutex);
    dispatcher().handlers[{theAEEventClass, theAEEventID}] = {handler, handlerRefcon};
  }
  return ensureListening();
}

OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler, Boolean) {
  std::lock_guard lock(dispatcher().mutex);
  auto it = dispatcher().handlers.find({theAEEventClass, theAEEventID});
  if (it == dispatcher().handlers.end() || (handler && it->second.proc != handler)) return errAEHandlerNotFound;
  dispatcher().handlers.erase(it);
  return noErr;
}

int AEProcessPendingEvents(int timeoutMs) {
  std::deque<Arrival> batch;
  {
    std::unique_lock lock(dispatcher().mutex);
    if (dispatcher().queue.empty() && timeoutMs > 0)
      dispatcher().arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [] { return !dispatcher().queue.empty(); });
    batch.swap(dispatcher().queue);
  }
  int handled = 0;
  for (Arrival& a : batch) {
    bool wasHandled = false;
    const Bytes reply = dispatch(a.flattened, &wasHandled);
    if (wasHandled) ++handled;
    if (a.fd >= 0) {
      sendFrame(a.fd, 0, reply);
      close(a.fd);
    } else if (a.queueReply && !reply.empty()) {
      if (a.replySocket.empty())
        queueHere(reply, false);
      else
        sendAnswer(a.replySocket, reply);
    }
  }
  return handled;
}

OSErr AESend(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode, AESendPriority,
             SInt32 timeOutInTicks, AEIdleUPP idleProc, AEFilterUPP) {
  if (reply) AEInitializeDesc(reply);
  if (!event) return paramErr;
  const int mode = sendMode & 3;
  if (mode == 0) return errAEUnknownSendMode;
  const bool wait = mode == kAEWaitReply;
  if (wait && !reply) return paramErr;
  Event parts;
  if (OSErr err = eventOf(event, &parts)) return err;
  bool self = false;
  processes::Entry entry;
  if (OSErr err = target(parts.address, &self, &entry)) return err;
  const Bytes flattened = flatten(event);

  if (self) {
    // To this process: the same bytes, handled now when waiting, else by the event loop (which
    // then queues the answer too when one is wanted).
    if (wait) {
      bool handled;
      const Bytes answer = dispatch(flattened, &handled);
      return AEUnflattenDescFromBytes(answer.data(), Size(answer.size()), reply);
    }
    queueHere(flattened, mode == kAEQueueReply);
    return noErr;
  }

  // The receiver accepts registered senders only: register (a sender gets replies).
  if (OSErr err = ensureListening()) return err;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return tmfoErr;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, entry.socket.c_str(), sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      !sendFrame(fd, UInt32(sendMode), flattened)) {
    close(fd);
    return connectionInvalid;
  }
  OSErr result = noErr;
  if (!wait) {
    UInt8 ack[4];
    if (!readAll(fd, ack, 4, 5000) || get32(ack) != kAckTag) result = connectionInvalid;
  } else {
    const int total = timeoutMsOf(timeOutInTicks);
    const auto start = std::chrono::steady_clock::now();
    while (true) {
      pollfd pfd{fd, POLLIN, 0};
      const int ready = poll(&pfd, 1, 166);  // about 10 ticks between idle calls
      if (ready > 0) {
        UInt32 replyMode;
        Bytes answer;
        if (!readFrame(fd, &replyMode, &answer, 10000) ||
            AEUnflattenDescFromBytes(answer.data(), Size(answer.size()), reply) != noErr)
          result = connectionInvalid;
        break;
      }
      if (ready < 0 && errno != EINTR) {
        result = connectionInvalid;
        break;
      }
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      if (total >= 0 && elapsed >= total) {
        result = errAETimeout;
        break;
      }
      if (idleProc) {
        SInt32 sleep = 0;
        RgnHandle region = nullptr;
        if (idleProc(nullptr, &sleep, &region)) {
          result = errAEWaitCanceled;
          break;
        }
      }
    }
  }
  close(fd);
  return result;
}
