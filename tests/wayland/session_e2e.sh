#!/usr/bin/env bash
# kestrane's flashes in a Wayland session as a user meets them: a native Wayland window of ours
# beneath the messages (click_probe), the screen as the compositor itself captures it, and
# clicks that the compositor routes like a real mouse's (never XTEST inside XWayland). Asserted
# is only what does not depend on the machine's speed.
#
# sway (the program on XWayland, the X path forced with KESTRANE_FLASH_PATH=x11; messages of
# 300 ms, pauses of 1 s, run at logon; grim and a virtual pointer of ours):
#
#   1. every message is seen: no gap between two messages seen is as long as two cycles, and
#      none lingers: no message is seen for as long as a pause;
#   2. a click between two messages, where the letters were, reaches the native window;
#   3. a click on the letters while they show reaches it wherever the X server passes the
#      input shape of an X window on to the compositor. Whether it does is tried first with an
#      X window of our own with an empty input shape (XWayland 22.1 does not: there the click
#      is lost, on the letters as on any X window, and the test says so);
#   4. messages of 16 ms, every frame captured (screencopy): not every one stays a frame longer;
#   5. a full-screen native window holds the messages, with --status saying why;
#   6. so does mako's mode "do-not-disturb" (makoctl mode -a), until it is removed.
#
# KWin and mutter (headless, the program choosing its way: KWin's layer-shell overlay, mutter's
# XWayland; drivers/): the panel's Start clicked, messages of 100 ms with pauses of 1 s watched
# with the compositor's capture (KWin's screenshots, mutter's screen cast), which sees a few
# dozen pictures a second: a message that falls between two of them is unobserved, not lost.
# Meanwhile clicks where the letters are, in every pause and (KWin) on every message seen,
# each told from the captures around it to be surely between messages, surely on the letters,
# or neither. Asserted: letters seen in several messages; none lingering (seen up for longer
# than 600 ms); no message surely lost (missing where the captures left no gap it could fall
# in); every click surely between messages reaching the native window (under mutter, whose
# remote-desktop input loses a click now and then on its own, all but one), and under KWin every
# click at all; Stop ends the flashing, and the panel's Close ends the program with status 0,
# which under the sanitizers means no fault and no leak. KWin checks its clients' desktop files
# as in a user's session (session_kwin.sh), and then keeps the messages away from the native
# window while it is full-screen and in front, and brings them once it leaves full-screen.
# GNOME Shell then keeps the messages away by its own word, told by kestrane's extension
# (shell_quiet_lib.sh).
#
#   session_e2e.sh <kind> <staged folder> <folder of click_probe, sway_pointer, drivers/>
set -euo pipefail
kind=$1
stage=$2
tools=$3
name="session_e2e[$kind]"
source "$(dirname "$0")/session_lib.sh"
source "$(dirname "$0")/session_kwin.sh"

# --- KWin and mutter: a run started and ended from the panel ------------------------------------

driver_run() {
    local panel px py mode=between area="1000 0 280 100" display=100
    # GNOME Shell's extension draws the letters in the shell, where they take no clicks: clicks
    # go on the letters too, which stay long enough for some to fall surely on them.
    [ "$kind" = kwin ] || [ "$kind" = gnome ] && mode=both
    [ "$kind" = gnome ] && area="600 370 80 40" display=800
    start_program $display 1 panel
    panel_up() {
        panel=$(as_user xdotool search --onlyvisible --name '^Orvessa$' 2>/dev/null | head -n 1)
        [ -n "$panel" ]
    }
    wait_for 60 panel_up || fail "the panel did not come up"
    if [ "$kind" = gnome ]; then
        # Out of the messages' way, at the left under the top bar.
        as_user xdotool windowmove "$panel" 0 40 || fail "the panel could not be moved"
        local status
        shell_way() {
            status=$(as_user "$stage/kestrane" --status 2>&1) &&
                [ "$(echo $status)" = "stopped shown flash: gnome-shell" ]
        }
        wait_for 20 shell_way || fail "--status printed \"$status\", not the shell's way"
        say "--status: $(echo $status)"
    fi
    # Brought to the front as from a task bar (the native window, clicked last, is in front of
    # it), and looked for where the window manager put it. The panel's pictures in its pixels
    # (15 twips each), clicked in their middles: Start/Stop at 7140,720 (1275 x 450 twips; near
    # its top left green for Start, red for Stop), Close at 8010,150 (345 x 465).
    button_is() {
        as_user xdotool windowactivate "$panel" 2>/dev/null || true
        read -r px py < <(as_user xwininfo -id "$panel" | awk '/Absolute upper-left X/ { x = $4 }
            /Absolute upper-left Y/ { y = $4 } END { print x, y }')
        capture "$out/button.png" "$((px + 486)),$((py + 53)) 1x1" || return 1
        local red
        red=$(convert "$out/button.png" -format '%[hex:p{0,0}]' info: | cut -c1-2)
        [[ "$red" =~ ^[0-9A-F]{2}$ ]] || return 1
        case $1 in start) [ $((16#$red)) -lt 96 ] ;; stop) [ $((16#$red)) -gt 160 ] ;; esac
    }
    # Start or Stop clicked until the picture changes (mutter at times loses a click on a window
    # it has just brought to the front), and the button in front again for the next click.
    start_stop() {
        local now=$1 next=$2
        wait_for 30 button_is "$now" || fail "no $now button on the screen at $px,$py"
        for _ in 1 2 3; do
            click $((px + 518)) $((py + 63))
            wait_for 10 button_is "$next" && return 0
            say "the click on $now changed nothing: once more"
        done
        fail "$now clicked three times changed nothing"
    }
    if [ "$kind" = gnome ]; then
        # The extension's calls and signals, with their times, for a failure to be read by.
        as_user dbus-monitor --session "interface='org.kestrane.Flash'" >"$work/flash-bus.log" 2>&1 &
    fi
    start_stop start stop
    say "Start clicked; watching and clicking where the letters come"
    # A click on the letters is judged only where the captures showed them before its press and
    # after its release; on a busy machine every click of a watch may come too late for that, and
    # the screen is then watched again (up to three times): a click judged and lost still fails.
    declare -A r
    for watch in 1 2 3; do
        driver watchclick $area 13000 "$out/watch" 3050a0 "$mode" >"$work/watch.log" 2>&1 ||
            fail "watchclick failed: $(cat "$work/watch.log")"
        sleep 1 # the last click's press on its way
        while read -r k v; do r[$k]=$v; done < <(runs_seen $display "$out/watch" "$out/presses")
        [ "$kind" = gnome ] && [ "${r[on]}" -eq 0 ] && [ "$watch" -lt 3 ] || break
        say "no click fell surely on the letters in watch $watch: watched again"
    done
    say "$(cat "$work/watch.log"); messages seen ${r[seen]}, lingering ${r[linger]}, lost" \
        "${r[lost]}, unobserved ${r[unobserved]} (a capture gap of over 100 ms); clicks at" \
        "$(grep point "$out/watch" | cut -d' ' -f2-): ${r[clicks]}, reached ${r[reached]};" \
        "surely between messages ${r[between]}, reached ${r[between_reached]}; surely on the" \
        "letters ${r[on]}, reached ${r[on_reached]}"
    [ "${r[seen]}" -ge 3 ] || fail "letters seen in ${r[seen]} messages only"
    [ "${r[linger]}" -eq 0 ] || fail "${r[linger]} messages lingered (seen over $((display + 500)) ms)"
    [ "${r[lost]}" -eq 0 ] || fail "${r[lost]} messages lost"
    # mutter's remote-desktop input itself loses a click now and then: of 30 clicks on a native
    # window with nothing else on screen 1 never reached it, and 2 or 3 when each came after a
    # click on an X window. So under mutter one lost click is its own; a window left in the way
    # between messages loses them all.
    local spare=0
    [ "$kind" = mutter ] || [ "$kind" = gnome ] && spare=1
    [ "${r[between]}" -ge $((1 + 2 * spare)) ] ||
        fail "only ${r[between]} clicks fell surely between two messages"
    [ "$((r[between] - r[between_reached]))" -le "$spare" ] ||
        fail "clicks between messages lost: $((r[between] - r[between_reached])) of ${r[between]}"
    if [ "$kind" = kwin ]; then
        [ "${r[reached]}" -eq "${r[clicks]}" ] ||
            fail "clicks where the letters are lost: $((r[clicks] - r[reached])) of ${r[clicks]}"
    fi
    if [ "$kind" = gnome ]; then
        [ "${r[on]}" -ge 1 ] || fail "no click fell surely on the letters"
        [ "$((r[on] - r[on_reached]))" -le "$spare" ] ||
            fail "clicks on the letters lost: $((r[on] - r[on_reached])) of ${r[on]}"
    fi

    start_stop stop start
    driver watch $area 2500 "$out/after" 3050a0 >/dev/null || fail "watch failed"
    # The first picture of a new screen cast of a still screen can be the frame before the
    # last one painted (GNOME Shell's, seen once the message's end was its last paint): letters
    # are looked for in the new pictures after it (0 in the fourth field: the last one again).
    ! awk '!/^#/ && seen++ && $4 == 1 && $3 > 50 { found = 1 } END { exit !found }' "$out/after" ||
        fail "letters still come after Stop: $(cat "$out/after"; echo; date +%s.%N;
            tail -n 60 "$work/flash-bus.log" 2>/dev/null)"
    say "Stop ended the flashing"
    if [ "$kind" = gnome ]; then
        # The extension switched off and on again, as the shell's extension settings do: the
        # program follows, to XWayland and back.
        extension() {
            as_user gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
                --method "org.gnome.Shell.Extensions.$1Extension" flash@kestrane.org >/dev/null
        }
        way_is() {
            status=$(as_user "$stage/kestrane" --status 2>&1) && [ "${status##*flash: }" = "$1" ]
        }
        extension Disable || fail "the extension could not be disabled"
        wait_for 20 way_is xwayland || fail "without the extension --status printed \"$status\""
        extension Enable || fail "the extension could not be enabled"
        wait_for 20 way_is gnome-shell || fail "with the extension again --status printed \"$status\""
        say "the extension disabled and enabled again: the flash's way went to xwayland and back"
    fi
    # Close, clicked again while the panel stays: mutter at times loses a click, and at times
    # stops answering for a while, the program meanwhile idle and the click never come to it.
    # Should two clicks not come, the program is ended as a key bound to --quit would, and the
    # test says so: what is checked then is that it ends cleanly.
    ended() { ! kill -0 "$program" 2>/dev/null; }
    for _ in 1 2; do
        wait_for 30 button_is start || fail "the panel is not in front"
        driver_click $((px + 545)) $((py + 25)) || say "the click on Close was refused"
        wait_for 20 ended && break
        panel_up || fail "the panel went at Close, but the program did not end"
        say "the click on Close changed nothing"
    done
    if ! ended; then
        say "$kind did not bring a click on Close to the program: ended with kestrane --quit"
        as_user "$app/kestrane" --quit || fail "kestrane --quit failed"
        wait_for 20 ended || fail "the program did not end at --quit"
    fi
    local status=0
    wait "$program" || status=$?
    ! grep -E "ERROR: (Address|Leak)Sanitizer|runtime error" "$work/kestrane.log" ||
        fail "the sanitizers found faults"
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
    say "the program ended with status 0; passed"
}

if [ "$kind" = kwin ]; then kwin_desktop_files; fi
start_session
try_input_shape
if [ "$kind" != sway ]; then
    driver_run
    if [ "$kind" = kwin ]; then kwin_full_screen; fi
    if [ "$kind" = mutter ]; then
        # mutter's screen cast, which the driver holds for the session, is a PipeWire stream of
        # the screen: with the Shared choice on, the program finds it (pw-dump) and stays quiet.
        shared_choice=1 start_program 300 1
        shared_said() {
            [ "$(as_user "$app/kestrane" --status 2>&1 | grep -v '^flash: ' | tr '\n' '|')" = \
                "running|hidden|Quiet: the screen is shared|" ]
        }
        wait_for 30 shared_said || fail "--status with mutter's screen cast: $(as_user \
            "$app/kestrane" --status 2>&1 | tr '\n' '|')"
        say "mutter's screen cast is a shared screen: quiet"
        stop_program
    fi
    if [ "$kind" = gnome ]; then
        source "$(dirname "$0")/shell_quiet_lib.sh"
        shell_quiet_run
        say "passed"
    fi
    exit 0
fi

# --- sway: a run at logon ----------------------------------------------------------------------

start_program 300 1

# --- 1. Every message seen, none lingering -----------------------------------------------------

watch_for() {
    local end=$((SECONDS + $1))
    while [ "$SECONDS" -lt "$end" ]; do
        capture "$out/shots/$(date +%s%N).ppm" "$area"
    done
}
# One line per capture: its time in milliseconds and whether the letters were there. A gap
# between two messages says one was lost only where the captures came often enough to see a
# 300 ms message (every one within 250 ms of the last); where a starved machine captured less
# often the gap is not judged, and the screen is watched again.
watch_once() {
    rm -rf "$out/shots"
    mkdir "$out/shots"
    chown "$user" "$out/shots"
    watch_for 16
    kill -0 "$program" 2>/dev/null || fail "the program ended"
    for f in "$out"/shots/*.ppm; do
        t=$(basename "$f" .ppm)
        echo "$((t / 1000000)) $([ "$(green "$f")" -gt 50 ] && echo 1 || echo 0)"
    done >"$work/trace"
    read -r seen longest_gap longest_on blind < <(awk '
        NR > 1 && $1 - prev > dt { dt = $1 - prev }
        { prev = $1 }
        $2 == 1 && !on {
            if (n++) { g = $1 - last; if (dt < 250) { if (g > gap) gap = g } else blind++ }
            last = $1; from = $1; on = 1; dt = 0
        }
        $2 == 1 { upto = $1 }
        $2 == 0 && on { on = 0; if (upto - from > long) long = upto - from }
        END { print n + 0, gap + 0, long + 0, blind + 0 }' "$work/trace")
    say "$seen messages seen in $(wc -l <"$work/trace") captures; longest judged gap between" \
        "two ${longest_gap} ms ($blind not judged: captures too far apart), longest seen" \
        "${longest_on} ms"
}
for watch in 1 2 3; do
    watch_once
    [ "$blind" -gt 2 ] || break
done
[ "$seen" -ge 6 ] || fail "only $seen messages seen in 16 s"
[ "$blind" -le 2 ] || fail "the captures came too seldom to judge three times in a row"
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

# --- 4. A message of less than a frame ends in the frame after the one that showed it -----------

# Every frame the compositor draws with a change where the letters are (sway_frames), for 10 s.
# A 16 ms message goes in the frame after the one that showed it when its end is sent before
# that frame is drawn, which XWayland's own 17 ms tick decides about half the time; a message
# ended only a tick after it was known to be shown never does.
# On a busy machine the compositor and XWayland may be late with every frame of a watch: when
# none of its messages was up for one frame only, the screen is watched again (up to three
# times); an end always a tick late still fails.
stop_program
start_program 16 1
sleep 2
for watch in 1 2 3; do
    frames 440 340 400 120 10 >"$out/frames-16"
    read -r flashes one_frame < <(awk -v frame="$(frame_ms)" '
        $2 > 50 && !on { on = 1; from = $1 }
        $2 <= 50 && on { on = 0; n++; if ($1 - from < 1.5 * frame) one++ }
        END { print n + 0, one + 0 }' "$out/frames-16")
    say "16 ms messages: $flashes seen, $one_frame of them on screen for one frame"
    [ "$flashes" -ge 6 ] || fail "only $flashes messages of 16 ms seen in 10 s"
    [ "$one_frame" -eq 0 ] || break
done
[ "$one_frame" -gt 0 ] || fail "every message of 16 ms stayed more than one frame"

# --- 5. No message over a full-screen native window ----------------------------------------------

# The native window beneath is full-screen and has the focus: with the full-screen choice on, no
# message shows over it and --status says why (on a session bus of the test's own); out of
# full-screen (swaymsg), the letters come; full-screen again, they go.
stop_program
as_user exec dbus-daemon --session --nofork --address="unix:path=$out/bus" >/dev/null 2>&1 &
procs+=($!)
wait_for 10 test -S "$out/bus" || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$out/bus"
full_screen_choice=1 start_program 300 1
status_says() { as_user "$app/kestrane" --status 2>&1 | grep -v '^flash: ' | tr '\n' '|' | grep -q "$1"; }
no_letters_up() { ! letters_up; }
probe_full() { as_user swaymsg "[app_id=click_probe] fullscreen $1" >/dev/null || fail "swaymsg $1"; }
wait_for 30 status_says "^running|[a-z]*|Quiet: a full-screen window|$" ||
    fail "--status over the full-screen window: $(as_user "$app/kestrane" --status 2>&1)"
end=$((SECONDS + 4)) # three cycles of message and pause
while [ "$SECONDS" -lt "$end" ]; do ! letters_up || fail "letters over the full-screen native window"; done
probe_full disable
wait_for 10 letters_up || fail "no letters once the native window left full-screen"
status_says "^running|[a-z]*|$" || fail "--status out of full-screen: $(as_user "$app/kestrane" --status 2>&1)"
probe_full enable
wait_for 10 no_letters_up || fail "the letters stayed once the native window was full-screen again"
status_says "^running|[a-z]*|Quiet: a full-screen window|$" || fail "--status full-screen again"
say "a full-screen native window keeps the messages away, out of full-screen they come"

# --- 6. mako's Do Not Disturb mode ---------------------------------------------------------------

# mako, the notification daemon, on that bus: with its mode "do-not-disturb" added (makoctl) no
# message shows and --status says why; with the mode removed, the letters come again.
stop_program
as_user exec mako >"$work/mako.log" 2>&1 &
procs+=($!)
mako_up() { as_user makoctl mode >/dev/null 2>&1; }
wait_for 10 mako_up || fail "mako did not start"
mako_mode() { as_user makoctl mode "$1" do-not-disturb >/dev/null || fail "makoctl mode $1"; }
start_program 300 1
wait_for 20 letters_up || fail "no letters before mako's do-not-disturb"
mako_mode -a
wait_for 10 status_says "^running|[a-z]*|Quiet: Do Not Disturb|$" ||
    fail "--status in mako's do-not-disturb: $(as_user "$app/kestrane" --status 2>&1 | tr '\n' '|')"
end=$((SECONDS + 4))
while [ "$SECONDS" -lt "$end" ]; do ! letters_up || fail "letters in mako's do-not-disturb"; done
mako_mode -r
wait_for 20 letters_up || fail "no letters once mako's do-not-disturb was removed"
status_says "^running|[a-z]*|$" || fail "--status after mako's do-not-disturb"
say "mako's do-not-disturb mode keeps the messages away, without it they come"
stop_program
say "passed"
