#include "foundation/NSStringExtensions.h"

#include "platform/carbon/Files.h"

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

}  // namespace NSStringExtensions
