#!/usr/bin/env bash
# The session-bus interface and the command line on top of it, against the real program on a
# private session bus, under the X server, window manager and tray host of with-x.sh. gdbus
# reads the properties and watches the change signals as any other D-Bus client would.
#
#   1. None running: every request but --start ends with 1 and says so; an unknown option
#      ends with 2; --version prints the version; no file is touched. Without a session bus
#      requests say so and the program runs as it always has.
#   2. --start with none running starts the program; with nothing ticked the tray menu's check
#      says "No Messages Selected!" (the bus still answers while the box is up); --quit saves
#      the options (a copy changed on disk meanwhile is written back) and ends it.
#   3. --start with a category ticked: the panel and the flashing. A second --start and a plain
#      second start end at once and leave the one program as it was.
#   4. --toggle, --hide (the tray menu then offers Show, not Hide) and the menu's Start,
#      --toggle while hidden, --show, Toggle called with gdbus, the panel's own Stop: each seen
#      on the screen and read back as Running and Visible, each change announced by
#      PropertiesChanged, whichever way it came.
#   5. --quit: the options saved, the program and its name gone.
#
#   tests/e2e/with-x.sh dbus-run-session -- bash tests/e2e/remote_control_e2e.sh <stage>
name=remote_control_e2e
source "$(dirname "$0")/../input/lib.sh"

make_app
register_tray
k="$app/kestrane"
options='Color;65280\r\nMsgduration;900\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n'
put Images/SelectedOptions.txt "$options"
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt 'Words;0\r\n'
put Data/Words.txt 'MMMM;1\r\n'

gdbus monitor --session --dest org.kestrane.kestrane >"$work/signals.out" 2>&1 &
monitor=$!
trap 'kill $monitor 2>/dev/null || true; cleanup' EXIT

# A request through the command line: its exit status must be $1; its output is in $out.
request() {
    local want=$1
    shift
    out=$("$k" "$@" 2>&1) && rc=0 || rc=$?
    [ "$rc" = "$want" ] || fail "kestrane $* ended with $rc, not $want: $out"
}
prop() {
    gdbus call --session --dest org.kestrane.kestrane --object-path /org/kestrane/kestrane \
        --method org.freedesktop.DBus.Properties.Get org.kestrane.kestrane.Control "$1"
}
# Running and Visible as read over the bus, and --status, are both as given ("true false").
expect_state() {
    local running visible
    running=$(prop Running) || fail "Running cannot be read: $running"
    visible=$(prop Visible) || fail "Visible cannot be read: $visible"
    [ "$running $visible" = "(<$1>,) (<$2>,)" ] || fail "Running $running, Visible $visible"
    request 0 --status
    local want
    want="$([ "$1" = true ] && echo running || echo stopped) $([ "$2" = true ] && echo shown ||
        echo hidden)"
    [ "$(echo $out | cut -d' ' -f1,2)" = "$want" ] || fail "--status printed \"$out\", not \"$want\""
}
# The monitor has seen PropertiesChanged with this property and value since the last look.
signals_seen=0
signalled() {
    tail -n +$((signals_seen + 1)) "$work/signals.out" |
        grep -q "PropertiesChanged ('org.kestrane.kestrane.Control', {.*'$1': <$2>"
}
expect_signal() {
    wait_for 10 signalled "$1" "$2" || fail "no PropertiesChanged $1 $2: $(cat "$work/signals.out")"
}
mark_signals() { signals_seen=$(wc -l <"$work/signals.out"); }
start_request() {
    "$k" --start >"$work/kestrane-$SECONDS.log" 2>&1 &
    pid=$!
    wait_for 30 panel_shown || fail "the panel did not come up"
    wid=$(panel)
}
quit_request() {
    put Images/SelectedOptions.txt 'Color;255\r\n'
    request 0 --quit
    wait_for 10 ended || fail "--quit did not end the program"
    wait "$pid" || fail "the program ended with an error"
    pid=""
    expect_file Images/SelectedOptions.txt "$options"
    request 1 --status
}

# --- 1. None running ---------------------------------------------------------------------------

step="none running"
before=$(snapshot)
for option in --stop --toggle --show --hide --quit --status; do
    request 1 "$option"
    [ "$out" = "kestrane: kestrane is not running" ] || fail "kestrane $option said: $out"
done
request 1 -display "$DISPLAY" --status
[ "$out" = "kestrane: kestrane is not running" ] || fail "with a Qt option: $out"
request 2 --frobnicate
grep -q "unknown option '--frobnicate'" <<<"$out" || fail "an unknown option: $out"
# --version answers with the project's version (read from the top-level CMakeLists.txt), none
# running, and ahead of a request.
version=$(sed -n 's/^project(kestrane VERSION \([0-9.]*\).*/\1/p' \
    "$(dirname "$0")/../../CMakeLists.txt")
request 0 --version
[ -n "$version" ] && [ "$out" = "kestrane $version" ] || fail "--version printed \"$out\""
request 0 --version --stop
[ "$out" = "kestrane $version" ] || fail "--version --stop printed \"$out\""
request 2 --stop --hide
expect_same "$before" "a request with none running changed the files"
say "none running: status 1 for each request, 2 for a wrong option, --version $version"

step="no session bus"
bus=$DBUS_SESSION_BUS_ADDRESS
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
request 1 --status
[ "$out" = "kestrane: no session bus: a running kestrane cannot be reached" ] || fail "$out"
start_program
no_msgbox || fail "a message box without a session bus"
close_program
export DBUS_SESSION_BUS_ADDRESS=$bus
say "no session bus: requests say so, the program runs as ever"

# --- 2. --start starts one; nothing ticked; --quit --------------------------------------------

step="--start, nothing ticked"
start_request
wait_for 15 msgbox_up || fail "no message box"
expect_state false true
answer "No Messages Selected!" Return
not_flashing || fail "a run started with nothing ticked"
expect_state false true
step="--quit after --start"
quit_request
say "--start with none running started it: \"No Messages Selected!\"; --quit saved and ended"

# --- 3. --start with a category ticked; second starts ------------------------------------------

step="--start"
put Images/SelectedPrograms.txt 'Words;1\r\n'
start_request
wait_for 20 flashing || fail "--start with none running did not start the flashing"
expect_state true true
expect_signal Running true
request 0 --start
"$k" >"$work/second.log" 2>&1 || fail "a plain second start ended with an error"
[ "$(xdotool search --name '^Orvessa$' | wc -l)" = 1 ] || fail "a second panel"
running && flashing || fail "a second start changed the running program"
expect_state true true
say "--start: panel and flashing; a second --start and a plain second start end at once"

# --- 4. Requests while it runs ----------------------------------------------------------------

step="--toggle"
mark_signals
request 0 --toggle
wait_for 10 not_flashing || fail "--toggle did not stop the flashing"
expect_signal Running false
expect_state false true

step="--hide"
mark_signals
request 0 --hide
wait_for 10 panel_hidden || fail "--hide left the panel on screen"
xwininfo -id "$wid" | grep -q IsUnMapped || fail "the panel is not hidden: $(xwininfo -id "$wid")"
expect_signal Visible false
expect_state false false

step="the tray menu's Start"
mark_signals
press_icon
expect_menu "on off on off"
choose 3
wait_for 10 flashing || fail "the tray menu's Start did not start the flashing"
expect_signal Running true
expect_state true false

step="--toggle while hidden"
mark_signals
request 0 --toggle
wait_for 10 not_flashing || fail "--toggle did not stop the flashing"
expect_signal Running false
panel_hidden || fail "--toggle brought the panel back"
expect_state false false

step="--show"
mark_signals
request 0 --show
wait_for 10 panel_shown || fail "--show did not bring the panel back"
expect_signal Visible true
expect_state false true

step="Toggle over the bus"
mark_signals
gdbus call --session --dest org.kestrane.kestrane --object-path /org/kestrane/kestrane \
    --method org.kestrane.kestrane.Control.Toggle >/dev/null || fail "Toggle could not be called"
wait_for 10 flashing || fail "Toggle did not start the flashing"
expect_signal Running true
expect_state true true

step="the Start/Stop picture"
mark_signals
xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
click PbStart
wait_for 10 not_flashing || fail "the Start/Stop picture did not stop the flashing"
expect_signal Running false
expect_state false true
say "--toggle, --hide, the tray menu, --toggle, --show, Toggle, the panel's Stop: on screen, in the properties and signals"

# --- 5. --quit --------------------------------------------------------------------------------

step="--quit"
quit_request
grep -q "org.kestrane.kestrane does not have an owner" "$work/signals.out" ||
    fail "the name stayed: $(tail -n 3 "$work/signals.out")"
say "passed"
