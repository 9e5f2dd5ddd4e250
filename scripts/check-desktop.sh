#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks what the desktop and the package tools read: the desktop entry, the AppStream
# metadata and the manual page; any warning fails.
set -euo pipefail
cd "$(dirname "$0")/.."
desktop-file-validate data/org.vocabulon.Vocabulon.desktop
appstreamcli validate --no-net data/org.vocabulon.Vocabulon.metainfo.xml >/dev/null
for page in data/man/*.1; do
  # .so pages are followed by man itself, from the installed tree.
  head -1 "$page" | grep -q '^\.so ' && continue
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
done
echo "check-desktop: desktop entry, metainfo and manual page are valid"
