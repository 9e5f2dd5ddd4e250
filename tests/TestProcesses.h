// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running a second process the way a different, unprivileged user would: root reads every
// file whatever its mode, so tests of permission errors run their child as "nobody".
#include <QFile>
#include <QProcess>
#include <QString>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The user id a child should run as to meet permission checks: "nobody" under root, else the
// current user.
inline uid_t unprivilegedUid() {
  if (::geteuid() != 0) return ::geteuid();
  const struct passwd* nobody = ::getpwnam("nobody");
  return nobody ? nobody->pw_uid : 65534;
}

inline gid_t unprivilegedGid() {
  if (::geteuid() != 0) return ::getegid();
  const struct passwd* nobody = ::getpwnam("nobody");
  return nobody ? nobody->pw_gid : 65534;
}

// Makes the process start as unprivilegedUid().
inline void runUnprivileged(QProcess& process) {
  if (::geteuid() != 0) return;
  const uid_t uid = unprivilegedUid();
  const gid_t gid = unprivilegedGid();
  process.setChildProcessModifier([uid, gid] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
  });
}

// A copy of an executable that any user can run (the build tree may not be reachable).
inline QString reachableCopy(const QString& executable, const QString& folder) {
  const QString copy = folder + QStringLiteral("/") + executable.section(u'/', -1);
  QFile::remove(copy);
  if (!QFile::copy(executable, copy)) return QString();
  ::chmod(QFile::encodeName(copy).constData(), 0755);
  return copy;
}
