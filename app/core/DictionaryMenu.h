#pragma once
// What the dictionary menu lists: the entries of the dictionaries folder, each under its
// name less its extension.
#include <QString>
#include <QStringList>

// The folder's entries as bare file names in listing order (by name, as the platform lists
// them), hidden ones (a leading dot) left out; empty when the folder is missing or unreadable.
QStringList contentsOfDirectoryAtPath(const QString& path);

// The name less its last extension ("X.dictionary" -> "X"); a leading dot is not one.
QString stringByDeletingPathExtension(const QString& name);

// The entries of the dictionaries folder of the system root in force.
QStringList dictionaryFolderEntries();
