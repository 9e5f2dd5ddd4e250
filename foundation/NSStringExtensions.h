#pragma once
// Small string operations used around the program: file references and paths.
#include <QString>

struct FSRef;

namespace NSStringExtensions {

// The POSIX path of a file reference, or a null string when there is none or it names
// nothing any more.
QString stringWithFSRef(const FSRef* ref);

// Fills *ref for the existing item at the path `self`; false on failure.
bool getFSRef(const QString& self, FSRef* ref);

}  // namespace NSStringExtensions
