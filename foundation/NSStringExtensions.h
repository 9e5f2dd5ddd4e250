// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small string operations used around the program: file references and paths, text between
// two patterns, running a string as a script, file-name-safe copies.
//
// Each takes the string it works on as `self` and never changes it. A null QString stands for
// nil both ways: an empty result is returned as an empty, non-null string.
#include <QString>

struct FSRef;

namespace NSStringExtensions {

// The POSIX path of a file reference, or a null string when there is none or it names
// nothing any more.
QString stringWithFSRef(const FSRef* ref);

// Fills *ref for the existing item at the path `self`; false on failure.
bool getFSRef(const QString& self, FSRef* ref);

// The text after the first occurrence of `open` and before the first occurrence of `close`
// that follows it. Patterns match ignoring letter case. Null when either is missing or empty;
// empty (not null) when the two matches touch.
QString extractBetweenPattern(const QString& self, const QString& open, const QString& close);

// Anchors on the first occurrence of `close` instead and takes the nearest `open` before it.
QString reverseExtractBetweenPattern(const QString& self, const QString& open,
                                     const QString& close);

// Runs `self` as script source and answers its result as text: the first item of a list
// result, null for an empty list, for a result without a text form, and for a script that
// does not compile or fails while running.
QString runScript(const QString& self);

// A copy with every "/" and every ":" replaced by "-"; nothing else changes.
QString cleanForFilename(const QString& self);

}  // namespace NSStringExtensions
