// SPDX-License-Identifier: GPL-3.0-or-later
// Volumes: the mounted file systems that /proc/self/mountinfo lists, and PBHGetVInfoSync.
#include <sys/statvfs.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/carbon/Files.h"
#include "platform/carbon/FilesCatalog.h"

using namespace filemanager;

namespace {

// Kernel file systems that hold no user documents; a desktop's volume list leaves them out.
const std::set<std::string>& pseudoFileSystems() {
  static const std::set<std::string> names{
      "proc",   "sysfs",     "cgroup",  "cgroup2",   "devpts",    "mqueue",     "debugfs",
      "tracefs", "securityfs", "pstore", "bpf",      "configfs",  "fusectl",    "autofs",
      "hugetlbfs", "binfmt_misc", "rpc_pipefs", "nsfs", "efivarfs", "selinuxfs"};
  return names;
}

// Mount points are written with octal escapes for space, tab, newline and backslash.
std::string unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(),
                                            [](char c) { return c >= '0' && c <= '7'; })) {
        out += char(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

UInt32 classicSeconds(const UTCDateTime& date) {
  // The classic calls give local time.
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return date.lowSeconds + UInt32(local.tm_gmtoff);
}

}  // namespace

namespace filemanager {

void enterMountedVolumes() {
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devno, root, mountPoint, word;
    if (!(fields >> id >> parent >> devno >> root >> mountPoint)) continue;
    while (fields >> word && word != "-") {
    }
    std::string type;
    if (!(fields >> type) || pseudoFileSystems().count(type)) continue;
    Resolved item;
    refFromPath(unescape(mountPoint), true, &item);  // one that cannot be reached is left out
  }
}

OSErr deviceOfVolumeNamed(const std::string& name, UInt64* device) {
  if (name.empty()) return nsvErr;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < volumeCount(); ++i) {
      Key root;
      if (volumeRootKey(volumeDeviceAt(i), &root)) continue;
      if (!strcasecmp(catalogName(root).c_str(), name.c_str())) {
        *device = volumeDeviceAt(i);
        return noErr;
      }
    }
    if (pass == 0) enterMountedVolumes();
  }
  return nsvErr;
}

}  // namespace filemanager

OSErr PBHGetVInfoSync(HParmBlkPtr paramBlock) {
  if (!paramBlock) return paramErr;
  HVolumeParam& pb = paramBlock->volumeParam;
  std::lock_guard lock(catalogMutex());
  UInt64 device = 0;
  OSErr err = noErr;
  const std::string name =
      pb.header.ioNamePtr ? std::string(reinterpret_cast<const char*>(pb.header.ioNamePtr + 1),
                                        pb.header.ioNamePtr[0])
                          : std::string();
  if (pb.ioVolIndex > 0) {
    enterMountedVolumes();
    if (std::size_t(pb.ioVolIndex) > volumeCount()) err = nsvErr;
    else device = volumeDeviceAt(std::size_t(pb.ioVolIndex - 1));
  } else if (pb.ioVolIndex < 0 && !name.empty()) {
    // A name "Volume:" or "Volume:path" names its volume.
    err = deviceOfVolumeNamed(name.substr(0, name.find(':')), &device);
  } else {
    err = deviceOfVolume(pb.header.ioVRefNum, &device);
  }
  Key rootKey = 0;
  Resolved root;
  if (!err) err = volumeRootKey(device, &rootKey);
  if (!err) err = resolveKey(rootKey, &root);
  if (err == fnfErr) err = nsvErr;
  pb.header.ioResult = err;
  if (err) return err;

  FSCatalogInfo info{};
  fillCatalogInfo(root, kFSCatInfoCreateDate | kFSCatInfoContentMod | kFSCatInfoValence, &info);
  pb.header.ioVRefNum = volumeOf(rootKey);
  if (pb.header.ioNamePtr && pb.ioVolIndex >= 0) {
    const std::string volumeName = catalogName(rootKey);
    const std::size_t length = std::min<std::size_t>(volumeName.size(), 27);
    pb.header.ioNamePtr[0] = UInt8(length);
    std::memcpy(pb.header.ioNamePtr + 1, volumeName.data(), length);
  }
  pb.ioVCrDate = classicSeconds(info.createDate);
  pb.ioVLsMod = classicSeconds(info.contentModDate);
  pb.ioVNmFls = UInt16(std::min<UInt32>(info.valence, 0xFFFF));
  struct statvfs fs {};
  pb.ioVAtrb = 0;
  if (statvfs(root.path.c_str(), &fs) == 0) {
    if (fs.f_flag & ST_RDONLY) pb.ioVAtrb = SInt16(0x8080);  // hardware and software lock
    // The classic block counts are 16 bits: large volumes use bigger blocks, as HFS did.
    unsigned long long blockSize = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
    unsigned long long blocks = fs.f_blocks, available = fs.f_bavail;
    while (blocks > 0xFFFF && blockSize < 0x80000000ull) {
      blockSize *= 2;
      blocks /= 2;
      available /= 2;
    }
    pb.ioVAlBlkSiz = UInt32(blockSize);
    pb.ioVNmAlBlks = UInt16(std::min<unsigned long long>(blocks, 0xFFFF));
    pb.ioVFrBlk = UInt16(std::min<unsigned long long>(available, 0xFFFF));
    pb.ioVClpSiz = UInt32(blockSize);
  }
  pb.ioVSigWord = 0x482B;  // 'H+': a modern volume
  pb.ioVDRefNum = pb.header.ioVRefNum;
  pb.ioVFSID = 0;
  return noErr;
}
