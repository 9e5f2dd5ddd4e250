// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the platform's fixed places live on Linux.
//
// Mac-style absolute paths ("/Library/Dictionaries/") live under one system root:
// mac path P is host path systemRoot() + P. The user domain maps to the XDG folders.
#include <QString>

namespace places {

// $VOCABULON_SYSTEM_ROOT, else the installed share/vocabulon/root beside the executable,
// else the build tree's root.
QString systemRoot();

// Where an installed copy keeps the system root's /Library: /var/lib/vocabulon, which the
// package manager's trigger and root's imports write (share/ is the package's alone). Empty
// when the system root is not the installed one: /Library then lies inside the root.
// $VOCABULON_MACHINE_LIBRARY replaces it (a package installed into another root, whose
// scripts run outside it); $VOCABULON_SYSTEM_ROOT puts /Library back inside that root.
QString machineLibrary();

// The host path of a mac-style absolute path ("/Library/Dictionaries/X.dictionary"), or of
// one in the user's dictionaries ("~/Library/Dictionaries/X.dictionary").
QString hostPath(const QString& macPath);

// The mac-style path of a host path under the system root, or an empty string when the
// host path lies outside it.
QString macPath(const QString& hostPath);

QString userDataHome();    // $XDG_DATA_HOME or ~/.local/share (Application Support)
QString userConfigHome();  // $XDG_CONFIG_HOME or ~/.config (preferences)
QString userStateHome();   // $XDG_STATE_HOME or ~/.local/state (Logs live in its log/)

// The machine-wide configuration folder, "/etc/xdg", where the preferences of any user on
// this host live (writing them needs root). $VOCABULON_SYSTEM_CONFIG_DIR replaces it, for
// tests only: they must never write the real one.
QString machineConfigHome();

// The application bundle folder "Vocabulon.app" ($VOCABULON_MAIN_BUNDLE, else beside the
// executable, else the installed share/vocabulon, else the build tree's).
QString mainBundlePath();

// The mac path of the dictionaries folder, and its host path.
inline constexpr const char* kDictionariesFolder = "/Library/Dictionaries/";
QString dictionariesFolder();

// The user's own dictionaries: mac path "~/Library/Dictionaries/", host path
// $XDG_DATA_HOME/vocabulon/Dictionaries. hostPath() maps paths under it there.
inline constexpr const char* kUserDictionariesFolder = "~/Library/Dictionaries/";
QString userDictionariesFolder();

}  // namespace places
