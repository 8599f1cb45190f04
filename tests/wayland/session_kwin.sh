# The KWin session test's own steps, sourced by session_e2e.sh after session_lib.sh.

# KWin as in a user's session: its restricted Wayland interfaces offered only to the programs
# whose desktop files list them (drivers/session.sh with KWIN_SESSION_PERMISSIONS=1). Desktop
# files of the test's own, found through XDG_DATA_DIRS, for the driver (fake input) and for the
# program as start_program runs it: the installed menu entry with that path in Exec. Called
# before the session starts.
kwin_desktop_files() {
    local apps="$work/share/applications"
    mkdir -p "$apps"
    printf '[Desktop Entry]\nType=Application\nName=wayland_driver\nExec=%s\nNoDisplay=true\n%s\n' \
        "$(realpath "$tools/drivers/wayland_driver")" \
        X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input >"$apps/wayland_driver.desktop"
    sed "s|^Exec=.*|Exec=$work/app/kestrane|" \
        "$here/../../packaging/org.kestrane.kestrane.desktop" >"$apps/org.kestrane.kestrane.desktop"
    chmod -R a+rX "$work/share"
    export XDG_DATA_DIRS="$work/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
    export KWIN_SESSION_PERMISSIONS=1
}

# The native window beneath, full-screen and in front, with the full-screen choice on: no
# message over it, and --status says why; out of full-screen (SIGUSR1 to it) the letters come;
# full-screen again, they go. Only KWin's window management protocol tells of this window.
kwin_full_screen() {
    local probe="" p quiet
    for p in "${procs[@]}"; do
        if tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null | grep -q 'click_probe --full-screen'; then
            probe=$p
        fi
    done
    [ -n "$probe" ] || fail "the full-screen native window is not running"
    full_screen_choice=1 start_program 300 1
    click 20 20 # the native window active
    says() {
        as_user "$app/kestrane" --status 2>&1 | grep -v '^flash: ' | tr '\n' '|' | grep -q "$1"
    }
    quiet="^running|[a-z]*|Quiet: a full-screen window|$"
    wait_for 30 says "$quiet" ||
        fail "--status over the full-screen window: $(as_user "$app/kestrane" --status 2>&1)"
    none_for_cycles() {
        local end=$((SECONDS + 4)) # three cycles of message and pause
        while [ "$SECONDS" -lt "$end" ]; do
            ! letters_up || fail "letters over the full-screen native window$1"
        done
    }
    none_for_cycles ""
    kill -USR1 "$probe"
    wait_for 20 letters_up || fail "no letters once the native window left full-screen"
    says "^running|[a-z]*|$" ||
        fail "--status out of full-screen: $(as_user "$app/kestrane" --status 2>&1)"
    kill -USR1 "$probe"
    wait_for 20 says "$quiet" ||
        fail "--status full-screen again: $(as_user "$app/kestrane" --status 2>&1)"
    none_for_cycles " again"
    say "a full-screen native window keeps the messages away, out of full-screen they come"
    stop_program
}
