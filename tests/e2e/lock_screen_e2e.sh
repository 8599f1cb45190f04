#!/usr/bin/env bash
# Nothing is flashed while the session is locked, seen on the screen of with-x.sh's X server:
# the real program runs hidden and flashing (green letters, 2.5 s up, 1 s pause) while a
# stand-in (lock_standin.py) reports locking on a private bus, as a desktop would.
#
#   1. The screen saver (org.freedesktop.ScreenSaver on the private session bus; no logind on
#      the private system bus): locked while a message is up, the letters go at once and none
#      come for 5 s, while the program still says it is running; they come back after the
#      unlock.
#   2. logind (org.freedesktop.login1 on a second dbus-daemon, DBUS_SYSTEM_BUS_ADDRESS): a
#      start while LockedHint is true shows nothing until it turns false; then the session's
#      Lock signal takes a message down until its Unlock.
#
#   tests/e2e/with-x.sh dbus-run-session -- bash tests/e2e/lock_screen_e2e.sh <stage>
name=lock_screen_e2e
source "$(dirname "$0")/../input/lib.sh"
source "$(dirname "$0")/lock_lib.sh"
standin="/usr/bin/python3 $(dirname "$0")/lock_standin.py"

make_app
k="$app/kestrane"
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;2500\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;40\r\n'
put Images/AutoStart.txt '1\r\n'
put Images/SelectedPrograms.txt 'Words;1\r\n'
put Data/Words.txt 'MMMM;1\r\n'

# The private "system" bus, with nobody on it yet.
dbus-daemon --session --address="unix:path=$work/system_bus" --nofork --print-address \
    >"$work/system_bus.address" 2>"$work/system_bus.log" &
system_bus=$!
services=()
trap 'kill "${services[@]}" $system_bus 2>/dev/null || true; cleanup' EXIT
wait_for 10 test -s "$work/system_bus.address" || fail "the private system bus did not start"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus"

# Starts the stand-in for logind or the screen saver and waits until it owns its name.
start_standin() {
    $standin "$1" >"$work/standin-$1.out" 2>"$work/standin-$1.log" &
    services+=($!)
    wait_for 10 grep -qs ready "$work/standin-$1.out" || fail "the $1 stand-in did not start"
}
# Green letters somewhere on the screen (the panel is hidden, nothing else is green).
letters() {
    screenshot
    [ "$(convert "$shot" -fuzz 8% -fill white -opaque 'rgb(0,255,0)' -fill black +opaque white \
        -format '%[fx:int(mean*w*h)]' info:)" -gt 50 ]
}
no_letters() { ! letters; }
running_on_bus() {
    [ "$(gdbus call --session --dest org.kestrane.kestrane --object-path /org/kestrane/kestrane \
        --method org.freedesktop.DBus.Properties.Get org.kestrane.kestrane.Control Running \
        2>/dev/null)" \
        = "(<true>,)" ]
}
start_hidden() {
    start_program hidden
    wait_for 30 running_on_bus || fail "the program did not start running"
}
quit() {
    "$k" --quit >/dev/null 2>&1 || fail "--quit failed"
    wait_for 20 ended || fail "--quit did not end the program"
    wait "$pid" || fail "the program ended with an error"
    pid=""
}

# --- 1. The screen saver ------------------------------------------------------------------------

step="screen saver"
start_standin screensaver
start_hidden
wait_for 15 letters || fail "no letters before locking"
saver true
wait_for 10 no_letters || fail "the message stayed up after locking"
quiet_for letters 5
running_on_bus || fail "the run ended when the screen saver locked"
saver false
wait_for 6 letters || fail "no letters after unlocking"
say "screen saver: quiet while locked, flashing again after"
quit
kill "${services[@]}"
services=()

# --- 2. logind ----------------------------------------------------------------------------------

step="LockedHint at start"
start_standin logind
logind SetLockedHint true
start_hidden
quiet_for letters 5
logind SetLockedHint false
wait_for 6 letters || fail "no letters after LockedHint turned false"

step="Lock signal"
wait_for 20 letters || fail "no letters before the Lock signal"
logind SendLock true
wait_for 10 no_letters || fail "the message stayed up after the Lock signal"
quiet_for letters 5
logind SendLock false
wait_for 6 letters || fail "no letters after the Unlock signal"
say "logind: quiet from the start while LockedHint, and from Lock to Unlock"
quit
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
