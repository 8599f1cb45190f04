#!/usr/bin/env bash
# kestrane's tray icon under a real GNOME Shell (headless) with the AppIndicator extension
# (Debian's gnome-shell-extension-appindicator), as a GNOME user meets it: the icon in the top
# bar, a click on it through the shell's remote-desktop interface opens kestrane's menu, and its
# "Start" starts the run (--status). Skipped (77) where the shell or the extension is not
# installed.
#
#   gnome_tray_e2e.sh <staged folder> <folder of click_probe and drivers/>
set -euo pipefail
kind=gnome
stage=$1
tools=$2
name=gnome_tray_e2e
appindicator=ubuntu-appindicators@ubuntu.com
[ -d "/usr/share/gnome-shell/extensions/$appindicator" ] ||
    { echo "$name: SKIP: no AppIndicator extension"; exit 77; }
export KESTRANE_GNOME_ENABLE=$appindicator
source "$(dirname "$0")/session_lib.sh"
session_start # no native window: it would fill the screen and hide the top bar

# The tray library registered for the user, then the program with its panel (the first start
# only makes its folder: ended once it runs).
start_program 100 1 panel
wait_for 30 grep -q . "$app/Images/SelectedOptions.txt" && sleep 1
stop_program
cp "$stage/regsvr" "$app/"
as_user env XDG_CONFIG_HOME="$work/config" "$app/regsvr" -s "$app/libquorvil.so" ||
    fail "the tray library could not be registered"
as_user exec env XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" "$app/kestrane" \
    >"$work/kestrane.log" 2>&1 &
program=$!
procs+=($program)
status() { as_user env XDG_CONFIG_HOME="$work/config" "$app/kestrane" --status 2>&1 || true; }

# The icon: the pixels of its blue in the top bar's right half (white first made black: the
# clock and the other icons are white).
icon_at() {
    capture "$out/top.png" "640,0 640x26" || return 1
    blue() {
        convert "$out/top.png" -fill black -fuzz 10% -opaque white -fuzz 6% -fill white \
            -opaque '#1C689D' -fill black +opaque white "$@" info:
    }
    local n
    n=$(blue -format "%[fx:int(mean * w * h)]") || return 1
    [ "$n" -gt 50 ] || return 1
    read -r ix iy < <(blue -trim -format '%[fx:page.x + w / 2] %[fx:page.y + h / 2]\n')
}
# The item registered with the extension's watcher first: each capture is a screen cast of its
# own, which takes mutter a while.
registered() {
    as_user gdbus call --session --dest org.kde.StatusNotifierWatcher \
        --object-path /StatusNotifierWatcher --method org.freedesktop.DBus.Properties.Get \
        org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems 2>/dev/null | grep -q StatusNotifierItem
}
wait_for 60 registered || fail "no StatusNotifierItem registered with the AppIndicator extension"
wait_for 120 icon_at || fail "no tray icon in the top bar"
ix=$((640 + ${ix%.*}))
iy=${iy%.*}
say "the icon is in the top bar at $ix,$iy"

# Its menu: kestrane's own popup, four entries; "Start" is the third.
menu_up() {
    menu=$(as_user xdotool search --onlyvisible --class kestrane 2>/dev/null | while read -r w; do
        as_user xwininfo -id "$w" | awk '/-geometry/ { split($2, g, /[x+]/); if (g[2] < 150) print g[3], g[4], g[2] }'
    done | head -n 1)
    [ -n "$menu" ]
}
for _ in 1 2 3; do
    click "$ix" "$iy"
    wait_for 10 menu_up && break
done
[ -n "${menu:-}" ] || fail "a click on the icon opened no menu"
read -r mx my mh <<<"$menu"
say "the menu opened at $mx,$my ($mh pixels high)"
[ "$(status | head -n 1)" = stopped ] || fail "running before Start: $(status)"
click $((mx + 30)) $((my + mh * 5 / 8))
running() { [ "$(status | head -n 1)" = running ]; }
wait_for 20 running || fail "the menu's Start did not start the run: $(status)"
say "the menu's Start started the run: $(status | tr '\n' ' ')"
stop_program
say "passed"
