// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace
{

// The dialog's window id, or "" when it is not mapped.
std::string find_dialog()
{
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(
      popen("xdotool search --onlyvisible --name '^Ondalux$' 2>/dev/null", "r"), pclose);
  char id[64] = "";
  if (!pipe || !fgets(id, sizeof id, pipe.get()))
    return "";
  return std::string(id, std::strcspn(id, "\n"));
}

bool run(const std::string &command)
{
  return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

void pause_for(int milliseconds)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace

std::string answer_dialog(const DialogAnswer &answer, int timeout_seconds)
{
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  std::string window;
  while ((window = find_dialog()).empty()) {
    if (std::chrono::steady_clock::now() > deadline)
      return "no Ondalux dialog appeared within " + std::to_string(timeout_seconds) +
             " s";
    pause_for(200);
  }
  pause_for(800);
  if (!run("xdotool windowfocus --sync " + window))
    return "cannot focus the dialog";

  // With nothing focused, Shift+Tab reaches OK first, then Cancel, Help, the
  // Turbulence spin button and slider, and the Scale spin button. Focus moves into a
  // spin button with its text selected, so typing replaces the value; leaving it
  // commits (and clamps) the value.
  run("xdotool key --delay 50 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab "
      "shift+Tab");
  run("xdotool type --delay 30 -- '" + answer.scale + "'");
  run("xdotool key --delay 50 Tab Tab");
  run("xdotool type --delay 30 -- '" + answer.turbulence + "'");
  run("xdotool key --delay 50 Tab");

  if (!answer.screenshot.empty()) {
    // The preview redraws shortly after the last change.
    pause_for(1500);
    if (!run("import -window " + window + " '" + answer.screenshot + "'"))
      return "screenshot failed";
  }

  if (answer.ask_for_help) {
    run("xdotool key alt+h");
    pause_for(3000);
    run("xdotool windowfocus --sync " + window);
  }

  // Escape closes the dialog as its window's close button does.
  const char *keys[] = {"alt+o", "alt+c", "Escape"};
  run(std::string("xdotool key ") + keys[int(answer.button)]);

  while (!find_dialog().empty()) {
    if (std::chrono::steady_clock::now() > deadline)
      return "the dialog did not close within " + std::to_string(timeout_seconds) + " s";
    pause_for(200);
  }
  return "";
}
