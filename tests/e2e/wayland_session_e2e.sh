#!/usr/bin/env bash
# kestrane in a Wayland session, with Qt's Wayland plugin installed, so that Qt left to itself
# would make it a Wayland client (no unmanaged window, no input shape). It must run on X through
# XWayland instead. Two compositors:
#
#   mutter   GNOME's, headless with a virtual monitor, and nothing else of GNOME: no tray host
#            of either kind, as on plain GNOME without the AppIndicator extension. Input is
#            XTEST's, which XWayland hands to X windows as an X server does.
#   weston   the reference compositor, shown in a window of a virtual X server: its headless
#            backend has no seat, and XWayland (22.1) crashes on the first key or button it is
#            sent without one, so real pointer input comes from that X server instead.
#
# Both run on a private session bus (dbus-run-session) with test_desktop as the desktop's
# notification server, and XWayland on its own display.
#
#   1. No X server (DISPLAY unset): kestrane says why on its error output and through the
#      notification server, and ends with status 1.
#   2. The panel comes up as an X window although WAYLAND_DISPLAY is set.
#   3. (mutter) Hide with no tray host minimises the panel, which the compositor still lists;
#      activating it brings it back, and a second Hide minimises it again, for good. A tray host
#      that appears later (an XEmbed one on XWayland) offers Show for the minimised panel, and
#      Show brings it back.
#   4. Start: the flash window is unmanaged (override-redirect) with an empty input shape, stays
#      above the panel and above a window that came up after it, and shows the letters. (It is
#      mapped only while a message shows, so each of these waits for one.)
#   5. A click on the letters reaches the window beneath. Under weston this is real pointer
#      input routed by the compositor: weston 10 with XWayland 22.1 passes the click through
#      the flash window (an ARGB window without a bounding shape, with an empty input shape) to
#      the window beneath, as GNOME's and KDE's compositors do. (A flash window with a bounding
#      shape, as the program made before it had a surface of its own, lost every click in its
#      box there: neither it nor the window beneath saw them.) Under mutter the click is
#      XTEST's, so it shows XWayland's own picking, which honours the input shape.
#   6. A screen saver (a stand-in on the session bus, come after the program) locks the session:
#      the letters go at once and none come until it is unlocked.
#   7. Stop; --status from a process without an X display reads the state; Close.
#
#   dbus-run-session -- bash tests/e2e/wayland_session_e2e.sh mutter|weston <stage> <test_desktop>
compositor=$1
shift
name="wayland_session_e2e[$compositor]"
source "$(dirname "$0")/../input/lib.sh"
source "$(dirname "$0")/lock_lib.sh"
desktop=$2
procs=()
trap 'for p in "${procs[@]}"; do kill "$p" 2>/dev/null || true; done; cleanup' EXIT

# --- The session ---------------------------------------------------------------------------------

step="session"
make_app
# The session's runtime folder, where the compositor puts its Wayland socket (make_app made the
# program one of its own).
export XDG_RUNTIME_DIR="$work/session"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
# As with-x.sh does: libxkbcommon-x11's valid strndup of names that are not NUL-terminated
# trips AddressSanitizer's strict string checks in every Qt client of an X server.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
export XDG_SESSION_TYPE=wayland
# The first line of a log that matches, as sed prints it.
from_log() { sed -n "$2" "$1" 2>/dev/null | head -n 1; }
has_display() { [ -n "$(from_log "$1" "$2")" ]; }
outer=""
case "$compositor" in
    mutter)
        export XDG_CURRENT_DESKTOP=GNOME
        mutter --wayland --headless --virtual-monitor 1280x800 >"$work/mutter.log" 2>&1 &
        procs+=($!)
        x_from=(mutter.log 's/.*Using public X11 display \(:[0-9]*\).*/\1/p')
        wl_from=(mutter.log "s/.*Using Wayland display name '\\([^']*\\)'.*/\\1/p")
        ;;
    weston)
        export XDG_CURRENT_DESKTOP=weston
        Xvfb -displayfd 3 -screen 0 1300x820x24 -nolisten tcp 3>"$work/outer" \
            >"$work/xvfb.log" 2>&1 &
        procs+=($!)
        wait_for 10 test -s "$work/outer" || fail "the X server for weston did not start"
        outer=":$(head -n 1 "$work/outer")"
        DISPLAY=$outer weston --backend=x11-backend.so --use-pixman --xwayland \
            --socket=wayland-kestrane --width=1280 --height=800 --idle-time=0 \
            --log="$work/weston.log" >"$work/weston-out.log" 2>&1 &
        procs+=($!)
        x_from=(weston.log 's/.*xserver listening on display \(:[0-9]*\).*/\1/p')
        wl_from=(weston.log 's/.*\(wayland-kestrane\).*/\1/p')
        ;;
    *) fail "no compositor $compositor" ;;
esac
wait_for 30 has_display "$work/${x_from[0]}" "${x_from[1]}" || fail "no XWayland display"
wait_for 30 has_display "$work/${wl_from[0]}" "${wl_from[1]}" || fail "no Wayland display"
export DISPLAY WAYLAND_DISPLAY
DISPLAY=$(from_log "$work/${x_from[0]}" "${x_from[1]}")
WAYLAND_DISPLAY=$(from_log "$work/${wl_from[0]}" "${wl_from[1]}")
# mutter lets only clients with its key in (the Xauthority file it writes).
x_up() {
    local key
    for key in "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.*; do
        [ -e "$key" ] && export XAUTHORITY="$key"
    done
    xdpyinfo >/dev/null 2>&1
}
wait_for 30 x_up || fail "XWayland on $DISPLAY does not answer"
"$desktop" serve --no-tray >"$work/desktop.out" 2>"$work/desktop.log" &
procs+=($!)
said() { grep -q "$1" "$work/desktop.out"; }
wait_for 10 said '^ready$' || fail "the notification server did not start"
say "$compositor: Wayland $WAYLAND_DISPLAY, XWayland $DISPLAY"

# Input: XTEST on XWayland under mutter; the pointer of the X server weston is shown in under
# weston, whose window there covers that screen from its top left corner.
input() {
    if [ -n "$outer" ]; then DISPLAY=$outer xdotool "$@"; else xdotool "$@"; fi
}
# The pointer to a point over an X window. Under weston a move of the outer pointer is now and
# then not taken up (its pointer stays where it was, and a click lands there, on its launcher
# once), so the move is made again until XWayland reports the pointer at the point.
pointer_to() {
    local i
    for i in 1 2 3 4 5 6; do
        input mousemove --sync "$(($1 + i % 2))" "$2" sleep 0.1 mousemove --sync "$1" "$2" sleep 0.2
        [ -n "$outer" ] || return 0
        [ "$(xdotool getmouselocation | cut -d' ' -f1,2)" = "x:$1 y:$2" ] && return 0
    done
    fail "the pointer does not get to $1,$2"
}
# Weston follows the outer pointer once it has entered weston's window; the outer screen is a
# little larger than that window, so the pointer starts outside it and comes in.
if [ -n "$outer" ]; then
    input mousemove --sync 1295 815 sleep 0.2 mousemove --sync 640 400 sleep 0.2
fi
click_at() {
    pointer_to "$1" "$2"
    input click 1 sleep 0.2
}
# A control of the panel clicked in screen coordinates, wherever the compositor placed it.
click() {
    local x y ox oy
    read -r x y <<<"$(point_of "$@")"
    read -r ox oy < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x = $4}
        /Absolute upper-left Y/ {y = $4} END {print x, y}')
    click_at $((ox + x)) $((oy + y))
}
# What is on screen in a window's place, as a PNG: the compositor's output under weston (the
# screen it is shown in); the window's own content under mutter, whose output a headless
# session cannot show, and XWayland has no readable root window of its own.
shoot() {
    if [ -n "$outer" ]; then
        local w h x y
        read -r w h x y < <(xwininfo -id "$1" | awk '/^  Width/ {w = $2} /^  Height/ {h = $2}
            /Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
            END {print w, h, x, y}')
        DISPLAY=$outer import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2"
    else
        import -window "$1" "$2"
    fi
}
# lib.sh judges the tray menu's entries on a screenshot of the screen: here the menu window's
# own picture in its place.
screenshot() {
    local id w h x y
    read -r id w h x y <<<"$(menu_geometry)"
    [ -n "$id" ] || return 0
    shoot "$id" "$work/menu.png"
    convert -size 1280x800 xc:white "$work/menu.png" -geometry "+$x+$y" -composite "$shot"
}
green_pixels() {
    convert "$1" -fuzz 22% -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
        -format '%[fx:int(mean*w*h)]' info:
}

# --- 1. No X server ------------------------------------------------------------------------------

step="no X server"
status=0
env -u DISPLAY timeout 30 "$app/kestrane" >"$work/nox.out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "without an X server kestrane ended with $status: $(cat "$work/nox.out")"
grep -q 'needs an X server.*DISPLAY is not set' "$work/nox.out" ||
    fail "no reason on the error output: $(cat "$work/nox.out")"
wait_for 10 said '^notify Veltrane|Veltrane cannot start|.*needs an X server' ||
    fail "no notification: $(cat "$work/desktop.out")"
say "no X server: status 1, said on the error output and as a notification"

# --- 2. The panel on X ---------------------------------------------------------------------------

step="panel"
register_tray
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;900\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n'
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt 'Words;1\r\n'
put Data/Words.txt 'MMMM;1\r\n'
"$app/kestrane" >"$work/kestrane.log" 2>&1 &
pid=$!
wait_for 30 panel_shown || fail "the panel did not come up on XWayland (a Wayland client?)"
wid=$(panel)
sleep 1 # let it paint
shoot "$wid" "$work/panel.png"
[ "$(convert "$work/panel.png" -format '%[fx:int(100*standard_deviation)]' info:)" -gt 5 ] ||
    fail "the panel is blank on screen"
say "panel up on XWayland"

# --- 3. Hide with no tray host ----------------------------------------------------------------------

if [ "$compositor" = mutter ]; then
    step="hide without a tray host"
    minimised() { xprop -id "$wid" _NET_WM_STATE | grep -q HIDDEN; }
    normal() { ! minimised && xwininfo -id "$wid" | grep -q IsViewable; }
    click hide1
    wait_for 10 minimised || fail "Hide did not minimise the panel"
    xprop -root _NET_CLIENT_LIST | grep -qi "$(printf '%x' "$wid")" ||
        fail "the minimised panel is not among the window manager's windows"
    # Back as from GNOME's overview, and hidden again.
    xdotool windowactivate "$wid" >/dev/null 2>&1 || true
    wait_for 10 normal || fail "activating the minimised panel did not bring it back"
    sleep 0.5
    click hide1
    wait_for 10 minimised || fail "Hide did not minimise the panel again"
    # mutter keeps a minimised window mapped: the program must not take it for one the desktop
    # left on screen (and withdraw it from the overview) once its wait of a second is over.
    sleep 2
    minimised && xprop -root _NET_CLIENT_LIST | grep -qi "$(printf '%x' "$wid")" ||
        fail "the minimised panel left the window manager's windows after a while"
    # A tray host that appears later offers Show for the minimised panel, and brings it back.
    trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel \
        --height 24 --transparent false --tint 0x303030 --SetDockType true \
        >"$work/trayer.log" 2>&1 &
    procs+=($!)
    press_icon
    expect_menu "on off on off"
    choose 1
    wait_for 10 normal || fail "Show did not bring the minimised panel back"
    say "no tray host: Hide minimised the panel; a tray host that came later offered Show"
fi

# --- 4. A run ------------------------------------------------------------------------------------

step="Start"
flash() { "$desktop" window messagesform "$@" 2>/dev/null; }
click PbStart
flash_up() { flash >/dev/null; }
wait_for 20 flash_up || fail "no flash window after Start"
# Under XWayland the window is on screen only while a message shows: each look waits for one.
flash_has() { grep -qx "$2" <<<"$(flash "$1")"; }
for line in "override-redirect yes" "input-rectangles 0" "above Orvessa yes"; do
    wait_for 20 flash_has Orvessa "$line" ||
        fail "the flash window: no \"$line\" in: $(flash Orvessa)"
done
flash_id() {
    fwid=$(xdotool search --onlyvisible --name '^messagesform$' | head -n 1)
    [ -n "$fwid" ]
}
wait_for 20 flash_id || fail "the flash window is not found"
letters() { shoot "$fwid" "$work/flash.png" && [ "$(green_pixels "$work/flash.png")" -gt 50 ]; }
no_letters() { ! letters; }
wait_for 20 letters || fail "no letters on screen"
say "flashing: unmanaged, empty input shape, above the panel, letters on screen"

step="locked"
/usr/bin/python3 "$(dirname "$0")/lock_standin.py" screensaver >"$work/standin.out" \
    2>"$work/standin.log" &
procs+=($!)
wait_for 10 grep -qs ready "$work/standin.out" || fail "the screen saver stand-in did not start"
lock_cycle letters saver
say "locked: no letters for 4 s; unlocked: letters again"

step="click on the letters"
# A window of another program beneath the letters, come up after the panel: it records the
# buttons it is given.
xev -geometry 600x300+340+250 -event button >"$work/xev.log" 2>&1 &
procs+=($!)
probe_up() { xdotool search --onlyvisible --name '^Event Tester$' >/dev/null 2>&1; }
wait_for 20 probe_up || fail "the probe window did not come up"
sleep 1
wait_for 20 flash_has "Event Tester" "above Event Tester yes" ||
    fail "the flash window is not above a window that came up after it"
# A pure green pixel of the letters while they are shown, then a click there.
read -r fx fy < <(xwininfo -id "$fwid" | awk '/Absolute upper-left X/ {x = $4}
    /Absolute upper-left Y/ {y = $4} END {print x, y}') || fail "the flash window has no place"
wait_for 20 letters || fail "no letters above the probe window"
read -r lx ly < <(convert "$work/flash.png" -depth 8 txt:- | awk -F'[,: ()]+' \
    'NR > 1 && $3 < 40 && $4 > 230 && $5 < 40 && !n++ { print $1, $2 }') || true
[ -n "$lx" ] || fail "no letter pixel to click"
clicked=""
pointer_to $((fx + lx)) $((fy + ly))
for _ in $(seq 1 10); do
    wait_for 10 letters || fail "the letters did not come back"
    input click 1
    if letters; then # still shown after the click: it fell on the letters
        clicked=yes
        break
    fi
done
[ -n "$clicked" ] || fail "could not click while the letters were shown"
sleep 0.5
presses=$(grep -c ButtonPress "$work/xev.log" || true)
[ "$presses" -ge 1 ] || fail "the click on the letters did not reach the window beneath"
# Beside the letters, in the probe window's top left corner: it sees that click.
read -r px py < <(xwininfo -id "$(xdotool search --onlyvisible --name '^Event Tester$' | head -n 1)" |
    awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4} END {print x, y}') ||
    fail "the probe window is not found"
click_at $((px + 10)) $((py + 10))
wait_for 10 test "$(grep -c ButtonPress "$work/xev.log")" -gt "$presses" ||
    fail "the probe window does not see clicks at all"
say "a click on the letters reached the window beneath"

# --- 5. Stop and Close ---------------------------------------------------------------------------

step="Stop and Close"
kill "${procs[-1]}" 2>/dev/null || true
xdotool windowactivate "$wid" >/dev/null 2>&1 || true
sleep 0.5
click PbStart
wait_for 20 not_flashing || fail "Stop left the flash window"
# A request from a process without an X display (a compositor's key binding) reaches it.
out=$(env -u DISPLAY "$app/kestrane" --status 2>&1) || fail "--status: $out"
[ "$(echo $out | cut -d' ' -f1,2)" = "stopped shown" ] || fail "--status printed: $out"
close_program
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
