#!/usr/bin/env bash
# Renders resources/icons/pixelion.svg into the PNG sizes desktops look for
# (resources/icons/pixelion-<size>.png). Run it after changing the drawing and commit the
# output; the build only installs the files. Needs ImageMagick (scripts/packages.txt).
set -euo pipefail
icons=$(cd "$(dirname "$0")/../resources/icons" && pwd)
for size in 16 32 48 64 128 256; do
    # Drawn at four times 256 px and scaled down, so the small sizes stay smooth; no time
    # stamps, so an unchanged drawing gives unchanged files.
    convert -background none -density 288 "$icons/pixelion.svg" -resize "${size}x${size}" \
        -strip -define png:exclude-chunks=date,time "png32:$icons/pixelion-$size.png"
done
echo "Wrote $icons/pixelion-{16,32,48,64,128,256}.png"
