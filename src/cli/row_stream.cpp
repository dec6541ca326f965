// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "row_stream.h"

#include <algorithm>
#include <cstring>

namespace
{

// Rows decoded at a time: few, so that denting starts soon.
constexpr int32_t read_chunk = 16;

// The rows the window holds: half as many again as one band reaches, so that what it
// holds is moved to its front only after half as many rows have come in.
int32_t window_rows_for(const PixelImage &image, int32_t reach)
{
  const int64_t span = int64_t(band_rows) + 2 * int64_t(reach) + read_chunk;
  return int32_t(std::min<int64_t>(span + span / 2, image.height));
}

} // namespace

double stream_bytes(const PixelImage &image, int32_t reach)
{
  const double row_bytes = double(image.width) * double(image.pixel_bytes());
  return row_bytes * (window_rows_for(image, reach) + stream_bands * band_rows);
}

RowStream::RowStream(ImageFile &file, Region region, const DistortVals &settings,
                     uint32_t pattern, int threads)
    : file(file), image(file.images[0]), region(region), settings(settings),
      pattern(pattern), threads(threads), reach(reach_rows(image, region, settings)),
      row_bytes(size_t(image.width) * image.pixel_bytes()),
      window_rows(window_rows_for(image, reach))
{
  // Left as they come from the allocator, so that a file whose header claims more rows
  // than it holds costs little.
  window.reset(new (std::nothrow) uint8_t[row_bytes * size_t(window_rows)]);
  bands.reset(new (std::nothrow) uint8_t[row_bytes * size_t(stream_bands * band_rows)]);
  if (!window || !bands) {
    failed = true;
    error = "too large to hold in memory";
    return;
  }
  reader = std::thread(&RowStream::read_rows, this);
  denter = std::thread(&RowStream::dent_bands, this);
}

RowStream::~RowStream()
{
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  if (reader.joinable())
    reader.join();
  if (denter.joinable())
    denter.join();
}

void RowStream::read_rows()
{
  const int32_t height = image.height;
  while (decoded < height) {
    const int32_t count = std::min(read_chunk, height - decoded);
    {
      std::unique_lock<std::mutex> lock(mutex);
      const auto fits = [&] { return decoded + count - window_first <= window_rows; };
      // Rows no band reaches any more give way, once no band is being dented.
      changed.wait(lock, [&] {
        return stopping || fits() ||
               (!denting && decoded + count - needed_from <= window_rows);
      });
      if (stopping)
        return;
      if (!fits()) {
        std::memmove(window.get(),
                     window.get() + size_t(needed_from - window_first) * row_bytes,
                     size_t(decoded - needed_from) * row_bytes);
        window_first = needed_from;
      }
    }
    // Rows past decoded are read by no one else, nor is the window moved meanwhile.
    std::string reason;
    const bool read = file.read_rows(
        count, window.get() + size_t(decoded - window_first) * row_bytes, &reason);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (read) {
        decoded += count;
      } else {
        failed = true;
        error = reason;
      }
    }
    changed.notify_all();
    if (!read)
      return;
  }
}

void RowStream::dent_bands()
{
  const int32_t height = image.height;
  for (int32_t top = 0, band = 0; top < height; top += band_rows, band++) {
    const int32_t bottom = std::min(top + band_rows, height);
    int32_t first_held;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] {
        return stopping || failed ||
               (decoded >= std::min(bottom + reach, height) &&
                taken >= (band - stream_bands + 1) * band_rows);
      });
      if (stopping || failed)
        return;
      denting = true;
      first_held = window_first;
    }
    uint8_t *dest = bands.get() + size_t(band % stream_bands) * band_rows * row_bytes;
    // A thread more than the file's: the reader and the writer spend much of their
    // time waiting on the denting, whose share of the cores this raises.
    render_image_rows(image, window.get(), first_held, region, settings, pattern,
                      threads + 1, top, bottom, dest);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      denting = false;
      dented = bottom;
      needed_from = std::max(0, bottom - reach);
    }
    changed.notify_all();
  }
}

bool RowStream::take(int32_t first, int32_t last, uint8_t *dest)
{
  for (int32_t y = first; y < last;) {
    int32_t ready;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return failed || dented > y; });
      if (failed)
        return false;
      ready = std::min(dented, last);
    }
    for (; y < ready; y++)
      std::memcpy(dest + size_t(y - first) * row_bytes,
                  bands.get() +
                      size_t((y / band_rows) % stream_bands * band_rows + y % band_rows) *
                          row_bytes,
                  row_bytes);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      taken = y;
    }
    changed.notify_all();
  }
  return true;
}
