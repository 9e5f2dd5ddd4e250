// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh temporary home for one test: HOME, the XDG folders, the system root and the
// machine-wide configuration folder all point into it, and are put back when the object goes
// away.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <map>

class TestEnvironment {
 public:
  TestEnvironment();
  ~TestEnvironment();
  TestEnvironment(const TestEnvironment&) = delete;
  TestEnvironment& operator=(const TestEnvironment&) = delete;

  QString path() const { return dir_.path(); }
  QString home() const { return dir_.path() + "/home"; }
  QString systemRoot() const { return dir_.path() + "/root"; }
  QString dictionariesFolder() const { return systemRoot() + "/Library/Dictionaries"; }
  QString machineConfigHome() const { return dir_.path() + "/etc/xdg"; }  // not created

 private:
  void set(const char* name, const QString& value);
  QTemporaryDir dir_;
  std::map<QByteArray, std::pair<bool, QByteArray>> saved_;
};
