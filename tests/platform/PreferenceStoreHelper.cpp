// SPDX-License-Identifier: GPL-3.0-or-later
// A second process for the preference-store tests.
//   set FILE PREFIX COUNT   sets PREFIX0..PREFIX<COUNT-1> one by one, synchronizing after each;
//                           exits 1 when a synchronize fails
//   hold FILE KEY VALUE     sets KEY inside an event loop, says "set" and runs until killed,
//                           so only the scheduled synchronize can write it
#include <QCoreApplication>
#include <cstdio>

#include "platform/PreferenceStore.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = application.arguments();
  if (arguments.size() != 5) return 2;
  const std::shared_ptr<PreferenceStore> store = PreferenceStore::forFile(arguments[2]);
  if (arguments[1] == QLatin1String("set")) {
    bool ok = true;
    for (int i = 0; i < arguments[4].toInt(); ++i) {
      store->setValue(arguments[3] + QString::number(i), i);
      ok = store->synchronize() && ok;
    }
    return ok ? 0 : 1;
  }
  if (arguments[1] == QLatin1String("hold")) {
    store->setValue(arguments[3], arguments[4]);
    std::puts("set");
    std::fflush(stdout);
    return application.exec();
  }
  return 2;
}
