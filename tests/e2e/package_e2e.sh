#!/usr/bin/env bash
# The packages as a new user meets them, under the X server, window manager and tray host that
# with-x.sh started. Packs the build as it is (nothing is rebuilt), then:
#
#   1. The .deb passes lintian (no errors), its menu entry desktop-file-validate and its
#      AppStream file appstreamcli, and holds the GNOME Shell extension; it is extracted into a temporary root, and its postinst
#      registers the tray library in the machine's registry there.
#   2. As a user who is not root (nobody, when run as root) with a fresh HOME, the launcher
#      starts the program from the read-only installed folder: the panel comes up, the tray icon
#      appears through the machine's registration, the state files are made in the per-user
#      folder (shipped ones copied), nothing is written to the installed folder; Close ends it.
#   3. Autostart on: the next start goes to the tray and the autostart entry runs the launcher.
#   4. A per-user folder the user cannot write: a message naming it at start-up, the panel
#      still comes up with the shipped programs, and the folder's files stay as they were.
#   5. The .tar.gz unpacked at two places: each copy runs and keeps its state beside itself.
#   6. prerm and postrm take the registration and the machine's registry away again.
#
#   tests/e2e/with-x.sh tests/e2e/package_e2e.sh <build folder>
set -euo pipefail

build=$1
work=$(mktemp -d /tmp/kestrane-package.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
step="pack"
fail() {
    echo "package_e2e: [$step] $*" >&2
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 30 "$log" >&2; }
    done
    exit 1
}
say() { echo "package_e2e: ${SECONDS}s: $*" >&2; }
wait_for() {
    local end=$((SECONDS + $1))
    shift
    while ! "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.2
    done
}

# --- 1. The packages and their checks ---------------------------------------------------------

(cd "$build" && cpack -G "DEB;TGZ" -B "$work/pkg") >"$work/cpack.log" 2>&1 || fail "cpack failed"
deb=$(echo "$work"/pkg/*.deb)
tgz=$(echo "$work"/pkg/*.tar.gz)
[ -f "$deb" ] && [ -f "$tgz" ] || fail "packages missing: $(ls "$work/pkg")"
say "packed $(basename "$deb") and $(basename "$tgz")"

step="checks"
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian found errors"
root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$work/control"
entry="$root/usr/share/applications/org.kestrane.kestrane.desktop"
desktop-file-validate "$entry" >"$work/desktop.log" 2>&1 ||
    fail "desktop-file-validate: $(cat "$work/desktop.log")"
grep -qx 'Exec=/usr/bin/kestrane' "$entry" || fail "menu entry Exec"
grep -qx 'X-KDE-Wayland-Interfaces=org_kde_plasma_window_management' "$entry" ||
    fail "menu entry without the window management protocol KWin offers to it"
appstreamcli validate --pedantic --no-net "$root"/usr/share/metainfo/*.metainfo.xml \
    >"$work/appstream.log" 2>&1 || fail "appstreamcli validate failed"
grep -q 'successful\.$' "$work/appstream.log" || fail "appstreamcli: $(cat "$work/appstream.log")"
for size in 16 22 24 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/kestrane.png"
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "icon $icon"
done
ext="$root/usr/share/gnome-shell/extensions/flash@kestrane.org"
grep -q '"uuid": "flash@kestrane.org"' "$ext/metadata.json" && grep -q FlashService "$ext/extension.js" ||
    fail "no GNOME Shell extension in $ext"
[ "$(readlink "$root/usr/bin/kestrane")" = "../lib/kestrane/kestrane" ] || fail "launcher link"
app="$root/usr/lib/kestrane"
for elf in "$app"/kestrane "$app"/regsvr "$app"/*.so; do
    readelf -d "$elf" >"$work/readelf.txt"
    grep -q 'RUNPATH.*\[\$ORIGIN\]$' "$work/readelf.txt" || fail "RUNPATH of $elf is not \$ORIGIN"
done
DPKG_ROOT="$root" sh "$work/control/postinst" configure >"$work/postinst.log" 2>&1 ||
    fail "postinst failed"
machine="$root/etc/xdg/kestrane/registry.txt"
grep -q "HKEY_LOCAL_MACHINE.*InprocServer32.*$app/libquorvil.so" "$machine" ||
    fail "postinst did not register the tray library: $(cat "$machine")"
say "lintian, desktop entry, AppStream, icons and postinst are fine"

# --- The user ---------------------------------------------------------------------------------

home="$work/home"
mkdir -p "$home/run"
chmod 700 "$home/run"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody: "$home"
    as_user=(runuser -u nobody --)
fi
# Starts a program as the user in the background with a clean session environment; $1 names
# its log, $2 its pid variable.
start_as_user() {
    local log=$1 var=$2
    shift 2
    "${as_user[@]}" env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" \
        XDG_RUNTIME_DIR="$home/run" "$@" >"$work/$log.log" 2>&1 &
    pids+=($!)
    printf -v "$var" '%s' "$!"
}
as_user_do() { "${as_user[@]}" env HOME="$home" "$@"; }

tree() { xwininfo -root -tree 2>/dev/null; }
panels() { xdotool search --onlyvisible --name '^Orvessa$' 2>/dev/null | wc -l; }
panel_count_is() { [ "$(panels)" -eq "$1" ]; }
# The tray icon: a small window of the program's class inside the tray host.
has_icon() {
    tree | awk '/"kestrane": \("kestrane" "kestrane"\)/ {split($5, g, /[x+]/);
        if (g[1] <= 48 && g[2] <= 48) n++} END {exit !n}'
}
# grep reads the whole tree: under pipefail an early exit (-q) would fail xwininfo with SIGPIPE.
flashing() { tree | grep '"messagesform"' >/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }
listing() { (cd "$1" && find . -type f -exec sha1sum {} + | sort); }
user_folder="$home/.local/share/kestrane"
shipped_before=$(listing "$app")

# --- 2. First start of the installed program --------------------------------------------------

step="installed start"
start_as_user first pid XDG_CONFIG_DIRS="$root/etc/xdg" "$root/usr/bin/kestrane"
wait_for 30 panel_count_is 1 || fail "the panel did not come up"
wait_for 20 has_icon || fail "no tray icon"
[ -f "$user_folder/Images/SelectedOptions.txt" ] || fail "no options file in $user_folder"
cmp -s "$user_folder/Images/SelectedPrograms.txt" "$app/Images/SelectedPrograms.txt" ||
    fail "selection file not copied"
cmp -s "$user_folder/Data/Calm.txt" "$app/Data/Calm.txt" || fail "sample programs not copied"
wid=$(xdotool search --onlyvisible --name '^Orvessa$' | head -n1)
xdotool mousemove --window "$wid" 545 25 click 1  # the Close picture
wait_for 20 ended "$pid" || fail "Close did not end the program"
wait "$pid" || fail "the program ended with an error"
[ "$(listing "$app")" = "$shipped_before" ] || fail "the installed folder was written to"
say "panel and tray icon came up; state in $user_folder"

# --- 3. Autostart on: hidden in the tray, the entry runs the launcher -------------------------

step="autostart"
as_user_do sh -c "printf '1\r\n' >'$user_folder/Images/AutoStart.txt'"
start_as_user autostart pid XDG_CONFIG_DIRS="$root/etc/xdg" "$root/usr/bin/kestrane"
wait_for 30 flashing || fail "no flashing after an autostart start"
wait_for 20 has_icon || fail "no tray icon"
panel_count_is 0 || fail "the panel is shown"
entry="$home/.config/autostart/MyVBApp1.desktop"
grep -qx "Exec=\"$root/usr/bin/kestrane\"" "$entry" || fail "autostart entry: $(cat "$entry")"
kill "$pid"
wait "$pid" 2>/dev/null || true
say "autostart entry runs $root/usr/bin/kestrane"

# --- 4. A per-user folder that cannot be written ----------------------------------------------

step="unwritable folder"
as_user_do chmod -R a-w "$user_folder"
user_before=$(listing "$user_folder")
start_as_user blocked pid XDG_CONFIG_DIRS="$root/etc/xdg" "$root/usr/bin/kestrane"
wait_for 30 panel_count_is 1 || fail "the panel did not come up"
box() { xdotool search --onlyvisible --name '^Veltrane$' 2>/dev/null | head -n1; }
has_box() { [ -n "$(box)" ]; }
wait_for 20 has_box || fail "no message at start-up"
grep -q "cannot be kept in $user_folder" "$work/blocked.log" || fail "the message names no folder"
# The box found a moment ago may already be gone again (xdotool then fails with BadWindow), so
# Return goes to whichever box is up until none is.
answer_box() {
    local id
    id=$(box)
    [ -z "$id" ] || xdotool key --window "$id" Return 2>/dev/null || true
    sleep 0.2
    ! has_box
}
wait_for 10 answer_box || fail "the message stayed after Return"
wait_for 10 panel_count_is 1 || fail "the panel went away"
kill -0 "$pid" || fail "the program ended"
[ "$(listing "$user_folder")" = "$user_before" ] || fail "the per-user folder changed"
kill "$pid"
wait "$pid" 2>/dev/null || true
say "unwritable per-user folder: message shown, panel up, nothing changed"

# --- 5. The portable archive at two places ----------------------------------------------------

step="archive"
for place in a b/c; do
    as_user_do mkdir -p "$home/$place"
    as_user_do tar -xzf "$tgz" -C "$home/$place"
done
a=$(echo "$home"/a/kestrane-*)
b=$(echo "$home"/b/c/kestrane-*)
start_as_user archive-a pid_a "$a/kestrane"
start_as_user archive-b pid_b "$b/kestrane"
wait_for 30 panel_count_is 2 || fail "two panels did not come up"
for dir in "$a" "$b"; do
    [ -f "$dir/Images/SelectedOptions.txt" ] || fail "no options file beside $dir/kestrane"
done
[ "$(listing "$user_folder")" = "$user_before" ] || fail "the per-user folder changed"
kill "$pid_a" "$pid_b"
say "the archive runs from $a and $b"

# --- 6. Removal -------------------------------------------------------------------------------

step="removal"
DPKG_ROOT="$root" sh "$work/control/prerm" remove >"$work/prerm.log" 2>&1 || fail "prerm failed"
! grep -q InprocServer32 "$machine" || fail "prerm left the registration: $(cat "$machine")"
DPKG_ROOT="$root" sh "$work/control/postrm" purge >"$work/postrm.log" 2>&1 || fail "postrm failed"
[ ! -e "$root/etc/xdg/kestrane" ] || fail "purge left $root/etc/xdg/kestrane"
echo "package_e2e: passed"
