#!/usr/bin/env bash
# The whole program as a user meets it, under the X server, window manager and tray host that
# with-x.sh started: a copy of the staged application folder with the tray library registered
# in a private per-user registry, driven with real clicks (xdotool) and checked on screen
# (screenshots) and on disk (bytes) at each step.
#
#   1. Autostart off: the panel comes up and the icon is in the tray.
#   2. A category ticked and Start: green letters flash in the middle of the screen, and a click
#      on them reaches the panel beneath.
#   3. A press on the icon: the flash window closes and the menu offers Stop, not Start.
#   4. Hide: the panel goes, the flashing resumes. Show: the panel is back, still flashing.
#   5. Stop: the flashing ends. Close: the icon goes, the program ends, the options are saved.
#   6. Autostart on with a category listed: hidden in the tray and flashing; a second start
#      ends at once and changes no file; Show and Close end it.
#
# If KESTRANE_SCREENSHOT names a file, the panel's Setup tab is saved there as a PNG.
#
#   tests/e2e/with-x.sh tests/e2e/journey_e2e.sh <staged folder>
set -euo pipefail

stage=$1
work=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
step="start"
fail() {
    echo "journey_e2e: [$step] $*" >&2
    if [ -n "${KESTRANE_E2E_DUMP:-}" ]; then
        import -window root "$KESTRANE_E2E_DUMP/journey-fail.png" 2>/dev/null || true
    fi
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 40 "$log" >&2; }
    done
    exit 1
}
say() { echo "journey_e2e: ${SECONDS}s: $*" >&2; }

# Polls a command until it succeeds, for at most $1 seconds.
wait_for() {
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    while ! "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# --- The application folder -------------------------------------------------------------------

app="$work/app"
mkdir -p "$app"
cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage/regsvr" "$stage"/*.so \
    "$app/"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$app/regsvr" -s "$app/libquorvil.so" >"$work/regsvr.log" 2>&1 || fail "regsvr failed"

options=$'Color;65280\r\nMsgduration;900\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n'
printf '%s' "$options" >"$app/Images/SelectedOptions.txt"
printf '0\r\n' >"$app/Images/AutoStart.txt"
printf 'Words;0\r\n' >"$app/Images/SelectedPrograms.txt"
printf 'MMMM;1\r\nnot this;0\r\n' >"$app/Data/Words.txt"

# A file's bytes equal the given text (CR LF included).
bytes_are() { [ "$(od -An -tx1 -v "$1")" = "$(printf '%s' "$2" | od -An -tx1 -v)" ]; }
check_file() {
    bytes_are "$app/$1" "$2" || fail "$1 holds $(od -c "$app/$1" | head -n 5)"
}
check_files() {
    check_file Images/SelectedOptions.txt "$options"
    check_file Images/AutoStart.txt "$1"
    check_file Images/SelectedPrograms.txt "$2"
    check_file Data/Words.txt $'MMMM;1\r\nnot this;0\r\n'
}

# --- Windows, the tray icon and the menu ------------------------------------------------------

tree() { xwininfo -root -tree 2>/dev/null; }
# The program's windows named "kestrane" of its own class: the tray icon (small, inside the
# tray host) and the popup menu (top-level). Prints "id width height x y" per window.
kestrane_windows() {
    tree | awk '/"kestrane": \("kestrane" "kestrane"\)/ {
        split($5, g, /[x+]/); split($6, a, /\+/); print $1, g[1], g[2], a[2], a[3] }'
}
# (The filters read their whole input: with pipefail, a writer cut off early would fail.)
icon_geometry() { kestrane_windows | awk '$2 <= 48 && $3 <= 48 && !n++'; }
icon_count() { kestrane_windows | awk '$2 <= 48 && $3 <= 48' | wc -l; }
menu_geometry() { kestrane_windows | awk '$2 > 48 && $3 > 48 && !n++'; }
has_icon() { [ -n "$(icon_geometry)" ]; }
no_icon() { [ -z "$(icon_geometry)" ]; }
menu_open() { [ -n "$(menu_geometry)" ]; }
menu_closed() { [ -z "$(menu_geometry)" ]; }
flash_window() { tree | awk '/"messagesform"/ && !n++ {print $1}'; }
flashing() { [ -n "$(flash_window)" ]; }
not_flashing() { [ -z "$(flash_window)" ]; }
panel() { xdotool search --onlyvisible --name '^Orvessa$' 2>/dev/null | awk '!n++' || true; }
panel_shown() { [ -n "$(panel)" ]; }
panel_hidden() { [ -z "$(panel)" ]; }
running() { kill -0 "$pid" 2>/dev/null; }
ended() { ! running; }

shot="$work/shot.png"
screenshot() { import -window root "$shot"; }
# The box "WxH+X+Y" of the pure green pixels of the last screenshot, nothing when there are none.
letters_box() {
    local box
    box=$(convert "$shot" -fuzz 22% -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
        -format '%@' info: 2>/dev/null)
    case "$box" in
        0x0* | "") ;;
        *) echo "$box" ;;
    esac
}
letters_on_screen() { screenshot && [ -n "$(letters_box)" ]; }
# One pure green pixel of the last screenshot as "x y", inside the given box.
letter_pixel() {
    local w h x y
    IFS='x+' read -r w h x y <<<"$1"
    convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- |
        awk -v ox="$x" -v oy="$y" -F'[,: ()]+' 'NR > 1 && $3 < 40 && $4 > 230 && $5 < 40 && !n++ {
            print $1 + ox, $2 + oy }'
}
# Whether the pixel (x, y) of the screen is pure green now (a fresh capture of that pixel).
letter_at() {
    import -window root -crop "1x1+$1+$2" +repage "$work/pixel.png"
    convert "$work/pixel.png" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' \
        info: | awk '{ exit !($1 < 40 && $2 > 230 && $3 < 40) }'
}
no_letter_at() { ! letter_at "$@"; }

# Presses on the tray icon (a real click in its middle) and waits for the menu.
press_icon() {
    local id w h x y
    read -r id w h x y <<<"$(icon_geometry)"
    [ -n "$id" ] || fail "no tray icon to press"
    xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
    wait_for 20 menu_open || fail "the tray menu did not open"
    sleep 0.3 # let the menu paint
}
# The four entries of the open menu as "on"/"off" (greyed), judged by their darkest pixel.
menu_entries() {
    local id w h x y i row out=""
    read -r id w h x y <<<"$(menu_geometry)"
    screenshot
    row=$((h / 4))
    for i in 0 1 2 3; do
        if convert "$shot" -crop "$((w - 12))x$((row - 4))+$((x + 6))+$((y + i * row + 2))" \
            -colorspace Gray -format '%[fx:minima]' info: | awk '{ exit !($1 < 0.3) }'; then
            out+="on "
        else
            out+="off "
        fi
    done
    echo "${out% }"
}
# Clicks entry n (1 to 4) of the open menu and waits until it has closed.
choose() {
    local id w h x y row
    read -r id w h x y <<<"$(menu_geometry)"
    row=$((h / 4))
    xdotool mousemove --sync $((x + w / 2)) $((y + ($1 - 1) * row + row / 2)) click 1
    wait_for 20 menu_closed || fail "the tray menu did not close"
}

start_program() {
    "$app/kestrane" >"$work/kestrane-$1.log" 2>&1 &
    pid=$!
}
close_program() {
    local wid
    wid=$(panel)
    [ -n "$wid" ] || fail "no panel to close"
    xdotool mousemove --window "$wid" 545 25 click 1
    wait_for 30 ended || fail "Close did not end the program"
    wait "$pid" || fail "the program ended with an error"
    pid=""
}

# --- 1. Autostart off: the panel and the icon --------------------------------------------------

step="start-up"
start_program first
wait_for 30 panel_shown || fail "the panel did not come up"
wait_for 20 has_icon || fail "no icon in the tray"
wid=$(panel)
sleep 0.5 # let the panel paint
screenshot
[ -z "$(letters_box)" ] || fail "green on screen before any run: $(letters_box)"
not_flashing || fail "a flash window before Start"
check_files $'0\r\n' $'Words;0\r\n'
if [ -n "${KESTRANE_SCREENSHOT:-}" ]; then
    read -r px py < <(xwininfo -id "$wid" |
        awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4} END {print x, y}')
    convert "$shot" -crop "569x509+$px+$py" +repage -strip PNG8:"$KESTRANE_SCREENSHOT"
fi
say "panel shown, icon in the tray"

# --- 2. Tick the category and Start ------------------------------------------------------------

step="tick and Start"
# The tick box of the first entry of the category list.
xdotool mousemove --window "$wid" 50 182 click 1
wait_for 20 bytes_are "$app/Images/SelectedPrograms.txt" $'Words;1\r\n' ||
    fail "ticking did not reach the selection file: $(od -c "$app/Images/SelectedPrograms.txt")"
# The Start picture.
xdotool mousemove --window "$wid" 518 63 click 1
wait_for 20 flashing || fail "no flash window after Start"
wait_for 20 letters_on_screen || fail "no green letters came up"
box=$(letters_box)
read -r bw bh bx by <<<"${box//[x+]/ }"
[ "$bw" -ge 60 ] && [ "$bh" -ge 15 ] || fail "letters too small: $box"
# Centred on the 1280x800 screen.
cx=$((bx + bw / 2))
cy=$((by + bh / 2))
[ $((cx > 640 ? cx - 640 : 640 - cx)) -le 8 ] && [ $((cy > 400 ? cy - 400 : 400 - cy)) -le 10 ] ||
    fail "letters not centred: $box"
# The pointer over a letter is over the panel beneath as far as the X server is concerned, and
# a click there leaves the focus with the panel.
flash=$(flash_window)
read -r rx ry <<<"$(letter_pixel "$box")"
[ -n "$rx" ] || fail "no pure green pixel in $box"
xdotool mousemove --sync "$rx" "$ry"
passed=""
for _ in $(seq 1 10); do
    # From the start of a display phase, so that the pointer test falls within it.
    wait_for 10 no_letter_at "$rx" "$ry" || fail "the letters did not go in the pause"
    wait_for 10 letter_at "$rx" "$ry" || fail "the letters did not come back"
    under=$(xdotool getmouselocation --shell | awk -F= '/^WINDOW=/ {print $2}')
    if letter_at "$rx" "$ry"; then
        [ "$((under))" -ne "$((flash))" ] || fail "the pointer on a letter is over the flash window"
        xdotool click 1
        passed=yes
        break
    fi
done
[ -n "$passed" ] || fail "could not point at a letter while it was shown"
sleep 0.3
[ "$(xdotool getwindowfocus)" = "$wid" ] || fail "the click on the letters moved the focus"
check_files $'0\r\n' $'Words;1\r\n'
say "flashing green letters; clicks pass through"

# --- 3. Press on the icon: the flash window closes, Stop is offered ---------------------------

step="press while running"
press_icon
not_flashing || fail "the flash window stayed while the menu is open"
entries=$(menu_entries)
[ "$entries" = "off on off on" ] || fail "menu entries (Show Hide Start Stop): $entries"
say "menu open with Stop offered; flash window closed"

# --- 4. Hide, then Show ------------------------------------------------------------------------

step="Hide"
choose 2
wait_for 20 panel_hidden || fail "the panel did not hide"
wait_for 20 flashing || fail "the flashing did not resume after Hide"
wait_for 20 letters_on_screen || fail "no letters after Hide"
running || fail "the program ended"
say "hidden, flashing"

step="Show"
press_icon
entries=$(menu_entries)
[ "$entries" = "on off off on" ] || fail "menu entries after Hide: $entries"
choose 1
wait_for 20 panel_shown || fail "the panel did not come back"
wid=$(panel)
xwininfo -id "$wid" | grep -q 'Map State: IsViewable' || fail "the panel is not viewable"
xprop -id "$wid" _NET_WM_STATE | grep -q 'HIDDEN\|MAXIMIZED' && fail "the panel is not normal"
wait_for 20 flashing || fail "the flashing did not resume after Show"
wait_for 20 letters_on_screen || fail "no letters after Show"
say "shown, flashing"

# --- 5. Stop and Close -------------------------------------------------------------------------

step="Stop"
press_icon
entries=$(menu_entries)
[ "$entries" = "off on off on" ] || fail "menu entries after Show: $entries"
choose 4
wait_for 20 not_flashing || fail "the flash window stayed after Stop"
sleep 2.2 # more than one whole cycle of pause and message
screenshot
[ -z "$(letters_box)" ] || fail "letters after Stop: $(letters_box)"
press_icon
entries=$(menu_entries)
[ "$entries" = "off on on off" ] || fail "menu entries after Stop: $entries"
xdotool key Escape
wait_for 20 menu_closed || fail "the menu did not close"
not_flashing || fail "a flash window after closing the menu while stopped"
check_files $'0\r\n' $'Words;1\r\n'
say "stopped"

step="Close"
saved=$(stat -c %y "$app/Images/SelectedOptions.txt")
sleep 0.05
close_program
no_icon || fail "the icon stayed in the tray"
[ "$(stat -c %y "$app/Images/SelectedOptions.txt")" != "$saved" ] || fail "Close did not save"
check_files $'0\r\n' $'Words;1\r\n'
say "closed: icon gone, options saved"

# --- 6. Autostart on -------------------------------------------------------------------------

step="autostart"
printf '1\r\n' >"$app/Images/AutoStart.txt"
start_program second
wait_for 20 has_icon || fail "no icon in the tray"
wait_for 20 flashing || fail "not flashing after an autostart start"
wait_for 20 letters_on_screen || fail "no letters after an autostart start"
panel_hidden || fail "the panel is on screen"
check_files $'1\r\n' $'Words;1\r\n'
say "autostart: hidden in the tray, flashing"

step="second start"
snapshot() { (cd "$work" && find app config -type f -exec sha1sum {} + | sort); }
before=$(snapshot)
# It hands over to the running one and ends; a hang is caught by the timeout, its time is not
# a test's to judge.
timeout 60 "$app/kestrane" >"$work/kestrane-third.log" 2>&1 || fail "the second start failed or hung"
[ "$(snapshot)" = "$before" ] || fail "the second start changed files"
running || fail "the first instance ended"
[ "$(icon_count)" -eq 1 ] || fail "$(icon_count) tray icons"
panel_hidden || fail "the second start brought the panel up"
say "second start ended at once, no file changed"

step="Show and Close"
press_icon
entries=$(menu_entries)
[ "$entries" = "on off off on" ] || fail "menu entries while hidden and running: $entries"
choose 1
wait_for 20 panel_shown || fail "the panel did not come up"
close_program
no_icon || fail "the icon stayed in the tray"
not_flashing || fail "the flash window outlived the program"
check_files $'1\r\n' $'Words;1\r\n'
say "passed"
