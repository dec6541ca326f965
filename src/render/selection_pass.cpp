// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "selection_pass.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

namespace
{

// Calls render(row) for the rows of [0, rows) that no other thread has taken, taking
// them one at a time from next.
template <typename RenderRow>
void render_rows_from(std::atomic<int32_t> &next, int32_t rows, const RenderRow &render)
{
  for (int32_t row = next++; row < rows; row = next++)
    render(row);
}

// Starts threads that render rows from next between them; only plain computation runs
// off the calling thread, which alone talks to the host, and which takes rows too once
// it has nothing else to do.
template <typename RenderRow>
std::vector<std::thread> start_rendering_rows(std::atomic<int32_t> &next, int32_t rows,
                                              int threads, const RenderRow &render)
{
  std::vector<std::thread> workers;
  for (int thread = 0; thread < std::min<int32_t>(threads, rows); thread++)
    workers.emplace_back([&next, rows, render] { render_rows_from(next, rows, render); });
  return workers;
}

void join_all(std::vector<std::thread> &workers)
{
  for (std::thread &worker : workers)
    worker.join();
}

void read_gegl_buffer(void *buffer, const GeglRectangle &rect, const Babl *format,
                      uint8_t *pixels)
{
  gegl_buffer_get(static_cast<GeglBuffer *>(buffer), &rect, 1.0, format, pixels,
                  GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
}

// Flushed at once, so that the host takes each band while the next is computed.
void write_gegl_buffer(void *shadow, const GeglRectangle &rect, const Babl *format,
                       const uint8_t *pixels)
{
  gegl_buffer_set(static_cast<GeglBuffer *>(shadow), &rect, 0, format, pixels,
                  GEGL_AUTO_ROWSTRIDE);
  gegl_buffer_flush(static_cast<GeglBuffer *>(shadow));
}

// Adds the seconds from its making to its end to *total, unless total is nullptr.
struct Stopwatch {
  double *total;
  gint64 start = g_get_monotonic_time();
  ~Stopwatch()
  {
    if (total)
      *total += double(g_get_monotonic_time() - start) / 1e6;
  }
};

struct Band {
  int32_t top = 0, bottom = 0;
  std::vector<uint8_t> pixels;
};

// Writes bands of the selection into the shadow, handing each to the host at once
// rather than all at the end, and reports progress at rows that are multiples of 32.
struct BandWriter {
  ShadowWriter shadow;
  const Babl *format;
  const RenderState &state;
  RenderProgress progress;
  size_t row_bytes;
  RenderTimes *times;

  void write(const Band &band) const
  {
    const Stopwatch stopwatch{times ? &times->writing : nullptr};
    const GeglRectangle rect = {state.sel_x, band.top, state.sel_width,
                                band.bottom - band.top};
    shadow.write(shadow.data, rect, format, band.pixels.data());
    if (band.bottom % 32 == 0 && progress.update)
      progress.update(double(band.bottom - state.sel_y) / double(state.sel_height),
                      progress.data);
  }
};

// Whole source positions: bands of rows, each ending where a row of tiles ends, are
// computed by worker threads from the source copy while this thread writes the band
// before and reads the source rows the next band needs.
void render_copied_bands(const PixelRenderer &renderer, SourceCopy &source,
                         const BandWriter &writer, int32_t band_height, int threads)
{
  const RenderState &state = writer.state;
  const double turbulence = renderer.params.turbulence;
  const int32_t reach = displacement_reach(renderer.params, renderer.displaced,
                                           turbulence * turbulence, state.sel_y2);
  const auto band_bottom = [&](int32_t top) {
    return std::min((top / band_height + 1) * band_height, state.sel_y2);
  };
  Band bands[2];
  for (Band &band : bands)
    band.pixels.resize(writer.row_bytes * size_t(band_height));

  double *const reading = writer.times ? &writer.times->reading : nullptr;
  double *const computing = writer.times ? &writer.times->computing : nullptr;
  {
    const Stopwatch stopwatch{reading};
    read_source_rows(source, band_bottom(state.sel_y) + reach);
  }
  const Band *written = nullptr;
  for (int32_t top = state.sel_y, index = 0; top < state.sel_y2; index ^= 1) {
    Band &band = bands[index];
    band.top = top;
    band.bottom = band_bottom(top);
    forget_source_rows(source, band.top - reach);
    const auto render = [&, top](int32_t row) {
      render_row(renderer.tables, renderer.params, renderer.displaced, source.view,
                 state.sel_x, top + row, state.sel_width,
                 band.pixels.data() + size_t(row) * writer.row_bytes);
    };
    const int32_t rows = band.bottom - band.top;
    std::atomic<int32_t> next_row = 0;
    std::vector<std::thread> workers =
        start_rendering_rows(next_row, rows, threads, render);
    if (written)
      writer.write(*written);
    if (band.bottom < state.sel_y2) {
      const Stopwatch stopwatch{reading};
      read_source_rows(source, band_bottom(band.bottom) + reach);
    }
    {
      const Stopwatch stopwatch{computing};
      render_rows_from(next_row, rows, render);
      join_all(workers);
    }
    written = &band;
    top = band.bottom;
  }
  if (written)
    writer.write(*written);
}

// Positions with a fraction (a one-pixel selection edge at the origin): every pixel
// samples the buffer, so everything runs on this thread.
void render_sampled_bands(const PixelRenderer &renderer, const SourceCopy &source,
                          const BandWriter &writer, int32_t band_height)
{
  const RenderState &state = writer.state;
  Band band;
  band.pixels.resize(writer.row_bytes * size_t(band_height));
  const size_t bpp = size_t(source.view.bpp);
  for (band.top = state.sel_y; band.top < state.sel_y2; band.top = band.bottom) {
    band.bottom = std::min((band.top / band_height + 1) * band_height, state.sel_y2);
    uint8_t *pixel = band.pixels.data();
    for (int32_t row = band.top; row < band.bottom; row++)
      for (int32_t column = state.sel_x; column < state.sel_x2; column++, pixel += bpp)
        render_sampled_pixel(renderer, source.drawable, column, row, pixel);
    writer.write(band);
  }
}

} // namespace

void init_babl_for_render()
{
  g_setenv("BABL_INHIBIT_CACHE", "1", FALSE);
  babl_init();
}

void init_gegl_for_render()
{
  g_setenv("BABL_INHIBIT_CACHE", "1", FALSE);
  // No operation modules: the pass uses none, and loading them all takes a third of
  // a second.
  g_setenv("GEGL_PATH", "", TRUE);
  gegl_init(nullptr, nullptr);
  g_object_set(gegl_config(), "tile-cache-size", guint64(16) << 20, nullptr);
}

DrawableReader gegl_buffer_reader(GeglBuffer *buffer)
{
  return {read_gegl_buffer, buffer, *gegl_buffer_get_extent(buffer)};
}

ShadowWriter gegl_buffer_writer(GeglBuffer *shadow)
{
  gint height = 64;
  g_object_get(shadow, "tile-height", &height, nullptr);
  return {write_gegl_buffer, shadow, std::max(height, 1)};
}

SourceCopy new_source_copy(DrawableReader drawable, const Babl *format,
                           const RenderState &state)
{
  const int32_t bpp = babl_format_get_bytes_per_pixel(format);
  const size_t size = size_t(state.sel_x2) * size_t(state.sel_y2) * size_t(bpp);
  SourceCopy source = {drawable, format, allocate_source_memory(size), {}, 0, 0};
  if (!source.pixels)
    throw std::bad_alloc();
  source.view = {source.pixels.get(), state.sel_x2, state.sel_y2, bpp};
  return source;
}

void read_source_rows(SourceCopy &source, int32_t rows)
{
  rows = std::min(rows, source.view.height);
  if (rows <= source.rows_read)
    return;
  const GeglRectangle rect = {0, source.rows_read, source.view.width,
                              rows - source.rows_read};
  const size_t row_bytes = size_t(source.view.width) * size_t(source.view.bpp);
  source.drawable.read(source.drawable.data, rect, source.format,
                       source.pixels.get() +
                           size_t(source.rows_read - source.first_row) * row_bytes);
  source.rows_read = rows;
}

void forget_source_rows(SourceCopy &source, int32_t first)
{
  first = std::min(first, source.rows_read);
  const int32_t kept = source.rows_read - first, given_up = first - source.first_row;
  if (source.rows_read == source.view.height || given_up < std::max(kept, 1))
    return;
  const size_t row_bytes = size_t(source.view.width) * size_t(source.view.bpp);
  std::memmove(source.pixels.get(), source.view.at(0, first), size_t(kept) * row_bytes);
  source.first_row = first;
  source.view.y_offset = -first;
}

void render_sampled_pixel(const PixelRenderer &renderer, const DrawableReader &drawable,
                          double x, double y, uint8_t *dest)
{
  double nx = x, ny = y;
  if (renderer.displaced)
    displace(renderer.tables, renderer.params, x, y, &nx, &ny);
  // The square's pixels past the drawable's edges repeat its edge pixels.
  const GeglRectangle &extent = drawable.extent;
  const auto clamp = [](int32_t v, int32_t first, int32_t size) {
    return std::clamp(v, first, first + size - 1);
  };
  const int32_t left = sample_floor(nx), top = sample_floor(ny);
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(renderer.format));
  uint8_t block[4 * 4 * sizeof(double)];
  for (int i = 0; i < 4; i++) {
    const GeglRectangle pixel = {clamp(left + i % 2, extent.x, extent.width),
                                 clamp(top + i / 2, extent.y, extent.height), 1, 1};
    drawable.read(drawable.data, pixel, renderer.format, block + size_t(i) * bpp);
  }
  blend_block(renderer, block, nx, ny, dest);
}

void render_selection(SourceCopy &source, ShadowWriter shadow,
                      const DistortVals &settings, const RenderState &state, int threads,
                      RenderProgress progress, RenderTimes *times)
{
  const PixelRenderer renderer = new_pixel_renderer(source.format, settings, state);
  const BandWriter writer = {shadow,
                             source.format,
                             state,
                             progress,
                             size_t(state.sel_width) * size_t(source.view.bpp),
                             times};
  const int32_t band_height = shadow.band_height;
  if (renderer.whole)
    render_copied_bands(renderer, source, writer, band_height, std::max(threads - 1, 1));
  else
    render_sampled_bands(renderer, source, writer, band_height);
}
