#!/usr/bin/env bash
# kestrane's flashes in a Wayland session as a user meets them: the program on XWayland (the
# X path, forced with KESTRANE_FLASH_PATH=x11), a native Wayland window of ours beneath the
# messages (click_probe), the screen as the compositor itself captures it, and clicks that
# the compositor routes like a real mouse's (never XTEST inside XWayland). Asserted is only
# what does not depend on the machine's speed, with messages of 300 ms and pauses of 1 s:
#
#   1. every message is seen: no gap between two messages seen is as long as two cycles, and
#      none lingers: no message is seen for as long as a pause;
#   2. a click between two messages, where the letters were, reaches the native window;
#   3. a click on the letters while they show reaches it wherever the X server passes the
#      input shape of an X window on to the compositor. Whether it does is tried first with an
#      X window of our own with an empty input shape (XWayland 22.1 does not: there the click
#      is lost, on the letters as on any X window, and the test says so).
#
# A session kind brings four functions: session_start (the compositor, with XWayland; sets
# WAYLAND_DISPLAY and DISPLAY), capture <file.ppm> <x,y wxh> (what the compositor shows there),
# click <x> <y> (routed by the compositor) and session_stop. sway's are here; other kinds come
# from drivers/<kind>.sh beside this script.
#
#   session_e2e.sh <kind> <staged folder> <folder of click_probe and sway_pointer>
set -euo pipefail
kind=$1
stage=$2
tools=$3
here=$(cd "$(dirname "$0")" && pwd)
name="session_e2e[$kind]"
user=kestest # compositors refuse to run as root

fail() {
    echo "$name: $*" >&2
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
id "$user" >/dev/null 2>&1 || useradd -m "$user"
work=$(mktemp -d)
chmod 755 "$work"
procs=()
cleanup() {
    for p in "${procs[@]}"; do kill "$p" 2>/dev/null || true; done
    declare -F session_stop >/dev/null && session_stop
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
chown "$user" "$XDG_RUNTIME_DIR"
# What the session's programs write.
out="$work/out"
mkdir -p "$out"
chown "$user" "$out"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# As with-x.sh does: libxkbcommon-x11's valid strndup of names that are not NUL-terminated
# trips AddressSanitizer's strict string checks in every Qt client of an X server.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
# Runs a command as the session's user, in the session; `as_user exec ... &` starts one in the
# background whose process id is then $!.
as_user() {
    local exec=""
    if [ "$1" = exec ]; then
        exec=exec
        shift
    fi
    $exec setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups -- \
        env HOME="$(getent passwd "$user" | cut -d: -f6)" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" \
        ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY=$WAYLAND_DISPLAY} ${DISPLAY:+DISPLAY=$DISPLAY} \
        ${SWAYSOCK:+SWAYSOCK=$SWAYSOCK} "$@"
}

# --- sway: headless, software rendering, XWayland; grim captures; a virtual pointer clicks ----

sway_session_start() {
    printf 'output HEADLESS-1 resolution 1280x800\nxwayland enable\ndefault_border none\n%s\n' \
        'for_window [class=".*"] move to workspace 2' >"$work/sway.cfg"
    chmod 644 "$work/sway.cfg"
    as_user exec env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        sway -c "$work/sway.cfg" >"$work/sway.log" 2>&1 &
    procs+=($!)
    sway_up() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null 2>&1; }
    wait_for 30 sway_up || fail "sway did not start"
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)
    WAYLAND_DISPLAY=wayland-1
    export SWAYSOCK WAYLAND_DISPLAY
    as_user swaymsg exec 'echo $DISPLAY > $XDG_RUNTIME_DIR/display' >/dev/null
    wait_for 10 test -s "$XDG_RUNTIME_DIR/display" || fail "sway has no XWayland"
    DISPLAY=$(cat "$XDG_RUNTIME_DIR/display")
    export DISPLAY
    # A pointer device of our own: the seat has none in a headless session.
    mkfifo "$work/pointer.in"
    as_user exec "$tools/sway_pointer" 1280 800 <"$work/pointer.in" >"$work/pointer.out" \
        2>"$work/pointer.log" &
    procs+=($!)
    exec 7>"$work/pointer.in"
    wait_for 10 grep -q ready "$work/pointer.out" || fail "no virtual pointer"
}
sway_capture() { as_user grim -g "$2" -t ppm "$1"; }
sway_click() {
    local before
    before=$(grep -c ok "$work/pointer.out" || true)
    echo "click $1 $2" >&7
    answered() { [ "$(grep -c ok "$work/pointer.out")" -gt "$before" ]; }
    wait_for 5 answered || fail "the click hung"
}
sway_session_stop() { exec 7>&- 2>/dev/null || true; }

if [ -f "$here/drivers/$kind.sh" ]; then
    source "$here/drivers/$kind.sh"
elif [ "$kind" = sway ]; then
    session_start() { sway_session_start; }
    capture() { sway_capture "$@"; }
    click() { sway_click "$@"; }
    session_stop() { sway_session_stop; }
else
    fail "no session kind $kind"
fi

session_start
say "Wayland $WAYLAND_DISPLAY, XWayland $DISPLAY"

# The native window beneath, filling the screen.
as_user exec env QT_QPA_PLATFORM=wayland "$tools/click_probe" "$out/presses" >"$work/probe.log" 2>&1 &
procs+=($!)
wait_for 20 grep -q ready "$out/presses" 2>/dev/null || fail "the native window did not come up"
presses() { grep -c '^press' "$out/presses" || true; }
more_presses() { [ "$(presses)" -gt "$1" ]; }
click 20 20
wait_for 5 more_presses 0 || fail "the native window gets no clicks at all"

# What this X server does with a click on an X window with an empty input shape.
as_user exec env QT_QPA_PLATFORM=xcb "$tools/click_probe" --passing 20 600 200 100 \
    >"$work/passing.log" 2>&1 &
reference=$!
sleep 2
before=$(presses)
click 120 650
sleep 0.5
passes_shape=no
[ "$(presses)" -gt "$before" ] && passes_shape=yes
kill -0 "$reference" 2>/dev/null || fail "the X window with an empty input shape did not stay up"
kill "$reference"
wait "$reference" 2>/dev/null || true
say "$(Xwayland -version 2>&1 | sed -n 's/.*Xwayland Version \([^ ]*\).*/XWayland \1/p'):" \
    "input shape passed on to the compositor: $passes_shape"

# --- The program -------------------------------------------------------------------------------

app="$work/app"
mkdir -p "$app"
cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage"/*.so "$app/"
rm -f "$app"/Images/*.txt "$app"/Data/*
printf 'Color;65280\r\nMsgduration;300\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n' \
    >"$app/Images/SelectedOptions.txt"
printf 'Words;1\r\n' >"$app/Images/SelectedPrograms.txt"
printf '1\r\n' >"$app/Images/AutoStart.txt" # starts hidden, flashing
printf 'MMMM;1\r\n' >"$app/Data/Words.txt"
mkdir -p "$work/config" "$work/data"
chown -R "$user" "$app" "$work/config" "$work/data"
as_user exec env XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" KESTRANE_NO_TRAY=1 \
    KESTRANE_FLASH_PATH=x11 "$app/kestrane" >"$work/kestrane.log" 2>&1 &
procs+=($!)
program=$!

# --- 1. Every message seen, none lingering -----------------------------------------------------

area="440,340 400x120" # the middle of the screen, where the centred letters go
green() {
    convert "$1" -fuzz 25% -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
        -format '%[fx:int(mean*w*h)]' info:
}
mkdir "$out/shots"
chown "$user" "$out/shots"
watch_for() {
    local end=$((SECONDS + $1))
    while [ "$SECONDS" -lt "$end" ]; do
        capture "$out/shots/$(date +%s%N).ppm" "$area"
    done
}
watch_for 16
kill -0 "$program" 2>/dev/null || fail "the program ended"
# One line per capture: its time in milliseconds and whether the letters were there.
for f in "$out"/shots/*.ppm; do
    t=$(basename "$f" .ppm)
    echo "$((t / 1000000)) $([ "$(green "$f")" -gt 50 ] && echo 1 || echo 0)"
done >"$work/trace"
read -r seen longest_gap longest_on < <(awk '
    NR == 1 { start = $1 }
    $2 == 1 && !on { if (n++) { g = $1 - last; if (g > gap) gap = g } last = $1; from = $1; on = 1 }
    $2 == 1 { upto = $1 }
    $2 == 0 && on { on = 0; if (upto - from > long) long = upto - from }
    END { print n + 0, gap + 0, long + 0 }' "$work/trace")
say "$seen messages seen in $(wc -l <"$work/trace") captures; longest gap between two" \
    "${longest_gap} ms, longest seen ${longest_on} ms"
[ "$seen" -ge 6 ] || fail "only $seen messages seen in 16 s"
[ "$longest_gap" -lt 2200 ] || fail "a message was lost: $longest_gap ms between two"
[ "$longest_on" -lt 1000 ] || fail "a message lingered: seen for $longest_on ms"

# --- 2. and 3. Clicks where the letters are ------------------------------------------------------

shot="$out/now.ppm"
letters_up() { capture "$shot" "$area" && [ "$(green "$shot")" -gt 50 ]; }
# A pure green pixel of the letters, in screen coordinates.
wait_for 10 letters_up || fail "no letters to click"
read -r lx ly < <(convert "$shot" -depth 8 txt:- | awk -F'[,: ()]+' \
    'NR > 1 && $3 < 40 && $4 > 230 && $5 < 40 && !n++ { print $1, $2 }')
[ -n "$lx" ] || fail "no letter pixel"
lx=$((lx + 440))
ly=$((ly + 340))

# Between two messages: just after one went.
wait_for 10 letters_up || fail "the letters did not come back"
while letters_up; do :; done
sleep 0.2
before=$(presses)
click "$lx" "$ly"
letters_up && fail "the click between messages came too late: the next message is up"
wait_for 3 more_presses "$before" ||
    fail "a click between two messages, where the letters were, did not reach the window beneath"
say "a click between two messages reached the native window"

# On the letters while they show: a click after which they are still there fell on them.
on_letters=""
for _ in $(seq 1 10); do
    wait_for 10 letters_up || fail "the letters did not come back"
    before=$(presses)
    click "$lx" "$ly"
    if letters_up; then
        on_letters=yes
        break
    fi
done
[ -n "$on_letters" ] || fail "could not click while the letters showed"
sleep 0.5
reached=no
[ "$(presses)" -gt "$before" ] && reached=yes
if [ "$passes_shape" = yes ]; then
    [ "$reached" = yes ] || fail "a click on the shown letters did not reach the window beneath"
    say "a click on the shown letters reached the native window"
else
    say "a click on the shown letters reached the native window: $reached (this X server" \
        "does not pass input shapes on)"
fi

kill -0 "$program" 2>/dev/null || fail "the program ended"
say "passed"
