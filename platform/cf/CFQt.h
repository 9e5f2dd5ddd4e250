// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bridges between the CF stand-in and Qt values; not platform functions.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include "platform/cf/CFBase.h"
#include "platform/cf/CFData.h"
#include "platform/cf/CFDate.h"

// An empty QString for null.
QString CFStringToQString(CFStringRef string);
// The caller releases the result.
CFStringRef CFStringCreateWithQString(const QString& string);
CFDataRef CFDataCreateWithQByteArray(const QByteArray& bytes);
QByteArray CFDataToQByteArray(CFDataRef data);
// An invalid QDateTime for null; the result is in UTC.
QDateTime CFDateToQDateTime(CFDateRef date);
CFDateRef CFDateCreateWithQDateTime(const QDateTime& dateTime);  // null when invalid

// Property-list values, as platform/cf/PropertyList.h reads and writes them:
//   QVariantMap <-> CFDictionary with string keys, QVariantList/QStringList -> CFArray,
//   QString <-> CFString, integers <-> CFNumber (qlonglong back), double <-> CFNumber of a
//   floating-point type, bool <-> CFBoolean, QDateTime <-> CFDate, QByteArray <-> CFData.
// A value of any other type gives null; inside a list or a map it is left out, as are
// dictionary entries whose key is not a string. The caller releases the result.
CFPropertyListRef CFPropertyListCreateFromQVariant(const QVariant& value);
// An invalid QVariant for null or a value that is not a property-list object.
QVariant CFPropertyListToQVariant(CFPropertyListRef plist);
