// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Runs Script-Fu programs in a headless GIMP 2.10, or GIMP 3 in its Debian 13 root,
// with a private profile into which the freshly built plug-in is installed by the
// project's own install step.
#pragma once

#include <map>
#include <string>
#include <vector>

struct GimpRun {
  int exit_status = -1;
  double seconds = 0;
  std::string log; // GIMP's and its plug-ins' stdout and stderr
  // What the program reported with (report key value ...): the rest of the line, by key.
  std::map<std::string, std::string> results;

  // The line reported under key, or "" when nothing was.
  std::string value(const std::string &key) const;
  // Whether the program ran to its end without a Scheme error.
  bool completed() const { return results.count("program-complete") != 0; }
  // The same, split at spaces.
  std::vector<std::string> values(const std::string &key) const;
};

// An empty folder for one test suite's files.
std::string fresh_work_dir(const std::string &suite);

enum class Host { gimp2, gimp3 };

// A new GIMP profile in dir with the plug-in installed; returns its path.
std::string prepare_profile(const std::string &dir, Host host = Host::gimp2);

enum class Interface { console, gui };

// Evaluates program (with common.scm and the host's helpers, ondalux_test.scm or
// ondalux_test3.scm, loaded) in one GIMP session, killing it after timeout_seconds.
// The GUI session needs a display; the web browser it opens for help writes the page
// it was given to help_opened_path(work_dir).
GimpRun run_gimp_batch(const std::string &profile, const std::string &work_dir,
                       const std::string &program, int timeout_seconds,
                       Host host = Host::gimp2, Interface interface = Interface::console);
std::string help_opened_path(const std::string &work_dir);

// Lines of the log that show a plug-in crash or a GLib warning or critical.
std::vector<std::string> host_complaints(const std::string &log);

// The 16 stored settings bytes reported as decimal values, decoded to two doubles.
bool decode_stored_settings(const std::vector<std::string> &bytes, double *scale,
                            double *turbulence);

// A Scheme string literal for path.
std::string scheme_string(const std::string &text);
