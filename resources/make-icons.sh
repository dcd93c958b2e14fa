#!/usr/bin/env bash
# Renders the program icon (snapsift.svg) into the PNG sizes the windows and the desktop use,
# and into the Windows icon file. Needs ImageMagick with its SVG delegate (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p icons
sizes=(16 32 48 64 128 256)
for size in "${sizes[@]}"; do
  convert -background none -density 384 snapsift.svg -resize "${size}x${size}" \
    -define png:exclude-chunks=date,time "icons/snapsift-${size}.png"
done
convert $(for size in "${sizes[@]}"; do echo "icons/snapsift-${size}.png"; done) snapsift.ico
