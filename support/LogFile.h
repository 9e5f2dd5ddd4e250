// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The process-wide diagnostic log "Lexora.log" in the user's Logs folder ($XDG_STATE_HOME/log):
// appended to line by line, lines ended by a carriage return, never truncated. Failures are
// silent. Main thread only.
#include "platform/carbon/Files.h"

void StartLogging();
// Appends the message (null counts as empty) and "\r" when logging was started. A message is cut
// to 254 bytes so that its line end always fits.
void LogLine(const char* message);
void StopLogging();
// Opens the log in the user's default application for it, if the file exists.
void ShowLogFile();

// Internal steps, each answering a File Manager result.
OSErr OpenLogFile(SInt16* refNumCell, const char* fullHfsPath);
OSErr AppendLogText(const SInt16* refNumCell, const char* text);
OSErr CloseLogFile(const SInt16* refNumCell);
OSStatus OpenWithDefaultApplication(const FSRef* item);
Boolean IsSystemVersion10_2();
