// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include <X11/Xlib.h>

namespace
{

std::string command_output(const std::string &command)
{
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[256];
  while (pipe && fgets(buffer, sizeof buffer, pipe.get()))
    output += buffer;
  return output;
}

// The dialog's window id, or "" when it is not mapped.
std::string find_dialog()
{
  std::string id =
      command_output("xdotool search --onlyvisible --name '^Ondalux$' 2>/dev/null");
  const size_t end = id.find('\n');
  return end == std::string::npos ? id : id.substr(0, end);
}

bool run(const std::string &command)
{
  return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

void pause_for(int milliseconds)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Keyboard focus moves into a spin button with its text selected, so typing
// replaces the value; leaving it commits (and clamps) the value.
void type_into_focus(const std::string &text)
{
  run("xdotool type --delay 30 -- '" + text + "'");
  pause_for(100);
}

// What a window manager sends when the user clicks the window's close button.
bool send_delete_request(const std::string &window_id)
{
  Display *display = XOpenDisplay(nullptr);
  if (!display)
    return false;
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = std::stoul(window_id);
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = XInternAtom(display, "WM_DELETE_WINDOW", False);
  event.xclient.data.l[1] = CurrentTime;
  const Status sent =
      XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XCloseDisplay(display);
  return sent != 0;
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
  // Turbulence spin button and slider, and the Scale spin button.
  run("xdotool key --delay 50 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab "
      "shift+Tab");
  if (!answer.scale.empty())
    type_into_focus(answer.scale);
  run("xdotool key --delay 50 Tab Tab");
  if (!answer.turbulence.empty())
    type_into_focus(answer.turbulence);
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

  switch (answer.button) {
  case DialogButton::ok:
    run("xdotool key alt+o");
    break;
  case DialogButton::cancel:
    run("xdotool key alt+c");
    break;
  case DialogButton::close_window:
    if (!send_delete_request(window))
      return "cannot ask the dialog to close";
    break;
  }

  while (!find_dialog().empty()) {
    if (std::chrono::steady_clock::now() > deadline)
      return "the dialog did not close within " + std::to_string(timeout_seconds) + " s";
    pause_for(200);
  }
  return "";
}
