#!/usr/bin/env bash
# The start and stop key in a Wayland session: GNOME's compositor (mutter, headless, with
# XWayland) on a private session bus, where a stand-in of the desktop's GlobalShortcuts portal
# (portal_standin.py) binds it. The real program runs hidden and flashing (green letters) with
# Key;Ctrl+Alt+K in its quiet choices file; the letters are the flash window's own picture.
#
#   1. The bind asks for the user's key ("CTRL+ALT+k"); the portal's Activated stops the run
#      (no letters, --status says stopped) and starts it again; nothing is said of the key,
#      and the quiet choices file is not rewritten.
#   2. A portal that refuses the bind, and one that never answers CreateSession: the program
#      says the desktop did not bind the key, on its error output, and flashes on.
#   3. A portal that binds another trigger: the program says which, and the key works.
#   4. No portal on the bus: the key is grabbed on X (XWayland) and a press of it, as XTEST
#      sends it, stops the run.
#
#   dbus-run-session -- bash tests/e2e/portal_key_e2e.sh <stage>
name=portal_key_e2e
source "$(dirname "$0")/../input/lib.sh"
standin="/usr/bin/python3 $(dirname "$0")/portal_standin.py"
services=()
trap 'kill "${services[@]}" 2>/dev/null || true; cleanup' EXIT

make_app
k="$app/kestrane"
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;2500\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;40\r\n'
put Images/AutoStart.txt '1\r\n'
put Images/SelectedPrograms.txt 'Words;1\r\n'
put Data/Words.txt 'MMMM;1\r\n'
keyed='FullScreen;0\r\nShared;0\r\nDoNotDisturb;0\r\nHours;0\r\nDays;Mon,Tue,Wed,Thu,Fri\r\nFrom;09:00\r\nTo;17:30\r\nKey;Ctrl+Alt+K\r\n'
put Images/SelectedQuiet.txt "$keyed"

# --- The session: mutter with XWayland, as wayland_session_e2e.sh starts it ---------------------

unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
if [ -n "${ASAN_OPTIONS:-}" ]; then # libxkbcommon-x11's strndup, as with-x.sh says
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
mutter --wayland --headless --virtual-monitor 1280x800 >"$work/mutter.log" 2>&1 &
services+=($!)
from_log() { sed -n "$1" "$work/mutter.log" 2>/dev/null | head -n 1; }
x_name='s/.*Using public X11 display \(:[0-9]*\).*/\1/p'
wl_name="s/.*Using Wayland display name '\\([^']*\\)'.*/\\1/p"
logged() { [ -n "$(from_log "$1")" ]; }
wait_for 30 logged "$x_name" || fail "no XWayland display"
wait_for 30 logged "$wl_name" || fail "no Wayland display"
DISPLAY=$(from_log "$x_name")
WAYLAND_DISPLAY=$(from_log "$wl_name")
export DISPLAY WAYLAND_DISPLAY
x_up() { # mutter lets in only clients with its key (the Xauthority file it writes)
    local key
    for key in "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.*; do
        [ -e "$key" ] && export XAUTHORITY="$key"
    done
    xdpyinfo >/dev/null 2>&1
}
wait_for 30 x_up || fail "XWayland on $DISPLAY does not answer"
say "mutter: Wayland $WAYLAND_DISPLAY, XWayland $DISPLAY"

# Green letters in the flash window's picture (mapped only while a message shows).
letters() {
    local id
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"messagesform"/ { print $1; exit }')
    [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable &&
        import -window "$id" "$shot" 2>/dev/null &&
        [ "$(convert "$shot" -fuzz 8% -fill white -opaque 'rgb(0,255,0)' -fill black \
            +opaque white -format '%[fx:int(mean*w*h)]' info:)" -gt 50 ]
}
no_letters() { ! letters; }
quiet_for() {
    local end=$((SECONDS + $1))
    while [ "$SECONDS" -lt "$end" ]; do no_letters || fail "letters while stopped"; done
}
status_says() { [ "$("$k" --status 2>&1 | grep -v '^flash: ' | tr '\n' '|')" = "$1" ]; }
status() { "$k" --status 2>&1 | tr '\n' '|'; }
start_standin() {
    $standin "$1" >"$work/portal-$1.out" 2>"$work/portal-$1.log" &
    services+=($!)
    wait_for 10 grep -qs ready "$work/portal-$1.out" || fail "the $1 portal did not start"
}
press() {
    gdbus call --session --dest org.freedesktop.portal.Desktop --object-path \
        /org/freedesktop/portal/desktop --method org.kestrane.test.Portal.Press >/dev/null ||
        fail "the portal could not press the shortcut"
}
start_hidden() {
    start_program hidden
    wait_for 30 status_says "running|hidden|" || fail "the program did not start running: $(status)"
    log=$(ls -t "$work"/kestrane-*.log | head -n 1)
}
said() { grep -qs "$1" "$log"; }
quit() {
    "$k" --quit >/dev/null 2>&1 || fail "--quit failed"
    wait_for 20 ended || fail "--quit did not end the program"
    wait "$pid" || fail "the program ended with an error: $(tail -n 5 "$log")"
    pid=""
    kill "${services[@]:1}" 2>/dev/null || true
    services=("${services[0]}")
}

# --- 1. Bound as asked ---------------------------------------------------------------------------

step="bound"
start_standin bind
start_hidden
wait_for 10 grep -qs "^bind start-stop CTRL+ALT+k$" "$work/portal-bind.out" ||
    fail "no bind of CTRL+ALT+k: $(cat "$work/portal-bind.out")"
wait_for 15 letters || fail "no letters before the key"
press
wait_for 10 status_says "stopped|hidden|" || fail "--status after Activated: $(status)"
wait_for 10 no_letters || fail "the message stayed up after Activated stopped the run"
quiet_for 3
press
wait_for 10 status_says "running|hidden|" || fail "Activated did not start the run: $(status)"
wait_for 20 letters || fail "no letters after Activated started the run"
! said "Ctrl+Alt+K" || fail "the bound key was told of: $(cat "$log")"
quit
bytes_are Images/SelectedQuiet.txt "$keyed" || fail "the quiet choices file was rewritten"
say "bound: the portal's Activated stops and starts the run"

# --- 2. Refused ----------------------------------------------------------------------------------

for mode in refuse silent; do
    step="$mode"
    start_standin $mode
    start_hidden
    wait_for 20 said "The desktop did not bind Ctrl+Alt+K" || fail "not told: $(cat "$log")"
    wait_for 15 letters || fail "no letters with the key not bound"
    status_says "running|hidden|" || fail "--status with the key not bound: $(status)"
    quit
done

# --- 3. Bound to another trigger -----------------------------------------------------------------

step="other trigger"
start_standin other
start_hidden
wait_for 10 said "The desktop bound the start and stop key to Ctrl+Alt+J" ||
    fail "the other trigger was not told: $(cat "$log")"
press
wait_for 10 status_says "stopped|hidden|" || fail "--status after Activated: $(status)"
quit
say "refused, unanswered and bound otherwise: told on the error output, flashing on"

# --- 4. No portal --------------------------------------------------------------------------------

step="no portal"
start_hidden
wait_for 15 letters || fail "no letters without a portal"
xdotool key ctrl+alt+k
wait_for 10 status_says "stopped|hidden|" || fail "--status after the key on X: $(status)"
! said "Ctrl+Alt+K" || fail "the key grabbed on X was told of: $(cat "$log")"
quit
say "no portal: the key grabbed on XWayland"
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
