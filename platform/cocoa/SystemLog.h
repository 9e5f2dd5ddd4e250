#pragma once
// NSLog: a line in the system log (syslog, which journald collects), under the program name.
#include <QString>

void NSLog(const QString& line);
