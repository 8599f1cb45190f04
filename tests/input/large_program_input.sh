#!/usr/bin/env bash
# A program of 100,000 messages on the Programs tab under a real keyboard and mouse (see
# setup_input.sh for the setting): its messages show on a click and the list scrolls; a click
# and the End key put a message into the box; Space on the last message ticks it and the file
# holds the change and every other line as it was; a message typed as it reads is deleted; and
# View Script lists the program's messages. What the user sees is checked, never how long it
# took.
#
#   tests/e2e/with-x.sh tests/input/large_program_input.sh <staged folder>
name=large_program_input
source "$(dirname "$0")/lib.sh"

make_app
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt 'Big;1\r\n'
# Every tenth message excluded; with one changed flag, or one line fewer, as expected later.
lines() { awk -v last="$1" -v gone="$2" 'BEGIN { for (i = 1; i <= 100000; i++) if (i != gone)
    printf "Message %06d;%d\r\n", i, (i == 100000 ? last : (i % 10 ? 1 : 0)) }'; }
lines 0 0 >"$app/Data/Big.txt"
lines 1 0 >"$work/ticked"
lines 1 50000 >"$work/deleted"
same_as() { cmp -s "$app/Data/Big.txt" "$1"; }
keymap_letters
start_program

step="show"
click PbEditMessages
click_row LstBoxCategories 0
sleep 1
# (KESTRANE_E2E_DUMP names a folder to keep the screenshots in.)
keep() { [ -z "${KESTRANE_E2E_DUMP:-}" ] || cp "$shot" "$KESTRANE_E2E_DUMP/$name-$1.png"; }
[ "$(darkest_in ClbMessages)" -lt 300 ] || fail "the message list shows nothing"
keep list
click_row ClbMessages 2      # the third message into the box; the file keeps its bytes
expect_box "Message 000003"
cmp -s "$app/Data/Big.txt" <(lines 0 0) || fail "a click on a message changed the file"

step="keys"
keys Tab End                 # to the message list, then its last message
expect_box "Message 100000"
keys Tab space               # back to the list: Space ticks the current, last message
wait_for 30 same_as "$work/ticked" || fail "Data/Big.txt does not hold the tick: $(tail -c 40 "$app/Data/Big.txt" | od -c | head -3)"
[ "$(darkest_in ClbMessages)" -lt 300 ] || fail "the end of the message list shows nothing"
keep end
say "shown, clicked, scrolled to the end and ticked"

step="delete"
click TxtMessage
keys ctrl+a
typed "Message 050000"
click PbMdelete
answer "Delete this Message?" Return
wait_for 30 same_as "$work/deleted" || fail "Data/Big.txt does not lack the deleted message"
keys Tab End                 # the list reloaded, its last message the same
expect_box "Message 100000"

step="view script"
click PBMessage
click_row ClbCategories 0
click PbViewScript
wait_for 30 popup_shown LstBoxViewScript || fail "View Script shows nothing"
close_program
same_as "$work/deleted" || fail "Close changed the program's file"
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
