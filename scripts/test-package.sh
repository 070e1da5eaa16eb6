#!/usr/bin/env bash
# Builds the Debian package from a built tree, checks it with lintian, checks what it installs,
# runs `pixelion` from PATH under Xvfb on a sample picture and closes it with SIGTERM as a
# session end would.
#
#   scripts/test-package.sh <build folder> [screenshot.png]
#
# With a second argument it also saves a picture of the running show there.
#
# It leaves the machine as it was. Normally it unpacks the package into a throw-away folder and
# runs the program from there, and never touches an installed pixelion. With CI=true (a CI
# machine, where nobody's own install can be in the way) it installs the package with apt-get,
# runs it from the system's PATH, removes it again with what apt-get brought in for it, and
# checks that it is all gone; that needs root and dpkg and apt-get, and it exits 77 (CTest:
# skipped) without them. Any earlier install is removed first there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: $0 <build folder> [screenshot.png]}" && pwd)
shot=${2:+$(realpath -m "$2")}
ci=false
[ "${CI:-}" = true ] && ci=true

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
step() { echo "== $*"; }
pixelion_status() { dpkg-query -W -f='${Status} ${Version}' pixelion 2>/dev/null || true; }

if $ci; then
    [ "$(id -u)" -eq 0 ] || skip "with CI=true the package test installs into the system and needs root"
    for tool in dpkg apt-get; do
        command -v "$tool" >/dev/null || skip "no $tool here"
    done
fi
for tool in cpack dpkg-deb Xvfb xdotool iconv desktop-file-validate update-desktop-database file \
    flock lintian appstreamcli man; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build folder"

# Two builds testing at once would install over each other.
# Opened for reading, so a lock file another user made serves too.
lock="${TMPDIR:-/tmp}/pixelion-package-test.lock"
[ -e "$lock" ] || { : >"$lock" && chmod 644 "$lock"; }
exec 9<"$lock"
flock -w 900 9 || fail "another package test holds the lock"

work=$(mktemp -d)
chmod 755 "$work" # apt reads the package as its own unprivileged user
viewer=""
xvfb=""
status_before=$(pixelion_status)
packages_before="$work/packages-before"
dpkg-query -W -f='${binary:Package}\n' 2>/dev/null | sort >"$packages_before" || true
cleanup() {
    set +e
    [ -n "$viewer" ] && kill -KILL "$viewer" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    if $ci; then
        # Never leave a half-tested package behind, nor what it brought in.
        if pixelion_status | grep -q installed; then
            DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq pixelion >/dev/null 2>&1 || true
        fi
        remove_brought_in
    fi
    rm -rf "$work"
}
# The packages apt-get installed along with pixelion, which nothing had before.
remove_brought_in() {
    local new
    new=$(dpkg-query -W -f='${binary:Package} ${Status}\n' 2>/dev/null |
        awk '$NF == "installed" {print $1}' | sort | comm -13 "$packages_before" - |
        grep -vE '^pixelion(:|$)' || true)
    [ -z "$new" ] && return 0
    echo "Removing what came with the package: $new"
    # shellcheck disable=SC2086 # one package a word
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $new >/dev/null
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

app_id=io.github.pixelion.Pixelion
desktop_entry=/usr/share/applications/$app_id.desktop
metainfo=/usr/share/metainfo/$app_id.metainfo.xml
manuals=(/usr/share/man/man1/pixelion.1.gz /usr/share/man/ja/man1/pixelion.1.gz)
installed_files=(
    /usr/bin/pixelion
    /usr/lib/pixelion/pixelion
    /usr/lib/pixelion/Slide.INI
    "$desktop_entry"
    "$metainfo"
    /usr/share/doc/pixelion/copyright
    /usr/share/doc/pixelion/changelog.gz
    "${manuals[@]}"
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
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in "libqt6widgets6 (>= 6.4)" "libqt6gui6 (>= 6.4)" "libqt6core6 (>= 6.4)" \
    "qt6-translations-l10n" "fonts-noto-cjk | fonts-ipafont-gothic"; do
    grep -qF "$dep" <<<"$depends" || fail "the package does not declare $dep"
done
# Each Qt library once, at the version the build requires, not again at an older one.
for lib in libqt6widgets6 libqt6gui6 libqt6core6; do
    [ "$(grep -oE "(^|, )$lib " <<<"$depends" | wc -l)" -eq 1 ] || fail "$lib is named more than once"
done

step "Checking it with lintian"
# Errors and warnings fail; lintian's informational and pedantic tags are not shown by default.
lintian_status=0
# Its own temporary files go in the work folder, which is removed at the end: lintian leaves some.
TMPDIR=$work lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v '^running with root privileges is not recommended!$' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian exited with $lintian_status"
! grep -qE '^[EW]: ' "$work/lintian.log" || fail "lintian reported errors or warnings"
echo "lintian: no errors, no warnings"

if $ci; then
    step "Installing it with apt-get"
    if pixelion_status | grep -q installed; then
        echo "Removing an earlier install first"
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq pixelion >/dev/null
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 ||
        {
            cat "$work/apt.log"
            fail "apt-get install"
        }
    pixelion_status | grep -q "^install ok installed " || fail "not installed"
    top=""
    path=/usr/local/bin:/usr/bin:/bin
else
    step "Unpacking it into a throw-away folder"
    top="$work/root"
    dpkg-deb -x "$deb" "$top"
    # The program found first on PATH is the unpacked one, as an installed one would be.
    path="$top/usr/bin:/usr/local/bin:/usr/bin:/bin"
fi

step "Checking the installed files"
for f in "${installed_files[@]}"; do
    [ -e "$top$f" ] || fail "$top$f is missing"
done
[ "$(PATH=$path && command -v pixelion)" = "$top/usr/bin/pixelion" ] ||
    fail "pixelion is not $top/usr/bin/pixelion on PATH"
[ "$(readlink -f "$top/usr/bin/pixelion")" = "$top/usr/lib/pixelion/pixelion" ] ||
    fail "$top/usr/bin/pixelion does not lead to $top/usr/lib/pixelion/pixelion"
cmp -s "$top/usr/lib/pixelion/Slide.INI" "$root/resources/Slide.INI" ||
    fail "the installed Slide.INI is not the default one"
for s in "${sizes[@]}"; do
    file -b "$top/usr/share/icons/hicolor/${s}x${s}/apps/pixelion.png" | grep -q "PNG image data, $s x $s" ||
        fail "the ${s}x${s} icon is not a $s x $s PNG"
done
desktop-file-validate "$top$desktop_entry" || fail "desktop-file-validate"
if $ci; then
    # What file managers read to offer "Open with" for a JPEG; Debian's trigger wrote it.
    cache=/usr/share/applications/mimeinfo.cache
else
    # The same cache, made the way the trigger makes it, for the unpacked folder alone.
    update-desktop-database "$top/usr/share/applications"
    cache=$top/usr/share/applications/mimeinfo.cache
fi
grep -q "^image/jpeg=.*$app_id\.desktop" "$cache" || fail "$app_id.desktop is not registered for image/jpeg"

step "Checking the metadata, the manual pages and the changelog"
appstreamcli validate --no-net "$top$metainfo" || fail "appstreamcli validate"
grep -qF "<release version=\"$version\"" "$top$metainfo" || fail "the metadata has no release $version"
for page in "${manuals[@]}"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$top$page" 2>&1 >/dev/null) ||
        fail "man could not show $page: $warnings"
    [ -z "$warnings" ] || fail "man warns about $page: $warnings"
    zcat "$top$page" | grep -qE "^\.TH PIXELION 1 .*\"pixelion $version\"" ||
        fail "$page is not the page of version $version"
done
top_entry=$(zcat "$top/usr/share/doc/pixelion/changelog.gz" | head -n 1)
[[ "$top_entry" == "pixelion ($version) "* ]] || fail "the changelog starts with: $top_entry"
copyright="$top/usr/share/doc/pixelion/copyright"
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"
for licence in Expat LGPL-3 IJG BSD-3-clause Zlib; do
    grep -qx "License: $licence" "$copyright" || fail "the copyright file has no $licence paragraph"
done
# Our own terms are those of LICENSE, word for word.
expat=$(awk '/^License: Expat$/ && prev == "" {p = 1; next} p && /^$/ {exit} p; {prev = $0}' \
    "$copyright" | sed 's/^ //; s/^\.$//' | tr -s ' \n' '  ')
[ -n "$expat" ] || fail "the copyright file has no Expat text"
[ "$expat" = "$(sed -n '/^Permission is hereby granted/,$p' "$root/LICENSE" | tr -s ' \n' '  ')" ] ||
    fail "the copyright file's Expat text is not the one in LICENSE"

if ! $ci; then
    # Marks the unpacked default settings, to see below that the program took its defaults from
    # beside the file it ran, not from an installed copy in /usr/lib/pixelion.
    sed -i 's/^Interval=30/Interval=29/' "$top/usr/lib/pixelion/Slide.INI"
    grep -q '^Interval=29' "$top/usr/lib/pixelion/Slide.INI" || fail "no Interval=30 in the default Slide.INI"
fi

step "Answering --help and --version without a display"
# The packaged program is the one just built: same texts, same version.
for option in --help --version; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH="$path" pixelion "$option") ||
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
(cd "$work/home" && exec env -i PATH="$path" HOME="$work/home" \
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
# The per-user Slide.INI starts as a copy of the default one beside the program it ran.
if ! $ci; then
    grep -q '^Interval=29' "$profile/ピクセリオン/Slide.INI" ||
        fail "the per-user Slide.INI was not copied from $top/usr/lib/pixelion/Slide.INI"
fi
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

if ! $ci; then
    [ "$(pixelion_status)" = "$status_before" ] ||
        fail "the installed pixelion changed: '$status_before' became '$(pixelion_status)'"
    echo "PASSED: checked, unpacked, ran from PATH and closed cleanly; the system was not touched"
    exit 0
fi

step "Removing the package"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q pixelion >"$work/apt.log" 2>&1 ||
    {
        cat "$work/apt.log"
        fail "apt-get remove"
    }
if pixelion_status | grep -q installed; then
    fail "dpkg still knows pixelion: $(pixelion_status)"
fi
for f in "${installed_files[@]}"; do
    if [ -e "$f" ] || [ -L "$f" ]; then fail "$f is still there"; fi
done
for d in /usr/lib/pixelion /usr/share/doc/pixelion; do
    [ ! -e "$d" ] || fail "$d is still there"
done
if [ -f /usr/share/applications/mimeinfo.cache ]; then
    ! grep -q "$app_id\.desktop" /usr/share/applications/mimeinfo.cache ||
        fail "$app_id.desktop is still registered for image/jpeg"
fi
remove_brought_in
echo "PASSED: checked, installed, ran from PATH, closed cleanly and removed"
