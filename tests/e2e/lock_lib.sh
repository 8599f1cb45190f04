# The lock stand-ins of lock_standin.py, driven over D-Bus, and the check that no message shows
# while the session is locked. Sourced by test scripts that define fail and wait_for.

# The stand-in screen saver on the session bus: active (true) or not (false).
saver() {
    gdbus call --session --dest org.freedesktop.ScreenSaver --object-path \
        /org/freedesktop/ScreenSaver --method org.freedesktop.ScreenSaver.SetActive "$1" \
        >/dev/null || fail "SetActive $1 failed"
}
# A method of the stand-in logind session on the system bus: logind SetLockedHint true.
logind() {
    gdbus call --system --dest org.freedesktop.login1 --object-path \
        /org/freedesktop/login1/session/_31 --method "org.freedesktop.login1.Session.$1" "$2" \
        >/dev/null || fail "$1 $2 failed"
}
# No letters ($1: a command that succeeds while letters show) on any capture for $2 seconds.
quiet_for() {
    local end=$((SECONDS + $2))
    while [ "$SECONDS" -lt "$end" ]; do
        ! "$1" || fail "letters on the screen while locked"
    done
}
# One lock and unlock: "$2... true" locks and "$2... false" unlocks (saver, or logind
# SetLockedHint). The letters ($1) go within 10 s (at once, on any machine that is not starved), none show for 4 s, and they come back.
lock_cycle() {
    local shown=$1
    shift
    wait_for 20 "$shown" || fail "no letters before locking"
    "$@" true
    wait_for 10 lock_lib_gone "$shown" || fail "the letters stayed after locking"
    quiet_for "$shown" 4
    "$@" false
    wait_for 20 "$shown" || fail "no letters after unlocking"
}
lock_lib_gone() { ! "$1"; }

# The real program started hidden and flashing by the scripts that source this ($k: the
# program, $shot: lib.sh's screenshot), and what they ask of it.
# Green letters somewhere on the screen (the panel is hidden, nothing else is green).
letters() {
    screenshot
    [ "$(convert "$shot" -fuzz 8% -fill white -opaque 'rgb(0,255,0)' -fill black +opaque white \
        -format '%[fx:int(mean*w*h)]' info:)" -gt 50 ]
}
no_letters() { ! letters; }
status_says() { [ "$("$k" --status 2>&1 | grep -v '^flash: ' | tr '\n' '|')" = "$1" ]; }
running_on_bus() {
    [ "$(gdbus call --session --dest org.kestrane.kestrane --object-path /org/kestrane/kestrane \
        --method org.freedesktop.DBus.Properties.Get org.kestrane.kestrane.Control Running \
        2>/dev/null)" \
        = "(<true>,)" ]
}
start_hidden() {
    start_program hidden
    wait_for 30 running_on_bus || fail "the program did not start running"
}
quit() {
    "$k" --quit >/dev/null 2>&1 || fail "--quit failed"
    wait_for 20 ended || fail "--quit did not end the program"
    wait "$pid" || fail "the program ended with an error"
    pid=""
}
