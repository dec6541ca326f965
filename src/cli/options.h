// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The command's options, parsed and checked before any file is read, and the jobs they
// make of the inputs.
#pragma once

#include <string>
#include <vector>

#include "image_render.h"
#include "settings.h"

struct Options {
  DistortVals settings = default_vals;
  int pattern = -1; // drawn per file
  bool has_region = false;
  Region region = {};
  std::string output, output_dir, format;
  int quality = 0; // 0: the input's
  double memory_limit = 0;
  bool in_place = false, force = false, quiet = false;
  std::vector<std::string> inputs;
};

// One input and where its result goes.
struct Job {
  std::string input, output;
};

// The options of the command line. A usage error ends the process with status 2 and a
// line saying why; --help and --version end it with 0.
Options parse_options(int argc, char **argv);

// Checks every input before any is read; returns the jobs that may run and counts the
// rest as failed, each with a line saying why.
std::vector<Job> plan_jobs(const Options &options, int *failed);

// The region within image, clipped to it as a selection's bounds are to a layer; "" or
// the reason it cannot be.
std::string clip_region(const Options &options, const PixelImage &image, Region *region);

// The line that says why input failed.
void report_failure(const std::string &input, const std::string &reason);
