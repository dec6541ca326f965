// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// An image dented while it is read: one thread decodes rows into a window that holds
// only the rows some output row still reaches, another dents bands of output rows as
// soon as the rows they reach are in, and the writer takes the bands in order. Memory
// grows with the image's width and the offsets' reach, not with its height.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "image_file.h"

// Bands of dented rows the writer may lag behind the denting.
constexpr int32_t stream_bands = 3;

// The bytes a stream of image holds with reach rows of reach: the window and the bands.
double stream_bytes(const PixelImage &image, int32_t reach);

struct RowStream {
  ImageFile &file;
  const PixelImage &image;
  Region region;
  DistortVals settings;
  uint32_t pattern;
  int threads;
  int32_t reach;
  size_t row_bytes;

  std::mutex mutex;
  std::condition_variable changed;
  // The source rows from window_first on; rows [window_first, decoded) are in.
  int32_t window_rows;
  std::unique_ptr<uint8_t[]> window;
  int32_t window_first = 0, decoded = 0;
  // No band still to dent reaches above this row.
  int32_t needed_from = 0;
  bool denting = false;
  // Dented rows [0, dented) have been made; the writer has taken [0, taken).
  std::unique_ptr<uint8_t[]> bands;
  int32_t dented = 0, taken = 0;
  bool failed = false, stopping = false;
  std::string error;
  std::thread reader, denter;

  RowStream(ImageFile &file, Region region, const DistortVals &settings, uint32_t pattern,
            int threads);
  // Stops both threads, wherever they are.
  ~RowStream();
  // Copies dented rows [first, last), which follow those taken before, into dest;
  // false once reading has failed, with the reason in error.
  bool take(int32_t first, int32_t last, uint8_t *dest);

  void read_rows();
  void dent_bands();
};
