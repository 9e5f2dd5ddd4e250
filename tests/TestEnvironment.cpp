// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/TestEnvironment.h"

#include <QDir>
#include <cstdlib>

TestEnvironment::TestEnvironment() {
  QDir().mkpath(home());
  QDir().mkpath(dictionariesFolder());
  set("HOME", home());
  set("XDG_DATA_HOME", home() + "/.local/share");
  set("XDG_CONFIG_HOME", home() + "/.config");
  set("XDG_STATE_HOME", home() + "/.local/state");
  set("XDG_CACHE_HOME", home() + "/.cache");
  set("VOCABULON_SYSTEM_ROOT", systemRoot());
  set("VOCABULON_SYSTEM_CONFIG_DIR", machineConfigHome());  // never the real /etc/xdg
}

TestEnvironment::~TestEnvironment() {
  for (const auto& [name, old] : saved_) {
    if (old.first) qputenv(name.constData(), old.second);
    else qunsetenv(name.constData());
  }
}

void TestEnvironment::set(const char* name, const QString& value) {
  if (!saved_.count(name)) saved_[name] = {qEnvironmentVariableIsSet(name), qgetenv(name)};
  qputenv(name, value.toLocal8Bit());
}
