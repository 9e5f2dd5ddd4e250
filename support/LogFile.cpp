// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/LogFile.h"

#include <QDateTime>
#include <cstring>

#include "foundation/LocalizedStrings.h"
#include "platform/carbon/Folders.h"
#include "platform/carbon/Gestalt.h"
#include "platform/carbon/LaunchServices.h"
#include "platform/carbon/Memory.h"
#include "support/StringUtilities.h"
#include "support/files/FileManagerUtilities.h"

namespace {

const char kLogFileName[] = "Lexora.log";

// Null: not logging. A cell holding 0: logging, but the file could not be opened.
SInt16* gLogRefNum = nullptr;

// The platform's default description of the current date: "2026-12-06 16:13:18 +0100".
QString dateDescription() {
  const QDateTime now = QDateTime::currentDateTime();
  const int offset = now.offsetFromUtc() / 60;
  return now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
         QStringLiteral("%1%2%3")
             .arg(offset < 0 ? '-' : '+')
             .arg(std::abs(offset) / 60, 2, 10, QChar('0'))
             .arg(std::abs(offset) % 60, 2, 10, QChar('0'));
}

// "[Logging starting at <date>]\r" with the opener translated; written whole or not at all.
OSErr writeMarkLine(SInt16 refNum, const char* opener) {
  CFMutableStringRef line = CFStringCreateMutable(nullptr, 256);
  if (!line) return memFullErr;
  if (CFStringRef translated = GetLocalizedStringForCString(opener)) CFStringAppend(line, translated);
  else CFStringAppendCString(line, opener, kCFStringEncodingUTF8);
  const QByteArray date = dateDescription().toUtf8();
  CFStringAppendCString(line, date.constData(), kCFStringEncodingUTF8);
  CFStringAppendCString(line, "]\r", kCFStringEncodingUTF8);
  char buffer[256];
  const bool fits = CFStringGetCString(line, buffer, sizeof buffer, CFStringGetSystemEncoding());
  CFRelease(line);
  if (!fits) return paramErr;  // a line that cannot be written whole is not written
  SInt32 count = SInt32(std::strlen(buffer));
  return FSWrite(refNum, &count, buffer);
}

}  // namespace

OSErr OpenLogFile(SInt16* refNumCell, const char* fullHfsPath) {
  if (!refNumCell || !fullHfsPath) return paramErr;
  *refNumCell = 0;
  Str255 name;
  const std::size_t length = std::min<std::size_t>(std::strlen(fullHfsPath), 255);
  name[0] = UInt8(length);
  std::memcpy(name + 1, fullHfsPath, length);
  FSSpec spec;
  OSErr err = FSMakeFSSpec(0, 0, name, &spec);
  if (err == fnfErr) {
    if ((err = FSpCreate(&spec, 0, 0, -1)) != noErr) return err;
  } else if (err != noErr) {
    return err;  // no specification to open
  }
  if ((err = FSpOpenDF(&spec, fsWrPerm, refNumCell)) != noErr) {
    *refNumCell = 0;
    return err;
  }
  if ((err = SetFPos(*refNumCell, fsFromLEOF, 0)) != noErr) return err;
  return writeMarkLine(*refNumCell, "[Logging starting at ");
}

OSErr AppendLogText(const SInt16* refNumCell, const char* text) {
  if (!refNumCell || *refNumCell == 0) return noErr;
  // At the end before every write: text others appended meanwhile is never overwritten.
  if (OSErr err = SetFPos(*refNumCell, fsFromLEOF, 0)) return err;
  SInt32 count = text ? SInt32(std::strlen(text)) : 0;
  return FSWrite(*refNumCell, &count, text ? text : "");
}

OSErr CloseLogFile(const SInt16* refNumCell) {
  if (!refNumCell || *refNumCell == 0) return noErr;
  if (SetFPos(*refNumCell, fsFromLEOF, 0) == noErr) writeMarkLine(*refNumCell, "[Logging stopping at ");
  return FSClose(*refNumCell);
}

void StartLogging() {
  if (gLogRefNum) return;  // already logging: one open log per process
  FSVolumeRefNum vRefNum;
  SInt32 dirID;
  if (FindFolder(kUserDomain, kLogsFolderType, kCreateFolder, &vRefNum, &dirID) != noErr) return;
  SInt16 length = 0;
  Handle path = nullptr;
  if (fsutil::GetFullPath(vRefNum, dirID, nullptr, &length, &path) != noErr || length == 0 || !path) {
    DisposeHandle(path);
    return;
  }
  BoundedString full;
  full.AssignHandle(path);
  DisposeHandle(path);
  full.Append(kLogFileName);
  gLogRefNum = new SInt16(0);
  OpenLogFile(gLogRefNum, full.c_str());
}

void LogLine(const char* message) {
  if (!gLogRefNum) return;
  BoundedString line(message);
  // Keep the line end: a cut message still ends its line.
  if (line.Length() > BoundedString::kMaxLength - 1) line.data()[BoundedString::kMaxLength - 1] = 0;
  line.Append("\r");
  AppendLogText(gLogRefNum, line.c_str());
}

void StopLogging() {
  if (!gLogRefNum) return;
  CloseLogFile(gLogRefNum);
  delete gLogRefNum;
  gLogRefNum = nullptr;
}

void ShowLogFile() {
  FSRef folder, log;
  if (FSFindFolder(kUserDomain, kLogsFolderType, kDontCreateFolder, &folder) != noErr) return;
  CFStringRef name = CFStringCreateWithCString(nullptr, kLogFileName, CFStringGetSystemEncoding());
  if (!name) return;
  UniChar units[16];
  const CFIndex length = CFStringGetLength(name);
  CFStringGetCharacters(name, CFRangeMake(0, length), units);
  CFRelease(name);
  if (FSMakeFSRefUnicode(&folder, UniCharCount(length), units, kTextEncodingUnknown, &log) != noErr) return;
  OpenWithDefaultApplication(&log);
}

OSStatus OpenWithDefaultApplication(const FSRef* item) {
  CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, item);
  if (!url) return noErr;
  OSStatus status;
  const bool bracket = IsSystemVersion10_2();
  if (bracket) {
    status = LSInit(kLSInitializeDefaults);
    if (status == noErr) status = LSOpenCFURLRef(url, nullptr);
    LSTerm();
  } else {
    status = LSOpenCFURLRef(url, nullptr);
  }
  CFRelease(url);
  return status;
}

Boolean IsSystemVersion10_2() {
  SInt32 version = 0;
  if (Gestalt(FOUR_CHAR_CODE("sysv"), &version) != noErr) return false;
  return version >= 0x1020 && version < 0x1030;
}
