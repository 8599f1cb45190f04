#!/usr/bin/env bash
# kestrane's flash on the compositor's layer-shell overlay: sway (headless backend, pixman
# renderer) with XWayland, where the panel runs, and a native Wayland window (layer_click_target,
# full screen) beneath the letters. What the compositor shows is captured with grim
# (wlr-screencopy), and clicks are routed by sway itself (its seat's cursor, as a user's mouse
# is), never XTEST inside XWayland.
#
#   1. A run started at logon, on every screen of two outputs: the letters appear above the
#      full-screen native window and on the second output in the same capture, and go again,
#      message after message. The display times and pauses the captures saw are printed (a
#      capture takes about 20 ms, so they are that coarse). Then the session is locked (a
#      stand-in logind on a private system bus sets LockedHint): the letters go and none come
#      until it is unlocked.
#   2. A click on the letters while they are up, and one at the same point between two
#      messages, each reach the native window beneath.
#   3. The output at scale 2 and 1.5 while the run goes on: the letters stay in the middle, at
#      the scale times their height at 1; at 2 they are drawn at the output's resolution, not
#      magnified (their edges, in the output's pixels, as thin as at 1).
#   4. With the native window gone, a click on the panel's Close picture (on XWayland) ends the
#      program cleanly: its Wayland connection is closed at exit without fault.
#
# The compositor's choice of path is the program's: with KESTRANE_FLASH_PATH=x11 set by the
# caller it takes the X way, and step 2 shows what that gives under sway.
#
#   bash tests/wayland/layer_shell_e2e.sh <stage> <layer_click_target>
# sway refuses to run as root: started as root, the test runs itself as the user kestest.
set -euo pipefail
name=layer_shell_e2e
stage=$1
target=$2
if [ "$(id -u)" -eq 0 ]; then
    id kestest >/dev/null 2>&1 || useradd -m kestest
    # XWayland, started by sway as kestest, would otherwise make the X socket folder kestest's,
    # which every later X server run as root refuses.
    mkdir -p /tmp/.X11-unix && chown root:root /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
    exec runuser -u kestest -- bash "$0" "$@"
fi
work=$(mktemp -d)
procs=()
cleanup() {
    for p in "${procs[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
step=session
fail() {
    echo "$name: [$step] $*" >&2
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}
say() { echo "$name: ${SECONDS}s: $*" >&2; }
wait_for() {
    local end=$((SECONDS + $1))
    shift
    while ! "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}
ms() { echo $(($(date +%s%N) / 1000000)); }
source "$(dirname "$0")/../e2e/lock_lib.sh"

# --- The session ---------------------------------------------------------------------------------

export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK QT_QPA_PLATFORM
if [ -n "${ASAN_OPTIONS:-}" ]; then # as with-x.sh: libxkbcommon-x11 and strict string checks
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
printf 'output HEADLESS-1 resolution 1280x800 position 0 0
output HEADLESS-2 resolution 1280x800 position 1280 0\nxwayland enable\n' >"$work/sway.cfg"
WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=2 WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$work/sway.cfg" >"$work/sway.log" 2>&1 &
procs+=($!)
ipc_up() { compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" >/dev/null; }
wait_for 20 ipc_up || fail "sway did not start"
SWAYSOCK=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -n 1)
WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-* | grep -v lock | head -n 1)
export SWAYSOCK WAYLAND_DISPLAY
swaymsg -q exec "echo \$DISPLAY > $work/display"
wait_for 10 test -s "$work/display" || fail "no XWayland display"
DISPLAY=$(cat "$work/display")
export DISPLAY
say "sway $(sway --version | awk '{print $3}'): Wayland $WAYLAND_DISPLAY, XWayland $DISPLAY"

# What the compositor shows of the middle of the screen, and how many of its pixels are the
# letters' green.
region="340,300 600x200"
green() {
    grim -g "$region" -t ppm "$work/shot.ppm" &&
        convert "$work/shot.ppm" -fuzz 22% -fill black +opaque '#00FF00' -fill white \
            -opaque '#00FF00' -format '%[fx:int(mean*w*h)]' info:
}
letters_up() { [ "$(green)" -gt 50 ]; }
# The same middle of both outputs in one capture: the green pixels of each.
green_both() {
    grim -g "340,300 1880x200" -t ppm "$work/both.ppm" &&
        for x in 0 1280; do
            convert "$work/both.ppm" -crop "600x200+$x+0" +repage -fuzz 22% -fill black \
                +opaque '#00FF00' -fill white -opaque '#00FF00' -format '%[fx:int(mean*w*h)] ' info:
        done
}
both_up() { read -r g1 g2 <<<"$(green_both)" && [ "$g1" -gt 50 ] && [ "$g2" -gt 50 ]; }
letters_gone() { [ "$(green)" -eq 0 ]; }

# A native window of its own beneath everything the program shows.
QT_QPA_PLATFORM=wayland "$target" "$work/presses" >"$work/target.log" 2>&1 &
procs+=($!)
wait_for 20 grep -q '^ready' "$work/presses" 2>/dev/null || fail "the native window did not come up"
presses() { grep -c '^press' "$work/presses" || true; }

# logind, as far as locking goes: a stand-in on a private system bus, there from the start.
dbus-daemon --session --address="unix:path=$work/system_bus" --nofork >"$work/system_bus.log" 2>&1 &
procs+=($!)
wait_for 10 test -S "$work/system_bus" || fail "the private system bus did not start"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus"
/usr/bin/python3 "$(dirname "$0")/../e2e/lock_standin.py" logind >"$work/standin.out" \
    2>"$work/standin.log" &
procs+=($!)
wait_for 10 grep -qs ready "$work/standin.out" || fail "the logind stand-in did not start"

# --- 1. A run ------------------------------------------------------------------------------------

step=run
app="$work/app"
mkdir -p "$app"
cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage"/*.so "$app/"
rm -f "$app"/Images/*.txt "$app"/Data/*
put() { printf "$2" >"$app/$1"; }
# Long messages, so that the captures see each one many times.
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;2000\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n'
put Images/SelectedPrograms.txt 'Words;1\r\n'
put Data/Words.txt 'MMMM;1\r\n'
put Images/AutoStart.txt '1\r\n' # a run at logon: flashing from the start
put Images/SelectedScreen.txt 'Screen;Every\r\n'
put Images/SelectedQuiet.txt 'FullScreen;0\r\n' # the native window beneath is full-screen
(cd "$app" && exec ./kestrane) >"$work/kestrane.log" 2>&1 &
kestrane=$!
procs+=($kestrane)
wait_for 30 letters_up || fail "no letters on screen"
wait_for 10 both_up || fail "the letters on one output only: $g1/$g2 green pixels"
say "letters up above the full-screen native window, and on the second output with them"

# Up and down, as the captures see it: the moments each state was first seen.
since=$(ms)
changes=()
state=up
end=$((since + 9000))
while [ "$(ms)" -lt "$end" ]; do
    now=$(ms)
    if [ "$(green)" -gt 50 ]; then seen=up; else seen=gone; fi
    if [ "$seen" != "$state" ]; then
        changes+=("$seen $((now - since))")
        state=$seen
    fi
done
ups=0
last=""
report=""
for c in "${changes[@]}"; do
    read -r what at <<<"$c"
    # The state that ended here: a pause when the letters came, the letters when they went.
    if [ -n "$last" ]; then
        if [ "$what" = up ]; then report+=" pause $((at - last)) ms,"; else report+=" up $((at - last)) ms,"; fi
    fi
    [ "$what" = up ] && ups=$((ups + 1))
    last=$at
done
say "seen in 9 s:${report:- nothing changed} (display 2000 ms, pause 1000 ms)"
[ "$ups" -ge 2 ] || fail "the letters did not come back twice in 9 s: ${changes[*]}"
[ "$state" = up ] || wait_for 10 letters_up || fail "no letters after the last pause"
wait_for 10 letters_gone || fail "the letters stay"
say "letters came and went ${ups} times more"

# The session locked and unlocked.
step=lock
lock_cycle letters_up logind SetLockedHint
say "locked: no letters for 4 s; unlocked: letters again"

# --- 2. Clicks -----------------------------------------------------------------------------------

step=clicks
# A pure green pixel of the letters, in screen coordinates.
wait_for 10 letters_up || fail "no letters to click"
read -r lx ly < <(convert "$work/shot.ppm" -depth 8 txt:- | awk -F'[,: ()]+' \
    'NR > 1 && $3 < 40 && $4 > 230 && $5 < 40 && !n++ { print $1, $2 }')
[ -n "$lx" ] || fail "no letter pixel to click"
x=$((340 + lx))
y=$((300 + ly))
click() {
    swaymsg -q seat seat0 cursor set "$x" "$y"
    swaymsg -q seat seat0 cursor press button1
    swaymsg -q seat seat0 cursor release button1
}
# Clicked as soon as the next message is seen, so that it is still up.
wait_for 10 letters_gone || fail "the letters stay"
wait_for 10 letters_up || fail "no letters after a pause"
before=$(presses)
click
letters_up || fail "the letters went before the click was over"
wait_for 10 test "$(presses)" -gt "$before" ||
    fail "a click on the letters at $x,$y did not reach the window beneath"
grep -qx "press $x $y" "$work/presses" || fail "the click arrived elsewhere: $(tail -n 1 "$work/presses")"
say "a click on the letters at $x,$y reached the native window beneath"
wait_for 10 letters_gone || fail "the letters stay"
before=$(presses)
click
wait_for 10 test "$(presses)" -gt "$before" ||
    fail "a click between two messages at $x,$y did not reach the window beneath"
say "a click at the same point between two messages reached it too"

# --- 3. Scaled outputs ----------------------------------------------------------------------------

step=scale
# The letters in a capture of the whole first output, in its own pixels: "width height left top
# edges", edges being the half-tone pixels at their edges per 1000 solid ones (green over the
# native window's (40,40,60): a solid pixel's green is above 87 %, a half-tone's between 28 and
# 87 %). Letters drawn at the output's scale have half as many edges per solid pixel as ones
# drawn at 1 and magnified.
letters_at() {
    local w h x y solid
    grim -o HEADLESS-1 -t ppm "$work/out.ppm" || return 1
    read -r w h x y < <(convert "$work/out.ppm" -fuzz 22% -fill black +opaque '#00FF00' \
        -fill white -opaque '#00FF00' -trim -format '%w %h %X %Y\n' info: 2>/dev/null | tr -d +)
    [ "${h:-0}" -gt 4 ] || return 1
    m() {
        convert "$work/out.ppm" -crop "$((w + 6))x$((h + 6))+$((x - 3))+$((y - 3))" +repage \
            -channel G -separate -threshold "$1%" -format '%[fx:int(mean*w*h)]' info:
    }
    solid=$(m 87)
    [ "$solid" -gt 0 ] || return 1
    echo "$w $h $x $y $((1000 * ($(m 28) - solid) / solid))"
}
output_letters_up() { letters_at >/dev/null; }
output_letters_gone() { ! letters_at >/dev/null; }
# A message shown since the last change: gone, up, gone and up again.
next_letters() {
    local i
    for i in 1 2; do
        wait_for 10 output_letters_gone && wait_for 10 output_letters_up || return 1
    done
}
wait_for 10 output_letters_up || fail "no letters at scale 1"
read -r _ h1 _ _ e1 < <(letters_at) || fail "no letters at scale 1"
for scale in 2 1.5; do
    swaymsg -q output HEADLESS-1 scale "$scale"
    next_letters || fail "no letters at scale $scale"
    read -r w h x y e < <(letters_at) || fail "no letters at scale $scale"
    say "scale $scale: letters ${w}x$h at $x,$y, $e edge pixels per 1000 (at 1: $h1 high, $e1)"
    want=$(awk -v h="$h1" -v s="$scale" 'BEGIN { print int(h * s + 0.5) }')
    [ $((h - want)) -ge -3 ] && [ $((h - want)) -le 3 ] ||
        fail "letters $h1 high at scale 1 are $h high at $scale"
    dx=$((2 * x + w - 1280))
    dy=$((2 * y + h - 800))
    [ "${dx#-}" -le "$h" ] && [ "${dy#-}" -le "$h" ] || fail "the letters are off the middle at $scale"
    if [ "$scale" = 2 ]; then
        [ $((10 * e)) -le $((7 * e1)) ] || fail "the letters are magnified at scale 2, not drawn at it"
    fi
done
swaymsg -q output HEADLESS-1 scale 1
wait_for 10 letters_up || fail "no letters back at scale 1"

# --- 4. Close ------------------------------------------------------------------------------------

step=close
# The native window goes, and with it its pointer: one without a window takes its place.
QT_QPA_PLATFORM=wayland "$target" --pointer-only >"$work/pointer.log" 2>&1 &
procs+=($!)
sleep 1
kill "${procs[1]}"
panel=""
panel_up() { panel=$(xdotool search --onlyvisible --name '^Orvessa$' 2>/dev/null | head -n 1); [ -n "$panel" ]; }
wait_for 10 panel_up || fail "no panel"
read -r px py < <(xwininfo -id "$panel" | awk '/Absolute upper-left X/ {x = $4}
    /Absolute upper-left Y/ {y = $4} END {print x, y}')
# The Close picture: 8010, 150 twips, 345 x 465 (15 twips a pixel), clicked in its middle.
x=$((px + 545))
y=$((py + 25))
ended() { ! kill -0 "$kestrane" 2>/dev/null; }
sleep 1
click
wait_for 20 ended || fail "Close at $x,$y did not end the program"
status=0
wait "$kestrane" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"
say "Close ended the program cleanly"
say "passed"
