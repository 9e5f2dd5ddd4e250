// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes StarDict dictionaries: NAME.ifo, NAME.idx or .idx.gz, NAME.dict or .dict.dz and,
// when there are synonyms, NAME.syn.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "dictionary/DictZipWriter.h"
#include "dictionary/StarDictDictionary.h"

namespace dictionary {

struct StarDictField {
  char type = 'm';  // lower case: text; upper case: binary
  QByteArray data;
};

struct StarDictEntry {
  QString headword;
  QList<StarDictField> fields;
  QStringList synonyms;  // other words that lead to this entry (the .syn file)
};

// An entry of one plain text field.
StarDictEntry starDictTextEntry(const QString& headword, const QString& text, const QStringList& synonyms = {});

struct StarDictWriterOptions {
  QString bookName;
  QString version = QStringLiteral("3.0.0");  // or "2.4.2"
  bool offsets64 = false;                    // idxoffsetbits=64 (version 3.0.0 only)
  QByteArray sameTypeSequence;               // every entry then has these field types
  bool compressIdx = false;                  // NAME.idx.gz
  bool dictzip = false;                      // NAME.dict.dz
  int chunkLength = kDefaultDictZipChunkLength;
  bool crlf = false;           // CRLF line ends in the .ifo
  bool byteOrderMark = false;  // a UTF-8 byte order mark before the .ifo
  QString author, description;
};

// Entries (and synonyms) are sorted as StarDict expects: ASCII letters case-insensitively,
// then by bytes; a stable sort keeps equal headwords in their given order. Each file is
// written atomically. False and a message for fields that do not fit the sequence or the
// offsets.
bool writeStarDict(const QString& basePath, const QList<StarDictEntry>& entries, const StarDictWriterOptions& options,
                   StarDictFiles* files = nullptr, QString* error = nullptr);

}  // namespace dictionary
