#!/usr/bin/env bash
# End to end: the real pixelion under Xvfb with a window manager (openbox), as on a desktop,
# driven with xdotool as a person would, then the files it leaves behind are checked.
# Usage: e2e.sh <pixelion executable>
set -euo pipefail
exe=$1
for tool in Xvfb openbox xdotool xwininfo import convert iconv; do
    command -v $tool >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
display=":$((150 + RANDOM % 100))"
pid_x="" pid_wm="" pid_app=""
cleanup() {
    [ -n "$pid_app" ] && kill -9 "$pid_app" 2>/dev/null || true
    [ -n "$pid_wm" ] && kill "$pid_wm" 2>/dev/null || true
    [ -n "$pid_x" ] && kill "$pid_x" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- log"; iconv -f CP932 -t UTF-8 "$data"/Log/*.dbg 2>/dev/null | tail -40 || true; exit 1; }

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pid_x=$!
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work" openbox --sm-disable >/dev/null 2>&1 &
pid_wm=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

# Three plain-coloured pictures, so a screenshot tells which one is shown.
pics="$work/写真"
mkdir -p "$pics"
convert -size 640x480 xc:'#d02020' "$pics/a.jpg"
convert -size 640x480 xc:'#20c020' "$pics/b.jpg"
convert -size 640x480 xc:'#2040e0' "$pics/c.jpg"
colour_of=(red green blue)

# A user whose settings log everything and run the show at 1 s; the window at 100,100 px, 800 x 500.
export USERPROFILE="$work/profile"
data="$USERPROFILE/ピクセリオン"
mkdir -p "$data"
printf '[Debug]\r\nDbgLevel=4\r\n[SETUP]\r\nInterval=10\r\n' > "$data/Slide.INI"
printf '[Window_Pos]\r\npixelion-スライド画面=1500,1500,12000,7500\r\n' | iconv -f UTF-8 -t CP932 > "$data/Setting.INI"

"$exe" "$pics/b.jpg" >"$work/stdout" 2>&1 &
pid_app=$!
log() { iconv -f CP932 -t UTF-8 "$data"/Log/*.dbg 2>/dev/null || true; }
wait_for() { # pattern, seconds
    for _ in $(seq $(($2 * 10))); do log | grep -qF -- "$1" && return 0; sleep 0.1; done
    fail "no '$1' in the log after $2 s"
}
wait_for "tmrSlideShow_Timer() End" 10

# Where the client area lies: the window's place from the X server (the window manager framed
# it), the picture area's height in the log gives the menu bar's height.
wid=$(xdotool search --name "スライド画面" | head -1)
[ -n "$wid" ] || fail "no window"
# xwininfo, not xdotool, which counts the frame twice under a reparenting window manager.
info=$(xwininfo -id "$wid")
X=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
WIDTH=$(awk '/^ *Width:/ {print $NF}' <<<"$info")
HEIGHT=$(awk '/^ *Height:/ {print $NF}' <<<"$info")
area=$(log | grep -F '[GetFieldSize1]' | tail -1)
area_w=$(sed -E 's/.*Width=\[([0-9.]+)\].*/\1/' <<<"$area")
area_h=$(sed -E 's/.*Height=\[([0-9.]+)\].*/\1/' <<<"$area")
client_w=$(( (${area_w%.*} + 1755) / 15 ))
client_h=$(( (${area_h%.*} + 575) / 15 ))
[ "$client_w" -eq "$WIDTH" ] || fail "laid out for a client $client_w wide, the window is $WIDTH"
origin_x=$X
origin_y=$((Y + HEIGHT - client_h))
# A point in client twips, as screen pixels.
at() { echo $((origin_x + $1 / 15)) $((origin_y + $2 / 15)); }
W=$((client_w * 15)) H=$((client_h * 15))
click() { xdotool mousemove $(at "$1" "$2") click 1; sleep 0.4; }
button() { click $((W - 1555 + 120 + 600)) $((575 + 240 + 480 * $1 + 187)); }
shown_colour() { # colour at the centre of the picture area
    import -window root "$work/shot.png"
    read -r x y <<<"$(at $((100 + (W - 1755) / 2)) $((575 + (H - 575) / 2)))"
    convert "$work/shot.png" -format "%[fx:int(255*p{$x,$y}.r)] %[fx:int(255*p{$x,$y}.g)] %[fx:int(255*p{$x,$y}.b)]" info: |
        awk '{ if ($1 > 150 && $2 < 100) print "red"; else if ($2 > 150 && $1 < 100) print "green";
               else if ($3 > 150 && $1 < 100) print "blue"; else print "other(" $0 ")" }'
}
current_slide() { log | grep -oE 'fbShowPic\(\) Start　hnPicNo=-?[0-9]+' | tail -1 | grep -oE -- '-?[0-9]+$'; }

# Stop the running show, then see that the picture shown is the current slide.
button 1
wait_for "cmdPlayer_Click() End index=1" 5
n=$(current_slide)
sleep 0.3
got=$(shown_colour)
[ "$got" = "${colour_of[$n]}" ] || fail "slide $n should be ${colour_of[$n]}, screen shows $got"
cp "$work/shot.png" "$work/stopped.png"
ticks=$(log | grep -cF 'tmrSlideShow_Timer() Start')
[ "$ticks" -ge 1 ] || fail "the show never advanced"

# Next: the following slide, still stopped.
button 3
wait_for "cmdPlayer_Click() End index=3" 5
sleep 0.3
next=$(( (n + 1) % 3 ))
got=$(shown_colour)
[ "$got" = "${colour_of[$next]}" ] || fail "after Next slide $next should be ${colour_of[$next]}, screen shows $got"

# The options dialog from the keyboard: Alt+T, O; type 15, Tab to OK, confirm with Enter.
xdotool key alt+t
sleep 0.4
xdotool key o
wait_for "frmOption_gfForm_Show() Start" 5
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 50 "15"
xdotool key Tab space
wait_for "cmdOK_Click() Start" 5
sleep 0.5
xdotool key Return
wait_for "frmOption_gfForm_Show() End" 5

# Close with 終了.
click $((W - 1470 + 660)) $((H - 475 + 187))
for _ in $(seq 50); do kill -0 "$pid_app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid_app" 2>/dev/null && fail "the program did not close"
wait "$pid_app" || fail "the program exited with $?"
pid_app=""

# What it left behind.
ini=$(iconv -f CP932 -t UTF-8 "$data/Slide.INI")
grep -qF $'Interval=15\r' <<<"$ini" || fail "Slide.INI has no Interval=15: $ini"
grep -qF "pixelion=$pics"$'\r' <<<"$ini" || fail "Slide.INI has no RootPath for $pics: $ini"
setting=$(iconv -f CP932 -t UTF-8 "$data/Setting.INI")
grep -qF $'pixelion-スライド画面=1500,1500,12000,7500\r' <<<"$setting" || fail "window rectangle not stored: $setting"
grep -qE $'pixelion-設定画面=[0-9]+,[0-9]+,0,0\r' <<<"$setting" || fail "dialog position not stored: $setting"
for record in "アプリケーション開始" "DebugLevel=[4]" "GetCommandStrig Command=[$pics/b.jpg]" \
    "cmdPlayer_Click() Start index=1" "cmdPlayer_Click() Start index=3" "mnuOption_Click()." \
    "cmdOK_Click() Start" "cmdEnd_Click()." "アプリケーション終了"; do
    log | grep -qF -- "$record" || fail "no '$record' in the log"
done
[ "$(log | tail -1 | grep -c 'アプリケーション終了')" -eq 1 ] || fail "the end banner is not the last record"
echo "e2e: 1 passed, 0 failed ($ticks ticks seen, slide $n then $next on screen)"
