#!/usr/bin/env bash
# The Wayland test drivers against a real compositor (KWin or mutter, headless, with XWayland):
# a native Wayland window filling the screen and an X window above part of it, then
#   - a capture shows each window's colour where it is,
#   - a click on the native window, and one on the X window, arrive there (and only there),
#   - watch captures the native window's area repeatedly and sees nothing but its colour.
#
#   drivers_smoke.sh kwin|mutter DRIVER_DIR     (DRIVER_DIR holds wayland_driver, click_target)
#
# Exit status 77 (skipped) only when the compositor cannot be started here at all.
set -euo pipefail
compositor=$1
bin=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
finish() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$here/session.sh" stop "$work/session"
    rm -rf "$work"
}
trap finish EXIT
fail() {
    echo "drivers_smoke[$compositor]: FAIL: $*" >&2
    for f in "$work"/*.log "$work/session/compositor.log"; do
        [ -s "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
    done
    exit 1
}
# libxkbcommon-x11's valid strndup of names that are not NUL-terminated trips AddressSanitizer's
# strict string checks in every Qt client of an X server.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi

export WAYLAND_DRIVER="$bin/wayland_driver"
status=0
"$here/session.sh" start "$compositor" "$work/session" >"$work/env" || status=$?
if [ "$status" -eq 77 ]; then
    echo "drivers_smoke[$compositor]: SKIP: $compositor cannot start here"
    exit 77
fi
[ "$status" -eq 0 ] || fail "the $compositor session did not start"
eval "$(cat "$work/env")"
export XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DISPLAY XAUTHORITY
driver() { "$bin/wayland_driver" "$compositor" "$@"; }

native=2060a0
x11=c03020
QT_QPA_PLATFORM=wayland "$bin/click_target" "$native" "$work/native.txt" \
    >"$work/native.out" 2>"$work/native.log" &
pids+=($!)
QT_QPA_PLATFORM=xcb "$bin/click_target" "$x11" "$work/x11.txt" 400 300 200 100 \
    >"$work/x11.out" 2>"$work/x11.log" &
pids+=($!)

# The colour at a point of a capture, as RRGGBB.
colour_at() { convert "$1" -format "%[hex:p{$2,$3}]" info: | tr 'A-F' 'a-f' | cut -c1-6; }
both_shown() {
    driver capture "$work/shot.png" 2>"$work/capture.log" &&
        [ "$(colour_at "$work/shot.png" 100 100)" = "$native" ] &&
        [ "$(colour_at "$work/shot.png" 500 350)" = "$x11" ]
}
shown=""
for _ in $(seq 30); do
    both_shown && { shown=1; break; }
    sleep 0.5
done
[ -n "$shown" ] || fail "the capture does not show both windows: at 100,100" \
    "$(colour_at "$work/shot.png" 100 100 2>/dev/null), at 500,350" \
    "$(colour_at "$work/shot.png" 500 350 2>/dev/null) ($(cat "$work/capture.log"))"
size=$(identify -format '%wx%h' "$work/shot.png")
[ "$size" = 1280x800 ] || fail "the capture is $size, not the screen's 1280x800"
# (mutter draws a faint shadow about 20 pixels wide around the X window.)
driver capture "$work/area.png" 360 260 60 60 || fail "no capture of an area"
[ "$(identify -format '%wx%h' "$work/area.png")" = 60x60 ] || fail "the area is not 60x60"
[ "$(colour_at "$work/area.png" 2 2)" = "$native" ] ||
    fail "the area's corner is not the native window"
[ "$(colour_at "$work/area.png" 50 50)" = "$x11" ] || fail "the area's inside is not the X window"
echo "drivers_smoke[$compositor]: capture shows both windows"

# Two clicks in a row on each window: a press without its release (mutter's, when its session
# ended at once) makes the next press on the same window go missing.
driver click 100 120 || fail "the click on the native window was refused"
driver click 700 500 || fail "the second click on the native window was refused"
driver click 480 360 || fail "the click on the X window was refused"
driver click 420 310 || fail "the second click on the X window was refused"
got() { [ "$(cat "$1" 2>/dev/null)" = "$2" ]; }
native_got=$'100 120\n700 500'
x11_got=$'80 60\n20 10'
for _ in $(seq 20); do
    got "$work/native.txt" "$native_got" && got "$work/x11.txt" "$x11_got" && break
    sleep 0.1
done
got "$work/native.txt" "$native_got" ||
    fail "the native window got [$(cat "$work/native.txt" 2>/dev/null)], not 100 120 and 700 500"
got "$work/x11.txt" "$x11_got" ||
    fail "the X window got [$(cat "$work/x11.txt" 2>/dev/null)], not 80 60 and 20 10"
echo "drivers_smoke[$compositor]: clicks reach the window under the pointer"

driver watch 50 50 200 200 1000 "$work/watch.txt" "$native" | tee "$work/rate" ||
    fail "watch failed"
lines=$(grep -vc '^#' "$work/watch.txt")
[ "$lines" -ge 3 ] || fail "watch made only $lines captures in a second"
awk '!/^#/ && $3 != 0 {bad = 1} END {exit bad}' "$work/watch.txt" ||
    fail "watch saw other pixels than the native window's: $(grep -v '^#' "$work/watch.txt" | head -n 3)"
echo "drivers_smoke[$compositor]: PASS"
