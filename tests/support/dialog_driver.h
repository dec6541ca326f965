// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Answers the plug-in's dialog from outside, as a user would, on the X display the
// test runs under (xdotool for keys, ImageMagick's import for screenshots).
#pragma once

#include <string>

enum class DialogButton { ok, cancel, close };

struct DialogAnswer {
  std::string scale;      // typed into the Scale spin button unless empty
  std::string turbulence; // typed into the Turbulence spin button unless empty
  DialogButton button;
  std::string screenshot;    // taken just before answering, unless empty
  bool ask_for_help = false; // press Help first
};

// Waits up to timeout_seconds for the dialog, answers it and waits for it to go.
// Returns "" on success, else what went wrong.
std::string answer_dialog(const DialogAnswer &answer, int timeout_seconds);
