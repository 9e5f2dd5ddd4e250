#include "platform/cocoa/SystemLog.h"

#include <syslog.h>

void NSLog(const QString& line) {
  static const bool opened = [] {
    openlog("vocabulon", LOG_PID, LOG_USER);
    return true;
  }();
  (void)opened;
  syslog(LOG_INFO, "%s", line.toUtf8().constData());
}
