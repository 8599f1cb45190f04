#!/usr/bin/env bash
# Do Not Disturb of dunst, the notification daemon of many tiling window managers, the real
# daemon on with-x.sh's X server and dbus-run-session's bus, the real program hidden and
# flashing (green letters, 2.5 s up, 1 s pause), seen on the screen:
#
#   1. dunstctl set-paused true takes the letters down, none come for 4 s and --status says
#      "Quiet: Do Not Disturb"; set-paused false brings them back. Meanwhile the program asks
#      mako's interface (which dunst has not) once, and never again while dunst is the service.
#   2. Paused before the program starts: quiet from the start; dunst gone while paused (a
#      missing daemon): letters again.
#   3. With DoNotDisturb;0 in the quiet choices file the letters show while dunst is paused.
# The quiet choices file is read, never rewritten.
#
#   tests/e2e/with-x.sh dbus-run-session -- bash tests/e2e/notifier_dnd_e2e.sh <stage>
name=notifier_dnd_e2e
source "$(dirname "$0")/../input/lib.sh"
source "$(dirname "$0")/lock_lib.sh"

make_app
k="$app/kestrane"
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;2500\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;40\r\n'
put Images/AutoStart.txt '1\r\n'
put Images/SelectedPrograms.txt 'Words;1\r\n'
put Data/Words.txt 'MMMM;1\r\n'
quiet_file() { printf 'FullScreen;1\r\nShared;1\r\nDoNotDisturb;%s\r\nHours;0\r\nDays;Mon,Tue,Wed,Thu,Fri\r\nFrom;09:00\r\nTo;17:30\r\n' "$1"; }
daemons=()
trap 'kill "${daemons[@]}" 2>/dev/null || true; cleanup' EXIT

status_is() {
    wait_for 10 status_says "$1" || fail "--status: $("$k" --status 2>&1 | tr '\n' '|'), not $1"
}
# dunst started by the test, owning its name before anything asks it (a question to a name
# nobody owns would have the bus start dunst, or mako, from their service files).
named() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications | grep -q true
}
start_dunst() {
    dunst >"$work/dunst.log" 2>&1 &
    dunst_pid=$!
    daemons+=($dunst_pid)
    wait_for 10 named || fail "dunst did not start"
}
paused() { dunstctl set-paused "$1" || fail "dunstctl set-paused $1"; }

# --- 1. Paused and resumed ----------------------------------------------------------------------

step="paused"
quiet_file 1 >"$app/Images/SelectedQuiet.txt"
start_dunst
dbus-monitor --session "type='method_call',member='ListModes'" >"$work/monitor.out" 2>/dev/null &
daemons+=($!)
wait_for 10 grep -qs NameAcquired "$work/monitor.out" || fail "dbus-monitor did not start"
start_hidden
wait_for 20 letters || fail "no letters before dunst paused"
paused true
wait_for 10 no_letters || fail "the message stayed up while dunst was paused"
status_is "running|hidden|Quiet: Do Not Disturb|"
quiet_for letters 4
paused false
wait_for 20 letters || fail "no letters after dunst resumed"
status_is "running|hidden|"
asked=$(grep -c 'member=ListModes' "$work/monitor.out" || true)
[ "$asked" -le 1 ] || fail "mako's modes asked $asked times while dunst was the service"
say "dunst paused: quiet, resumed: flashing; mako's modes asked $asked times"

# --- 2. Paused at start, then dunst gone ----------------------------------------------------------

step="paused at start"
quit
paused true
start_hidden
quiet_for letters 5
status_is "running|hidden|Quiet: Do Not Disturb|"
kill "$dunst_pid" || fail "dunst had ended"
wait_for 20 letters || fail "no letters once the paused dunst had gone"
status_is "running|hidden|"
say "paused at start: quiet from the start; dunst gone: flashing"
quit
[ "$(quiet_file 1 | od -An -tx1 -v)" = "$(od -An -tx1 -v "$app/Images/SelectedQuiet.txt")" ] ||
    fail "the quiet choices file was rewritten"

# --- 3. The choice off ----------------------------------------------------------------------------

step="choice off"
quiet_file 0 >"$app/Images/SelectedQuiet.txt"
start_dunst
paused true
start_hidden
wait_for 20 letters || fail "no letters while dunst was paused and the choice was off"
status_is "running|hidden|"
quit
[ "$(quiet_file 0 | od -An -tx1 -v)" = "$(od -An -tx1 -v "$app/Images/SelectedQuiet.txt")" ] ||
    fail "the quiet choices file was rewritten"
say "passed"
