#!/usr/bin/env bash
# Runs a command under a fresh virtual X server (Xvfb, 1280x800, 24-bit) with the openbox
# window manager and, unless KESTRANE_NO_TRAY=1, a trayer tray host. Prints the display it
# started on stderr; everything it started is ended when the command ends. The command's exit
# code is returned.
#
#   tests/e2e/with-x.sh <command> [args...]
set -euo pipefail

work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${KESTRANE_X_SCREEN:-1280x800x24}" -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
if [ ! -s "$work/display" ]; then
    echo "with-x: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
# libxkbcommon-x11 copies keymap names out of X replies with strndup(name, length), where the
# names are not NUL-terminated; that is valid C, but AddressSanitizer's strict string checks
# report it as an overflow in every Qt client. The checks stay on for the tests without X.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
echo "with-x: DISPLAY=$DISPLAY" >&2

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
if [ "${KESTRANE_NO_TRAY:-0}" != "1" ]; then
    trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel \
        --height 24 --transparent false --tint 0x303030 --SetDockType true \
        >"$work/trayer.log" 2>&1 &
    pids+=($!)
    # The tray host is ready once it owns the system tray selection of screen 0.
    for _ in $(seq 1 100); do
        if xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 &&
            xwininfo -root -tree 2>/dev/null | grep -qi 'panel\|trayer'; then
            break
        fi
        sleep 0.05
    done
fi

set +e
"$@"
rc=$?
set -e
exit $rc
