#!/usr/bin/env bash
# Failing writes as a user meets them in the real program, under the X server that with-x.sh
# started, from a temporary copy of the staged application folder:
#
#   1. Rename with a write-protected selection file: a message box comes up, no file changes
#      (the category stays listed under its old name with its messages), the program goes on.
#   2. Two copies of the program (two installed folders) sharing one per-user folder, the second
#      started from another environment (another runtime folder) while the first runs: the
#      second ends at once, saying why, shows no window and changes no file.
#   3. Close on a full disk (the Images folder on a small, filled tmpfs; needs root to mount):
#      a message box comes up and the program stays open; with room again, Close saves the
#      options and ends the program.
#
#   tests/e2e/with-x.sh tests/e2e/data_safety_e2e.sh <staged folder>
set -euo pipefail

stage=$1
work=$(mktemp -d)
pid=""
mounted=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    if [ -n "$mounted" ]; then umount "$mounted" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "data_safety_e2e: $*" >&2
    [ -s "$work/kestrane.log" ] && tail -n 40 "$work/kestrane.log" >&2
    exit 1
}
say() { echo "data_safety_e2e: $*" >&2; }

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

app="$work/app"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$app" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage"/*.so "$app/"
printf '0\r\n' >"$app/Images/AutoStart.txt"
printf 'Calm;1\r\nFocus;0\r\n' >"$app/Images/SelectedPrograms.txt"

# Every state file with its checksum, to compare before and after.
files() { (cd "$app" && find Data Images -type f ! -name filler -print0 | sort -z | xargs -0 md5sum); }

start() {
    "$app/kestrane" >>"$work/kestrane.log" 2>&1 &
    pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvessa$' | head -n1) ||
        fail "the window Orvessa did not appear"
    sleep 0.5  # let the window manager map and the panel paint
}
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep 0.3; }
message_box() { xdotool search --onlyvisible --name '^Veltrane$' >/dev/null 2>&1; }
dismiss() {
    local box
    box=$(xdotool search --onlyvisible --name '^Veltrane$' | head -n1)
    if [ -n "${KESTRANE_E2E_DUMP:-}" ]; then
        import -window "$box" "$KESTRANE_E2E_DUMP/data-safety-$1.png" 2>/dev/null || true
    fi
    xdotool windowactivate --sync "$box" key Return
    wait_for 10 bash -c '! xdotool search --onlyvisible --name "^Veltrane\$" >/dev/null 2>&1' ||
        fail "the message box did not go"
}
running() { kill -0 "$pid" 2>/dev/null; }

# --- 1. Rename with a write-protected selection file ------------------------------------------

start
# The file is write-protected while the program runs, so that nothing else writes it first.
chmod 444 "$app/Images/SelectedPrograms.txt"
before=$(files)
click 111 112  # the Programs tab
click 85 215   # the first category, Calm
click 145 162  # its name box
xdotool key ctrl+a type --delay 30 Quiet
sleep 0.3
! message_box || fail "a message box before Rename"
click 113 189  # Rename
wait_for 10 message_box || fail "Rename with a write-protected selection file said nothing"
[ "$(files)" = "$before" ] || fail "Rename changed files: $(diff <(echo "$before") <(files))"
[ -f "$app/Data/Calm.txt" ] && [ ! -e "$app/Data/Quiet.txt" ] || fail "the category moved"
dismiss rename
running || fail "the program ended after the failed Rename"
say "rename with a write-protected selection file: reported, nothing changed"
chmod 644 "$app/Images/SelectedPrograms.txt"
click 545 25  # Close
wait_for 20 bash -c "! kill -0 $pid 2>/dev/null" || fail "Close did not end the program"
pid=""

# --- 2. Two copies sharing one per-user folder -----------------------------------------------

share="$work/share"
for copy in one two; do
    mkdir -p "$work/$copy"
    cp -r "$stage/Images" "$stage/Data" "$stage/kestrane" "$stage"/*.so "$work/$copy/"
    printf '.\n' >"$work/$copy/installed.txt"  # an installed folder: state in the per-user one
done
mkdir -p "$share/kestrane/Images"
printf '0\r\n' >"$share/kestrane/Images/AutoStart.txt"
userfiles() { (cd "$share" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
XDG_DATA_HOME="$share" "$work/one/kestrane" >>"$work/kestrane.log" 2>&1 &
pid=$!
timeout 20 xdotool search --sync --onlyvisible --name '^Orvessa$' >/dev/null ||
    fail "the first copy's window did not appear"
sleep 0.5
[ -f "$share/kestrane/Data/Calm.txt" ] || fail "the per-user folder was not filled"
before=$(userfiles)
mkdir -p "$work/run2" && chmod 700 "$work/run2"
second_status=0
XDG_DATA_HOME="$share" XDG_RUNTIME_DIR="$work/run2" timeout 20 "$work/two/kestrane" \
    >"$work/second.log" 2>&1 || second_status=$?
[ "$second_status" = 0 ] || fail "the second copy did not end at once (status $second_status)"
grep -q "another Veltrane runs on the programs and settings in $share/kestrane" "$work/second.log" ||
    fail "the second copy did not say why it ended: $(cat "$work/second.log")"
[ "$(xdotool search --onlyvisible --name '^Orvessa$' | wc -l)" = 1 ] || fail "two control panels"
[ "$(userfiles)" = "$before" ] || fail "the second copy changed files: $(diff <(echo "$before") <(userfiles))"
running || fail "the first copy ended"
say "a second copy on the same per-user folder: ended at once, said why, changed nothing"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""

# --- 3. Close on a full disk -------------------------------------------------------------------

if [ "$(id -u)" != 0 ]; then
    say "close on a full disk: skipped (mounting a small tmpfs needs root)"
    exit 0
fi
mv "$app/Images" "$work/Images"
mkdir "$app/Images"
size=$(($(du -sk "$work/Images" | cut -f1) + 256))
mount -t tmpfs -o "size=${size}k" tmpfs "$app/Images" || {
    say "close on a full disk: skipped (cannot mount a tmpfs here)"
    mv "$work/Images"/* "$app/Images/"
    exit 0
}
mounted="$app/Images"
cp -r "$work/Images"/. "$app/Images/"
start
# Fill what is left, so that no byte more can be written.
dd if=/dev/zero of="$app/Images/filler" bs=4k >/dev/null 2>&1 || true
before=$(files)
click 545 25  # Close
wait_for 10 message_box || fail "Close on a full disk said nothing"
dismiss close
running || fail "Close on a full disk ended the program"
[ "$(files)" = "$before" ] || fail "Close on a full disk changed files"
say "close on a full disk: reported, the program stays open"
rm "$app/Images/filler"
click 545 25  # Close, with room again
wait_for 20 bash -c "! kill -0 $pid 2>/dev/null" || fail "Close with room again did not end"
pid=""
grep -q '^SelFontSize;16' "$app/Images/SelectedOptions.txt" || fail "options not saved"
say "close with room again: saved and ended"
