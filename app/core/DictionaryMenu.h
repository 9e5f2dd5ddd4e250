// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the dictionary menu lists: the entries of the machine's dictionaries folder, then those
// of the user's, each under its name less its extension.
#include <QList>
#include <QString>
#include <QStringList>

// The folder's entries as bare file names in listing order (by name, as the platform lists
// them), hidden ones (a leading dot) left out; empty when the folder is missing or unreadable.
QStringList contentsOfDirectoryAtPath(const QString& path);

// The name less its last extension ("X.dictionary" -> "X"); a leading dot is not one.
QString stringByDeletingPathExtension(const QString& name);

struct DictionaryEntry {
  QString name;    // the bare file name, "X.dictionary"
  QString folder;  // the host path of the folder holding it
  bool user;       // in the user's dictionaries folder
};

// The machine's entries (the dictionaries folder of the system root in force) in listing
// order, then the user's ($XDG_DATA_HOME/vocabulon/Dictionaries), in listing order.
QList<DictionaryEntry> dictionaryEntries();
QStringList dictionaryFolderEntries();  // their names
