#!/usr/bin/env bash
# A headless Wayland session for tests: KWin or mutter with XWayland, on a private D-Bus session
# bus and runtime folder, set up so that wayland_driver may click and capture there.
#
#   session.sh start kwin|mutter|gnome DIR
#                                      starts it with its state in DIR (created if missing) and
#                                      prints the environment to use, as lines to eval:
#                                      XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS,
#                                      WAYLAND_DISPLAY, DISPLAY, XAUTHORITY,
#                                      WAYLAND_DRIVER_CLICKS (mutter: the pipe of the
#                                      session's clicks, see `wayland_driver serve`)
#   session.sh stop DIR                stops what start started there
#
# Exit status of start: 0 up, 1 failed (the compositor's log on the error output), 77 the
# compositor cannot be started here at all (not installed, or its program refused to execute).
#
# What each compositor needs here:
#   kwin    `kwin_wayland --virtual --xwayland`. The installed program carries a file
#           capability (cap_sys_resource) that a sandbox may refuse to execute, so a plain copy
#           of it is run. KWin offers its fake input interface and answers its screenshot
#           interface only to clients it trusts (listed in their desktop files);
#           KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 and KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1
#           make it trust every client of this session. With KWIN_SESSION_PERMISSIONS=1 the
#           first is left out: KWin offers its restricted Wayland interfaces as in a user's
#           session, to the programs whose desktop files (found through XDG_DATA_DIRS) list
#           them in X-KDE-Wayland-Interfaces, with their absolute paths in Exec.
#   mutter  `mutter --wayland --headless --virtual-monitor 1280x800`, and a PipeWire daemon
#           on the same runtime folder: a screen-cast stream, which the remote-desktop
#           interface's absolute motion needs, is a PipeWire node.
#   gnome   GNOME Shell on mutter, as mutter (`gnome-shell --headless --wayland
#           --virtual-monitor 1280x800`; the same screen-cast and remote-desktop interfaces),
#           with the extensions of the folder KESTRANE_GNOME_EXTENSIONS (each folder in it named
#           by its uuid) installed for the session's user and enabled through a settings
#           backend of the session's own (GSETTINGS_BACKEND=keyfile), and those of the machine
#           named in KESTRANE_GNOME_ENABLE. The shell asks logind on
#           the system bus for the session's state where systemd runs: a bus of the session's
#           own stands in for it. It starts in the overview; a click on its empty workspace
#           leaves it, as a user would.
# Both put XWayland's socket in /tmp/.X11-unix and refuse a folder that another user owns or
# that is not world-writable and sticky (as one made by an unprivileged compositor is), so
# when run as root this makes it root's 1777 folder again.
#
# Each session keeps a `wayland_driver ... hold` (KWin) or `... serve` (mutter) running (the
# program: WAYLAND_DRIVER, else on PATH) so that the seat keeps its pointer between clicks.
set -euo pipefail

usage() {
    echo "usage: session.sh start kwin|mutter|gnome DIR | session.sh stop DIR" >&2
    exit 2
}

stop() {
    local dir=$1 pid
    [ -d "$dir" ] || return 0
    # Last started first: the holder, the compositor, PipeWire, the bus.
    for f in hold compositor pipewire system_bus bus; do
        if [ -s "$dir/$f.pid" ]; then
            pid=$(cat "$dir/$f.pid")
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
            kill -9 "$pid" 2>/dev/null || true
            rm -f "$dir/$f.pid"
        fi
    done
}

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

give_up() {
    echo "session.sh: $1" >&2
    [ -f "$dir/compositor.log" ] && tail -n 30 "$dir/compositor.log" >&2
    stop "$dir"
    exit 1
}

[ $# -ge 2 ] || usage
case "$1" in
    stop) stop "$2"; exit 0 ;;
    start) [ $# -eq 3 ] || usage; compositor=$2; dir=$3 ;;
    *) usage ;;
esac
case "$compositor" in kwin | mutter | gnome) ;; *) usage ;; esac

mkdir -p "$dir/runtime" "$dir/home"
dir=$(cd "$dir" && pwd)
chmod 700 "$dir/runtime"
export XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config"
export XDG_SESSION_TYPE=wayland
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY
# KWin has its screenshot interface only when it composites with OpenGL.
unset KWIN_COMPOSE

if [ "$(id -u)" -eq 0 ]; then
    x11=/tmp/.X11-unix
    if [ ! -d "$x11" ] || [ "$(stat -c %u:%a "$x11")" != "0:1777" ]; then
        mkdir -p "$x11"
        chown root:root "$x11"
        chmod 1777 "$x11"
    fi
fi

# The command the compositor starts once XWayland is up: it writes the session's environment.
report_env="env > '$dir/session.env.tmp' && mv '$dir/session.env.tmp' '$dir/session.env'"
rm -f "$dir/session.env"

dbus-daemon --session --fork --nopidfile --address="unix:path=$dir/bus" \
    --print-pid=3 3>"$dir/bus.pid" >/dev/null 2>"$dir/bus.log" || give_up "no D-Bus daemon"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"

case "$compositor" in
    kwin)
        program=$(command -v kwin_wayland) || { echo "session.sh: no kwin_wayland" >&2; exit 77; }
        cp "$program" "$dir/kwin_wayland"
        "$dir/kwin_wayland" --version >/dev/null 2>&1 || {
            echo "session.sh: kwin_wayland cannot run here" >&2
            stop "$dir"
            exit 77
        }
        checks=(KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)
        [ "${KWIN_SESSION_PERMISSIONS:-}" = 1 ] && checks=()
        env "${checks[@]}" KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
            "$dir/kwin_wayland" --virtual --xwayland --width 1280 --height 800 \
            --socket "wayland-kestrane-$$" --no-lockscreen --no-global-shortcuts \
            --no-kactivities "sh -c \"$report_env\"" >"$dir/compositor.log" 2>&1 &
        echo $! >"$dir/compositor.pid"
        ;;
    mutter)
        command -v mutter >/dev/null || { echo "session.sh: no mutter" >&2; exit 77; }
        mutter --version >/dev/null 2>&1 || {
            echo "session.sh: mutter cannot run here" >&2
            stop "$dir"
            exit 77
        }
        command -v pipewire >/dev/null || give_up "no pipewire daemon (Debian package pipewire)"
        pipewire >"$dir/pipewire.log" 2>&1 &
        echo $! >"$dir/pipewire.pid"
        wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || give_up "PipeWire did not start"
        # mutter ends when the command it started ends: this one stays while mutter lives.
        XDG_CURRENT_DESKTOP=GNOME mutter --wayland --headless --virtual-monitor 1280x800 \
            --wayland-display "wayland-kestrane-$$" \
            -- sh -c "$report_env; while kill -0 \$PPID 2>/dev/null; do sleep 1; done" \
            >"$dir/compositor.log" 2>&1 &
        echo $! >"$dir/compositor.pid"
        ;;
    gnome)
        command -v gnome-shell >/dev/null || { echo "session.sh: no gnome-shell" >&2; exit 77; }
        command -v pipewire >/dev/null || give_up "no pipewire daemon (Debian package pipewire)"
        pipewire >"$dir/pipewire.log" 2>&1 &
        echo $! >"$dir/pipewire.pid"
        wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || give_up "PipeWire did not start"
        dbus-daemon --session --fork --nopidfile --address="unix:path=$dir/system_bus" \
            --print-pid=3 3>"$dir/system_bus.pid" >/dev/null 2>>"$dir/bus.log" ||
            give_up "no D-Bus daemon for the system bus"
        export XDG_DATA_HOME="$dir/home/.local/share" GSETTINGS_BACKEND=keyfile
        mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions" "$XDG_CONFIG_HOME/glib-2.0/settings"
        uuids=""
        for ext in "${KESTRANE_GNOME_EXTENSIONS:-/nonexistent}"/*/; do
            [ -f "$ext/metadata.json" ] || continue
            cp -r "$ext" "$XDG_DATA_HOME/gnome-shell/extensions/"
            uuids="$uuids${uuids:+, }'$(basename "$ext")'"
        done
        # Extensions installed on the machine that the session wants too (KESTRANE_GNOME_ENABLE,
        # uuids separated by spaces: the AppIndicator extension for the tray).
        for uuid in ${KESTRANE_GNOME_ENABLE:-}; do uuids="$uuids${uuids:+, }'$uuid'"; done
        printf '[org/gnome/shell]\nenabled-extensions=[%s]\n' "$uuids" \
            >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
        DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/system_bus" XDG_CURRENT_DESKTOP=GNOME \
            gnome-shell --headless --wayland --virtual-monitor 1280x800 \
            --wayland-display "wayland-kestrane-$$" >"$dir/compositor.log" 2>&1 &
        echo $! >"$dir/compositor.pid"
        # gnome-shell runs no command of ours: the names come from its log and runtime folder.
        shell_up() {
            local x auth
            x=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$dir/compositor.log")
            auth=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
            [ -n "$x" ] && [ -n "$auth" ] && [ -S "$XDG_RUNTIME_DIR/wayland-kestrane-$$" ] &&
                gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
                    --method org.freedesktop.DBus.Properties.Get org.gnome.Shell ShellVersion \
                    >/dev/null 2>&1 || return 1
            printf 'WAYLAND_DISPLAY=wayland-kestrane-%s\nDISPLAY=%s\nXAUTHORITY=%s\n' "$$" "$x" \
                "$auth" >"$dir/session.env"
        }
        wait_for 60 shell_up || give_up "gnome-shell did not come up"
        ;;
esac

wait_for 60 test -s "$dir/session.env" || give_up "$compositor did not start XWayland"
from_env() { sed -n "s/^$1=//p" "$dir/session.env" | head -n 1; }
WAYLAND_DISPLAY=$(from_env WAYLAND_DISPLAY)
DISPLAY=$(from_env DISPLAY)
XAUTHORITY=$(from_env XAUTHORITY)
export WAYLAND_DISPLAY DISPLAY XAUTHORITY
[ -n "$WAYLAND_DISPLAY" ] && [ -n "$DISPLAY" ] || give_up "no display names from $compositor"

driver=${WAYLAND_DRIVER:-$(command -v wayland_driver || true)}
[ -x "$driver" ] || give_up "no wayland_driver (set WAYLAND_DRIVER)"
# Under mutter the same process makes the session's clicks, sent to it through a named pipe
# (WAYLAND_DRIVER_CLICKS; see `wayland_driver serve`): one remote-desktop session for them all.
WAYLAND_DRIVER_CLICKS=""
driver_kind=$compositor
[ "$compositor" = gnome ] && driver_kind=mutter
if [ "$driver_kind" = mutter ]; then
    WAYLAND_DRIVER_CLICKS="$dir/clicks"
    rm -f "$WAYLAND_DRIVER_CLICKS"
    mkfifo -m 600 "$WAYLAND_DRIVER_CLICKS"
    "$driver" mutter serve "$WAYLAND_DRIVER_CLICKS" >"$dir/hold.log" 2>&1 &
else
    "$driver" "$compositor" hold >"$dir/hold.log" 2>&1 &
fi
echo $! >"$dir/hold.pid"
# The holder's device in the seat; clients take the pointer up before the first click.
sleep 1
if [ "$compositor" = gnome ]; then
    # Out of the overview, through a click on its empty workspace, until the shell says so.
    in_overview() {
        gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
            --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive |
            grep -q true
    }
    for _ in 1 2 3 4 5; do
        in_overview || break
        echo "click 640 500 $dir/overview.click" >"$WAYLAND_DRIVER_CLICKS"
        wait_for 30 test -s "$dir/overview.click" || true
        rm -f "$dir/overview.click"
        wait_for 3 eval '! in_overview' || true
    done
    ! in_overview || give_up "the shell stayed in its overview"
fi
kill -0 "$(cat "$dir/hold.pid")" 2>/dev/null || give_up "the pointer holder failed: $(cat "$dir/hold.log")"

for v in XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DISPLAY XAUTHORITY \
    WAYLAND_DRIVER_CLICKS; do
    printf '%s=%q\n' "$v" "${!v}"
done
