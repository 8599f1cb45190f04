#!/usr/bin/env bash
# Flash timing and clicks in a Wayland session, as the session's compositor shows and routes
# them: the real program (under sway on XWayland, KESTRANE_FLASH_PATH=x11) above a native
# window, set up as the session tests do (tests/wayland/session_lib.sh). For each display time, with pauses of 1 s,
# what the compositor shows of the middle of the screen is taken and printed: flashes seen,
# lost (a gap of a whole cycle or more), held (shown more than a frame past due), on-screen
# durations in frames of the output's refresh period (a frame that changed nothing may come
# between two that did), display and pause errors, the program's share of a core; then clicks
# between messages and on the shown letters that reached the native window. sway shows every
# frame that changes there (screencopy); KWin and mutter (the program choosing its way to the
# screen) are captured a few dozen times a second (their rate is printed), so that durations
# and errors are good to about a capture's interval, and a flash missing where a gap between
# two captures was longer than the display time counts as unobserved, not lost; their clicks
# are made by the driver as its captures cue them, before the timing runs, and counted where
# the captures around them show them surely between messages or surely on the letters. Nothing fails on time; the
# figures are for reading. Build with the benchmarks' options (a release build without
# sanitizers) for figures of the processor share.
#
#   bench/flash/session_bench.sh <kind> <build> [display times, ms: 16,100,300] [cycles: 15]
#
# BENCH_FLASH_PATH=<path> runs the program with KESTRANE_FLASH_PATH=<path> instead; set empty,
# the program chooses (under sway: the layer-shell overlay, every frame of it captured). Under
# GNOME Shell without it, each display time runs through the shell's extension and through
# XWayland in the same session, their tables side by side, and the shell's own share with no
# program is printed after them.
set -euo pipefail
kind=$1
stage=$2/stage
tools=$2/tests/wayland
times=${3:-16,100,300}
cycles=${4:-15}
name="session_bench[$kind]"
source "$(dirname "$0")/../../tests/wayland/session_lib.sh"
[ -n "${BENCH_FLASH_PATH+set}" ] && flash_path=$BENCH_FLASH_PATH
declare -F frames >/dev/null || fail "the $kind session has no frame capture"

start_session
frame=$(frame_ms)
try_input_shape
# Clicks under KWin and mutter, made before the timing runs: after a run of captures alone mutter
# has at times stopped answering the next click for over 20 s (sets clicks_seen).
driver_clicks() {
    start_program 300 1
    sleep 2
    # A click the compositor did not take ends the run early; what came before it still counts.
    driver watchclick 440 340 400 120 $((cycles * 1300)) "$out/watchclick" 3050a0 both \
        >"$work/watchclick.log" 2>&1 || echo "clicks ended early: $(cat "$work/watchclick.log")"
    sleep 1 # the last click's press on its way
    stop_program
    declare -A r
    while read -r k v; do r[$k]=$v; done < <(runs_seen 300 "$out/watchclick" "$out/presses")
    clicks_seen="clicks that reached the native window: between messages ${r[between_reached]} of"
    clicks_seen+=" ${r[between]}, on the shown letters ${r[on_reached]} of ${r[on]}, in all"
    clicks_seen+=" ${r[reached]} of ${r[clicks]} (others fell where the captures cannot tell;"
    clicks_seen+=" input shapes passed on: $passes_shape)"
}
if [ "$kind" != sway ]; then
    driver_clicks
    # After clicks through mutter's remote-desktop interface, mutter maps the control panel of
    # the next program started hidden as a normal, focused window (not minimised as asked),
    # over the middle of the screen where the letters are watched; it does not after a
    # program merely stopped. A fresh session for the timing runs.
    session_stop
    # The native window of the new session says it is ready in a file of its own: the last
    # one's word would let the first click go before the window is there.
    rm -rf "$work/session" "$out/presses"
    start_session
fi
ticks() { awk '{ print $14 + $15 }' "/proc/${1:-$program}/stat"; }
# The compositor's own share too, where the session started it (KWin, mutter, GNOME Shell).
compositor=$(cat "$work/session/compositor.pid" 2>/dev/null || true)
stats_awk='
    function sorted(a, n,   i, j, t) {
        for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) {
            t = a[j]; a[j] = a[j - 1]; a[j - 1] = t
        }
    }
    function summary(what, a, n) {
        if (n == 0) { printf "  %s: none\n", what; return }
        sorted(a, n)
        printf "  %s: median %+.1f p95 %+.1f min %+.1f max %+.1f ms (n %d)\n", what,
            a[int((n + 1) / 2)], a[int(n * 0.95 + 0.999)], a[1], a[n], n
    }'
timing() {
    local ms=$1 seconds cpu0 cpu1 shell0 shell1 signals=""
    start_program "$ms" 1
    sleep 2 # up to the first message
    seconds=$((cycles * (1000 + ms) / 1000 + 2))
    # Through the extension, the shell's own word too: the moments of the frames that showed
    # each message and of the first without it, and the frames it stayed.
    if [ "$flash_path" = gnome-shell ]; then
        as_user dbus-monitor --session "type='signal',interface='org.kestrane.Flash'" \
            >"$out/signals-$ms" 2>&1 &
        signals=$!
    fi
    cpu0=$(ticks)
    shell0=$( [ -n "$compositor" ] && ticks "$compositor" || echo 0)
    frames 440 340 400 120 "$seconds" >"$out/frames-$ms"
    cpu1=$(ticks)
    shell1=$( [ -n "$compositor" ] && ticks "$compositor" || echo 0)
    [ -n "$signals" ] && kill "$signals"
    stop_program
    awk -v ms="$ms" -v frame="$frame" -v cpu=$((cpu1 - cpu0)) -v shell=$((shell1 - shell0)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" "$blind_awk$stats_awk"'
        /^#/ { sub(/^# /, ""); rate = $0; next }
        # A capture: when it may show, from lo to hi (one moment, sway: every change).
        { c++; hi[c] = $1; lo[c] = NF > 2 ? $3 : $1; sampled = NF > 2 }
        $2 > 50 && !on {
            on = 1; from = $1
            if (n) {
                # Flashes missing before this one: unobserved where the captures were blind.
                missing = int(($1 - start) / (1000 + ms) + 0.5) - 1
                if (missing < 1) pause[++np] = $1 - off - 1000
                else if (sampled && blind(lastOn, c, ms)) unobserved += missing
                else lost += missing
            }
            start = $1; n++; firstOn = c
        }
        $2 > 50 { lastOn = c }
        # Held: surely up for over a frame past due (from the first capture that showed it to
        # the last, each at its time the farthest in).
        $2 <= 50 && on {
            on = 0; off = $1; dur[++nd] = $1 - from
            if ((sampled ? lo[lastOn] - hi[firstOn] : dur[nd]) > ms + frame * 1.5) linger++
        }
        END {
            for (i = 1; i <= nd; i++) {
                f = int(dur[i] / frame + 0.5); frames[f]++
                err[i] = dur[i] - ms
            }
            printf "%d ms: %d flashes seen of about %d due, %d lost, %d unobserved, %d held over a frame past due, %s at the end (frame %.2f ms)\n",
                ms, n, int(s * 1000 / (1000 + ms)), lost, unobserved, linger, on ? "letters up" : "nothing up", frame
            if (sampled) {
                for (i = 2; i <= c; i++) if (hi[i] - lo[i - 1] > widest) widest = hi[i] - lo[i - 1]
                printf "  capture: %s; widest gap %.0f ms\n", rate, widest
            } else printf "  capture: every frame that changed the area\n"
            printf "  on screen, frames:"
            for (f in frames) printf " %d x%d", f, frames[f]
            printf "\n"
            summary("display error", err, nd)
            summary("pause error", pause, np)
            printf "  processor: %.2f %% of a core", 100 * cpu / hz / s
            if (shell) printf "; the compositor (capture included) %.1f %%", 100 * shell / hz / s
            printf "\n"
        }' "$out/frames-$ms"
    [ -n "$signals" ] || return 0
    # Each signal of the extension's on a line: "Shown SERIAL TIME", "Hidden SERIAL TIME FRAMES".
    awk '/^signal/ { line = ""; if (/interface=org.kestrane.Flash;/) { sub(/.*member=/, ""); line = $0 }; next }
        line != "" { line = line " " $2; if (split(line, f) == (f[1] == "Shown" ? 3 : 4)) { print line; line = "" } }' \
        "$out/signals-$ms" | awk -v ms="$ms" "$stats_awk"'
        $1 == "Shown" { up[$2] = $3; if (off) pause[++np] = ($3 - off) / 1000 - 1000 }
        $1 == "Hidden" && ($2 in up) { frames[$4]++; shown[++nd] = ($3 - up[$2]) / 1000 - ms; off = $3 }
        END {
            printf "  the shell'"'"'s own frames: up"
            for (f in frames) printf " %d x%d", f, frames[f]
            printf "\n"
            summary("its display error", shown, nd)
            summary("its pause error", pause, np)
        }'
}
paths=("${flash_path:-}")
[ "$kind" = gnome ] && [ -z "${BENCH_FLASH_PATH+set}" ] && paths=(gnome-shell x11)
for ms in ${times//,/ }; do
    for p in "${paths[@]}"; do
        flash_path=$p
        timing "$ms" >"$out/table-$p"
    done
    if [ "${#paths[@]}" -eq 1 ]; then
        cat "$out/table-${paths[0]}"
    else
        # The two tables side by side, a line of each on one line.
        { echo "through the shell's extension|through XWayland (no extension)"
            paste -d '|' "$out/table-gnome-shell" "$out/table-x11"; } | column -t -s '|' -o ' | '
    fi
done
if [ "${#paths[@]}" -gt 1 ]; then
    # The shell's share with no program over the same time as a run of 100 ms messages: what the
    # capture and the native window beneath cost it, to be taken from the shares above.
    seconds=$((cycles * 1100 / 1000 + 2))
    shell0=$(ticks "$compositor")
    frames 440 340 400 120 "$seconds" >/dev/null
    shell1=$(ticks "$compositor")
    awk -v t=$((shell1 - shell0)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN {
        printf "the compositor with no program (capture included): %.1f %% of a core\n", 100 * t / hz / s }'
    # What the messages add to the shell's own share with no capture running (the capture is
    # most of the shares above): 30 s with no program, then 30 s of 100 ms messages each way.
    share() {
        local a b
        a=$(ticks "$1")
        sleep 30
        b=$(ticks "$1")
        awk -v t=$((b - a)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f %%", 100 * t / hz / 30 }'
    }
    line="no capture, 30 s each, shares of a core: the compositor alone $(share "$compositor")"
    for p in gnome-shell x11; do
        flash_path=$p
        start_program 100 1
        sleep 2
        cpu0=$(ticks)
        line+="; 100 ms messages through ${p/x11/XWayland}: the compositor $(share "$compositor")"
        line+=", the program $(awk -v t=$(($(ticks) - cpu0)) -v hz="$(getconf CLK_TCK)" \
            'BEGIN { printf "%.2f %%", 100 * t / hz / 30 }')"
        stop_program
    done
    echo "$line"
fi

if [ "$kind" = sway ]; then
    start_program 300 1
    find_letters
    between=0
    on=0
    for _ in 1 2 3; do
        [ "$(click_between)" = yes ] && between=$((between + 1))
        [ "$(click_on_letters)" = yes ] && on=$((on + 1))
    done
    stop_program
    echo "clicks that reached the native window: between messages $between of 3, on the shown" \
        "letters $on of 3 (input shapes passed on: $passes_shape)"
else
    echo "$clicks_seen"
fi
