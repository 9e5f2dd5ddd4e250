// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A StarDict copy of a dictd dictionary, for comparing with StarDict programs such as sdcv.
#include <QString>

#include "dictionary/StarDictWriter.h"

namespace dictionary {

// Every index line of the dictd dictionary becomes one text entry under its headword. The
// headword as the entry's own first line spells it is added as a synonym when it differs
// from the index headword only in letter case (dictd indexes keep "a" for "A").
bool convertDictdToStarDict(const QString& indexPath, const QString& dataPath, const QString& basePath,
                            const StarDictWriterOptions& options, StarDictFiles* files = nullptr,
                            QString* error = nullptr);

}  // namespace dictionary
