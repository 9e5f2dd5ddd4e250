// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Icon Services: icons registered under a creator and a type, loaded from ".icns" files
// through Qt's image plug-ins. Registrations are counted: each registration or acquisition is
// matched by a release, and the icon goes when the last one is released.
#include <QImage>
#include <QList>

#include "platform/carbon/Files.h"

struct OpaqueIconRef;
typedef OpaqueIconRef* IconRef;

enum : OSErr {
  invalidIconRefErr = -2580,  // not an icon reference, or the file holds no icon
  noSuchIconErr = -2582,      // nothing registered under that creator and type
};

// Registers the icon family in the file. Registering a creator and type again answers the
// icon already registered, with one more reference. paramErr for null arguments; the File
// Manager's error for a reference that names nothing; invalidIconRefErr when the file is not
// an icon file.
OSErr RegisterIconRefFromFSRef(OSType creator, OSType iconType, const FSRef* iconFile,
                               IconRef* theIconRef);
// The registered icon, with one more reference (release it); noSuchIconErr when none.
OSErr GetIconRef(SInt16 vRefNum, OSType creator, OSType iconType, IconRef* theIconRef);
OSErr AcquireIconRef(IconRef theIconRef);
OSErr ReleaseIconRef(IconRef theIconRef);  // invalidIconRefErr for one that is gone
// Removes the registration (references held stay valid until released).
OSErr UnregisterIconRef(OSType creator, OSType iconType);
OSErr GetIconRefOwners(IconRef theIconRef, UInt16* owners);

// Not a platform call: the images of the icon's sizes, largest first, for drawing with Qt.
QList<QImage> IconRefImages(IconRef theIconRef);
