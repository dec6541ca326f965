// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Runs table rows of the filter in one GIMP session per host: GIMP 2.10 here, GIMP 3
// in a Debian root (GIMP 3.0 or 3.2), each with a private profile into which the freshly
// built plug-in is installed by the project's own install step; then checks each row.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "reference_render.h"

enum class Host { gimp2, gimp3 };

enum class Expect {
  reference, // the run writes one pattern's reference render
  unchanged, // the run succeeds and not a byte changes
  refused,   // an execution error, and not a byte changes
  rejected,  // a calling error, and not a byte changes
  valid,     // the run succeeds and the drawable keeps its size
  no_pixels, // the run succeeds; nothing is saved
};

struct HostCase {
  std::string name;
  int channels = 3, bits = 8;     // of the input PNG
  int precision = 0;              // GimpPrecision to convert to; 0 keeps the PNG's
  std::string kind = "layer";     // see make-kind in host/common.scm
  std::string box = "";           // selection "X Y WIDTH HEIGHT", image coordinates
  std::string settings = "5 0.5"; // scale and turbulence, as Scheme expressions
  Expect expect = Expect::reference;
  std::string run_mode = "RUN-NONINTERACTIVE";
  std::string renders_with = ""; // the reference's settings, if not these
  int width = 48, height = 36;   // of the input PNG
  std::string bounds = "";       // the reference's box in the drawable, if not box
  std::string stored = "";       // GIMP 2.10: bytes stored under the procedure first
  std::string message = "";      // a refusal's message says this
  std::string answer = "";       // a GUI session: answer_dialog.sh's arguments, if any
};

struct GimpRun {
  std::string work, profile, log;             // log: GIMP's and its plug-ins' output
  std::string environment;                    // GIMP's and the install's, a private home
  std::string system; // where GIMP runs: here (""), a Debian root's release or folder
  std::map<std::string, std::string> results; // (report key value ...) by key
  std::string value(const std::string &key) const
  {
    return results.count(key) ? results.at(key) : "";
  }
};

// A fresh work folder and profile for suite, with the plug-in installed; GIMP runs in
// German when german is true, and records the texts of its dialogs.
GimpRun prepare_run(const std::string &suite, Host host, bool german = false);

// Runs the rows in one session, killed after timeout_seconds. A GUI session needs a
// display; the web browser it opens for help records the page in help-opened.txt.
void run_cases(GimpRun &run, Host host, const std::vector<HostCase> &cases,
               int timeout_seconds, bool gui = false);

// Checks a row's status, pixels and stored settings; returns the patterns (0..255)
// whose reference render the run wrote.
std::vector<int> expect_case(const GimpRun &run, Host host, const HostCase &c);

// The row's drawable (1 for the first) as saved at stage ("before" or "after").
Image saved_pixels(const GimpRun &run, const HostCase &c, const std::string &stage,
                   int drawable = 1);

// Lines of the log that show a plug-in crash or our GLib warnings and criticals.
std::vector<std::string> host_complaints(const std::string &log);
