#!/usr/bin/env bash
# Runs a command under a fresh virtual X server (Xvfb, 1280x800, 24-bit) with a window manager
# and, unless KESTRANE_NO_TRAY=1, a trayer tray host. Prints the display it started on stderr;
# everything it started is ended when the command ends. The command's exit code is returned.
#
# KESTRANE_WM chooses the window manager and compositing manager:
#   openbox (the default)  no compositor
#   mutter                 GNOME's window manager and compositor (X11 mode, own D-Bus session)
#   kwin                   KDE's window manager and compositor (own D-Bus session)
#   picom, xcompmgr        openbox with that compositing manager
# With a compositor KESTRANE_COMPOSITOR=1 is exported; programs that need the compositor wait
# for its _NET_WM_CM_S0 selection themselves.
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
# The server's process, for a benchmark that measures how much of a delay is the server's.
export KESTRANE_XSERVER_PID="${pids[0]}"
# libxkbcommon-x11 copies keymap names out of X replies with strndup(name, length), where the
# names are not NUL-terminated; that is valid C, but AddressSanitizer's strict string checks
# report it as an overflow in every Qt client. The checks stay on for the tests without X.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
echo "with-x: DISPLAY=$DISPLAY" >&2

wm="${KESTRANE_WM:-openbox}"
start_wm() {
    case "$wm" in
        openbox | picom | xcompmgr) openbox >"$work/wm.log" 2>&1 & ;;
        mutter) dbus-run-session -- mutter --x11 --replace >"$work/wm.log" 2>&1 & ;;
        kwin) dbus-run-session -- kwin_x11 --replace >"$work/wm.log" 2>&1 & ;;
        *)
            echo "with-x: unknown KESTRANE_WM=$wm" >&2
            exit 2
            ;;
    esac
    pids+=($!)
}
# The window manager is ready once it has put up its check window. One that dies or does not
# come up in ten seconds (mutter, now and then, on a busy machine) is started once more.
for attempt in 1 2; do
    start_wm
    for _ in $(seq 1 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep 'window id' >/dev/null && break 2
        kill -0 "${pids[-1]}" 2>/dev/null || break
        sleep 0.05
    done
    echo "with-x: $wm did not come up (attempt $attempt):" >&2
    tail -n 20 "$work/wm.log" >&2
    kill "${pids[-1]}" 2>/dev/null || true
done
# The window manager's process, for a test that takes the window manager away.
export KESTRANE_WM_PID="${pids[-1]}"
case "$wm" in
    picom)
        picom --backend xrender --no-vsync >"$work/compositor.log" 2>&1 &
        pids+=($!)
        ;;
    xcompmgr)
        xcompmgr >"$work/compositor.log" 2>&1 &
        pids+=($!)
        ;;
esac
case "$wm" in
    openbox) unset KESTRANE_COMPOSITOR ;;
    *) export KESTRANE_COMPOSITOR=1 ;;
esac
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
