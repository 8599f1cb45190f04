#!/usr/bin/env bash
# The Programs tab under a real keyboard and mouse (see setup_input.sh for the setting): a
# category and messages created, edited and deleted with typed text, non-ASCII included, and
# the editing keys; a file saved with a byte-order mark edited by typing its first message as
# it reads; Tab through the tab; the confirmations answered with Escape and Return;
# import through the file dialog (a UTF-16 file converted, a file that is no text refused); and what happens after a category is renamed or deleted:
# nothing is highlighted on the Setup tab (View Script shows nothing), and Update and Delete of
# a message, or Rename and Delete of a category, with no category selected say so instead of
# doing nothing.
#
#   tests/e2e/with-x.sh tests/input/programs_input.sh <staged folder>
name=programs_input
source "$(dirname "$0")/lib.sh"

make_app
put Images/AutoStart.txt '0\r\n'
put Images/SelectedPrograms.txt 'Calm;1\r\nWork;0\r\n'
put Data/Calm.txt '\xef\xbb\xbfBreathe;1\r\nSkip;0\r\n'   # saved with a byte-order mark
put Data/Work.txt 'Focus;1\r\n'
# Health.txt in UTF-16 with its byte-order mark; photo.txt is no text.
printf 'calm\r\n\r\nstrong\r\n' | iconv -f UTF-8 -t UTF-16 >"$work/Health.txt"
printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR' >"$work/photo.txt"
printf 'x\r\n' >"$work/notes.md"
keymap_letters
start_program

# --- Create with typed, edited, non-ASCII text ------------------------------------------------

step="create"
click PbEditMessages
click TxtCategory
typed "XRuhe äß"
keys Home Delete            # Ruhe äß
keys End BackSpace          # Ruhe ä
typed "ö"                   # Ruhe äö
keys Left Left Left Right   # the arrows move the cursor: Ruhe| äö, then one on
typed "-"                   # Ruhe -äö
keys Left BackSpace         # Ruhe-äö
keys End
expect_box "Ruhe-äö"
keys Home
click Pbcadd
expect_file Images/SelectedPrograms.txt 'Calm;1\r\nWork;0\r\nRuhe-\xc3\xa4\xc3\xb6;0\r\n'
[ -f "$app/Data/Ruhe-äö.txt" ] || fail "no category file for the typed name"
expect_box ""

# --- Tab through the tab; messages by keyboard ------------------------------------------------

step="messages"
keys Tab Down                # the category list: Down highlights Work, the name comes up
expect_box "Work"
keys Tab Tab                 # past the list to the message box
typed "Fokus – halten"
click PbMadd
expect_file Data/Work.txt 'Focus;1\r\nFokus \xe2\x80\x93 halten;1\r\n'
keys shift+Tab shift+Tab     # back through the category list to the name box
keys End
typed "?"
expect_box "Work?"
keys shift+Tab space         # wraps backwards to the message list: Space on its first row
expect_file Data/Work.txt 'Focus;0\r\nFokus \xe2\x80\x93 halten;1\r\n'
click_row ClbMessages 0 10   # the tick box of the first message, with the mouse
expect_file Data/Work.txt 'Focus;1\r\nFokus \xe2\x80\x93 halten;1\r\n'
click_row ClbMessages 1      # the second message into the box
expect_box "Fokus – halten"
keys End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
typed "bleiben"
keys Home Right Right Right Right Right Delete   # the space after Fokus goes
click PbMEdit
expect_file Data/Work.txt 'Focus;1\r\nFokus\xe2\x80\x93 bleiben;1\r\n'
click_row ClbMessages 1
click PbExclude
answer "exclude the message" Escape
expect_file Data/Work.txt 'Focus;1\r\nFokus\xe2\x80\x93 bleiben;1\r\n'
click PbExclude
answer "exclude the message" Return
expect_file Data/Work.txt 'Focus;1\r\nFokus\xe2\x80\x93 bleiben;0\r\n'
click PbMdelete
answer "Delete this Message?" Escape
expect_file Data/Work.txt 'Focus;1\r\nFokus\xe2\x80\x93 bleiben;0\r\n'
click PbMdelete
answer "Delete this Message?" Return
expect_file Data/Work.txt 'Focus;1\r\n'
click_row ClbMessages 0
click PbMadd                 # Reset: the message box empties
click TxtMessage
expect_box ""
say "create, add, update, exclude, delete with typed text and keys"

# --- Rename and delete leave nothing highlighted ------------------------------------------------

step="rename"
click PBMessage
click_row ClbCategories 0    # Calm highlighted on the Setup tab
expect_file Images/SelectedPrograms.txt 'Calm;1\r\nWork;0\r\nRuhe-\xc3\xa4\xc3\xb6;0\r\n'
click PbEditMessages
click_row LstBoxCategories 0
click_row ClbMessages 0      # the first message reads as it is, without the file's mark
expect_box "Breathe"
keys ctrl+a
typed "Breathe"              # typed as it reads: Delete finds it
click PbMdelete
answer "Delete this Message?" Return
expect_file Data/Calm.txt 'Skip;0\r\n'
click_row ClbMessages 0      # Skip into the message box: Update and Delete are enabled
click TxtCategory
keys ctrl+a
typed "Ruhig"
click PbRename
expect_file Images/SelectedPrograms.txt 'Work;0\r\nRuhe-\xc3\xa4\xc3\xb6;0\r\nRuhig;0\r\n'
expect_file Data/Ruhig.txt 'Skip;0\r\n\r\n'
[ ! -e "$app/Data/Calm.txt" ] || fail "the old file stayed"
click PbMEdit                # no category selected any more
answer "No Veltrane Program is selected" Return
click PbMdelete
answer "Delete this Message?" Return
answer "No Veltrane Program is selected" Return
click TxtCategory
typed "Work"
click PbcDelete
answer "delete this Veltrane Program?" Return
answer "No Veltrane Program is selected" Return
click PbRename
answer "No Veltrane Program is selected" Return
expect_file Data/Ruhig.txt 'Skip;0\r\n\r\n'
expect_file Data/Work.txt 'Focus;1\r\n'
click PBMessage
click PbViewScript
sleep 0.5
popup_hidden LstBoxViewScript || fail "View Script shows a category after the highlighted one was renamed"

step="delete"
click_row ClbCategories 0    # Work highlighted on the Setup tab
click PbEditMessages
click_row LstBoxCategories 0
click PbcDelete
answer "delete this Veltrane Program?" Escape
[ -e "$app/Data/Work.txt" ] || fail "Delete answered with Escape deleted"
click PbcDelete
answer "delete this Veltrane Program?" Return
expect_file Images/SelectedPrograms.txt 'Ruhe-\xc3\xa4\xc3\xb6;0\r\nRuhig;0\r\n'
[ ! -e "$app/Data/Work.txt" ] || fail "Delete left the file"
click PBMessage
click PbViewScript
sleep 0.5
popup_hidden LstBoxViewScript || fail "View Script shows a category after the highlighted one was deleted"
say "rename and delete: nothing highlighted, no silent failure"

# --- Import and Reset ---------------------------------------------------------------------------

step="help"
click PbEditMessages
point PbHelpPrograms
wait_for 10 popup_shown TxtHelpProgramPanel || fail "no help panel on the Programs tab"
click TxtHelpProgramPanel    # a click keeps it up; the background takes it away
sleep 0.5
popup_shown TxtHelpProgramPanel || fail "the help panel went on a click"
point Image2Spot
wait_for 10 popup_hidden TxtHelpProgramPanel || fail "the help panel stayed over the background"

step="import"
click PbImport
answer_dialog '^Open$' Escape
click PbImport
wait_for 15 dialog_up '^Open$' || fail "no file dialog"
sleep 0.5
typed "$work/notes.md"
keys Return
answer "Select Text File" Return
click PbImport
wait_for 15 dialog_up '^Open$' || fail "no file dialog"
sleep 0.5
typed "$work/photo.txt"
keys Return
answer "is not a text file" Return
[ ! -e "$app/Data/photo.txt" ] || fail "a file that is no text was imported"
click PbImport
wait_for 15 dialog_up '^Open$' || fail "no file dialog"
sleep 0.5
typed "$work/Health.txt"
keys Return
expect_file Data/Health.txt 'calm;1\r\nstrong;1\r\n'
expect_file Images/SelectedPrograms.txt 'Ruhe-\xc3\xa4\xc3\xb6;0\r\nRuhig;0\r\nHealth;0\r\n'
click_row LstBoxCategories 2
click TxtCategory
expect_box "Health"
click Pbcadd                 # Reset
expect_box ""
close_program
[ "$failures" -eq 0 ] || { echo "$name: $failures checks failed" >&2; exit 1; }
say "passed"
