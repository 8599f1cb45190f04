#!/usr/bin/env bash
# The tray icon on a desktop whose tray speaks StatusNotifierItem over D-Bus (KDE Plasma, GNOME
# with the AppIndicator extension, XFCE and most panels) instead of taking X windows in
# (XEmbed). Runs on a private session bus (dbus-run-session) under the X server and window
# manager of with-x.sh, with no XEmbed tray host (KESTRANE_NO_TRAY=1); test_desktop plays the
# desktop: the watcher, a host, and the clicks a host turns into Activate and ContextMenu.
#
#   1. The icon registers with the watcher; its properties read as a host reads them: status
#      Active, the tray picture, no tooltip (the panel sets none), no menu of Qt's own.
#   2. Activate (a left click in the host) while stopped: the program's own menu opens on X at
#      the pointer with Start offered; Start chosen with the keyboard: the letters flash.
#   3. ContextMenu (a right click) while running: the flash window closes, the menu offers
#      Stop; Hide chosen with a click: the panel goes (hidden, not minimised) and the flashing
#      resumes. Activate and Show bring the panel back; ContextMenu and Stop end the run.
#   4. Close: the icon leaves the watcher and the program ends.
#
#   tests/e2e/with-x.sh dbus-run-session -- bash tests/e2e/sni_tray_e2e.sh <stage> <test_desktop>
name=sni_tray_e2e
source "$(dirname "$0")/../input/lib.sh"
desktop=$2

step="watcher"
"$desktop" serve >"$work/desktop.out" 2>"$work/desktop.log" &
desktop_pid=$!
trap 'kill $desktop_pid 2>/dev/null || true; cleanup' EXIT
said() { grep -q "$1" "$work/desktop.out"; }
wait_for 10 said '^ready$' || fail "the watcher did not start"

make_app
register_tray
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;900\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n'
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt 'Words;1\r\n'
put Data/Words.txt 'MMMM;1\r\n'

# Pure green pixels of a fresh screenshot: the letters are up.
letters_on_screen() {
    screenshot
    [ "$(convert "$shot" -fuzz 22% -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
        -format '%[fx:int(mean*w*h)]' info:)" -gt 50 ]
}
# A click on the icon as a host sends it: the method at a point of the host's panel.
host_click() {
    "$desktop" call "$1" 1100 30 || fail "$1 could not be called"
    wait_for 20 menu_open || fail "no menu after $1"
    sleep 0.3
}

# --- 1. The icon as the host sees it -----------------------------------------------------------

step="item"
start_program
wait_for 20 said '^item ' || fail "the icon did not register"
item=$(awk '/^item / {print $2; exit}' "$work/desktop.out")
props=$("$desktop" show "$work/icon.png" 2>&1) || fail "the item's properties: $props"
for line in "Status Active" "ToolTip |" "Menu /NO_DBUSMENU" "ItemIsMenu false"; do
    grep -qx "$line" <<<"$props" || fail "no \"$line\" among the item's properties: $props"
done
grep -q '^IconPixmap 32x32 opaque=[1-9]' <<<"$props" || fail "no 32x32 icon picture: $props"
diff=$(compare -metric AE -fuzz 3% "$work/icon.png" "$app/Images/tray.png" null: 2>&1) || true
[ "$diff" = 0 ] || fail "the icon picture differs from Images/tray.png in $diff pixels"
[ -z "$(icon_geometry)" ] || fail "an XEmbed icon window as well"
say "icon registered: $item"

# --- 2. Activate while stopped: the menu on X, Start by keyboard ------------------------------

step="Activate while stopped"
xdotool mousemove --sync 1100 30
host_click Activate
read -r _ _ _ mx my <<<"$(menu_geometry)"
[ $((mx > 1100 ? mx - 1100 : 1100 - mx)) -le 200 ] && [ "$my" -le 60 ] ||
    fail "the menu opened at $mx,$my, not at the pointer"
expect_menu "off on on off"
# Down goes to the first entry that is not greyed (Hide), then to Start.
xdotool key --delay 150 Down Down Return
wait_for 20 menu_closed || fail "the menu stayed open"
wait_for 20 flashing || fail "Start chosen with the keyboard started no run"
wait_for 20 letters_on_screen || fail "no letters on screen"
say "Activate: menu at the pointer, Start by keyboard, flashing"

# --- 3. ContextMenu while running, Hide, Show, Stop ------------------------------------------

step="ContextMenu while running"
host_click ContextMenu
not_flashing || fail "the flash window stayed while the menu is open"
expect_menu "off on off on"
choose 2
wait_for 20 panel_hidden || fail "Hide left the panel on screen"
xwininfo -id "$wid" | grep -q IsUnMapped || fail "the panel is not hidden: $(xwininfo -id "$wid")"
wait_for 20 flashing || fail "the flashing did not resume after Hide"
say "ContextMenu: flash window closed, Stop offered; Hide: hidden and flashing"

step="Activate and Show"
host_click Activate
expect_menu "on off off on"
choose 1
wait_for 20 panel_shown || fail "Show did not bring the panel back"
wid=$(panel)
wait_for 20 flashing || fail "the flashing did not resume after Show"

step="ContextMenu and Stop"
host_click ContextMenu
expect_menu "off on off on"
choose 4
wait_for 20 not_flashing || fail "Stop left the flash window"
say "Show and Stop from the host's clicks"

# --- 4. Close ---------------------------------------------------------------------------------

step="Close"
close_program
wait_for 10 said "^gone $item\$" || fail "the icon stayed with the watcher after Close"
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
