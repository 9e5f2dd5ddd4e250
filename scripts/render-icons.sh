#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the application icon's PNG sizes from its SVG (data/icons/); run after editing the
# SVG and commit the PNGs with it, so that a build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 32 48 64 128 256; do
  mkdir -p "$size"
  rsvg-convert -w "$size" -h "$size" org.vocabulon.Vocabulon.svg -o "$size/org.vocabulon.Vocabulon.png"
done
