// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plain source format of Vocabulon's own sample dictionaries (UTF-8):
//   # a comment (anywhere)
//   %name The dictionary's short name
//   %url  where it comes from (optional)
//   @headword
//   the entry's text, up to the next '@' line or the end (trailing blank lines dropped)
// A headword may have several entries; they keep their order.
#include <QList>
#include <QString>
#include <optional>

#include "dictionary/DictdWriter.h"

namespace dictionary {

struct SampleSource {
  QString name;
  QString url;
  QList<DictdEntry> entries;  // each text starts with the headword line, as dictd entries do
};

std::optional<SampleSource> parseSampleSource(const QString& text, QString* error = nullptr);
std::optional<SampleSource> readSampleSource(const QString& path, QString* error = nullptr);

// Writes a dictd bundle with dictzip data (real files, not links) at bundlePath
// (".../Name.dictionary"), built beside it and renamed into place.
bool writeSampleBundle(const SampleSource& source, const QString& bundlePath, QString* error = nullptr);

}  // namespace dictionary
