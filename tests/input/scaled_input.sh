#!/usr/bin/env bash
# The control panel on scaled desktops, on a 2560x1600 screen (see setup_input.sh for the
# setting):
#
#   1. At 100, 125, 150 and 200 % the panel comes up at its size times the scale, with the
#      indicators of the position options and the autostart box whole; its three tabs are
#      kept as screenshots in the artefact folder (panel-<scale>-<tab>.png). 125 % is
#      announced as "Xft*dpi", which only the program's own reading of the resource database
#      takes; a page opened from the panel (through the desktop's opener) gets no scale of the
#      program's in its environment.
#   2. At 200 % the Setup and Programs checks of setup_input.sh and programs_input.sh run once
#      more, every position through the same layout, scaled (KESTRANE_INPUT_SCALE=2).
#   3. Two monitors with Qt factors of their own (1 and 2, and the reverse): the flashed letters
#      in the middle of the primary monitor's pixels, the primary not being the first one.
#
#   KESTRANE_X_SCREEN=2560x1600x24 tests/e2e/with-x.sh tests/input/scaled_input.sh \
#       <staged folder> <artefact folder>
name=scaled_input
source "$(dirname "$0")/lib.sh"
artefacts=$2
mkdir -p "$artefacts"

make_app
register_tray
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt 'Calm;1\r\nWork;0\r\n'
put Data/Calm.txt 'Breathe;1\r\n'
put Data/Work.txt 'Focus;1\r\n'
# The desktop's opener, which the panel's link starts for its page, records its environment.
mkdir -p "$work/bin"
printf '#!/bin/sh\nenv >"%s/opener.env"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
session_path=$PATH
export PATH="$work/bin:$PATH"

# The indicator (option circle or tick box) in a control's box is whole: the right-most column
# of its dark pixels (ring or outline) is one run. An indicator wider than its box is cut there,
# and the column crosses the ring or the box twice, above and below its light inside.
indicator_whole() {
    local l t w h ox oy
    read -r l t w h <<<"$(box_of "$1")"
    read -r ox oy < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x = $4}
        /Absolute upper-left Y/ {y = $4} END {print x, y}')
    convert "$shot" -crop "${w}x$h+$((ox + l))+$((oy + t))" +repage -colorspace Gray \
        -threshold 90% -trim +repage txt:- | awk -F'[,: ]+' 'NR > 1 {
            if ($1 > right) right = $1; if ($2 > bottom) bottom = $2
            dark[$1 "," $2] = $0 ~ /gray\(0\)/ }
        END { for (y = 0; y <= bottom; y++) { d = dark[right "," y]; runs += d && !prev; prev = d }
              exit runs != 1 }'
}

# --- 1. The panel at each scale ------------------------------------------------------------------

for scale in 1 1.25 1.5 2; do
    step="panel at $scale"
    SCALE=$scale
    xrdb -remove
    case $scale in
        1.25) echo "Xft*dpi: 120" | xrdb -merge ;;
        1.5) echo "Xft.dpi: 144" | xrdb -merge ;;
        2) echo "Xft.dpi: 192" | xrdb -merge ;;
    esac
    start_program
    size=$(xwininfo -id "$wid" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}')
    [ "$size" = "$(px 569)x$(px 509)" ] || fail "the panel is $size"
    for tab in PBMessage:setup PbEditMessages:programs PbAboutUs:about; do
        click "${tab%%:*}"
        point Image1Gap # the pointer off the tab pictures
        sleep 0.5
        import -window "$wid" "$artefacts/panel-$scale-${tab##*:}.png"
    done
    click PBMessage
    sleep 0.5
    screenshot
    for box in ChbCenter ChbTopLeft ChbTopRight ChbRandomize Check1; do
        indicator_whole "$box" || fail "the indicator of $box is cut"
    done
    if [ "$scale" = 1.25 ]; then
        click PbEditMessages
        click PbGetNewPrograms
        wait_for 10 test -s "$work/opener.env" || fail "the link started nothing"
        ! grep '^QT_SCALE_FACTOR=' "$work/opener.env" ||
            fail "the page's viewer was given the program's scale"
        click PBMessage
    fi
    close_program
    say "the panel at $scale: $size"
done

# --- 2. The Setup and Programs checks at 200 % ---------------------------------------------------

step="input checks at 200 %"
export PATH=$session_path
for script in setup_input programs_input; do
    KESTRANE_INPUT_SCALE=2 bash "$(dirname "$0")/$script.sh" "$stage" || fail "$script failed at 200 %"
done
# --- 3. Two monitors of different scales ---------------------------------------------------------

# The screen's left half (1280x800 at its top) and right half (1280x1600, the primary one) as
# two RandR monitors, with Qt's own factor for each: a centred run started at logon puts its
# letters in the middle of the primary monitor's pixels, at twice the height at 2 as at 1,
# whichever monitor has which factor.
step="two monitors"
xrdb -remove
xrandr --setmonitor Left 1280/338x800/211+0+0 none >/dev/null
xrandr --setmonitor '*Right' 1280/338x1600/423+1280+0 screen >/dev/null
put Images/SelectedOptions.txt 'Color;65280\r\nMsgduration;4000\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\nSelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;24\r\n'
put Images/AutoStart.txt '1\r\n'
# The box of the letters' green on the screen: "width height left top".
letters() {
    screenshot
    convert "$shot" -fuzz 20% -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' \
        -trim -format '%w %h %X %Y' info: 2>/dev/null | tr -d +
}
heights=()
letters_up() { read -r lw lh lx ly <<<"$(letters)" && [ "$lh" -gt 4 ]; }
for factors in 'Right=1;Left=2' 'Right=2;Left=1'; do
    QT_SCREEN_SCALE_FACTORS=$factors start_program hidden
    wait_for 30 letters_up || fail "no letters at $factors"
    kill "$pid"
    wait "$pid" || true
    pid=""
    say "letters at $factors: ${lw}x$lh at $lx,$ly"
    # Twice the letters' middle against that of the right half (1920, 800); the letters sit a
    # little right of and above the middle of their window.
    dx=$((2 * lx + lw - 3840))
    dy=$((2 * ly + lh - 1600))
    [ "${dx#-}" -le $((lh / 2)) ] && [ "${dy#-}" -le "$lh" ] ||
        fail "the letters at $factors are not in the middle of the primary monitor"
    heights+=("$lh")
done
[ $((heights[1] - 2 * heights[0])) -ge -3 ] && [ $((heights[1] - 2 * heights[0])) -le 3 ] ||
    fail "letters ${heights[0]} high at 1 are ${heights[1]} high at 2"
# The panel (569x509 at 1) is made on the primary monitor at its 2, and keeps its design at 1
# on the other monitor when moved there.
put Images/AutoStart.txt '0\r\n'
panel_size() { xdotool getwindowgeometry --shell "$(panel)" | awk -F= '/^(WIDTH|HEIGHT)/ { printf "%s ", $2 }'; }
panel_is() { [ "$(panel_size)" = "$1 $2 " ]; }
QT_SCREEN_SCALE_FACTORS='Right=2;Left=1' start_program
wait_for 10 panel_is 1138 1018 || fail "the panel at 2 is $(panel_size)"
xdotool windowmove "$(panel)" 100 100
wait_for 10 panel_is 569 509 || fail "the panel moved to 1 is $(panel_size)"
kill "$pid"
wait "$pid" || true
pid=""
say "panel 1138x1018 on the monitor at 2, 569x509 on the one at 1"
xrandr --delmonitor Left
xrandr --delmonitor Right

[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
