# Shared by the real-input tests: a temporary copy of the staged application folder, the
# program started from it, the control panel's layout in twips, real clicks and keys through
# xdotool, what the panel's boxes and message boxes hold (read through the clipboard, as a user
# would copy it), file bytes and screenshots. Sourced by each script after it sets `name`.
set -euo pipefail

stage=$1
work=$(mktemp -d)
pid=""
app="$work/app"
step="start"
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
# With KESTRANE_INPUT_KEEP_GOING=1 a failed check is reported and the run goes on, so that
# one run against a changed program shows every check it fails.
failures=0
fail() {
    echo "$name: [$step] $*" >&2
    if [ "${KESTRANE_INPUT_KEEP_GOING:-0}" = 1 ]; then
        failures=$((failures + 1))
        return 0
    fi
    if [ -n "${KESTRANE_E2E_DUMP:-}" ]; then
        import -window root "$KESTRANE_E2E_DUMP/$name-fail.png" 2>/dev/null || true
    fi
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 30 "$log" >&2; }
    done
    exit 1
}
say() { echo "$name: ${SECONDS}s: $*" >&2; }

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

# --- The application folder and the program ---------------------------------------------------

# A fresh application folder from the staged one; the state files are the test's to write.
make_app() {
    rm -rf "$app"
    mkdir -p "$app"
    cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage"/*.so "$app/"
    if [ -e "$stage/regsvr" ]; then cp "$stage/regsvr" "$app/"; fi
    rm -f "$app"/Images/*.txt "$app"/Data/*
    # A folder the program cannot write keeps its state in the per-user folder instead.
    export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME"
    chmod 700 "$XDG_RUNTIME_DIR"
}
# Registers the tray library in the private registry, so that the program has its tray icon.
register_tray() {
    "$app/regsvr" -s "$app/libquorvil.so" >"$work/regsvr.log" 2>&1 || fail "regsvr failed"
}
# Writes a file of the application folder with exactly these bytes (printf escapes allowed).
put() { printf "$2" >"$app/$1"; }
# A file's bytes equal the given printf text (CR LF included).
bytes_are() { [ "$(od -An -tx1 -v "$app/$1")" = "$(printf "$2" | od -An -tx1 -v)" ]; }
expect_file() {
    wait_for "${3:-10}" bytes_are "$1" "$2" || fail "$1 holds: $(od -c "$app/$1" | head -n 6)"
}
# Every file of the application folder with its size, time and checksum. (The autostart
# setting, which start-up applies, lives in the private registry, outside.)
# (expect_same prints what differs from an earlier snapshot.)
expect_same() {
    local now
    now=$(snapshot)
    [ "$now" = "$1" ] || fail "$2: $(diff <(echo "$1") <(echo "$now") | grep '^[<>]' | head -n 6)"
}
# A flag file holding 0 is written again at every start (with the same bytes): its time is
# left out; so is the empty file whose lock marks the folder as in use.
snapshot() {
    (cd "$work" && find app -type f ! -name kestrane ! -name AutoStart.txt \
        ! -name .kestrane-instance.lock -exec stat -c '%n %s %Y' {} + | sort &&
        find app -type f ! -name .kestrane-instance.lock -exec sha1sum {} + | sort)
}

panel() { xdotool search --onlyvisible --name '^Orvessa$' 2>/dev/null | awk '!n++' || true; }
panel_shown() { [ -n "$(panel)" ]; }
panel_hidden() { [ -z "$(panel)" ]; }
running() { [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; }
ended() { ! running; }

# Starts the program (as $KESTRANE_AS_USER when set) and, unless told "hidden", waits for the
# panel, activates it and lets it paint.
start_program() {
    local as=()
    [ -n "${KESTRANE_AS_USER:-}" ] && as=(setpriv --reuid="$KESTRANE_AS_USER" \
        --regid="$(id -g "$KESTRANE_AS_USER")" --clear-groups --)
    "${as[@]}" "$app/kestrane" >"$work/kestrane-$SECONDS.log" 2>&1 &
    pid=$!
    [ "${1:-}" = hidden ] && return 0
    wait_for 30 panel_shown || fail "the panel did not come up"
    wid=$(panel)
    xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
    sleep 0.8
}
close_program() {
    click close1
    # (Going on after a failed check, the program is ended here: waiting for it would hang.)
    wait_for 30 ended || { fail "Close did not end the program"; kill "$pid"; }
    wait "$pid" || fail "the program ended with an error"
    pid=""
}

# --- The panel's layout -----------------------------------------------------------------------

# On a scaled desktop (KESTRANE_INPUT_SCALE=2 on a 2560x1600 screen, say) the X server announces
# the scale as GNOME and KDE do, Xft.dpi (96 times the scale), and every position below is in
# the screen's pixels: the panel's pixels times the scale.
SCALE=${KESTRANE_INPUT_SCALE:-1}
if [ "$SCALE" != 1 ]; then
    echo "Xft.dpi: $(awk -v s="$SCALE" 'BEGIN { print 96 * s }')" | xrdb -merge
fi
# The screen's pixels for a length in the panel's pixels.
px() { awk -v v="$1" -v s="$SCALE" 'BEGIN { printf "%d\n", int(v * s + 0.5) }'; }

# Name, page and left/top/width/height in twips; a page's controls lie inside the page at
# (165, 1815). 15 twips make a pixel of the panel. Image1Gap and Image2Spot are spots of the Setup and
# Programs pages' backgrounds.
layout() {
    cat <<'EOF'
hide1 - 7650 135 300 465
close1 - 8010 150 345 465
PbStart - 7140 720 1275 450
PBMessage - 165 1530 975 300
PbEditMessages - 1185 1530 975 300
PbAboutUs - 2205 1530 975 300
PbGetNewPrograms - 6915 1500 1425 315
ClbCategories P 435 810 3285 2085
TxtMessageDuration P 5505 825 585 285
PbDfSecUp P 6075 810 240 120
PbDfSecDown P 6075 960 240 120
txtTimeBetweenMessages P 5655 1920 540 285
PbDiEvSecUp P 6165 1890 240 120
PbDiEvSecDown P 6180 2055 240 120
ChbCenter P 4560 2955 165 195
ChbTopLeft P 5685 2955 165 195
ChbTopRight P 4560 3180 165 195
ChbRandomize P 5685 3180 165 195
CboScreen P 5340 2565 2370 330
PbViewScript P 420 3465 915 315
PbColor P 1455 3465 915 315
PBFont P 2490 3465 915 315
LstBoxViewScript P 420 3795 3015 1395
Check1 P 480 4665 180 195
PbTest P 5445 4035 915 315
LblWhiteTemp P 4470 4440 3390 780
PbSetUpHelp P 7500 150 300 300
Image1Gap P 3900 1725 150 150
TxtSetUpHelp P 4290 75 3525 5010
TxtCategory P 210 450 3600 330
Pbcadd P 210 870 825 315
PbRename P 1125 870 825 315
PbcDelete P 2040 870 825 315
PbImport P 2955 870 825 315
LstBoxCategories P 210 1290 3600 3210
TxtMessage P 4170 450 3720 330
PbMadd P 4170 870 825 315
PbMEdit P 5130 870 825 315
PbMdelete P 6090 870 825 315
PbExclude P 7050 870 825 315
ClbMessages P 4170 1290 3720 3210
PbHelpPrograms P 7470 105 300 300
TxtHelpProgramPanel P 4215 60 3600 5010
Image2Spot P 2025 4875 150 150
EOF
}
# A control's box in the window's screen pixels: "left top width height".
box_of() {
    layout | awk -v n="$1" -v s="$SCALE" 'function px(twips) { return int(int(twips / 15 + 0.5) * s + 0.5) }
        $1 == n { l = $3 + ($2 == "P" ? 165 : 0); t = $4 + ($2 == "P" ? 1815 : 0)
        printf "%d %d %d %d\n", px(l), px(t), px($5), px($6); found = 1 }
        END { exit !found }' || fail "no control $1"
}
# A point of a control in the window's screen pixels: its middle, or (dx, dy) panel pixels from
# its top left.
point_of() {
    local l t w h
    read -r l t w h <<<"$(box_of "$1")"
    if [ $# -ge 3 ]; then
        echo "$((l + $(px "$2"))) $((t + $(px "$3")))"
    else
        echo "$((l + w / 2)) $((t + h / 2))"
    fi
}
# A real click on a control (its middle, or at an offset in pixels from its top left).
click() {
    local x y
    read -r x y <<<"$(point_of "$@")"
    xdotool mousemove --window "$wid" "$x" "$y" sleep 0.1 click 1 sleep 0.2
}
# The pointer onto a control without a click.
point() {
    local x y
    read -r x y <<<"$(point_of "$@")"
    xdotool mousemove --window "$wid" "$x" "$y" sleep 0.3
}
# Row i (from 0) of a list: the row's middle, at x pixels from the list's left (default 60).
ROW_PX=14
click_row() {
    click "$1" "${3:-60}" $((2 + ROW_PX * $2 + ROW_PX / 2))
}
keys() { xdotool key --delay 60 "$@"; sleep 0.2; }
# The non-ASCII letters the tests type get keys of their own, once: xdotool would otherwise
# map a spare key for each of them just before pressing it, and a client that has not yet seen
# the new mapping reads the press as nothing.
keymap_letters() {
    local code=200 sym
    for sym in adiaeresis odiaeresis udiaeresis ssharp endash EuroSign; do
        xmodmap -e "keycode $code = $sym" || fail "xmodmap failed"
        code=$((code + 1))
    done
    sleep 0.5
}
typed() { xdotool type --delay 60 "$1"; sleep 0.2; }

# --- What the panel shows ---------------------------------------------------------------------

# What the focused text box holds: selected whole and copied, read from the clipboard.
clip_reset() { printf 'none' | xclip -selection clipboard -i >/dev/null 2>&1; }
clipboard() { xclip -selection clipboard -o 2>/dev/null || true; }
box_text() {
    clip_reset
    keys ctrl+a ctrl+c End
    clipboard
}
# (Copying an empty box copies nothing: the clipboard then keeps "none".)
expect_box() {
    local got
    got=$(box_text)
    [ -z "$1" ] && [ "$got" = none ] && got=""
    [ "$got" = "$1" ] || fail "the box holds \"$got\", not \"$1\""
}

# A message box "Veltrane" is up.
msgbox() { xdotool search --onlyvisible --name '^Veltrane$' 2>/dev/null | awk '!n++' || true; }
msgbox_up() { [ -n "$(msgbox)" ]; }
window_gone() { [ -z "$1" ] || ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
no_msgbox() { [ -z "$(msgbox)" ]; }
# Waits for the message box, checks its text (selected and copied) and answers it with the
# given key (Return or Escape).
answer() {
    local text=$1 key=$2 box got
    wait_for 15 msgbox_up || fail "no message box \"$text\""
    box=$(msgbox)
    [ -n "$box" ] || return 0
    xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
    sleep 0.3
    clip_reset
    # A click on the text (top left of the box) gives it the focus; it is selectable.
    xdotool mousemove --window "$box" "$(px 60)" "$(px 14)" click 1 sleep 0.2 key ctrl+a ctrl+c
    sleep 0.3
    got=$(clipboard)
    [[ "$got" == *"$text"* ]] || fail "the message box says \"$got\", not \"$text\""
    xdotool key "$key"
    # (Another box may follow at once: this one must go.)
    wait_for 15 window_gone "$box" || fail "the message box \"$text\" stayed after $key"
    sleep 0.3
}
# A dialog window with this title comes up; answered with a key.
dialog_up() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
dialog_gone() { ! dialog_up "$1"; }
answer_dialog() {
    wait_for 15 dialog_up "$1" || fail "no dialog \"$1\""
    sleep 0.5
    xdotool key "$2"
    wait_for 15 dialog_gone "$1" || fail "the dialog \"$1\" stayed after $2"
    sleep 0.3
}

shot="$work/shot.png"
screenshot() { import -window root "$shot"; }
# The mean of (red - blue) over a control's box in the last screenshot, in thousandths: the
# tool-tip colour of the pop-ups is yellowish, the page white and light blue.
tint_of() {
    local l t w h ox oy
    read -r l t w h <<<"$(box_of "$1")"
    read -r ox oy < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x = $4}
        /Absolute upper-left Y/ {y = $4} END {print x, y}')
    local m
    m=$(px 4) # a margin inside the box, clear of its frame
    convert "$shot" -crop "$((w - 2 * m))x$((h - 2 * m))+$((ox + l + m))+$((oy + t + m))" \
        -format "%[fx:int(1000*(mean.r-mean.b))]" info:
}
popup_shown() { screenshot && [ "$(tint_of "$1")" -gt 40 ]; }
popup_hidden() { screenshot && [ "$(tint_of "$1")" -lt 15 ]; }
# The darkest grey in a control's box of a fresh screenshot, in thousandths.
darkest_in() {
    local l t w h ox oy
    screenshot
    read -r l t w h <<<"$(box_of "$1")"
    read -r ox oy < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x = $4}
        /Absolute upper-left Y/ {y = $4} END {print x, y}')
    local m
    m=$(px 2)
    convert "$shot" -crop "$((w - 2 * m))x$((h - 2 * m))+$((ox + l + m))+$((oy + t + m))" \
        -colorspace Gray -format "%[fx:int(1000*minima)]" info:
}

# --- The tray icon and its menu -----------------------------------------------------------------

tree() { xwininfo -root -tree 2>/dev/null; }
# The program's windows of its own class: the tray icon (small, inside the tray host) and the
# popup menu (top-level). Prints "id width height x y" per window.
kestrane_windows() {
    tree | awk '/"kestrane": \("kestrane" "kestrane"\)/ {
        split($5, g, /[x+]/); split($6, a, /\+/); print $1, g[1], g[2], a[2], a[3] }'
}
icon_geometry() { kestrane_windows | awk '$2 <= 48 && $3 <= 48 && !n++'; }
menu_geometry() { kestrane_windows | awk '$2 > 48 && $3 > 48 && !n++'; }
has_icon() { [ -n "$(icon_geometry)" ]; }
menu_open() { [ -n "$(menu_geometry)" ]; }
menu_closed() { [ -z "$(menu_geometry)" ]; }
# grep reads the whole tree: under pipefail an early exit (-q) would fail xwininfo with SIGPIPE.
flashing() { tree | grep '"messagesform"' >/dev/null; }
not_flashing() { ! flashing; }

# Presses on the tray icon and waits for the menu.
# A tray host that has just come up may still be placing the icon it took in (under a busy
# compositor, seconds after the icon's window exists): a click that finds no menu is made
# again where the icon is then.
press_icon() {
    local id w h x y try
    wait_for 20 has_icon || fail "no tray icon"
    for try in 1 2 3; do
        read -r id w h x y <<<"$(icon_geometry)"
        xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
        wait_for 8 menu_open && break
        [ "$try" -lt 3 ] || fail "the tray menu did not open"
    done
    sleep 0.3
}
# The four entries Show, Hide, Start, Stop of the open menu as "on"/"off" (greyed), judged by
# their darkest pixel.
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
expect_menu() {
    local got
    got=$(menu_entries)
    [ "$got" = "$1" ] || fail "menu entries (Show Hide Start Stop): $got, not $1"
}
# Clicks entry n (1 Show, 2 Hide, 3 Start, 4 Stop) of the open menu; it closes.
choose() {
    local id w h x y row
    read -r id w h x y <<<"$(menu_geometry)"
    row=$((h / 4))
    xdotool mousemove --sync $((x + w / 2)) $((y + ($1 - 1) * row + row / 2)) click 1
    wait_for 20 menu_closed || fail "the tray menu did not close"
    sleep 0.3
}
