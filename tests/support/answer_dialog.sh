#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Answers the plug-in's dialog as a user would, on the X display the test runs under:
#   answer_dialog.sh SCALE|- TURBULENCE|- ok|cancel|close [screenshot] [help]
# "-" leaves a value as shown; "screenshot" saves the dialog as dialog.png just before
# the answer; "help" presses Help first. Fails with a line saying why if the dialog
# does not appear or does not go.
set -u
# Polled rather than waited for: a window that goes during a search makes xdotool fail.
dialog() { xdotool search --onlyvisible --name '^Ondalux$' 2>/dev/null | head -n 1; }
for _ in $(seq 450); do
  window=$(dialog)
  [ -z "$window" ] || break
  sleep 0.2
done
[ -n "$window" ] || { echo "no Ondalux dialog appeared within 90 s"; exit 1; }
sleep 0.8
xdotool windowfocus --sync "$window" || { echo "cannot focus the dialog"; exit 1; }
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
[[ " $* " != *" screenshot "* ]] || { sleep 1.5 && import -window "$window" dialog.png; } ||
  { echo "screenshot failed"; exit 1; }
[[ " $* " != *" help "* ]] || { xdotool key alt+h; sleep 3; xdotool windowfocus --sync "$window"; }
# Escape closes the dialog as its window's close button does.
case $3 in ok) xdotool key alt+o ;; cancel) xdotool key alt+c ;; close) xdotool key Escape ;; esac
for _ in $(seq 450); do
  [ -n "$(dialog)" ] || exit 0
  sleep 0.2
done
echo "the dialog did not close within 90 s"
exit 1
