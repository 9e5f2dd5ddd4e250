#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a built vocabulon .deb into a throwaway root with dpkg --root and checks that the
# dictionary trigger imports an installed dictd dictionary package into the machine's folder,
# that the word is found in it, and that removing the dictionary package removes the entry.
# The root holds a copy of this machine's dpkg database, so that dependencies count as met;
# maintainer scripts run outside it (--force-script-chrootless, the root in DPKG_ROOT), with
# this machine's libraries. Usage: package-test.sh VOCABULON.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
fail() { echo "package-test: $*" >&2; exit 1; }

mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers" "$root/tmp"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
touch "$root/var/lib/dpkg/available"
# Their file lists, empty: none of their files is in the root.
dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | awk '$1 ~ /^.i/ { print $2 }' | while read -r name; do
  : >"$root/var/lib/dpkg/info/$name.list"
done
dpkg_root() { dpkg --root="$root" --force-script-chrootless --log=/dev/null "$@"; }

# A dictd dictionary package of two entries, written by hand: NAME.index lines are
# "headword TAB offset TAB length", the numbers in dictd's base-64 digits.
b64() {
  local n=$1 digits=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/ out=""
  [ "$n" -eq 0 ] && { echo A; return; }
  while [ "$n" -gt 0 ]; do out="${digits:n%64:1}$out"; n=$((n / 64)); done
  echo "$out"
}
package="$work/dict-vtest"
mkdir -p "$package/DEBIAN" "$package/usr/share/dictd"
short=$'00-database-short\n     Vocabulon Test Words\n'
entry=$'tree\nA tall woody plant.\n'
printf '%s%s' "$short" "$entry" >"$package/usr/share/dictd/vtest.dict"
printf '00-database-short\t%s\t%s\ntree\t%s\t%s\n' "$(b64 0)" "$(b64 ${#short})" "$(b64 ${#short})" "$(b64 ${#entry})" \
  >"$package/usr/share/dictd/vtest.index"
cat >"$package/DEBIAN/control" <<'CONTROL'
Package: dict-vtest
Version: 1.0
Architecture: all
Maintainer: Vocabulon tests <tests@packages.invalid>
Description: a dictd dictionary for the package test
CONTROL
dpkg-deb --root-owner-group --build "$package" "$work/dict-vtest.deb" >/dev/null

library="$root/var/lib/vocabulon/Dictionaries"
bundle="$library/Vocabulon Test Words.dictionary"
vocabulon() { env -u VOCABULON_SYSTEM_ROOT VOCABULON_MACHINE_LIBRARY="$root/var/lib/vocabulon" HOME="$work/home" \
                XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" "$root/usr/bin/vocabulon" "$@"; }

dpkg_root -i "$deb" >/dev/null
for path in usr/bin/vocabulon usr/bin/vocabulon-window usr/share/man/man1/vocabulon.1.gz \
  usr/share/applications/org.vocabulon.Vocabulon.desktop usr/share/metainfo/org.vocabulon.Vocabulon.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/org.vocabulon.Vocabulon.svg usr/share/icons/hicolor/48x48/apps/org.vocabulon.Vocabulon.png \
  usr/share/bash-completion/completions/vocabulon usr/share/doc/vocabulon/copyright \
  "usr/share/vocabulon/root/System/Library/Automator/Get Definition of Word.action/Contents/Info.plist" \
  "var/lib/vocabulon/Dictionaries/Vocabulon Sample English Dictionary.dictionary/Info.plist"; do
  [ -e "$root/$path" ] || fail "not installed: /$path"
done
[ ! -e "$bundle" ] || fail "a dictionary before its package"
vocabulon --version | grep -qx "vocabulon $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" || fail "wrong --version"

dpkg_root -i "$work/dict-vtest.deb" >/dev/null
[ -d "$bundle" ] || fail "the trigger did not import the dictd package"
vocabulon dictionaries | grep -q "^Vocabulon Test Words	Vocabulon Test Words.dictionary	machine	dictd, " \
  || fail "not listed: $(vocabulon dictionaries)"
[ "$(vocabulon define -d vtest tree)" = $'tree:\ntree\nA tall woody plant.' ] || fail "not looked up: $(vocabulon define -d vtest tree)"

dpkg_root -r dict-vtest >/dev/null
[ ! -e "$bundle" ] || fail "the entry stayed after its package went away"
[ -d "$library/Vocabulon Sample English Dictionary.dictionary" ] || fail "the sample went away with the other"

dpkg_root --purge vocabulon >/dev/null
[ ! -e "$root/var/lib/vocabulon" ] || fail "purge left /var/lib/vocabulon"
echo "package-test: installed, imported by the trigger, looked up, removed, purged: all well"
