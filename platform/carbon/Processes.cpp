// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/cf/CFBundle.h"
#include "platform/cf/CFString.h"

namespace processes {

namespace {

struct Self {
  std::mutex mutex;
  bool registered = false;
  int listener = -1;
  std::string entryPath, socketPath;
};

Self& self() {
  static auto* s = new Self;
  return *s;
}

// The kernel's start time of a process (clock ticks after boot): with the pid it names one
// process, never a later one that got the same pid.
unsigned long long startTimeOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  for (int i = 3; i <= 22 && rest >> field; ++i)
    if (i == 22) return std::strtoull(field.c_str(), nullptr, 10);
  return 0;
}

OSType code(const char* key, OSType fallback) {
  CFBundleRef bundle = CFBundleGetMainBundle();
  if (!bundle) return fallback;
  CFStringRef key16 = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  const auto value = static_cast<CFStringRef>(CFBundleGetValueForInfoDictionaryKey(bundle, key16));
  CFRelease(key16);
  char text[8] = {};
  if (!value || CFGetTypeID(value) != CFStringGetTypeID() ||
      !CFStringGetCString(value, text, sizeof text, kCFStringEncodingMacRoman) || std::strlen(text) != 4)
    return fallback;
  return (OSType(UInt8(text[0])) << 24) | (OSType(UInt8(text[1])) << 16) | (OSType(UInt8(text[2])) << 8) |
         OSType(UInt8(text[3]));
}

bool readEntry(const std::string& path, Entry* out, unsigned long long* start) {
  std::ifstream in(path);
  unsigned long long high, low, pid, type, creator;
  if (!(in >> high >> low >> pid >> type >> creator >> *start)) return false;
  in.ignore(1);
  std::getline(in, out->socket);
  out->psn = {UInt32(high), UInt32(low)};
  out->pid = pid_t(pid);
  out->type = OSType(type);
  out->creator = OSType(creator);
  return !out->socket.empty();
}

bool safeFolder(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (lstat(path.c_str(), &st) != 0) return false;
  }
  // Never a link, never someone else's, never readable by others.
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  if ((st.st_mode & 077) && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

void atExit() { unregisterSelf(); }

}  // namespace

std::string registryFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st;
  std::string folder;
  if (runtime && *runtime == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid())
    folder = std::string(runtime) + "/vocabulon-events";
  else
    folder = "/tmp/vocabulon-events-" + std::to_string(geteuid());
  return safeFolder(folder) ? folder : std::string();
}

ProcessSerialNumber currentPSN() {
  return {UInt32(startTimeOf(getpid())), UInt32(getpid())};
}

OSErr registerSelf(OSType type, OSType creator) {
  Self& s = self();
  std::lock_guard lock(s.mutex);
  if (s.registered) return noErr;
  const std::string folder = registryFolder();
  if (folder.empty()) return permErr;
  if (!type) type = code("CFBundlePackageType", FOUR_CHAR_CODE("????"));
  if (!creator) creator = code("CFBundleSignature", FOUR_CHAR_CODE("????"));
  const pid_t pid = getpid();
  const std::string socketPath = folder + "/" + std::to_string(pid) + ".sock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return bdNamErr;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return tmfoErr;
  unlink(socketPath.c_str());  // a socket left by a dead process of the same pid
  const mode_t mask = umask(077);
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  umask(mask);
  if (!bound || chmod(socketPath.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return ioErr;
  }
  const ProcessSerialNumber psn = currentPSN();
  const std::string entry = folder + "/" + std::to_string(pid) + ".proc";
  {
    std::ofstream out(entry + ".new", std::ios::trunc);
    out << psn.highLongOfPSN << ' ' << psn.lowLongOfPSN << ' ' << pid << ' ' << type << ' ' << creator << ' '
        << startTimeOf(pid) << '\n'
        << socketPath << '\n';
    if (!out) {
      close(fd);
      unlink(socketPath.c_str());
      return ioErr;
    }
  }
  chmod((entry + ".new").c_str(), 0600);
  rename((entry + ".new").c_str(), entry.c_str());
  s.registered = true;
  s.listener = fd;
  s.entryPath = entry;
  s.socketPath = socketPath;
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(atExit); });
  return noErr;
}

bool isRegistered() {
  std::lock_guard lock(self().mutex);
  return self().registered;
}

int listeningSocket() {
  std::lock_guard lock(self().mutex);
  return self().listener;
}

void unregisterSelf() {
  Self& s = self();
  std::lock_guard lock(s.mutex);
  if (!s.registered) return;
  unlink(s.entryPath.c_str());
  unlink(s.socketPath.c_str());
  // The listener stays open until exit: the thread reading it may still be waiting on it.
  s.registered = false;
}

std::vector<Entry> livingEntries() {
  std::vector<Entry> entries;
  const std::string folder = registryFolder();
  if (folder.empty()) return entries;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return entries;
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name.size() < 6 || name.compare(name.size() - 5, 5, ".proc")) continue;
    Entry e;
    unsigned long long start = 0;
    const std::string path = folder + "/" + name;
    if (!readEntry(path, &e, &start)) continue;
    if (start == 0 || startTimeOf(e.pid) != start) {
      // Gone, or the pid belongs to another program now: clean the entry and its socket.
      unlink(path.c_str());
      unlink(e.socket.c_str());
      continue;
    }
    entries.push_back(e);
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.pid < b.pid; });
  return entries;
}

bool findEntry(const ProcessSerialNumber& psn, Entry* out) {
  for (const Entry& e : livingEntries())
    if (e.psn.highLongOfPSN == psn.highLongOfPSN && e.psn.lowLongOfPSN == psn.lowLongOfPSN) return *out = e, true;
  return false;
}

bool findByPid(pid_t pid, Entry* out) {
  for (const Entry& e : livingEntries())
    if (e.pid == pid) return *out = e, true;
  return false;
}

}  // namespace processes

namespace {

ProcessSerialNumber resolvePSN(const ProcessSerialNumber& psn) {
  if (psn.highLongOfPSN == 0 && psn.lowLongOfPSN == kCurrentProcess) return processes::currentPSN();
  return psn;
}

}  // namespace

OSErr GetCurrentProcess(ProcessSerialNumber* psn) {
  if (!psn) return paramErr;
  *psn = processes::currentPSN();
  return noErr;
}

OSErr GetNextProcess(ProcessSerialNumber* psn) {
  if (!psn) return paramErr;
  const std::vector<processes::Entry> entries = processes::livingEntries();
  bool take = psn->highLongOfPSN == 0 && psn->lowLongOfPSN == kNoProcess;
  for (const auto& e : entries) {
    if (take) {
      *psn = e.psn;
      return noErr;
    }
    take = e.psn.highLongOfPSN == psn->highLongOfPSN && e.psn.lowLongOfPSN == psn->lowLongOfPSN;
  }
  *psn = {0, kNoProcess};
  return procNotFound;
}

OSErr GetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info) {
  if (!psn || !info) return paramErr;
  processes::Entry e;
  if (!processes::findEntry(resolvePSN(*psn), &e)) return procNotFound;
  StringPtr name = info->processName;
  FSSpec* spec = info->processAppSpec;
  const UInt32 length = info->processInfoLength;
  std::memset(info, 0, sizeof *info);
  info->processInfoLength = length;
  info->processName = name;
  info->processAppSpec = spec;
  info->processNumber = e.psn;
  info->processType = e.type;
  info->processSignature = e.creator;
  if (name) {
    std::ifstream in("/proc/" + std::to_string(e.pid) + "/comm");
    std::string comm;
    std::getline(in, comm);
    comm.resize(std::min<std::size_t>(comm.size(), 31));
    name[0] = UInt8(comm.size());
    std::memcpy(name + 1, comm.data(), comm.size());
  }
  if (spec) {
    char exe[4096];
    const ssize_t n = readlink(("/proc/" + std::to_string(e.pid) + "/exe").c_str(), exe, sizeof exe - 1);
    FSRef ref;
    if (n > 0 && (exe[n] = 0, FSPathMakeRef(reinterpret_cast<UInt8*>(exe), &ref, nullptr) == noErr))
      FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, spec, nullptr);
  }
  return noErr;
}

OSErr SameProcess(const ProcessSerialNumber* psn1, const ProcessSerialNumber* psn2, Boolean* result) {
  if (!psn1 || !psn2 || !result) return paramErr;
  const ProcessSerialNumber a = resolvePSN(*psn1), b = resolvePSN(*psn2);
  *result = a.highLongOfPSN == b.highLongOfPSN && a.lowLongOfPSN == b.lowLongOfPSN;
  return noErr;
}

OSErr GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid) {
  if (!psn || !pid) return paramErr;
  processes::Entry e;
  if (!processes::findEntry(resolvePSN(*psn), &e)) return procNotFound;
  *pid = e.pid;
  return noErr;
}
