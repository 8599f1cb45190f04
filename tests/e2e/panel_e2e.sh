#!/usr/bin/env bash
# The real program in a temporary copy of the staged application folder, under the X server
# that with-x.sh started: the window comes up with the Setup tab, the files on disk are the
# expected bytes, a second start ends at once without touching them, and the Close picture
# ends the program. Leaves a screenshot in $KESTRANE_SHOT (default: the temporary folder).
#
#   tests/e2e/with-x.sh tests/e2e/panel_e2e.sh <staged folder>
set -euo pipefail

stage=$1
work=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "panel_e2e: $*" >&2
    exit 1
}

app="$work/app"
mkdir -p "$app"
cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage"/*.so "$app/"
rm -f "$app/Images/SelectedOptions.txt"
printf '0\r\n' >"$app/Images/AutoStart.txt"
printf 'Calm;1\r\nFocus;0\r\n' >"$app/Images/SelectedPrograms.txt"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$app/kestrane" >"$work/kestrane.log" 2>&1 &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvessa$' | head -n1) ||
    fail "the window Orvessa did not appear"
sleep 0.5  # let the window manager map and the panel paint

geometry=$(xdotool getwindowgeometry "$wid")
echo "$geometry" | grep -q 'Geometry: 569x509' || fail "unexpected window size: $geometry"

shot="${KESTRANE_SHOT:-$work/shot.png}"
import -window root "$shot"
# The header band of the background picture is dark blue; the Setup page below it light.
info=$(xwininfo -id "$wid")
wx=$(echo "$info" | awk '/Absolute upper-left X/ {print $4}')
wy=$(echo "$info" | awk '/Absolute upper-left Y/ {print $4}')
pixel() { convert "$shot" -format "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]" \
    -crop "1x1+$(($1 + wx))+$(($2 + wy))" info:; echo; }
read -r r g b < <(pixel 300 30)
[ "$b" -gt 80 ] && [ "$r" -lt 80 ] || fail "header band not painted (rgb $r $g $b)"
read -r r g b < <(pixel 100 260)
[ "$r" -gt 200 ] && [ "$g" -gt 200 ] && [ "$b" -gt 200 ] || fail "Setup page not shown (rgb $r $g $b)"

expected_options=$(printf 'Color;16711680\r\nMsgduration;100\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;Arial\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;16\r\n' | od -An -tx1)
[ "$(od -An -tx1 "$app/Images/SelectedOptions.txt")" = "$expected_options" ] ||
    fail "options file: $(od -c "$app/Images/SelectedOptions.txt")"
[ "$(od -An -tx1 "$app/Images/AutoStart.txt")" = "$(printf '0\r\n' | od -An -tx1)" ] ||
    fail "flag file changed"
[ "$(od -An -tx1 "$app/Images/SelectedPrograms.txt")" = "$(printf 'Calm;1\r\nFocus;0\r\n' | od -An -tx1)" ] ||
    fail "selection file changed"

# The Setup tab's help: pointing at the help picture (top right of the Timing box) brings up
# the panel in the tool-tip colour over the right half of the page; moving over the page's
# background takes it away again. Measured as the mean colour of a patch of that half: the
# tool-tip colour is yellowish (red well above blue), the page is white and light blue.
help_patch() {
    import -window root "$work/help.png"
    convert "$work/help.png" -crop "180x240+$((wx + 310))+$((wy + 150))" \
        -format "%[fx:int(1000*(mean.r-mean.b))]" info:
}
xdotool mousemove --window "$wid" 521 141
sleep 0.5
tint=$(help_patch)
[ "$tint" -gt 40 ] || fail "help panel not shown over the Setup page (tint $tint)"
xdotool mousemove --window "$wid" 400 300  # onto the panel: it stays
sleep 0.3
tint=$(help_patch)
[ "$tint" -gt 40 ] || fail "help panel went away with the pointer on it (tint $tint)"
xdotool mousemove --window "$wid" 276 241  # the background between the two columns
sleep 0.5
tint=$(help_patch)
[ "$tint" -lt 15 ] || fail "help panel still shown over the background (tint $tint)"

# A second start ends at once and changes nothing.
before=$(cd "$app" && find . -type f -exec sha1sum {} + | sort)
timeout 20 "$app/kestrane" >"$work/second.log" 2>&1 || fail "the second start did not end by itself"
after=$(cd "$app" && find . -type f -exec sha1sum {} + | sort)
[ "$before" = "$after" ] || fail "the second start touched files"
[ "$(xdotool search --onlyvisible --name '^Orvessa$' | wc -l)" -eq 1 ] || fail "two windows"
kill -0 "$pid" || fail "the first instance ended"

# The Close picture (top right of the header) ends the program.
xdotool mousemove --window "$wid" 545 25 click 1
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then fail "Close did not end the program"; fi
wait "$pid" || fail "the program ended with an error"
pid=""
echo "panel_e2e: passed; screenshot $shot"
