#!/usr/bin/env bash
# Times pixelion from exec to its first picture on the screen against a minimal Qt viewer
# (bench/minimal_viewer.cpp), and counts how many pictures its show puts on the screen at
# 0.1 s a slide, measured from outside the process with poller on an Xvfb display.
#
# Usage: bench/first-picture.sh <build-folder> [runs]
#   The build folder must hold bin/pixelion and bin/minimal_viewer:
#     cmake --build <build-folder> --target pixelion minimal_viewer
#   runs: timed runs of each program (default 7), alternating, after one untimed warm-up each.
# Environment (all optional):
#   BENCH_DISPLAY  X display to start Xvfb on (default :77)
#   BENCH_WM       openbox (default), none, or both: with openbox as on a desktop, bare, or both
#   POLLER_TOL     colour tolerance per channel handed to poller -t (default 40, poller's own)
#   POLLER_SRC     poller.c to build when <build-folder>/poller is missing
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 <build-folder> [runs]" >&2
    exit 2
fi
BUILD=$(realpath "$1")
RUNS=${2:-7}
if ! [[ $RUNS =~ ^[1-9][0-9]*$ ]]; then
    echo "$0: runs must be a positive number" >&2
    exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
POLLER_SRC=${POLLER_SRC:-$HERE/../../shared/tools/poller.c}
DISP=${BENCH_DISPLAY:-:77}
WM_MODE=${BENCH_WM:-openbox}
TOL=${POLLER_TOL:-40}
case $WM_MODE in openbox) PHASES=(openbox) ;; none) PHASES=(none) ;; both) PHASES=(openbox none) ;;
    *) echo "$0: BENCH_WM must be openbox, none or both" >&2; exit 2 ;; esac

PIXELION=$BUILD/bin/pixelion
MINIMAL=$BUILD/bin/minimal_viewer
POLLER=$BUILD/poller
PICS=$BUILD/bench-pictures
MARKER=$PICS/marker/marker.jpg
SHOW_DIR=$PICS/marker-show
SHOW_MS=10000

if [[ ! -x $MINIMAL ]]; then
    echo "$0: $MINIMAL is missing: cmake --build $BUILD --target pixelion minimal_viewer" >&2
    exit 1
fi
HAVE_PIXELION=1
if [[ ! -x $PIXELION ]]; then
    echo "warning: $PIXELION is missing: timing minimal_viewer alone" >&2
    HAVE_PIXELION=0
fi

for tool in Xvfb convert identify iconv xdpyinfo xprop gcc; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is not installed" >&2; exit 1; }
done
if [[ " ${PHASES[*]} " == *" openbox "* ]] && ! command -v openbox >/dev/null; then
    echo "$0: openbox is not installed (or run with BENCH_WM=none)" >&2
    exit 1
fi

if [[ ! -x $POLLER ]]; then
    echo "building $POLLER"
    gcc -O2 -Wall -o "$POLLER" "$POLLER_SRC" -lX11 -lXext -lXrender
fi

WORK=$(mktemp -d /tmp/first-picture.XXXXXX)
XVFB_PID='' WM_PID='' POLLER_PID=''
cleanup() {
    # A poller that is interrupted leaves its command running in the command's own group.
    if [[ -n $POLLER_PID ]] && kill -0 "$POLLER_PID" 2>/dev/null; then
        for c in $(ps -o pid= --ppid "$POLLER_PID" 2>/dev/null); do kill -KILL -- "-$c" 2>/dev/null || true; done
        kill "$POLLER_PID" 2>/dev/null || true
    fi
    if [[ -n $WM_PID ]]; then kill "$WM_PID" 2>/dev/null || true; fi
    if [[ -n $XVFB_PID ]]; then kill "$XVFB_PID" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- pictures ---------------------------------------------------------------------------------
W=6000 H=4000
MW=$((W * 30 / 100)) MH=$((H * 30 / 100))
MX=$(((W - MW) / 2)) MY=$(((H - MH) / 2))
EDGE=32 # JPEG ringing stays within two blocks of the marker's edge

channel_extremes() { # <picture> <crop geometry>: "min max" of each channel, one line each
    convert "$1" -crop "$2" +repage -separate -format '%[fx:round(255*minima)] %[fx:round(255*maxima)]\n' info:
}

# Checks the compressed picture against poller's matching: every pixel inside the marker within
# TOL/2 of its colour (half, to leave room for scaling on the way to the screen), and no pixel
# outside it able to pass poller's quick test (one channel >= 255-TOL).
check_picture() { # <picture> <R,G,B>
    local pic=$1 target i=0 min max
    IFS=, read -r -a target <<<"$2"
    while read -r min max; do
        local t=${target[$i]}
        if ((min < t - TOL / 2 || max > t + TOL / 2)); then
            echo "$0: $pic: marker channel $i spans $min..$max, not within $((TOL / 2)) of $t" >&2
            return 1
        fi
        i=$((i + 1))
    done < <(channel_extremes "$pic" "$((MW - 2 * EDGE))x$((MH - 2 * EDGE))+$((MX + EDGE))+$((MY + EDGE))")
    local strip
    for strip in "$((MX - EDGE))x${H}+0+0" "$((MX - EDGE))x${H}+$((MX + MW + EDGE))+0"; do
        while read -r min max; do
            if ((max >= 255 - TOL)); then
                echo "$0: $pic: the background reaches $max, poller could take it for a marker" >&2
                return 1
            fi
        done < <(channel_extremes "$pic" "$strip")
    done
}

# A photo-like 24 MP picture: fractal colour clouds with sensor-like noise, held inside 20..75 %
# so that no background pixel comes near a marker colour, and a solid marker in the middle.
make_picture() { # <path> <seed> <R,G,B>
    local path=$1 seed=$2 rgb=$3
    [[ -s $path ]] && return 0
    mkdir -p "$(dirname "$path")"
    echo "making $path (seed $seed, marker $rgb)"
    convert -seed "$seed" -size "${W}x${H}" plasma:fractal -blur 0x1 -attenuate 0.6 +noise Gaussian \
        +level 20%,75% -fill "rgb($rgb)" \
        -draw "rectangle $MX,$MY $((MX + MW - 1)),$((MY + MH - 1))" \
        -sampling-factor 2x2 -quality 90 "jpg:$path.part"
    check_picture "$path.part" "$rgb"
    mv "$path.part" "$path"
}

MAGENTA=255,0,255
# Twelve colours that poller tells apart at its tolerance (each pair differs by >= 127 in a
# channel) and that all pass its quick test (one channel 255, one 0).
SHOW_COLOURS=("255,0,0" "0,255,0" "0,0,255" "255,255,0" "255,0,255" "0,255,255"
              "255,128,0" "255,0,128" "128,255,0" "0,255,128" "128,0,255" "0,128,255")
make_picture "$MARKER" 1 "$MAGENTA"
for i in "${!SHOW_COLOURS[@]}"; do
    make_picture "$(printf '%s/show-%02d.jpg' "$SHOW_DIR" $((i + 1)))" $((101 + i)) "${SHOW_COLOURS[$i]}"
done
SHOW_FIRST=$SHOW_DIR/show-01.jpg

# ---- display ----------------------------------------------------------------------------------
if [[ -e /tmp/.X${DISP#:}-lock ]]; then
    echo "$0: display $DISP is in use (/tmp/.X${DISP#:}-lock); pick another with BENCH_DISPLAY" >&2
    exit 1
fi
Xvfb "$DISP" -screen 0 1600x1000x24 -nolisten tcp -br >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do xdpyinfo -display "$DISP" >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo -display "$DISP" >/dev/null 2>&1 || { echo "$0: Xvfb did not start" >&2; cat "$WORK/xvfb.log" >&2; exit 1; }
export DISPLAY=$DISP QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

start_wm() {
    openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
    WM_PID=$!
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.1
    done
    echo "$0: openbox did not start" >&2
    cat "$WORK/openbox.log" >&2
    exit 1
}
stop_wm() {
    [[ -n $WM_PID ]] || return 0
    kill "$WM_PID" 2>/dev/null || true
    wait "$WM_PID" 2>/dev/null || true
    WM_PID=''
}

# ---- runs -------------------------------------------------------------------------------------
# A fresh per-user folder: Slide.INI with the interval, Setting.INI with a 1280 x 800 outer
# window at 100,100 (in twips, code page 932, CRLF lines as the program writes them).
new_profile() { # <interval in tenths of a second>  -> prints the USERPROFILE folder
    local home dir
    home=$(mktemp -d "$WORK/profile.XXXXXX") # called in $(...): no counter would survive
    dir=$home/ピクセリオン
    mkdir -p "$dir"
    printf '[Debug]\r\nDbgLevel=1\r\n[SETUP]\r\nInterval=%s\r\n' "$1" >"$dir/Slide.INI"
    printf '[Window_Pos]\r\n%s-スライド画面=1500,1500,19200,12000\r\n' "$(basename "$PIXELION")" |
        iconv -f UTF-8 -t CP932 >"$dir/Setting.INI"
    echo "$home"
}

POLL_FIRST=(-M first -c "$MAGENTA" -t "$TOL" -i 2000 -T 30000 -S 300)
POLL_SHOW=(-M slideshow -t "$TOL" -i 2000 -T 30000 -D "$SHOW_MS")
for c in "${SHOW_COLOURS[@]}"; do POLL_SHOW+=(-c "$c"); done

LAST='' # poller's output line of the last run
poll() { # <USERPROFILE> <poller options and command...>
    local profile=$1 rc=0
    shift
    USERPROFILE=$profile "$POLLER" "$@" >"$WORK/poll.out" 2>"$WORK/poll.err" &
    POLLER_PID=$!
    wait "$POLLER_PID" || rc=$?
    POLLER_PID=''
    LAST=$(tail -n 1 "$WORK/poll.out")
    if [[ $rc -ne 0 || $LAST != *first_ms=* ]]; then
        echo "  poller failed (rc $rc): $LAST $(tail -n 3 "$WORK/poll.err" | tr '\n' ' ')" >&2
        return 1
    fi
}
field() { # <key> [line]: the value of key=value in poller's output
    local line=${2:-$LAST}
    sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$line"
}
median() { # numbers...  -> their median, or n/a
    printf '%s\n' "$@" | sed '/^$/d' | sort -g |
        awk '{a[NR]=$1} END {if (!NR) print "n/a"; else if (NR % 2) print a[(NR+1)/2];
             else printf "%.1f\n", (a[NR/2] + a[NR/2+1]) / 2}'
}
mb() { awk -v k="$1" 'BEGIN {if (k == "n/a") print k; else printf "%.1f", k / 1024}'; }

time_first() { # <name> <binary>: one timed run; appends to the arrays named <name>_first etc.
    local name=$1 bin=$2
    if poll "$(new_profile 30)" "${POLL_FIRST[@]}" -- "$bin" "$MARKER"; then
        eval "${name}_first+=($(field first_ms)) ${name}_full+=($(field full_ms)) ${name}_rss+=($(field maxrss_kb))"
        eval "${name}_hits+=($(field hits_final))"
    else
        eval "${name}_failed=\$((${name}_failed + 1))"
    fi
    sleep 0.3 # let the X server drop the closed window before the next clean-screen check
}

echo "display $DISP 1600x1000x24, poller $POLLER, colour tolerance $TOL"
echo "first picture: poller ${POLL_FIRST[*]} -- <program> $MARKER"
echo "show:          poller ${POLL_SHOW[*]} -- $PIXELION $SHOW_FIRST"
echo "(every run with a fresh USERPROFILE: Setting.INI 1280 x 800 at 100,100; Interval=30, show Interval=1)"

for phase in "${PHASES[@]}"; do
    if [[ $phase == openbox ]]; then start_wm; else stop_wm; fi
    pixelion_first=() pixelion_full=() pixelion_rss=() pixelion_hits=() pixelion_failed=0
    minimal_first=() minimal_full=() minimal_rss=() minimal_hits=() minimal_failed=0
    echo
    echo "== window manager: $phase; $RUNS runs each, alternating, after one untimed warm-up each"
    # Warm-up: the page cache then holds the picture and the libraries for both alike.
    if ((HAVE_PIXELION)); then poll "$(new_profile 30)" "${POLL_FIRST[@]}" -- "$PIXELION" "$MARKER" || true; sleep 0.3; fi
    poll "$(new_profile 30)" "${POLL_FIRST[@]}" -- "$MINIMAL" "$MARKER" || true
    sleep 0.3
    for ((r = 1; r <= RUNS; r++)); do
        if ((HAVE_PIXELION)); then time_first pixelion "$PIXELION"; fi
        time_first minimal "$MINIMAL"
    done

    show_line=''
    if ((HAVE_PIXELION)); then
        poll "$(new_profile 1)" "${POLL_SHOW[@]}" -- "$PIXELION" "$SHOW_FIRST" || true
        show_line=$LAST
        sleep 0.3
    fi

    pf=$(median "${pixelion_first[@]}") pF=$(median "${pixelion_full[@]}") pr=$(median "${pixelion_rss[@]}") ph=$(median "${pixelion_hits[@]}")
    mf=$(median "${minimal_first[@]}") mF=$(median "${minimal_full[@]}") mr=$(median "${minimal_rss[@]}") mh=$(median "${minimal_hits[@]}")
    # hits: sampled marker pixels at the end (every 8th pixel each way), i.e. the size shown
    printf '%-16s %5s %14s %13s %7s %5s %7s  %s\n' program runs "first_ms(med)" "full_ms(med)" RSS_MB hits failed "first_ms of each run"
    if ((HAVE_PIXELION)); then
        printf '%-16s %5s %14s %13s %7s %5s %7s  %s\n' pixelion "${#pixelion_first[@]}" "$pf" "$pF" "$(mb "$pr")" \
            "$ph" "$pixelion_failed" "${pixelion_first[*]}"
    fi
    printf '%-16s %5s %14s %13s %7s %5s %7s  %s\n' minimal_viewer "${#minimal_first[@]}" "$mf" "$mF" "$(mb "$mr")" \
        "$mh" "$minimal_failed" "${minimal_first[*]}"
    if ((HAVE_PIXELION)); then
        awk -v p="$pf" -v m="$mf" -v P="$pF" -v M="$mF" 'BEGIN {
            if (p == "n/a" || m == "n/a") { print "ratio pixelion/minimal: n/a"; exit }
            r = p / m; R = (P != "n/a" && M != "n/a") ? sprintf("%.3f", P / M) : "n/a"
            printf "ratio pixelion/minimal: %.3f first, %s full   (target <= 0.85: %s)\n", r, R, (r <= 0.85 ? "met" : "MISSED") }'
        if [[ $show_line == *per_s=* ]]; then
            shown=$(field shown "$show_line") per_s=$(field per_s "$show_line")
            distinct=$(field distinct "$show_line") gap=$(field max_gap_ms "$show_line")
            rss=$(field maxrss_kb "$show_line") first=$(field first_ms "$show_line")
            awk -v s="$shown" -v ps="$per_s" -v d="$distinct" -v g="$gap" -v k="$rss" -v f="$first" \
                -v n="${#SHOW_COLOURS[@]}" -v t="$((SHOW_MS / 1000))" 'BEGIN {
                printf "show, Interval=1, %d s: %d pictures shown = %.2f/s (target >= 9.9: %s), %d of %d distinct, longest gap %d ms, first after %.0f ms\n",
                    t, s, ps, (ps >= 9.9 ? "met" : "MISSED"), d, n, g, f
                printf "show peak RSS: %.1f MB (target < 60 MB: %s)\n", k / 1024, (k / 1024 < 60 ? "met" : "MISSED") }'
            echo "show sequence: $(field seq "$show_line")"
        else
            echo "show: no result ($show_line)"
        fi
    fi
done
