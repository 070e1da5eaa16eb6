#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer on the bundled sample pictures.
# Without a display it runs the viewer under Xvfb for a few seconds and saves screenshot.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
picture=$(ls "$root"/samples/*.jpg | head -n 1)
if [ -n "${DISPLAY:-}" ]; then
    exec "$root/build/bin/pixelion" "$picture"
fi
echo "No display: running under Xvfb and saving $root/screenshot.png"
Xvfb :97 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=:97
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$root/build/bin/pixelion" "$picture" &
viewer=$!
sleep 5
import -window root "$root/screenshot.png"
kill "$viewer" 2>/dev/null || true
wait "$viewer" 2>/dev/null || true
echo "Saved $root/screenshot.png"
