#!/usr/bin/env bash
# Messages on two monitors: one 2560x800 virtual X screen split by RandR into two monitors side
# by side, which the program sees as two screens.
#
#   1. "Every screen" (from the screen choice file, started hidden and flashing): each message
#      shows on both halves in the same screenshot, centred on each, and leaves both together;
#      with the right monitor taken away it shows on the left one alone, and on both again once
#      the monitor is back. A full-screen window on the right one (wmctrl) takes a message that
#      is up away at once, and the next shows on the left one only.
#   2. "Pointer's screen", chosen on the Setup tab with a real click and keys (the choice file
#      then says so and the options file is as it was): each message shows on the half where
#      xdotool put the pointer before it came, and on that half only.
#
#   KESTRANE_X_SCREEN=2560x800x24 tests/e2e/with-x.sh tests/input/screens_input.sh <staged folder>
name=screens_input
source "$(dirname "$0")/lib.sh"

xrandr --setmonitor Left 1280/338x800/211+0+0 screen >/dev/null
xrandr --setmonitor Right 1280/338x800/211+1280+0 none >/dev/null
[ "$(xrandr --listmonitors | head -n1)" = "Monitors: 2" ] || fail "no two monitors"

make_app
put Images/SelectedPrograms.txt 'Calm;1\r\n'
put Data/Calm.txt 'Breathe in;1\r\n'
# Magenta letters, large, 2.5 s on screen and 2 s between.
put Images/SelectedOptions.txt 'Color;16711935\r\nMsgduration;2500\r\nTimeBtnMsgs;2\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;40\r\n'
options=$(od -An -tx1 -v "$app/Images/SelectedOptions.txt")

# Takes a screenshot and counts the magenta pixels of each half: L and R.
count() {
    screenshot
    local x
    read -r L R <<<"$(for x in 0 1280; do
        convert "$shot" -crop "1280x800+$x+0" +repage -fuzz 12% -fill black +opaque '#ff00ff' \
            -fill white -opaque '#ff00ff' -format '%[fx:int(mean*w*h)] ' info:
    done)"
}
lit() { [ "$1" -gt 300 ]; }
any_lit() { count && { lit "$L" || lit "$R"; }; }
any_dark() { count && { ! lit "$L" || ! lit "$R"; }; }
both_dark() { count && ! lit "$L" && ! lit "$R"; }
# The middle of the letters on a half of the last screenshot: "x y" from the half's corner.
middle_of() {
    convert "$shot" -crop "1280x800+$1+0" +repage -fuzz 12% -fill black +opaque '#ff00ff' \
        -trim -format '%[fx:int(page.x+w/2)] %[fx:int(page.y+h/2)]' info:
}
centred() {
    local x y
    read -r x y <<<"$(middle_of "$1")"
    [ "${x#-}" -ge 580 ] && [ "$x" -le 700 ] && [ "$y" -ge 340 ] && [ "$y" -le 460 ] ||
        fail "the letters' middle on the half at $1 is $x,$y, not near 640,400"
}

step="every screen"
put Images/AutoStart.txt '1\r\n'
put Images/SelectedScreen.txt 'Screen;Every\r\n'
start_program hidden
for round in 1 2; do
    wait_for 20 any_lit || fail "no message on either screen"
    lit "$L" && lit "$R" || fail "round $round: a message on one screen only ($L/$R pixels)"
    centred 0
    centred 1280
    wait_for 10 any_dark || fail "the message stayed"
    ! lit "$L" && ! lit "$R" || fail "round $round: a message left one screen only ($L/$R)"
done
# A monitor taken away while messages show, and put back: the program goes on, on what is there.
xrandr --delmonitor Right >/dev/null
wait_for 10 both_dark || fail "a message stayed up"
wait_for 10 any_lit || fail "no message on the one screen left"
lit "$L" && ! lit "$R" || fail "one screen left: $L/$R pixels left/right"
xrandr --setmonitor Right 1280/338x800/211+1280+0 none >/dev/null
# The toolkit takes in the monitors one by one: a message may come while it has one of them.
both_lit() { count && lit "$L" && lit "$R"; }
wait_for 15 both_lit || fail "monitor back: messages on one screen only ($L/$R pixels)"
running || fail "the program ended when a monitor went or came"
bytes_are Images/SelectedScreen.txt 'Screen;Every\r\n' || fail "the choice file changed"
kill "$pid"
wait_for 10 ended || fail "the program did not end"

# A full-screen window comes up on the right screen while a message of 30 s is up on both: the
# message goes at once, and the next shows on the left screen only.
step="every screen, one full-screen"
put Images/SelectedOptions.txt 'Color;16711935\r\nMsgduration;30000\r\nTimeBtnMsgs;2\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;40\r\n'
xmessage -name fullscreen_test -xrm '*background: black' -geometry 400x300+1700+200 "full" &
xmessage=$!
wait_for 10 sh -c 'wmctrl -l | grep -q full' || fail "no window to make full-screen"
start_program hidden
wait_for 20 both_lit || fail "no message on both screens before the full-screen window"
wmctrl -x -r fullscreen_test -b add,fullscreen && wmctrl -x -a fullscreen_test ||
    fail "wmctrl failed"
right_dark() { count && ! lit "$R"; }
wait_for 10 right_dark || fail "the message stayed on the screen with the full-screen window"
wait_for 15 any_lit || fail "no message on the screen left"
lit "$L" && ! lit "$R" || fail "with the right screen full-screen: $L/$R pixels left/right"
kill "$pid" "$xmessage"
wait_for 10 ended || fail "the program did not end"
put Images/SelectedOptions.txt 'Color;16711935\r\nMsgduration;2500\r\nTimeBtnMsgs;2\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;40\r\n'

step="pointer's screen"
put Images/AutoStart.txt '0\r\n'
rm "$app/Images/SelectedScreen.txt"
start_program
[ ! -e "$app/Images/SelectedScreen.txt" ] || fail "start-up made a choice file"
click CboScreen
keys Down Return
choice_written() { bytes_are Images/SelectedScreen.txt 'Screen;Pointer\r\n' 2>/dev/null; }
wait_for 10 choice_written || fail "the choice was not written"
[ "$(od -An -tx1 -v "$app/Images/SelectedOptions.txt")" = "$options" ] ||
    fail "the options file changed"
click PbStart
click hide1
# The pointer is read as a message comes: on a busy machine the one coming while a screenshot
# was still taken may have been placed before the move, so the first message that comes after
# the move and a dark screenshot is judged.
for spot in "1900 250 R" "300 700 L" "2400 650 R"; do
    read -r x y half <<<"$spot"
    xdotool mousemove "$x" "$y"
    wait_for 10 both_dark || fail "a message stayed up"
    wait_for 10 any_lit || fail "no message with the pointer at $x,$y"
    if [ "$half" = R ]; then
        lit "$R" && ! lit "$L" || fail "pointer at $x,$y (right): $L/$R pixels left/right"
        centred 1280
    else
        lit "$L" && ! lit "$R" || fail "pointer at $x,$y (left): $L/$R pixels left/right"
        centred 0
    fi
done
[ "$failures" = 0 ] || exit 1
say "done"
