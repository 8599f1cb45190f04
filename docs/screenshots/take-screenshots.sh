#!/usr/bin/env bash
# Takes the screenshots of the AppStream record (packaging/org.kestrane.kestrane.metainfo.xml)
# from the real program on a 1280x720 virtual screen with a window manager and a tray host:
# panel.png, the control panel as it first comes up, and flash.png, a message flashed while
# the panel is open. Their names stay the same from release to release.
#
#   KESTRANE_X_SCREEN=1280x720x24 tests/e2e/with-x.sh dbus-run-session -- \
#       bash docs/screenshots/take-screenshots.sh <staged application folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r "$1" "$work/app"
app="$work/app"
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || { echo "take-screenshots: timed out: $*" >&2; exit 1; }
        sleep 0.1
    done
}
panel() { xdotool search --onlyvisible --name '^Orvessa$' 2>/dev/null | head -n1; }
has_panel() { [ -n "$(panel)" ]; }

xsetroot -solid '#3b6e8f'
# The tray library registered for this copy alone, so that the tray icon shows.
export XDG_CONFIG_HOME="$work/config"
"$app/regsvr" -s "$app/libquorvil.so"
# The shipped programs and settings, with larger letters for the flash.
rm -f "$app/Images/SelectedOptions.txt"
printf '0\r\n' >"$app/Images/AutoStart.txt"
"$app/kestrane" >"$work/kestrane.log" 2>&1 &
pid=$!
wait_for 30 has_panel
wid=$(panel)
xdotool windowmove --sync "$wid" 355 120
sleep 2
import -window root "$here/panel.png"

# A message, held on the screen long enough to be caught, in white over the desktop beside the
# panel: options written while the program is away, then a run through --start.
"$app/kestrane" --quit
wait "$pid" || true
printf 'Color;16777215\r\nMsgduration;900\r\nTimeBtnMsgs;1\r\nMsgOption;Top Left\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;28\r\n' \
    >"$app/Images/SelectedOptions.txt"
"$app/kestrane" --start >>"$work/kestrane.log" 2>&1 &
pid=$!
wait_for 30 has_panel
wid=$(panel)
xdotool windowmove --sync "$wid" 680 150
# White letters left of the panel: the screenshot is taken again until it shows them.
letters() {
    import -window root "$work/shot.png"
    [ "$(convert "$work/shot.png" -crop 660x720+0+0 -fill black +opaque white -fill white \
        -opaque white -format '%[fx:round(mean*w*h)]' info:)" -gt 500 ]
}
wait_for 30 letters
cp "$work/shot.png" "$here/flash.png"
"$app/kestrane" --quit
wait "$pid" || true
pid=""
echo "take-screenshots: $here/panel.png $here/flash.png" >&2
