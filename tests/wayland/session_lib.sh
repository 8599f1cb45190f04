# Shared by the session tests and the session benchmark: a Wayland session of the given kind
# with XWayland, run as an unprivileged user, a native window of ours beneath the messages
# (click_probe), the compositor's capture and its pointer routing, and the real program
# started in a temporary application folder on the X path. Sourced after setting kind, stage,
# tools and name.
#
# A session kind brings four functions: session_start (the compositor, with XWayland; sets
# WAYLAND_DISPLAY and DISPLAY), capture <file> <x,y wxh> (what the compositor shows there),
# click <x> <y> (routed by the compositor) and session_stop; and frames <x> <y> <w> <h>
# <seconds> (what the compositor shows of that part, "<ms> <letter pixels>" a line, ms of
# CLOCK_MONOTONIC) with frame_ms (the output's refresh period). sway's frames are every frame
# that changes the part; KWin's and mutter's are captures at a few dozen a second, each line
# with a third field, the earliest moment its picture may show (it shows one moment between
# that and the first), so that what came and went between two captures is known unseen, and
# a first line "# watch: ..." with the rate achieved. sway (grim, a virtual pointer of ours)
# and KWin and mutter (headless, through the compositor's own interfaces: drivers/) are here.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
user=kestest # compositors refuse to run as root

fail() {
    echo "$name: $*" >&2
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}
say() { echo "$name: ${SECONDS}s: $*" >&2; }
wait_for() {
    local end=$((SECONDS + $1))
    shift
    while ! "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}
id "$user" >/dev/null 2>&1 || useradd -m "$user"
# XWayland, started by sway as that user, would otherwise make the X socket folder theirs, which
# every later X server run as root refuses.
if [ "$(id -u)" -eq 0 ]; then
    mkdir -p /tmp/.X11-unix && chown root:root /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
fi
work=$(mktemp -d)
chmod 755 "$work"
procs=()
cleanup() {
    for p in "${procs[@]}"; do kill "$p" 2>/dev/null || true; done
    declare -F session_stop >/dev/null && session_stop
    # KESTRANE_SESSION_KEEP=DIR keeps the run's files (captures, presses, logs) there.
    if [ -n "${KESTRANE_SESSION_KEEP:-}" ]; then
        mkdir -p "$KESTRANE_SESSION_KEEP" && cp -r "$work"/. "$KESTRANE_SESSION_KEEP/" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
chown "$user" "$XDG_RUNTIME_DIR"
# What the session's programs write.
out="$work/out"
mkdir -p "$out"
chown "$user" "$out"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# As with-x.sh does: libxkbcommon-x11's valid strndup of names that are not NUL-terminated
# trips AddressSanitizer's strict string checks in every Qt client of an X server.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
# Runs a command as the session's user, in the session; `as_user exec ... &` starts one in the
# background whose process id is then $!.
as_user() {
    local exec=""
    if [ "$1" = exec ]; then
        exec=exec
        shift
    fi
    $exec setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups -- \
        env HOME="$(getent passwd "$user" | cut -d: -f6)" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" \
        ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY=$WAYLAND_DISPLAY} ${DISPLAY:+DISPLAY=$DISPLAY} \
        ${SWAYSOCK:+SWAYSOCK=$SWAYSOCK} "$@"
}

# --- sway: headless, software rendering, XWayland; grim captures; a virtual pointer clicks ----

sway_session_start() {
    printf 'output HEADLESS-1 resolution 1280x800\nxwayland enable\ndefault_border none\n%s\n' \
        'for_window [class=".*"] move to workspace 2' >"$work/sway.cfg"
    chmod 644 "$work/sway.cfg"
    as_user exec env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        sway -c "$work/sway.cfg" >"$work/sway.log" 2>&1 &
    procs+=($!)
    sway_up() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null 2>&1; }
    wait_for 30 sway_up || fail "sway did not start"
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)
    WAYLAND_DISPLAY=wayland-1
    export SWAYSOCK WAYLAND_DISPLAY
    as_user swaymsg exec 'echo $DISPLAY > $XDG_RUNTIME_DIR/display' >/dev/null
    wait_for 10 test -s "$XDG_RUNTIME_DIR/display" || fail "sway has no XWayland"
    DISPLAY=$(cat "$XDG_RUNTIME_DIR/display")
    export DISPLAY
    # A pointer device of our own: the seat has none in a headless session.
    mkfifo "$work/pointer.in"
    as_user exec "$tools/sway_pointer" 1280 800 <"$work/pointer.in" >"$work/pointer.out" \
        2>"$work/pointer.log" &
    procs+=($!)
    exec 7>"$work/pointer.in"
    wait_for 10 grep -q ready "$work/pointer.out" || fail "no virtual pointer"
}
sway_capture() { as_user grim -g "$2" -t ppm "$1"; }
sway_click() {
    local before
    before=$(grep -c ok "$work/pointer.out" || true)
    echo "click $1 $2" >&7
    answered() { [ "$(grep -c ok "$work/pointer.out")" -gt "$before" ]; }
    wait_for 10 answered || fail "the click hung"
}
sway_session_stop() { exec 7>&- 2>/dev/null || true; }
sway_frames() { as_user "$tools/sway_frames" "$@"; }
sway_frame_ms() {
    as_user swaymsg -t get_outputs | awk -F'[:,]' '/"refresh"/ { print 1000000 / $2; exit }'
}

# --- KWin and mutter: headless with XWayland (drivers/session.sh), clicked and captured through
# their own interfaces (wayland_driver); the program left to choose its way to the screen ----

# GNOME Shell is driven through mutter's interfaces, which are its own.
driver_kind=$kind
[ "$kind" = gnome ] && driver_kind=mutter
driver() { as_user "$tools/drivers/wayland_driver" "$driver_kind" "$@"; }
driver_session_start() {
    local status=0
    mkdir "$work/session"
    chown "$user" "$work/session"
    as_user env WAYLAND_DRIVER="$tools/drivers/wayland_driver" \
        KESTRANE_GNOME_EXTENSIONS="$stage/gnome-shell/legacy" bash "$here/drivers/session.sh" \
        start "$kind" "$work/session" >"$work/session.env" 2>"$work/session.log" || status=$?
    if [ "$status" -eq 77 ]; then
        echo "$name: SKIP: $(cat "$work/session.log")"
        exit 77
    fi
    [ "$status" -eq 0 ] || fail "the $kind session did not start"
    eval "$(cat "$work/session.env")"
    export XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DISPLAY XAUTHORITY
    WAYLAND_DRIVER_CLICKS=${WAYLAND_DRIVER_CLICKS:-}
}
# A click routed by the compositor. Under mutter it is sent to the session's `serve` process,
# which clicks with the pointer device the session holds: a driver of its own would make mutter
# a new remote-desktop session, devices and stream each time, which held its main loop for
# seconds on a busy machine and lost clicks meanwhile.
driver_click() {
    if [ -z "${WAYLAND_DRIVER_CLICKS:-}" ]; then
        driver click "$1" "$2"
        return
    fi
    local reply="$work/session/click.$BASHPID.$RANDOM" answer
    timeout 60 bash -c 'echo "$1" >"$2"' - "click $1 $2 $reply" "$WAYLAND_DRIVER_CLICKS" ||
        { echo "$name: the session's clicker does not read its requests" >&2; return 1; }
    wait_for 60 test -s "$reply" || { echo "$name: the click at $1,$2 got no answer" >&2; return 1; }
    answer=$(cat "$reply")
    rm -f "$reply"
    [ "$answer" = ok ] || { echo "$name: $answer" >&2; return 1; }
}
driver_session_stop() {
    [ -d "$work/session" ] && as_user bash "$here/drivers/session.sh" stop "$work/session"
}

# The captures of a watch file ($1) as lines "<hi> <pixels> <lo>": the picture shows the screen
# at one moment between lo and hi (KWin's between the request and its answer, mutter's when it
# composed the frame); a frame mutter gave again, with no new one, is left out. Its click lines
# are passed on as they are.
watch_captures() {
    awk '$1 == "click" { print; next }
        $1 !~ /^[0-9]/ || ($5 != -1 && $4 == 0) { next }
        { if ($5 != -1) print $5, $3, $5; else print $2, $3, $1 }' "$1"
}
# An awk function over captures i..j (their moments in lo[] and hi[]): whether two of them leave
# a gap longer than `display` ms, in which a message could have come and gone unseen.
blind_awk='function blind(i, j, display,   k) {
    for (k = i; k < j; k++) if (hi[k + 1] - lo[k] > display) return 1
    return 0
}'
driver_frames() {
    driver watch "$1" "$2" "$3" "$4" $(($5 * 1000)) "$out/watch-frames" 3050a0 \
        >"$work/watch-frames.log" 2>&1 || fail "watch failed: $(cat "$work/watch-frames.log")"
    echo "# $(cat "$work/watch-frames.log")"
    watch_captures "$out/watch-frames"
}
# What the captures of a watchclick run ($2) of messages of $1 ms with pauses of 1 s saw, and
# where its clicks fell and whether they reached the native window ($3, the presses it got): a
# line "name value" each. A message missing between two seen counts as lost only where no gap
# between captures could hide it, else as unobserved.
runs_seen() {
    awk -v display="$1" -v pause=1000 "$blind_awk"'
        FNR == NR { if ($1 == "press") press[++np] = $4; next }
        $1 == "click" { cp[++nc] = $2; cr[nc] = $3; cn[nc] = n; next }
        { n++; hi[n] = $1; up[n] = $2 > 50; lo[n] = $3 }
        END {
            # The next message may come this much before a pause is over (the timer late on the
            # one before).
            cycle = display + pause; early = 100
            for (i = 1; i <= n; i++) {
                if (up[i] && !up[i - 1]) first[++f] = i
                if (up[i]) last[f] = i
            }
            for (g = 1; g <= f; g++) {
                # Surely up from the first sighting to the last.
                if (lo[last[g]] - hi[first[g]] > display + 500) linger++
                if (g == f) continue
                missing = int((lo[first[g + 1]] - lo[first[g]]) / cycle - 0.5)
                if (missing < 1) continue
                if (blind(last[g], first[g + 1], display)) unobserved += missing
                else lost += missing
            }
            for (k = 1; k <= nc; k++) {
                for (p = cn[k]; p > 0 && hi[p] > cp[k]; p--) ;
                for (q = cn[k] + 1; q <= n && lo[q] < cr[k]; q++) ;
                for (u = p; u > 0 && !up[u]; u--) ;
                reached = 0
                for (j = 1; j <= np; j++)
                    if (press[j] >= cp[k] && (k == nc || press[j] < cp[k + 1])) reached = 1
                clicks++; reach += reached
                # Between: the message seen last had gone before the press, and the next could
                # not have come by the release.
                if (p && !up[p] && u && lo[p] >= hi[u] && cr[k] < lo[u] + pause - early) {
                    between++; betweenReached += reached
                } else if (p && up[p] && q <= n && up[q] && hi[q] - lo[p] < pause - early) {
                    on++; onReached += reached
                }
            }
            printf "captures %d\nseen %d\nlinger %d\nlost %d\nunobserved %d\n", n, f, linger, lost, unobserved
            printf "clicks %d\nreached %d\nbetween %d\nbetween_reached %d\non %d\non_reached %d\n", clicks, reach, between, betweenReached, on, onReached
        }' "$3" <(watch_captures "$2")
}
# The output's refresh period in ms, as the compositor reports it on D-Bus.
driver_frame_ms() {
    if [ "$driver_kind" = mutter ]; then
        # The current mode of each monitor: (id, width, height, refresh, ...{'is-current': <true>}).
        as_user gdbus call --session --dest org.gnome.Mutter.DisplayConfig \
            --object-path /org/gnome/Mutter/DisplayConfig \
            --method org.gnome.Mutter.DisplayConfig.GetCurrentState |
            grep -o "([^()]*'is-current': <true>" |
            awk -F', ' '!done++ { printf "%.3f\n", 1000 / $4 }'
    else
        as_user gdbus call --session --dest org.kde.KWin --object-path /KWin \
            --method org.kde.KWin.supportInformation | sed 's/\\n/\n/g' |
            awk -F': ' '/Refresh Rate/ && !done++ { printf "%.3f\n", 1000000 / $2 }'
    fi
}

flash_path=x11
probe_tick=""
if [ "$kind" = kwin ] || [ "$kind" = mutter ] || [ "$kind" = gnome ]; then
    # the program's own choice: KWin's layer shell, mutter's XWayland, GNOME Shell's extension
    flash_path=""
    # mutter's screen cast sends a picture only when the screen changes: a native window that
    # keeps changing a pixel makes it send them all along, so that its gaps are known.
    [ "$driver_kind" = mutter ] && probe_tick=1
    session_start() { driver_session_start; }
    capture() { local a=${2//[,x]/ }; driver capture "$1" $a; }
    click() { driver_click "$1" "$2" || fail "the click at $1,$2 was refused"; }
    session_stop() { driver_session_stop; }
    frames() { driver_frames "$@"; }
    frame_ms() { driver_frame_ms; }
elif [ "$kind" = sway ]; then
    session_start() { sway_session_start; }
    capture() { sway_capture "$@"; }
    click() { sway_click "$@"; }
    session_stop() { sway_session_stop; }
    frames() { sway_frames "$@"; }
    frame_ms() { sway_frame_ms; }
else
    fail "no session kind $kind"
fi

# The session with the native window beneath, filling the screen, which must get clicks.
start_session() {
    session_start
    say "Wayland $WAYLAND_DISPLAY, XWayland $DISPLAY"
    as_user exec env QT_QPA_PLATFORM=wayland "$tools/click_probe" --full-screen ${probe_tick:+--tick} \
        "$out/presses" >"$work/probe.log" 2>&1 &
    procs+=($!)
    wait_for 20 grep -q ready "$out/presses" 2>/dev/null || fail "the native window did not come up"
    # Below GNOME Shell's top bar, which a full-screen window hides only once it has the focus.
    # The first click may come before a busy compositor's input is ready: up to three are made.
    for _ in 1 2 3; do
        if [ "$kind" = gnome ]; then click 20 200; else click 20 20; fi
        wait_for 10 more_presses 0 && break
    done
    more_presses 0 || fail "the native window gets no clicks at all"
}
presses() { grep -c '^press' "$out/presses" || true; }
more_presses() { [ "$(presses)" -gt "$1" ]; }

# Whether this X server passes an X window's empty input shape on to the compositor (sets
# passes_shape to yes or no): a click on such a window of ours.
try_input_shape() {
    local reference before
    as_user exec env QT_QPA_PLATFORM=xcb "$tools/click_probe" --passing 20 600 200 100 \
        >"$work/passing.log" 2>&1 &
    reference=$!
    shape_shown() {
        capture "$out/shape" "120,650 1x1" &&
            [ "$(convert "$out/shape" -format '%[hex:p{0,0}]' info: | cut -c1-6)" = FF00FF ]
    }
    wait_for 30 shape_shown || fail "the X window with an empty input shape did not come up"
    before=$(presses)
    click 120 650
    sleep 0.5
    passes_shape=no
    if more_presses "$before"; then passes_shape=yes; fi
    kill -0 "$reference" 2>/dev/null || fail "the X window with an empty input shape did not stay up"
    kill "$reference"
    wait "$reference" 2>/dev/null || true
    say "$(Xwayland -version 2>&1 | sed -n 's/.*Xwayland Version \([^ ]*\).*/XWayland \1/p'):" \
        "input shape passed on to the compositor: $passes_shape"
}

# Starts the program (under sway on the X path), flashing green "MMMM" in the middle of the
# screen for $1 ms with pauses of $2 s from the start (sets program to its process id);
# stop_program ends it. With a third argument, "panel", it starts with its panel shown instead,
# not flashing, the messages to come at the top right (clear of the panel, which the window
# manager centres).
start_program() {
    app="$work/app"
    rm -rf "$app" "$work/config" "$work/data"
    mkdir -p "$app" "$work/config" "$work/data"
    cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage"/*.so "$app/"
    rm -f "$app"/Images/*.txt "$app"/Data/*
    local place=Center autostart=1 # starts hidden, flashing
    # GNOME Shell's top bar holds the top of the screen: there the messages stay in the centre
    # and the test moves the panel aside.
    [ "${3:-}" = panel ] && autostart=0 && [ "$kind" != gnome ] && place="Top Right"
    printf 'Color;65280\r\nMsgduration;%s\r\nTimeBtnMsgs;%s\r\nMsgOption;%s\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n' \
        "$1" "$2" "$place" >"$app/Images/SelectedOptions.txt"
    printf 'Words;1\r\n' >"$app/Images/SelectedPrograms.txt"
    printf '%s\r\n' "$autostart" >"$app/Images/AutoStart.txt"
    printf 'MMMM;1\r\n' >"$app/Data/Words.txt"
    # The screen is watched through mutter's screen cast, a stream of the screen that the program
    # would take for a shared screen: that choice is off unless shared_choice=1, and the
    # full-screen one (the native window beneath is full-screen) unless full_screen_choice=1.
    printf 'FullScreen;%s\r\nShared;%s\r\nDoNotDisturb;1\r\nHours;0\r\nDays;Mon,Tue,Wed,Thu,Fri\r\nFrom;09:00\r\nTo;17:30\r\n' \
        "${full_screen_choice:-0}" "${shared_choice:-0}" >"$app/Images/SelectedQuiet.txt"
    chown -R "$user" "$app" "$work/config" "$work/data"
    as_user exec env XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
        ${flash_path:+KESTRANE_FLASH_PATH=$flash_path} "$app/kestrane" >"$work/kestrane.log" 2>&1 &
    program=$!
    procs+=($program)
}
stop_program() {
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
}

# Where the letters go, and whether they are there now ($out/now.ppm holds what was captured).
area="440,340 400x120"
green() {
    convert "$1" -fuzz 25% -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
        -format '%[fx:int(mean*w*h)]' info:
}
letters_up() { capture "$out/now.ppm" "$area" && [ "$(green "$out/now.ppm")" -gt 50 ]; }
# A pure green pixel of the letters, in screen coordinates (sets lx and ly).
find_letters() {
    wait_for 10 letters_up || fail "no letters on screen"
    read -r lx ly < <(convert "$out/now.ppm" -depth 8 txt:- | awk -F'[,: ()]+' \
        'NR > 1 && $3 < 40 && $4 > 230 && $5 < 40 && !n++ { print $1, $2 }')
    [ -n "$lx" ] || fail "no letter pixel"
    lx=$((lx + 440))
    ly=$((ly + 340))
}
# A click where the letters were, just after they went; whether it reached the native window
# (yes or no).
click_between() {
    local before
    wait_for 10 letters_up || fail "the letters did not come back"
    while letters_up; do :; done
    sleep 0.2
    before=$(presses)
    click "$lx" "$ly"
    letters_up && fail "the click between messages came too late: the next message is up"
    if wait_for 10 more_presses "$before"; then echo yes; else echo no; fi
}
# A click on the letters while they show (they still do after it); whether it reached the
# native window (yes or no).
click_on_letters() {
    local before
    for _ in $(seq 1 10); do
        wait_for 10 letters_up || fail "the letters did not come back"
        before=$(presses)
        click "$lx" "$ly"
        if letters_up; then
            sleep 0.5
            if more_presses "$before"; then echo yes; else echo no; fi
            return 0
        fi
    done
    fail "could not click while the letters showed"
}
