#!/usr/bin/env bash
# The real pixelion on a desktop: Xvfb with a window manager (openbox) that frames, places,
# maximises and restores the window.  Checks the stored window place across restarts, the
# layout after maximise and restore, stored places off the screen, SIGTERM under an error box,
# and the full-screen presentation.  Usage: desktop.sh <pixelion executable>
set -euo pipefail
exe=$1
for tool in Xvfb openbox xdotool xwininfo xprop xdpyinfo import convert iconv; do
    command -v $tool >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
pid_x="" pid_wm="" pid_app="" step="setup"
cleanup() {
    [ -n "$pid_app" ] && kill -9 "$pid_app" 2>/dev/null || true
    [ -n "$pid_wm" ] && kill "$pid_wm" 2>/dev/null || true
    [ -n "$pid_x" ] && kill "$pid_x" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
log() { iconv -f CP932 -t UTF-8 "$data"/Log/*.dbg 2>/dev/null || true; }
fail() {
    echo "FAIL [$step]: $*"
    echo "--- log"
    log | tail -30
    exit 1
}

# Xvfb picks a free display itself; 96 dpi makes a pixel 15 twips. The server is the test's
# own scaffolding: one that does not answer is started again, twice at most, with what it said.
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$work/run"
start_x() {
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -dpi 96 -nolisten tcp 3>"$work/display" >>"$work/xvfb.out" 2>&1 &
    pid_x=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || return 1
    export DISPLAY=":$(head -1 "$work/display")"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
for attempt in 1 2 3; do
    start_x && break
    echo "Xvfb attempt $attempt on ${DISPLAY:-no display} did not answer (alive: $(kill -0 "$pid_x" 2>/dev/null && echo yes || echo no)):"
    cat "$work/xvfb.out"
    kill "$pid_x" 2>/dev/null || true
    wait "$pid_x" 2>/dev/null || true
    [ "$attempt" -lt 3 ] || { echo "Xvfb did not start"; exit 1; }
done

# A window manager as on a desktop, with keys for maximise and restore (xdotool has no window
# state command, and openbox acts on its own keys whatever window has the focus).
cat >"$work/rc.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <keyboard>
    <keybind key="W-Up"><action name="Maximize"/></keybind>
    <keybind key="W-Down"><action name="Unmaximize"/></keybind>
  </keyboard>
</openbox_config>
EOF
XDG_CACHE_HOME="$work/cache" openbox --sm-disable --config-file "$work/rc.xml" >"$work/openbox.out" 2>&1 &
pid_wm=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "openbox did not start: $(cat "$work/openbox.out")"; exit 1; }
root_id=$(xwininfo -root | awk '/Window id:/ {print $4}')
screen_w=1600 screen_h=1000

# ---- helpers ---------------------------------------------------------------------------------

# A fresh user: DbgLevel 4, the given show interval, and (when given) a stored main window place.
new_profile() { # interval [rectangle in twips]
    export USERPROFILE="$work/profile$((++profiles))"
    data="$USERPROFILE/ピクセリオン"
    mkdir -p "$data"
    printf '[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=%s\r\n' "$1" >"$data/Slide.INI"
    [ $# -lt 2 ] || store_rect "$2"
}
profiles=0
store_rect() { printf '[Window_Pos]\r\npixelion-スライド画面=%s\r\n' "$1" | iconv -f UTF-8 -t CP932 >"$data/Setting.INI"; }
stored_rect() { # the main window's entry as written, or nothing
    iconv -f CP932 -t UTF-8 "$data/Setting.INI" 2>/dev/null | tr -d '\r' |
        sed -n 's/^pixelion-スライド画面=//p' | tail -1
}

start_app() { # arguments for pixelion; each start gets a log of its own
    rm -rf "$data/Log"
    "$exe" "$@" >>"$work/stdout" 2>&1 &
    pid_app=$!
}
# SIGTERM, then the process must end within the given seconds with status 0.
term_app() { # seconds
    kill -TERM "$pid_app"
    for _ in $(seq $(($1 * 10))); do kill -0 "$pid_app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid_app" 2>/dev/null && fail "still running $1 s after SIGTERM"
    local status=0
    wait "$pid_app" || status=$?
    pid_app=""
    [ "$status" -eq 0 ] || fail "exited with status $status after SIGTERM"
    log | tail -1 | grep -qF '【pixelionアプリケーション終了】' || fail "the end banner is not the log's last record"
}

# The window manager's frame around a client window: the client's ancestor just below the root.
frame_of() {
    local w=$1 p
    while p=$(xwininfo -id "$w" -tree 2>/dev/null | awk '/Parent window id:/ {print $4}'); do
        [ -n "$p" ] || return 1
        [ "$p" = "$root_id" ] && { echo "$w"; return 0; }
        w=$p
    done
    return 1
}
abs_geometry() { # x y width height of a window, border included
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
        /Border width:/ {b=$3} /^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print x, y, w+2*b, h+2*b}'
}
# Outer rectangle "x y w h": the frame window, which must agree with the client plus the
# frame extents the window manager announces (the ones Qt uses for the rectangle it writes).
outer_of() { # client window
    local frame ext fx fy fw fh cx cy cw ch l r t b
    frame=$(frame_of "$1") || return 1
    ext=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ',')
    [ -n "$ext" ] || return 1
    read -r l r t b <<<"$ext"
    read -r fx fy fw fh <<<"$(abs_geometry "$frame")"
    read -r cx cy cw ch <<<"$(abs_geometry "$1")"
    if [ $((cx - l)) -ne "$fx" ] || [ $((cy - t)) -ne "$fy" ] ||
        [ $((cw + l + r)) -ne "$fw" ] || [ $((ch + t + b)) -ne "$fh" ]; then
        echo "frame $fx $fy ${fw}x$fh disagrees with client $cx $cy ${cw}x$ch + extents $ext" >&2
        return 1
    fi
    echo "$fx $fy $fw $fh"
}
# Waits until the program's main window is mapped, framed and has kept its outer rectangle
# for half a second; sets win and geo.
wait_placed() {
    local prev="" same=0 w g
    for _ in $(seq 150); do
        kill -0 "$pid_app" 2>/dev/null || fail "the program ended before its window was placed"
        w=$(xdotool search --all --onlyvisible --pid "$pid_app" --name '^スライド画面$' 2>/dev/null | head -1) || true
        if [ -n "$w" ] && g=$(outer_of "$w"); then
            if [ "$g" = "$prev" ]; then
                same=$((same + 1))
                [ $same -ge 5 ] && { win=$w; geo=$g; return 0; }
            else
                same=0 prev=$g
            fi
        fi
        sleep 0.1
    done
    fail "no settled main window after 15 s (last outer rectangle: ${prev:-none})"
}
px() { read -r x y w h <<<"$1"; echo "${x},${y} ${w}x${h}"; }
wait_log() { # text, seconds
    for _ in $(seq $(($2 * 10))); do log | grep -qF -- "$1" && return 0; sleep 0.1; done
    fail "no '$1' in the log after $2 s"
}
refits() { log | grep -cF '[GetFieldSize1]' || true; }
# Waits until no re-fit has been logged for a second (at most 6 s).
wait_quiet() {
    local n last=-1 quiet=0
    for _ in $(seq 60); do
        n=$(refits)
        if [ "$n" = "$last" ]; then quiet=$((quiet + 1)); [ $quiet -ge 10 ] && return 0; else quiet=0 last=$n; fi
        sleep 0.1
    done
    fail "the program kept re-fitting for 6 s"
}

# ---- 1. ten starts with the same stored place --------------------------------------------------
step="1 restarts"
echo "step 1: ten starts with the stored rectangle 9000,7500,12000,9000 (600,500 800x600 px)"
new_profile 30 9000,7500,12000,9000
# 500 + 600 passes the 1000 px screen's bottom: the window is moved up onto it (the program's
# rule for places that do not fit), so the first start writes 600,400 800x600 px.
expected=(9000 6000 12000 9000)
geos=() rects=()
for i in $(seq 10); do
    start_app
    wait_placed
    term_app 10
    rect=$(stored_rect)
    [ -n "$rect" ] || fail "start $i: no pixelion-スライド画面 entry written"
    echo "  start $i: outer $(px "$geo"), written $rect"
    geos+=("$geo") rects+=("$rect")
    # What is written is the outer rectangle the window had on screen, in twips.
    read -r x y w h <<<"$geo"
    [ "$rect" = "$((x * 15)),$((y * 15)),$((w * 15)),$((h * 15))" ] ||
        fail "start $i: written $rect, but the window's outer rectangle was $(px "$geo")"
done
IFS=, read -r -a first <<<"${rects[0]}"
for k in 0 1 2 3; do
    d=$((first[k] - expected[k]))
    [ ${d#-} -lt 15 ] || fail "first start wrote ${rects[0]}, expected ${expected[*]} (stored place fitted onto the screen)"
done
for i in $(seq 1 9); do
    [ "${geos[i]}" = "${geos[0]}" ] || fail "start $((i + 1)) outer $(px "${geos[i]}") differs from start 1's $(px "${geos[0]}")"
    [ "${rects[i]}" = "${rects[0]}" ] || fail "start $((i + 1)) wrote ${rects[i]}, start 1 wrote ${rects[0]}"
done
echo "step 1: passed (outer $(px "${geos[0]}") and ${rects[0]} all ten times)"

# ---- 2. maximise and restore with a picture shown ----------------------------------------------
step="2 maximise"
echo "step 2: maximise and restore with a picture shown"
mkdir -p "$work/pics"
convert -size 640x480 xc:'#d02020' "$work/pics/red.jpg"
new_profile 1000 3000,2250,12000,9000
start_app "$work/pics/red.jpg"
wait_log "fbShowPic() End" 10
wait_placed
wait_quiet
xdotool mousemove 400 400 # over the picture, so no button is drawn hovered
normal_geo=$geo
read -r cx cy cw ch <<<"$(abs_geometry "$win")"
# The menu bar's height, from the area the start-up layout used.
area=$(log | grep -F '[GetFieldSize1]' | tail -1)
area_h=$(sed -E 's/.*Height=\[([0-9.]+)\].*/\1/' <<<"$area")
menu_h=$(awk -v ch="$ch" -v ah="$area_h" 'BEGIN { printf "%d", ch - (ah + 575) / 15 }')
[ "$menu_h" -ge 10 ] && [ "$menu_h" -le 40 ] || fail "menu bar height $menu_h px from '$area' and client height $ch"

# The last re-fit's area, and where 終了 and the player frame are drawn, against the client
# area (client window below the menu bar) the window has now.
check_layout() { # what
    local what=$1 cx cy cw ch W H area aw ah bg box want
    read -r cx cy cw ch <<<"$(abs_geometry "$win")"
    W=$cw H=$((ch - menu_h))
    area=$(log | grep -F '[GetFieldSize1]' | tail -1)
    aw=$(sed -E 's/.*Width=\[([0-9.]+)\].*/\1/' <<<"$area")
    ah=$(sed -E 's/.*Height=\[([0-9.]+)\].*/\1/' <<<"$area")
    awk -v a="$aw" -v b="$ah" -v w=$((W * 15 - 1755)) -v h=$((H * 15 - 575)) 'BEGIN { exit !(a == w && b == h) }' ||
        fail "$what: last re-fit used ${aw}x${ah} twips, the ${W}x${H} px client area needs $((W * 15 - 1755))x$((H * 15 - 575))"
    sleep 0.3
    import -window root "$work/shot.png"
    bg=$(convert "$work/shot.png" -format "%[pixel:p{$((cx + W - 2)),$((cy + menu_h + 2))}]" info:)
    # Bounding box of what is not background in a strip along the right edge: the player frame
    # (1455 x 2175 twips at W-1555, 575) and, lower down, 終了 (1320 x 375 at W-1470, H-475).
    box=$(convert "$work/shot.png" -crop "108x170+$((cx + W - 108))+$((cy + menu_h + 25))" +repage \
        -bordercolor "$bg" -border 1 -fuzz 3% -format '%@' info: 2>/dev/null)
    want="97x145+$((108 - 104 + 1))+$((38 - 25 + 1))"
    [ "$box" = "$want" ] || fail "$what: player frame drawn at $box in the strip, expected $want (right edge at ${W} px)"
    box=$(convert "$work/shot.png" -crop "108x100+$((cx + W - 108))+$((cy + menu_h + H - 100))" +repage \
        -bordercolor "$bg" -border 1 -fuzz 3% -format '%@' info: 2>/dev/null)
    want="88x25+$((108 - 98 + 1))+$((100 - 32 + 1))"
    [ "$box" = "$want" ] || fail "$what: 終了 drawn at $box in the strip, expected $want (bottom edge at ${H} px)"
    echo "  $what: outer $(px "$geo"), client area ${W}x${H} px, re-fit ${aw}x${ah} twips, 終了 at $((W - 98)),$((H - 32)), frame at $((W - 104)),38"
}
check_layout "normal"
before=$(refits)
set_state() { # key, wanted: max or normal
    xdotool key "$1"
    local st
    for _ in $(seq 50); do
        st=$(xprop -id "$win" _NET_WM_STATE)
        if [ "$2" = max ]; then
            grep -q _NET_WM_STATE_MAXIMIZED_VERT <<<"$st" && grep -q _NET_WM_STATE_MAXIMIZED_HORZ <<<"$st" && break
        else
            grep -q MAXIMIZED <<<"$st" || break
        fi
        sleep 0.1
    done
    [ "$2" = max ] && ! grep -q MAXIMIZED_HORZ <<<"$st" && fail "openbox did not maximise the window: $st"
    [ "$2" = normal ] && grep -q MAXIMIZED <<<"$st" && fail "openbox did not restore the window: $st"
    wait_placed
    wait_quiet
}
set_state super+Up max
read -r x y w h <<<"$geo"
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le $screen_w ] && [ $((y + h)) -le $screen_h ] &&
    [ "$w" -ge $((screen_w - 20)) ] || fail "maximised outer $(px "$geo") does not fill the screen"
n=$(($(refits) - before))
[ "$n" -eq 1 ] || fail "$n re-fits for one maximise"
check_layout "maximised"
before=$(refits)
set_state super+Down normal
n=$(($(refits) - before))
[ "$n" -eq 1 ] || fail "$n re-fits for one restore"
[ "$geo" = "$normal_geo" ] || fail "restored to $(px "$geo"), it was $(px "$normal_geo") before maximising"
check_layout "restored"
term_app 10
echo "step 2: passed (one re-fit each, controls at the right and bottom edges)"

# ---- 3. stored places that do not fit the screen ---------------------------------------------
step="3 off-screen places"
echo "step 3: stored places that do not fit the 1600x1000 screen"
for stored in 1000,1000,999999,999999 150000,90000,12000,9000 -30000,-30000,12000,9000; do
    new_profile 30 "$stored"
    start_app
    wait_placed
    read -r x y w h <<<"$geo"
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le $screen_w ] && [ $((y + h)) -le $screen_h ] ||
        fail "stored $stored: outer $(px "$geo") is not wholly on the screen"
    peak=0
    for _ in $(seq 15); do
        hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid_app/status")
        [ "$hwm" -gt "$peak" ] && peak=$hwm
        [ "$peak" -lt $((150 * 1024)) ] || fail "stored $stored: peak memory $((peak / 1024)) MB"
        sleep 0.2
    done
    term_app 10
    echo "  stored $stored: outer $(px "$geo"), peak memory $((peak / 1024)) MB"
done
echo "step 3: passed"

# ---- 4. SIGTERM while an error box is open --------------------------------------------------
step="4 SIGTERM under an error box"
echo "step 4: SIGTERM while the error box for a broken picture is open"
mkdir -p "$work/broken"
{ printf '\xff\xd8\xff\xc0\x00\x11\x08'; printf 'U%.0s' $(seq 64); } >"$work/broken/bad.jpg"
new_profile 30 # no stored place: the entry must come from this run's unload
start_app "$work/broken/bad.jpg"
wait_log "fbShowPic() Err" 10
box=""
for _ in $(seq 50); do
    box=$(xdotool search --all --onlyvisible --pid "$pid_app" --name '^エラー$' 2>/dev/null | head -1) || true
    [ -n "$box" ] && break
    sleep 0.1
done
[ -n "$box" ] || fail "no error box titled エラー on screen"
t0=$(date +%s%N)
term_app 10
ms=$((($(date +%s%N) - t0) / 1000000))
rect=$(stored_rect)
grep -qE '^-?[0-9]+,-?[0-9]+,[0-9]+,[0-9]+$' <<<"$rect" || fail "Setting.INI has no pixelion-スライド画面 entry: '$rect'"
echo "step 4: passed (ended $ms ms after SIGTERM, end banner last, entry $rect)"

# ---- 5. full screen ---------------------------------------------------------------------------
step="5 full screen"
echo "step 5: full screen over the show, a key, and back"
mkdir -p "$work/full"
convert -size 640x480 xc:'#d02020' "$work/full/a.jpg" # 4:3: 1333x1000 on the screen
convert -size 1200x400 xc:'#2020d0' "$work/full/b.jpg" # 3:1: 1600x533
new_profile 1000 3000,2250,12000,9000
start_app "$work/full/a.jpg"
wait_log "fbShowPic() End" 10
wait_placed
wait_quiet
normal_geo=$geo
rgb_at() { # x y: "r g b" of the screen there
    import -window root "$work/shot.png"
    convert "$work/shot.png" -format "%[fx:int(255*p{$1,$2}.r)] %[fx:int(255*p{$1,$2}.g)] %[fx:int(255*p{$1,$2}.b)]" info:
}
is_colour() { # "r g b" want: black, red or blue
    local r g b
    read -r r g b <<<"$1"
    case $2 in
    black) [ "$r" -lt 16 ] && [ "$g" -lt 16 ] && [ "$b" -lt 16 ] ;;
    red) [ "$r" -gt 160 ] && [ "$g" -lt 80 ] && [ "$b" -lt 80 ] ;;
    blue) [ "$b" -gt 160 ] && [ "$r" -lt 80 ] && [ "$g" -lt 80 ] ;;
    esac
}
full_window() { # the program's full-screen window, if one is mapped
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$pid_app" --name '^スライド画面$' 2>/dev/null); do
        xprop -id "$w" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_FULLSCREEN && { echo "$w"; return 0; }
    done
    return 1
}
lines_before=$(log | wc -l)
xdotool windowactivate --sync "$win" key F11
full=""
for _ in $(seq 50); do full=$(full_window) && break; sleep 0.1; done
[ -n "$full" ] || fail "F11 opened no full-screen window"
sleep 0.5
[ "$(abs_geometry "$full")" = "0 0 $screen_w $screen_h" ] || fail "full screen at $(abs_geometry "$full"), not the whole screen"
c=$(rgb_at 800 500); is_colour "$c" red || fail "the middle of the screen is '$c', not the red picture"
c=$(rgb_at 60 500); is_colour "$c" black || fail "left of the 4:3 picture is '$c', not black"
[ "$(log | wc -l)" -eq "$lines_before" ] || fail "entering full screen wrote to the log: $(log | tail -n +$((lines_before + 1)))"
xdotool key Right
wait_log "cmdPlayer_Click() End index=3" 5
sleep 0.3
c=$(rgb_at 800 500); is_colour "$c" blue || fail "after Right the middle is '$c', not the blue picture"
c=$(rgb_at 800 100); is_colour "$c" black || fail "above the 3:1 picture is '$c', not black"
log | grep -qF "fCtrlSlideShow() End hbStart=False" || fail "Right did not stop the show as 次へ does"
xdotool key Escape
for _ in $(seq 50); do full_window >/dev/null || break; sleep 0.1; done
full_window >/dev/null && fail "Esc left the full-screen window open"
wait_placed
[ "$geo" = "$normal_geo" ] || fail "back from full screen at $(px "$geo"), it was $(px "$normal_geo")"
n=$(log | tail -n +$((lines_before + 1)) | grep -c 'cmdPlayer_Click() Start' || true)
[ "$n" -eq 1 ] || fail "$n clicks logged in full screen, one key was pressed"
term_app 10
echo "step 5: passed (whole screen, black around the picture, Right as 次へ, back at $(px "$geo"))"
echo "desktop: 5 passed, 0 failed"
