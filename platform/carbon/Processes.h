// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Process Manager over a per-user registry of our processes that handle Apple events.
//
// Each registered process has a file "<pid>.proc" and a local socket "<pid>.sock" in the
// registry folder: $XDG_RUNTIME_DIR/vocabulon-events, else /tmp/vocabulon-events-<uid>. The
// folder is the user's alone (0700, owner checked, never a symbolic link); sockets are 0600.
// Entries of processes that are gone (or whose pid now belongs to another program) are ignored
// and removed.
#include <string>
#include <vector>

#include "platform/carbon/Files.h"

struct ProcessSerialNumber {
  UInt32 highLongOfPSN;
  UInt32 lowLongOfPSN;
};
typedef ProcessSerialNumber* ProcessSerialNumberPtr;

enum : UInt32 { kNoProcess = 0, kSystemProcess = 1, kCurrentProcess = 2 };

#pragma pack(push, 2)
struct ProcessInfoRec {
  UInt32 processInfoLength;
  StringPtr processName;       // optional: 32 bytes
  ProcessSerialNumber processNumber;
  UInt32 processType;
  OSType processSignature;
  UInt32 processMode;
  Ptr processLocation;
  UInt32 processSize;
  UInt32 processFreeMem;
  ProcessSerialNumber processLauncher;
  UInt32 processLaunchDate;
  UInt32 processActiveTime;
  FSSpec* processAppSpec;      // optional
};
#pragma pack(pop)

OSErr GetCurrentProcess(ProcessSerialNumber* psn);
// From kNoProcess, each registered process in turn; procNotFound after the last.
OSErr GetNextProcess(ProcessSerialNumber* psn);
OSErr GetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info);
OSErr SameProcess(const ProcessSerialNumber* psn1, const ProcessSerialNumber* psn2, Boolean* result);
OSErr GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid);

namespace processes {

struct Entry {
  ProcessSerialNumber psn{};
  pid_t pid = 0;
  OSType type = 0;
  OSType creator = 0;
  std::string socket;
};

// The registry folder, made and checked (0700, ours); empty when it cannot be had safely.
std::string registryFolder();
// Registers this process with its type and creator (from the main bundle's CFBundlePackageType
// and CFBundleSignature unless given) and opens its event socket; idempotent. The socket's
// listening descriptor is handed to onSocket.
OSErr registerSelf(OSType type, OSType creator);
bool isRegistered();
int listeningSocket();
// Removes this process's entry and socket (also done at exit).
void unregisterSelf();
// Living registered processes, in pid order.
std::vector<Entry> livingEntries();
bool findEntry(const ProcessSerialNumber& psn, Entry* out);
bool findByPid(pid_t pid, Entry* out);
ProcessSerialNumber currentPSN();

}  // namespace processes
