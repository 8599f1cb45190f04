#!/usr/bin/env bash
# Start-up with hand-made state files, and Hide without a tray host, under a real X server
# (tests/e2e/with-x.sh with KESTRANE_NO_TRAY=1: this script starts the tray host itself).
#
#   1. Odd and missing flags, blank lines, long names and values, the state files read-only
#      and the Images folder read-only: the panel comes up, is activated and used by keyboard,
#      says once where it keeps the settings and changes no file. The program runs as an
#      ordinary user, for whom read-only means read-only (when the test runs as root, as user
#      nobody); it then keeps its state in its per-user folder, seeded from these files.
#   2. Hide while no tray host shows the icon minimises the window; the tray menu, once a host
#      has appeared, offers Show and greys Hide; it does the same for a window the user
#      minimised, and the reverse once the window is back.
#
#   KESTRANE_NO_TRAY=1 tests/e2e/with-x.sh tests/input/startup_input.sh <staged folder>
name=startup_input
source "$(dirname "$0")/lib.sh"

# --- 1. Hand-made files, read-only --------------------------------------------------------------

step="hand-made files"
make_app
long=$(printf 'L%.0s' $(seq 1 200))
put Images/SelectedOptions.txt "Color;abc\r\nMsgduration;20000\r\nTimeBtnMsgs;0120\r\nMsgOption;Sideways\r\nSelFont;$long\r\nSelFontBold;maybe\r\nSelFontItalic;\r\nSelFontSize;999999999999\r\n"
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt "Calm;01\r\nWork\r\n\r\nSpaced; 1\r\nWord;yes\r\nTwo;2\r\n$long;0\r\n"
put Data/Calm.txt 'Breathe;1\r\n'
put Data/Work.txt 'Focus\r\n'
chmod a-w "$app"/Images/*.txt "$app/Images" "$app/Data"/*
if [ "$(id -u)" -eq 0 ]; then
    # Everything the ordinary user needs to reach, and nothing of the folder to write.
    export KESTRANE_AS_USER=nobody
    chmod 755 "$work"
    chmod -R a+rX "$app"
    chown -R nobody "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME"
fi
before=$(snapshot)
start_program
answer "so it reads and saves your programs and settings in" Return
keys Tab shift+Tab             # to the duration box and back to the category list
click TxtMessageDuration
expect_box 20000
click txtTimeBetweenMessages
expect_box 120
click PbViewScript
sleep 1
popup_hidden LstBoxViewScript || fail "View Script shows a category though none was highlighted"
no_msgbox || fail "a second message box with read-only files"
expect_same "$before" "start-up changed files"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""
unset KESTRANE_AS_USER
say "hand-made read-only files: nothing touched, the per-user folder named"

# --- 2. Hide with no tray host, then a tray host -------------------------------------------------

step="hide without a tray host"
chmod -R u+w "$app"
make_app
register_tray
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt 'Calm;1\r\n'
put Data/Calm.txt 'Breathe;1\r\n'
start_program
# The folder can be written again: the program says once that the changes made meanwhile are
# in the per-user folder, which it no longer shows.
answer "The changes made while that folder could not be written are in" Return
minimised() { xprop -id "$wid" _NET_WM_STATE | grep -q HIDDEN; }
normal() { ! minimised && xwininfo -id "$wid" | grep -q IsViewable; }
click hide1
wait_for 10 minimised || fail "Hide did not minimise the window without a tray host"
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel \
    --height 24 --transparent false --tint 0x303030 --SetDockType true \
    >"$work/trayer.log" 2>&1 &
tray=$!
trap 'kill $tray 2>/dev/null || true; cleanup' EXIT
press_icon
expect_menu "on off on off"
choose 1
wait_for 10 normal || fail "Show did not bring the window back"
press_icon
expect_menu "off on on off"
xdotool key Escape
wait_for 10 menu_closed || fail "Escape left the menu open"
xdotool windowminimize "$wid"
wait_for 10 minimised || fail "the window did not minimise"
press_icon
expect_menu "on off on off"
xdotool key Escape
wait_for 10 menu_closed || fail "Escape left the menu open"
xdotool windowactivate "$wid"
wait_for 10 normal || fail "the window did not come back"
press_icon
expect_menu "off on on off"
choose 2
wait_for 10 panel_hidden || fail "Hide did not hide the window with a tray host"
press_icon
choose 1
wait_for 10 panel_shown || fail "Show did not bring the window back"
wid=$(panel)
close_program
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
