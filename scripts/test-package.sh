#!/usr/bin/env bash
# Builds the Debian package from a built tree, installs it into this machine with apt-get,
# checks what it installed, runs `pixelion` from PATH under Xvfb on a sample picture, closes it
# with SIGTERM as a session end would, and removes the package again.
#
#   scripts/test-package.sh <build folder> [screenshot.png]
#
# With a second argument it also saves a picture of the running show there. It changes the
# system, so it needs root; where it cannot run (not root, no dpkg or apt-get) it exits 77,
# which CTest reports as skipped. Any earlier install of the package is removed first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: $0 <build folder> [screenshot.png]}" && pwd)
shot=${2:+$(realpath -m "$2")}

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
step() { echo "== $*"; }

[ "$(id -u)" -eq 0 ] || skip "the package test installs into the system and needs root"
for tool in dpkg apt-get; do
    command -v "$tool" >/dev/null || skip "no $tool here"
done
for tool in cpack Xvfb xdotool iconv desktop-file-validate file flock; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build folder"

# Two builds testing at once would install over each other.
exec 9>"${TMPDIR:-/tmp}/pixelion-package-test.lock"
flock -w 900 9 || fail "another package test holds the lock"

work=$(mktemp -d)
chmod 755 "$work" # apt reads the package as its own unprivileged user
viewer=""
xvfb=""
cleanup() {
    set +e
    [ -n "$viewer" ] && kill -KILL "$viewer" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    # Never leave a half-tested package behind.
    if dpkg-query -W -f='${Status}' pixelion 2>/dev/null | grep -q installed; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq pixelion >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
poll() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

installed_files=(
    /usr/bin/pixelion
    /usr/lib/pixelion/pixelion
    /usr/lib/pixelion/Slide.INI
    /usr/share/applications/pixelion.desktop
    /usr/share/icons/hicolor/scalable/apps/pixelion.svg
)
sizes=(16 32 48 64 128 256)
for s in "${sizes[@]}"; do
    installed_files+=("/usr/share/icons/hicolor/${s}x${s}/apps/pixelion.png")
done

step "Building the package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 ||
    {
        cat "$work/cpack.log"
        fail "cpack"
    }
debs=("$work"/deb/pixelion_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one pixelion_*.deb: ${debs[*]}"
[ -f "${debs[0]}" ] || fail "cpack made no package"
deb=${debs[0]}
chmod 644 "$deb"
basename "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in "libqt6widgets6 (>= 6.4)" "libqt6gui6 (>= 6.4)" "libqt6core6 (>= 6.4)" \
    "fonts-noto-cjk | fonts-ipafont-gothic"; do
    grep -qF "$dep" <<<"$depends" || fail "the package does not declare $dep"
done

step "Installing it with apt-get"
if dpkg-query -W -f='${Status}' pixelion 2>/dev/null | grep -q installed; then
    echo "Removing an earlier install first"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq pixelion >/dev/null
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 ||
    {
        cat "$work/apt.log"
        fail "apt-get install"
    }
dpkg-query -W -f='${Status}' pixelion | grep -qx "install ok installed" || fail "not installed"

step "Checking the installed files"
for f in "${installed_files[@]}"; do
    [ -e "$f" ] || fail "$f is missing"
done
[ "$(command -v pixelion)" = /usr/bin/pixelion ] || fail "pixelion is not /usr/bin/pixelion on PATH"
[ "$(readlink -f /usr/bin/pixelion)" = /usr/lib/pixelion/pixelion ] ||
    fail "/usr/bin/pixelion does not lead to /usr/lib/pixelion/pixelion"
cmp -s /usr/lib/pixelion/Slide.INI "$root/resources/Slide.INI" ||
    fail "the installed Slide.INI is not the default one"
for s in "${sizes[@]}"; do
    file -b "/usr/share/icons/hicolor/${s}x${s}/apps/pixelion.png" | grep -q "PNG image data, $s x $s" ||
        fail "the ${s}x${s} icon is not a $s x $s PNG"
done
desktop-file-validate /usr/share/applications/pixelion.desktop || fail "desktop-file-validate"
if command -v update-desktop-database >/dev/null; then
    # What file managers read to offer "Open with" for a JPEG.
    grep -q '^image/jpeg=.*pixelion\.desktop' /usr/share/applications/mimeinfo.cache ||
        fail "pixelion.desktop is not registered for image/jpeg"
fi

step "Answering --help and --version without a display"
# The installed program is the one just built: same texts, same version.
for option in --help --version; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM pixelion "$option") ||
        fail "pixelion $option exited with $?"
    [ "$out" = "$("$build/bin/pixelion" "$option")" ] || fail "pixelion $option printed: $out"
    grep -qE "Version [0-9]+\.[0-9]{2}" <<<"$out" || fail "no version in: $out"
done
echo "$out"

step "Running pixelion from PATH on a sample picture under Xvfb"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
poll 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
display=":$(head -n 1 "$work/display")"
profile="$work/profile"
pictures="$work/写真 フォルダー"
mkdir -p "$profile" "$pictures" "$work/home" "$work/run"
chmod 700 "$work/run"
samples=("$root"/samples/*.jpg)
cp "${samples[@]}" "$pictures/"
picture="$pictures/$(basename "${samples[0]}")"
# A clean environment: only what a desktop session would give, and the profile in a
# temporary folder so the test never touches a real one.
(cd "$work/home" && exec env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/home" \
    USERPROFILE="$profile" XDG_RUNTIME_DIR="$work/run" LANG=C.UTF-8 DISPLAY="$display" \
    pixelion "$picture") >"$work/viewer.log" 2>&1 &
viewer=$!
logdir="$profile/ピクセリオン/Log"
log_has() { cat "$logdir"/*_pixelion.dbg 2>/dev/null | iconv -f CP932 -t UTF-8 | grep -qF "$1"; }
alive() { kill -0 "$viewer" 2>/dev/null; }
started() { ! alive || log_has "【pixelionアプリケーション開始】"; }
poll 300 started || fail "no start banner in the log after 30 s"
alive || fail "pixelion ended on its own: $(cat "$work/viewer.log")"
window() { xdotool search --name "スライド画面" >/dev/null 2>&1; }
DISPLAY="$display" poll 150 window || fail "no window named スライド画面"
echo "Started; its window is up"
if [ -n "$shot" ]; then
    sleep 4 # let the show reach its next slide
    id=$(DISPLAY="$display" xdotool search --onlyvisible --name "スライド画面" | head -n 1)
    import -display "$display" -window "$id" "$shot"
    echo "Saved $shot"
fi

step "Closing it with SIGTERM"
kill -TERM "$viewer"
poll 200 eval '! alive' || fail "still running 20 s after SIGTERM"
status=0
wait "$viewer" || status=$?
viewer=""
[ "$status" -eq 0 ] || fail "exited with status $status: $(cat "$work/viewer.log")"
log_has "【pixelionアプリケーション終了】" || fail "no end banner in the log"
# The picture named on the command line chose the folder the program remembers.
iconv -f CP932 -t UTF-8 "$profile/ピクセリオン/Slide.INI" | grep -qF "$pictures" ||
    fail "the per-user Slide.INI does not remember $pictures"
echo "Closed through its normal end; the log:"
iconv -f CP932 -t UTF-8 "$logdir"/*_pixelion.dbg

step "Removing the package"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q pixelion >"$work/apt.log" 2>&1 ||
    {
        cat "$work/apt.log"
        fail "apt-get remove"
    }
if dpkg-query -W -f='${Status}' pixelion 2>/dev/null | grep -q installed; then
    fail "dpkg still knows pixelion: $(dpkg-query -W -f='${Status}' pixelion)"
fi
for f in "${installed_files[@]}"; do
    if [ -e "$f" ] || [ -L "$f" ]; then fail "$f is still there"; fi
done
[ ! -e /usr/lib/pixelion ] || fail "/usr/lib/pixelion is still there"
if [ -f /usr/share/applications/mimeinfo.cache ]; then
    ! grep -q 'pixelion\.desktop' /usr/share/applications/mimeinfo.cache ||
        fail "pixelion.desktop is still registered for image/jpeg"
fi
echo "PASSED: installed, ran from PATH, closed cleanly and removed"
