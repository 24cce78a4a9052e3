#!/usr/bin/env bash
# Renders the icon's PNG sizes from org.vantor.Vantor.svg (needs rsvg-convert, Debian package librsvg2-bin).
# Run it after editing the SVG and commit the PNG files with it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
for size in 48 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert --width "$size" --height "$size" org.vantor.Vantor.svg --output "${size}x${size}/org.vantor.Vantor.png"
done
