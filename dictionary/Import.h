// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Making dictionary bundles from installed dictd and StarDict dictionaries.
#include <QList>
#include <QString>
#include <QStringList>

namespace dictionary {

struct ImportResult {
  QString source;      // the .index or .ifo (or the path given, when nothing was found there)
  QString bundlePath;  // the bundle made, when error is empty
  QString error;
  QStringList notes = {};  // what was left out of a bundle made all the same, and why
};

// Where Linux packages and users put dictionaries: /usr/share/dictd, /usr/share/stardict/dic
// and ~/.stardict/dic (each with its subfolders).
QStringList standardDictionaryPlaces();

// Makes a bundle in destinationFolder for each dictionary at the paths: a dictd .index, a
// StarDict .ifo, or a folder holding them (directly or one folder down). With no paths, every
// dictionary in standardPlaces. A bundle is named for the dictionary's short name, links
// (absolute symbolic links) to its data files, and is built beside its final place and
// renamed into it, so that re-importing replaces the old bundle only once the new one is
// complete. A dictionary that cannot be read gives an error item and no bundle.
//
// The folder a bundle is built in is hidden (".import-XXXXXX") and goes away when the import
// is interrupted by SIGINT, SIGTERM or SIGHUP (the process then ends by that signal); those
// left by a killed import are removed when the next import starts.
QList<ImportResult> importDictionaries(const QStringList& paths, const QString& destinationFolder,
                                       const QStringList& standardPlaces);
QList<ImportResult> importDictionaries(const QStringList& paths, const QString& destinationFolder);
QList<ImportResult> importDictionaries(const QString& destinationFolder);

// A dictionary name made safe as a bundle's file name: no '/', NUL or control characters,
// no leading '.', trimmed, at most kMaxBundleNameLength characters; the fallback (cleaned
// the same way) when nothing is left, "Dictionary" when that is empty too.
inline constexpr int kMaxBundleNameLength = 100;
QString safeBundleName(const QString& name, const QString& fallback);

// Moves a finished bundle folder into place, replacing any old one in one step where the
// system allows it. False and a message when it cannot.
bool replaceBundle(const QString& builtPath, const QString& finalPath, QString* error = nullptr);

}  // namespace dictionary
