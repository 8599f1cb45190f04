#!/usr/bin/env bash
# A real full-screen X window under the window manager with-x.sh started (KESTRANE_WM: mutter
# or KWin on X11, each compositing), the real program hidden and flashing (green letters, 2.5 s
# up, 1 s pause), seen on the screen: xmessage made full-screen and active by wmctrl takes the
# letters down, none come for 4 s and --status says "Quiet: a full-screen window"; out of
# full-screen, they come again. The quiet choices file (none) is not written.
#
#   KESTRANE_WM=mutter tests/e2e/with-x.sh dbus-run-session -- bash fullscreen_wm_e2e.sh <stage>
name="fullscreen_wm_e2e[${KESTRANE_WM:-openbox}]"
source "$(dirname "$0")/../input/lib.sh"
source "$(dirname "$0")/lock_lib.sh"

make_app
k="$app/kestrane"
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;2500\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;40\r\n'
put Images/AutoStart.txt '1\r\n'
put Images/SelectedPrograms.txt 'Words;1\r\n'
put Data/Words.txt 'MMMM;1\r\n'

# Dark all over, so that only the letters are green on the captures.
xmessage -name fullscreen_test -xrm '*background: black' -xrm '*foreground: gray30' \
    -geometry 400x300+40+40 "a full-screen window" &
window=$!
trap 'kill "$window" 2>/dev/null || true; cleanup' EXIT
wait_for 20 sh -c 'wmctrl -l | grep -q "a full-screen window\|fullscreen_test"' ||
    fail "no test window"
full() {
    wmctrl -x -r fullscreen_test -b "$1,fullscreen" || fail "wmctrl $1 failed"
    wmctrl -x -a fullscreen_test || fail "the test window could not be made active"
}
step="full-screen window"
start_hidden
wait_for 20 letters || fail "no letters before the full-screen window"
full add
wait_for 10 no_letters || fail "the message stayed up over the full-screen window"
wait_for 10 status_says "running|hidden|Quiet: a full-screen window|" ||
    fail "--status over a full-screen window: $("$k" --status 2>&1 | tr '\n' '|')"
quiet_for letters 4
full remove
wait_for 20 letters || fail "no letters once the window left full-screen"
wait_for 10 status_says "running|hidden|" ||
    fail "--status after full-screen: $("$k" --status 2>&1 | tr '\n' '|')"
[ ! -e "$app/Images/SelectedQuiet.txt" ] || fail "the quiet choices file was written"
quit
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "quiet over a full-screen window, flashing again after it; passed"
