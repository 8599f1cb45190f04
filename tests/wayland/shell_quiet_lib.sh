# GNOME Shell's session test, after its run: what only the shell knows, told by kestrane's
# extension (properties FullScreen, Shared, DoNotDisturb of org.kestrane.Flash), keeps the
# messages away. The session's native window (click_probe, full-screen) leaves full-screen and
# goes back at SIGUSR1; Do Not Disturb is the shell's show-banners, set through the session's
# own settings backend; the screen cast the test watches with is a shared screen, which the
# extension alone is to tell here (the program finds no pw-dump). Sourced by session_e2e.sh.
shell_quiet_run() {
    local probe=${procs[0]} status
    grep -q click_probe "/proc/$probe/cmdline" || fail "no native window to take out of full-screen"
    prop() {
        as_user gdbus call --session --dest org.kestrane.Flash --object-path /org/kestrane/Flash \
            --method org.freedesktop.DBus.Properties.Get org.kestrane.Flash "$1"
    }
    prop_is() { [ "$(prop "$1")" = "$2" ]; }
    quiet_is() {
        status=$(as_user "$app/kestrane" --status 2>&1 | grep -v '^flash: ' | tr '\n' '|')
        [[ "$status" =~ ^running\|[a-z]+\|${1:+$1\|}$ ]]
    }
    banners() {
        as_user env GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME="$work/session/home/.config" \
            gsettings set org.gnome.desktop.notifications show-banners "$1"
    }
    no_letters_up() { ! letters_up; }
    prop_is Version "(<uint32 2>,)" || fail "the extension's Version: $(prop Version)"
    full_screen_choice=1 start_program 300 1
    wait_for 20 prop_is FullScreen "(<[(0, 0, 1280, 800)]>,)" ||
        fail "the extension's FullScreen over the full-screen window: $(prop FullScreen)"
    wait_for 30 quiet_is "Quiet: a full-screen window" || fail "--status full-screen: $status"
    local end=$((SECONDS + 4)) # three cycles of message and pause
    while [ "$SECONDS" -lt "$end" ]; do
        ! letters_up || fail "letters over the full-screen window"
    done
    kill -USR1 "$probe"
    wait_for 10 prop_is FullScreen "(<@a(iiii) []>,)" ||
        fail "the extension's FullScreen out of full-screen: $(prop FullScreen)"
    # Each capture is a screen cast of its own, seconds each when mutter is busy: 30 s gives a
    # few of them a chance to fall in a message.
    wait_for 30 letters_up || fail "no letters once the native window left full-screen"
    quiet_is "" || fail "--status out of full-screen: $status"
    say "no messages over a full-screen native window, by the shell's word; out of it they come"
    banners false || fail "show-banners could not be set"
    wait_for 10 prop_is DoNotDisturb "(<true>,)" ||
        fail "the extension's DoNotDisturb with the banners off: $(prop DoNotDisturb)"
    wait_for 10 quiet_is "Quiet: Do Not Disturb" || fail "--status under Do Not Disturb: $status"
    wait_for 10 no_letters_up || fail "letters under Do Not Disturb"
    banners true
    wait_for 10 quiet_is "" || fail "--status after Do Not Disturb: $status"
    kill -USR1 "$probe"
    wait_for 10 quiet_is "Quiet: a full-screen window" || fail "--status full-screen again: $status"
    say "the shell's Do Not Disturb keeps them away; full-screen again, they stay away"
    stop_program
    mkdir -p "$work/no-pw-dump"
    ln -sf "$(type -P false)" "$work/no-pw-dump/pw-dump"
    PATH="$work/no-pw-dump:$PATH" shared_choice=1 start_program 300 1
    prop_is Shared "(<true>,)" ||
        fail "the extension's Shared while the screen is cast: $(prop Shared)"
    wait_for 30 quiet_is "Quiet: the screen is shared" || fail "--status while shared: $status"
    say "the screen cast is a shared screen for the shell, and the messages stay away"
    stop_program
}
