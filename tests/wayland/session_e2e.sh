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
# The session of each kind is set up by session_lib.sh (and drivers/<kind>.sh).
#
#   session_e2e.sh <kind> <staged folder> <folder of click_probe and sway_pointer>
set -euo pipefail
kind=$1
stage=$2
tools=$3
name="session_e2e[$kind]"
source "$(dirname "$0")/session_lib.sh"

start_session
try_input_shape
start_program 300 1

# --- 1. Every message seen, none lingering -----------------------------------------------------

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

# --- 2. and 3. Clicks where the letters are ----------------------------------------------------

find_letters
[ "$(click_between)" = yes ] ||
    fail "a click between two messages, where the letters were, did not reach the window beneath"
say "a click between two messages reached the native window"
reached=$(click_on_letters)
if [ "$passes_shape" = yes ]; then
    [ "$reached" = yes ] || fail "a click on the shown letters did not reach the window beneath"
    say "a click on the shown letters reached the native window"
else
    say "a click on the shown letters reached the native window: $reached (this X server" \
        "does not pass input shapes on)"
fi

kill -0 "$program" 2>/dev/null || fail "the program ended"
say "passed"
