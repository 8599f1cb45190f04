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
#   3. A pause on request: --pause 12 takes a message down and holds the flashing while
#      --status says "Paused for 12 more minutes" and the run goes on; --toggle ends it (the
#      run still going); the bus's Pause(1) holds it again until --start; a wrong number of
#      minutes is refused by both. The quiet choices file is not written by any of it.
#   4. The user's hours (Monday to Friday, 09:00 to 17:30, in the quiet choices file), with the
#      test build's clock started on a Monday at 08:59:20: "Quiet until 09:00" and no letters,
#      then letters from 09:00; started on a Friday at 17:29:30, letters, then none from 17:30
#      on, "Quiet until Mon 09:00". The file is read, never rewritten.
#   5. Do Not Disturb: the stand-in notification service's Inhibited, then GNOME's
#      show-banners through GSettings' keyfile backend (gsettings set): no letters and
#      "Quiet: Do Not Disturb" while either is on, letters again after. Then GNOME's session
#      manager (a stand-in that appears while the program runs): the idle flag in
#      InhibitedActions counts as a full-screen window, a suspend inhibitor (4) does not.
#   6. A real full-screen window (xmessage made full-screen by wmctrl, active): the letters go
#      and --status says "Quiet: a full-screen window"; they come back when it leaves
#      full-screen; with FullScreen;0 in the quiet choices file they show over it.
#   7. A shared screen (a PipeWire daemon of the test's own): a video source named as a portal
#      back end names its stream of the screen takes the letters down, --status says "Quiet:
#      the screen is shared", and they come back once it goes; a camera's node (media.role
#      Camera) holds nothing; with Shared;0 the letters show while the stream is there.
#   8. The start and stop key (Key;Ctrl+Alt+K in the quiet choices file), pressed with xdotool:
#      the run stops (no letters, --status says stopped), starts again with NumLock on, and stops
#      with CapsLock on too; the file is not rewritten. With the key grabbed first by another
#      program (Xlib's XGrabKey from python), the start says it is taken and flashes on.
#   9. Hidden means hidden: with the window manager gone (as on a desktop that cannot minimise
#      a window) and no tray host, a hidden start leaves the panel off the screen while the
#      letters flash; --show brings it up, --hide takes it away again, a second start brings
#      it up.
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
wait_for 20 letters || fail "no letters after unlocking"
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
wait_for 20 letters || fail "no letters after LockedHint turned false"

step="Lock signal"
wait_for 20 letters || fail "no letters before the Lock signal"
logind SendLock true
wait_for 10 no_letters || fail "the message stayed up after the Lock signal"
quiet_for letters 5
logind SendLock false
wait_for 20 letters || fail "no letters after the Unlock signal"
say "logind: quiet from the start while LockedHint, and from Lock to Unlock"
quit
kill "${services[@]}"
services=()

# --- 3. A pause on request ----------------------------------------------------------------------

# What --status says of the run, the panel and the quiet (its flash line is not this test's).
step="pause"
start_hidden
[ ! -e "$app/Images/SelectedQuiet.txt" ] || fail "start-up wrote the quiet choices file"
wait_for 15 letters || fail "no letters before the pause"
"$k" --pause 12 || fail "--pause 12 failed"
wait_for 10 no_letters || fail "the message stayed up after --pause"
status_says "running|hidden|Paused for 12 more minutes|" ||
    fail "--status while paused: $("$k" --status 2>&1 | tr '\n' '|')"
quiet_for letters 4
running_on_bus || fail "the run ended with the pause"
"$k" --pause 0 2>"$work/pause0.err" && fail "--pause 0 was taken"
"$k" --pause 1441 2>/dev/null && fail "--pause 1441 was taken"
grep -q 'needs the minutes, 1 to 1440, not 0' "$work/pause0.err" || fail "--pause 0 said: $(cat "$work/pause0.err")"
"$k" --toggle || fail "--toggle failed"
wait_for 20 letters || fail "no letters after --toggle ended the pause"
status_says "running|hidden|" || fail "--status after the pause: $("$k" --status 2>&1 | tr '\n' '|')"
gdbus call --session --dest org.kestrane.kestrane --object-path /org/kestrane/kestrane \
    --method org.kestrane.kestrane.Control.Pause 0 >/dev/null 2>&1 && fail "Pause(0) was taken"
gdbus call --session --dest org.kestrane.kestrane --object-path /org/kestrane/kestrane \
    --method org.kestrane.kestrane.Control.Pause 1 >/dev/null || fail "Pause(1) failed"
wait_for 10 no_letters || fail "the message stayed up after Pause(1)"
status_says "running|hidden|Paused for 1 more minute|" ||
    fail "--status after Pause(1): $("$k" --status 2>&1 | tr '\n' '|')"
quiet_for letters 3
"$k" --start || fail "--start failed"
wait_for 20 letters || fail "no letters after --start ended the pause"
say "pause: held by --pause and Pause, ended by --toggle and --start"
quit
[ ! -e "$app/Images/SelectedQuiet.txt" ] || fail "the quiet choices file was written"

# --- 4. The user's hours ------------------------------------------------------------------------

step="hours"
hours='FullScreen;1\r\nShared;1\r\nDoNotDisturb;1\r\nHours;1\r\nDays;Mon,Tue,Wed,Thu,Fri\r\nFrom;09:00\r\nTo;17:30\r\n'
put Images/SelectedQuiet.txt "$hours"
KESTRANE_TEST_NOW=2026-12-07T08:59:20 start_hidden
status_says "running|hidden|Quiet until 09:00|" ||
    fail "--status before the hours: $("$k" --status 2>&1 | tr '\n' '|')"
quiet_for letters 4
wait_for 60 letters || fail "no letters from 09:00 on"
status_says "running|hidden|" || fail "--status in the hours: $("$k" --status 2>&1 | tr '\n' '|')"
quit
KESTRANE_TEST_NOW=2026-12-11T17:29:30 start_hidden
wait_for 25 letters || fail "no letters on a Friday before 17:30"
wait_for 40 status_says "running|hidden|Quiet until Mon 09:00|" ||
    fail "--status after the hours: $("$k" --status 2>&1 | tr '\n' '|')"
wait_for 10 no_letters || fail "letters went on after 17:30"
quiet_for letters 4
say "hours: quiet before 09:00 and after 17:30, flashing between"
quit
bytes_are Images/SelectedQuiet.txt "$hours" || fail "the quiet choices file was rewritten"

# --- 5. Do Not Disturb -------------------------------------------------------------------------

step="Do Not Disturb"
rm "$app/Images/SelectedQuiet.txt"
export GSETTINGS_BACKEND=keyfile # in $XDG_CONFIG_HOME/glib-2.0/settings, for both sides
banners() { gsettings set org.gnome.desktop.notifications show-banners "$1" || fail "gsettings $1"; }
inhibited() {
    gdbus call --session --dest org.freedesktop.Notifications --object-path \
        /org/freedesktop/Notifications --method org.freedesktop.Notifications.SetInhibited "$1" \
        >/dev/null || fail "SetInhibited $1 failed"
}
banners true
start_standin notifications
start_hidden
dnd_cycle() {
    wait_for 15 letters || fail "no letters before Do Not Disturb ($1)"
    "$@" on
    wait_for 10 no_letters || fail "the message stayed up under Do Not Disturb ($1)"
    status_says "running|hidden|Quiet: Do Not Disturb|" ||
        fail "--status under Do Not Disturb ($1): $("$k" --status 2>&1 | tr '\n' '|')"
    quiet_for letters 4
    "$@" off
    wait_for 20 letters || fail "no letters after Do Not Disturb ($1)"
    status_says "running|hidden|" || fail "--status after Do Not Disturb ($1)"
}
inhibit_dnd() { [ "$1" = on ] && inhibited true || inhibited false; }
gnome_dnd() { [ "$1" = on ] && banners false || banners true; }
dnd_cycle inhibit_dnd
dnd_cycle gnome_dnd
step="idle inhibited"
inhibit() {
    gdbus call --session --dest org.gnome.SessionManager --object-path /org/gnome/SessionManager \
        --method org.gnome.SessionManager.SetInhibitedActions "$1" >/dev/null ||
        fail "SetInhibitedActions $1 failed"
}
start_standin session
inhibit 4 # suspend only: not in the way
sleep 1
wait_for 20 letters || fail "no letters with only suspend inhibited"
status_says "running|hidden|" || fail "--status with only suspend inhibited"
inhibit 12 # idle too
wait_for 10 no_letters || fail "the message stayed up while idle was inhibited"
status_says "running|hidden|Quiet: a full-screen window|" ||
    fail "--status while idle was inhibited: $("$k" --status 2>&1 | tr '\n' '|')"
quiet_for letters 4
inhibit 0
wait_for 20 letters || fail "no letters once idle was no longer inhibited"
say "Do Not Disturb: quiet under Inhibited and under show-banners off, flashing again after"
quit
[ ! -e "$app/Images/SelectedQuiet.txt" ] || fail "the quiet choices file was written"
kill "${services[@]}"
services=()

# --- 6. A full-screen window --------------------------------------------------------------------

step="full-screen window"
# Dark all over, so that only the letters are green or white on the captures.
xmessage -name fullscreen_test -xrm '*background: black' -xrm '*foreground: gray30' \
    -geometry 400x300+40+40 "a full-screen window" &
services+=($!)
wait_for 10 sh -c 'wmctrl -l | grep -q "a full-screen window\|fullscreen_test"' || fail "no test window"
full() {
    wmctrl -x -r fullscreen_test -b "$1,fullscreen" || fail "wmctrl $1 failed"
    wmctrl -x -a fullscreen_test || fail "the test window could not be made active"
}
start_hidden
sleep 2 # the panel minimised
wait_for 15 letters || fail "no letters before the full-screen window"
full add
wait_for 10 no_letters || fail "the message stayed up over the full-screen window"
status_says "running|hidden|Quiet: a full-screen window|" ||
    fail "--status over a full-screen window: $("$k" --status 2>&1 | tr '\n' '|')"
quiet_for letters 4
full remove
wait_for 20 letters || fail "no letters once the window left full-screen"
status_says "running|hidden|" || fail "--status after full-screen: $("$k" --status 2>&1 | tr '\n' '|')"
quit
off='FullScreen;0\r\nShared;1\r\nDoNotDisturb;1\r\nHours;0\r\nDays;Mon,Tue,Wed,Thu,Fri\r\nFrom;09:00\r\nTo;17:30\r\n'
put Images/SelectedQuiet.txt "$off"
start_hidden
sleep 2
full add
wait_for 15 letters || fail "no letters over the full-screen window with the choice off"
status_says "running|hidden|" || fail "--status with the choice off: $("$k" --status 2>&1 | tr '\n' '|')"
say "full-screen: quiet over it, flashing again after it, and over it with the choice off"
quit
bytes_are Images/SelectedQuiet.txt "$off" || fail "the quiet choices file was rewritten"
kill "${services[@]}"
services=()

# --- 7. A shared screen --------------------------------------------------------------------------

step="shared screen"
if command -v pipewire >/dev/null && command -v pw-cli >/dev/null; then
    # A PipeWire daemon of the test's own (the program's pw-dump finds it through
    # PIPEWIRE_RUNTIME_DIR), with its test video source, named as a portal back end names its
    # stream of the screen; and a camera, which is no shared screen.
    export PIPEWIRE_RUNTIME_DIR="$work/pipewire"
    mkdir -p "$PIPEWIRE_RUNTIME_DIR/config/pipewire/pipewire.conf.d"
    chmod 700 "$PIPEWIRE_RUNTIME_DIR"
    echo 'context.spa-libs = { videotestsrc = videotestsrc/libspa-videotestsrc }' \
        >"$PIPEWIRE_RUNTIME_DIR/config/pipewire/pipewire.conf.d/test.conf"
    XDG_CONFIG_HOME="$PIPEWIRE_RUNTIME_DIR/config" pipewire >"$work/pipewire.log" 2>&1 &
    services+=($!)
    wait_for 10 test -S "$PIPEWIRE_RUNTIME_DIR/pipewire-0" || fail "PipeWire did not start"
    video_node() {
        pw-cli create-node spa-node-factory \
            "{ factory.name=videotestsrc node.name=$1 ${2:-} object.linger=true }" >/dev/null ||
            fail "no node $1"
    }
    node_id() {
        pw-cli ls Node | awk -v n="node.name = \"$1\"" \
            '/^\tid / { id = $2 } index($0, n) { sub(",", "", id); print id }'
    }
    start_hidden
    wait_for 15 letters || fail "no letters before the screen was shared"
    video_node camera-test media.role=Camera
    video_node xdpw-stream-test
    wait_for 10 no_letters || fail "the message stayed up while the screen was shared"
    status_says "running|hidden|Quiet: the screen is shared|" ||
        fail "--status while shared: $("$k" --status 2>&1 | tr '\n' '|')"
    quiet_for letters 4
    pw-cli destroy "$(node_id xdpw-stream-test)" >/dev/null || fail "the stream stayed"
    # The camera stays: it holds nothing.
    wait_for 20 letters || fail "no letters once the sharing ended"
    status_says "running|hidden|" ||
        fail "--status after sharing: $("$k" --status 2>&1 | tr '\n' '|')"
    quit
    off='FullScreen;1\r\nShared;0\r\nDoNotDisturb;1\r\nHours;0\r\nDays;Mon,Tue,Wed,Thu,Fri\r\nFrom;09:00\r\nTo;17:30\r\n'
    put Images/SelectedQuiet.txt "$off"
    video_node xdpw-stream-test
    start_hidden
    wait_for 15 letters || fail "no letters while shared with the choice off"
    status_says "running|hidden|" ||
        fail "--status with the choice off: $("$k" --status 2>&1 | tr '\n' '|')"
    say "shared screen: quiet while a stream of the screen is there, not for a camera nor with" \
        "the choice off"
    quit
    bytes_are Images/SelectedQuiet.txt "$off" || fail "the quiet choices file was rewritten"
    kill "${services[@]}"
    services=()
    unset PIPEWIRE_RUNTIME_DIR
else
    say "shared screen: skipped, no PipeWire here (Debian packages pipewire, pipewire-bin)"
fi

# --- 8. The start and stop key ------------------------------------------------------------------

step="start and stop key"
keyed='FullScreen;1\r\nShared;1\r\nDoNotDisturb;1\r\nHours;0\r\nDays;Mon,Tue,Wed,Thu,Fri\r\nFrom;09:00\r\nTo;17:30\r\nKey;Ctrl+Alt+K\r\n'
put Images/SelectedQuiet.txt "$keyed"
lock_key() { # the state of Num_Lock or Caps_Lock, as the X server has it
    xset q | grep -q "$1: *on"
}
start_hidden
wait_for 15 letters || fail "no letters before the key"
xdotool key ctrl+alt+k
wait_for 10 status_says "stopped|hidden|" || fail "--status after the key: $("$k" --status 2>&1 | tr '\n' '|')"
wait_for 10 no_letters || fail "the message stayed up after the key stopped the run"
quiet_for letters 3
xdotool key Num_Lock
wait_for 10 lock_key "Num Lock" || fail "NumLock did not turn on"
xdotool key ctrl+alt+k
wait_for 10 status_says "running|hidden|" || fail "the key did not start the run with NumLock on"
wait_for 20 letters || fail "no letters after the key started the run"
xdotool key Caps_Lock
wait_for 10 lock_key "Caps Lock" || fail "CapsLock did not turn on"
xdotool key ctrl+alt+k
wait_for 10 status_says "stopped|hidden|" || fail "the key did not stop the run with NumLock and CapsLock on"
xdotool key Num_Lock Caps_Lock
quit
bytes_are Images/SelectedQuiet.txt "$keyed" || fail "the quiet choices file was rewritten"
# Another program holds the key first (a grab of its own through Xlib): the start says so,
# and goes on running without it.
python3 "$(dirname "$0")/grab_key.py" >"$work/grabber.out" 2>"$work/grabber.log" &
services+=($!)
wait_for 10 grep -qs ready "$work/grabber.out" || fail "the other program did not grab the key"
start_hidden
wait_for 10 grep -qs "Ctrl+Alt+K is taken by another program" "$work"/kestrane-*.log ||
    fail "a key taken by another program was not told"
wait_for 15 letters || fail "no letters with the key taken"
xdotool key ctrl+alt+k
sleep 1
status_says "running|hidden|" || fail "--status with the key taken: $("$k" --status 2>&1 | tr '\n' '|')"
say "start and stop key: stops and starts the run, with NumLock and CapsLock too; a key" \
    "another program holds is told"
quit
kill "${services[@]}"
services=()

# --- 9. Hidden means hidden ---------------------------------------------------------------------

step="hidden without a window manager"
rm "$app/Images/SelectedQuiet.txt"
kill "$KESTRANE_WM_PID" # openbox leaves on SIGTERM as on --exit, with no new X client to start
wait_for 20 sh -c '! timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    fail "openbox did not leave"
start_hidden
wait_for 15 letters || fail "no letters with no window manager"
sleep 2
panel_hidden || fail "the hidden start left the panel on the screen"
"$k" --show || fail "--show failed"
wait_for 10 panel_shown || fail "--show did not bring the panel up"
"$k" --hide || fail "--hide failed"
wait_for 10 panel_hidden || fail "--hide left the panel on the screen"
"$k" >/dev/null 2>&1 || fail "the second start failed"
wait_for 10 panel_shown || fail "a second start did not bring the panel up"
say "hidden means hidden: off the screen with no window manager, up by --show and a second start"
quit
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
