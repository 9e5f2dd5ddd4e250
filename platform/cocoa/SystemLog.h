// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// NSLog: a line in the system log (syslog, which journald collects), under the program name.
//
// The caller only queues the line; a writer thread of its own formats and sends it, in order,
// so that a lookup writing two lines per word does not wait on the log. Nothing is dropped:
// when the writer falls far behind, NSLog waits for it, and the lines still queued are written
// before the program ends.
#include <QString>
#include <functional>

void NSLog(const QString& line);

// Waits until every line queued so far has been written.
void NSLogFlush();

// Where the writer sends each line (UTF-8); the system log unless replaced. Replacing it waits
// for the lines already queued, which go to the previous sink. Pass nullptr for the system log.
void setSystemLogSink(std::function<void(const QByteArray& line)> sink);
