// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes dictd dictionaries: NAME.index and NAME.dict or NAME.dict.dz.
#include <QByteArray>
#include <QList>
#include <QString>

#include "dictionary/DictZipWriter.h"

namespace dictionary {

struct DictdEntry {
  QString headword;
  QString text;  // the entry's whole text, as it will be returned (usually headword line first)
};

struct DictdWriterOptions {
  QString shortName;  // "00-database-short" (left out when empty)
  QString url;        // "00-database-url" (left out when empty)
  QString info;       // "00-database-info" (left out when empty)
  bool allChars = false;       // "00-database-allchars": every character of a headword counts
  bool utf8 = true;            // "00-database-utf8"
  bool caseSensitive = false;  // "00-database-case-sensitive"
  // Also write the original headword as a fourth field when it differs from the first.
  bool originalHeadwordColumn = false;
  bool dictzip = true;  // NAME.dict.dz, else NAME.dict
  int chunkLength = kDefaultDictZipChunkLength;
};

struct DictdFiles {
  QString index;
  QString data;
};

// Writes the files for basePath ("/dir/NAME" gives /dir/NAME.index ...). The data holds the
// entries in the given order; the index is sorted as dictd's own formatter sorts it (a stable
// sort on the first field: headwords reduced to the characters that count and case folded),
// so entries with the same headword keep their order. Each file is written atomically.
bool writeDictd(const QString& basePath, const QList<DictdEntry>& entries, const DictdWriterOptions& options,
                DictdFiles* files = nullptr, QString* error = nullptr);

}  // namespace dictionary
