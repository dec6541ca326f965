// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The memory the command's workers share for images.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "image_file.h"

// Memory for images, shared by the workers: a file waits until its images fit beside
// those of the files being worked on, and one that could never fit is refused.
struct MemoryBudget {
  double limit;
  double used = 0;
  std::mutex mutex;
  std::condition_variable released;

  // Takes bytes once they fit beside what is taken; false when they never can.
  bool take(double bytes);
  void give_back(double bytes);
};

// Memory taken from a budget for a file's images, given back once they are let go,
// however the file's work ends.
struct Reservation {
  MemoryBudget &budget;
  double bytes;
  std::unique_ptr<ImageFile> &file;
  ~Reservation();
};

// Bytes in KiB, MiB, GiB or TiB, to one decimal.
std::string size_text(double bytes);
