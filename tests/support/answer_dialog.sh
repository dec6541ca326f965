#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Answers a dialog as a user would, on the X display the test runs under:
#   answer_dialog.sh SCALE|- TURBULENCE|- KEY [screenshot] [help]
# answers the plug-in's dialog with KEY, an xdotool key (OK's or Cancel's mnemonic, or
# Escape, which closes the window): "-" leaves a value as shown; "screenshot" saves the
# dialog as $ROW.png just before the answer; "help" presses Help first.
#   answer_dialog.sh live MENU_KEYS MERGE_KEYS
# picks Ondalux Live in GIMP 3's image window with the comma-separated MENU_KEYS,
# saves the screen with GIMP's dialog and the on-canvas preview as $ROW.png, then
# merges the filter with the comma-separated MERGE_KEYS and OK, and creates the file
# "answered". Fails with a line saying why if a dialog does not appear or does not go.
set -u
# Polled rather than waited for: a window that goes during a search makes xdotool fail.
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
# Waits up to 90 s for a window named $1 to be there (present) or not (gone).
wait_window() {
  for _ in $(seq 450); do
    found=$(window "$1")
    { [ "$2" = present ] && [ -n "$found" ]; } || { [ "$2" = gone ] && [ -z "$found" ]; } &&
      return 0
    sleep 0.2
  done
  echo "the window named $1 is not $2 within 90 s"
  exit 1
}

if [ "$1" = live ]; then
  wait_window ' – GIMP$' present
  sleep 1
  xdotool windowfocus --sync "$found" || { echo "cannot focus the image window"; exit 1; }
  xdotool key --delay 400 ${2//,/ }
  wait_window '\(ondalux:dent\)$' present
  # The pointer leaves no tooltip over the dialog; the canvas renders the preview.
  xdotool mousemove 0 0
  sleep 3
  import -window root "$ROW.png" || { echo "screenshot failed"; exit 1; }
  xdotool windowfocus --sync "$found" && xdotool key --delay 300 ${3//,/ } alt+o
  wait_window '\(ondalux:dent\)$' gone
  touch answered
  exit 0
fi

wait_window '^Ondalux$' present
sleep 0.8
xdotool windowfocus --sync "$found" || { echo "cannot focus the dialog"; exit 1; }
# With nothing focused, Shift+Tab reaches OK first, then Cancel, Help, the Turbulence
# spin button and slider, and the Scale spin button. Focus moves into a spin button
# with its text selected, so typing replaces the value; leaving it commits (and
# clamps) the value.
xdotool key --delay 50 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab
[ "$1" = - ] || xdotool type --delay 30 -- "$1"
xdotool key --delay 50 Tab Tab
[ "$2" = - ] || xdotool type --delay 30 -- "$2"
xdotool key --delay 50 Tab
# The preview redraws shortly after the last change.
[[ " $* " != *" screenshot "* ]] || { sleep 1.5 && import -window "$found" "$ROW.png"; } ||
  { echo "screenshot failed"; exit 1; }
[[ " $* " != *" help "* ]] || { xdotool key alt+h; sleep 3; xdotool windowfocus --sync "$found"; }
xdotool key "$3"
wait_window '^Ondalux$' gone
