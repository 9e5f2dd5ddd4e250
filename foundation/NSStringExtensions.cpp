// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/NSStringExtensions.h"

#include "platform/carbon/Files.h"
#include "platform/cf/CFQt.h"
#include "platform/cf/CFString.h"
#include "platform/cocoa/AppleScript.h"

namespace NSStringExtensions {

QString stringWithFSRef(const FSRef* ref) {
  if (!ref) return {};
  // One byte more than a maximal path and its terminator: room the File Manager may use.
  UInt8 path[4098];
  if (FSRefMakePath(ref, path, sizeof path) != noErr) return {};
  return QString::fromUtf8(reinterpret_cast<const char*>(path));
}

bool getFSRef(const QString& self, FSRef* ref) {
  const QByteArray path = self.toUtf8();
  return FSPathMakeRef(reinterpret_cast<const UInt8*>(path.constData()), ref, nullptr) == noErr;
}

namespace {

// A CFString made from a QString, released on the way out.
class TempString {
 public:
  explicit TempString(const QString& text) : ref_(CFStringCreateWithQString(text)) {}
  ~TempString() {
    if (ref_) CFRelease(ref_);
  }
  TempString(const TempString&) = delete;
  TempString& operator=(const TempString&) = delete;
  CFStringRef get() const { return ref_; }

 private:
  CFStringRef ref_;
};

// The platform search inside `range` of `text`: a zero-length range when the pattern does not
// occur there or is empty.
CFRange find(const TempString& text, const TempString& pattern, CFRange range,
             CFStringCompareFlags options) {
  CFRange found;
  if (!text.get() || !pattern.get() ||
      !CFStringFindWithOptions(text.get(), pattern.get(), range, options, &found))
    return CFRangeMake(kCFNotFound, 0);
  return found;
}

// The text between two matches; empty rather than null when they touch.
QString between(const QString& self, CFRange open, CFRange close) {
  const CFIndex start = open.location + open.length;
  if (close.location <= start) return QStringLiteral("");
  return self.mid(start, close.location - start);
}

}  // namespace

QString extractBetweenPattern(const QString& self, const QString& open, const QString& close) {
  const TempString text(self), openPattern(open), closePattern(close);
  const CFIndex length = CFIndex(self.size());
  const CFRange opening =
      find(text, openPattern, CFRangeMake(0, length), kCFCompareCaseInsensitive);
  if (opening.length == 0) return {};
  const CFIndex rest = opening.location + opening.length;
  const CFRange closing =
      find(text, closePattern, CFRangeMake(rest, length - rest), kCFCompareCaseInsensitive);
  if (closing.length == 0) return {};
  return between(self, opening, closing);
}

QString reverseExtractBetweenPattern(const QString& self, const QString& open,
                                     const QString& close) {
  const TempString text(self), openPattern(open), closePattern(close);
  const CFIndex length = CFIndex(self.size());
  const CFRange closing =
      find(text, closePattern, CFRangeMake(0, length), kCFCompareCaseInsensitive);
  if (closing.length == 0) return {};
  const CFRange opening = find(text, openPattern, CFRangeMake(0, closing.location),
                               kCFCompareCaseInsensitive | kCFCompareBackwards);
  if (opening.length == 0) return {};
  return between(self, opening, closing);
}

QString runScript(const QString& self) {
  if (self.isNull()) return {};
  NSAppleScript script(self);
  QVariantMap errorInfo;  // filled on failure, never read: failures answer nil
  const std::optional<NSAppleEventDescriptor> result = script.executeAndReturnError(&errorInfo);
  if (!result) return {};
  if (result->descriptorType() == NSAppleEventDescriptor::typeAEList) {
    if (result->numberOfItems() < 1) return {};
    const std::optional<NSAppleEventDescriptor> first = result->descriptorAtIndex(1);
    return first ? first->stringValue() : QString();
  }
  return result->stringValue();
}

QString cleanForFilename(const QString& self) {
  QString copy = self;
  copy.replace(QLatin1Char('/'), QLatin1Char('-'));
  copy.replace(QLatin1Char(':'), QLatin1Char('-'));
  return copy;
}

}  // namespace NSStringExtensions
