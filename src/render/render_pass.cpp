// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "render_pass.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "blend.h"

namespace
{

// Starts threads that call render(row) for every row in [0, rows) between them; only
// plain computation runs off the calling thread, which alone talks to GEGL.
template <typename RenderRow>
std::vector<std::thread> start_rendering_rows(int32_t rows, int threads, RenderRow render)
{
  threads = std::min<int32_t>(threads, rows);
  std::vector<std::thread> workers;
  for (int chunk = 0; chunk < threads; chunk++) {
    workers.emplace_back([=] {
      for (int32_t row = rows * chunk / threads; row < rows * (chunk + 1) / threads;
           row++)
        render(row);
    });
  }
  return workers;
}

void join_all(std::vector<std::thread> &workers)
{
  for (std::thread &worker : workers)
    worker.join();
}

int32_t tile_height(GeglBuffer *buffer)
{
  gint height = 64;
  g_object_get(buffer, "tile-height", &height, nullptr);
  return std::max(height, 1);
}

// A position with a fraction: the four pixels around it, read from the buffer with
// its edge pixels extended, blended in 8 bits or in doubles.
void render_sampled_pixel(const PixelRenderer &renderer, double x, double y,
                          uint8_t *dest)
{
  double nx = x, ny = y;
  if (renderer.displaced)
    displace(renderer.tables, renderer.params, x, y, &nx, &ny);
  const GeglRectangle square = {sample_floor(nx), sample_floor(ny), 2, 2};
  // Only an unfolded position can be non-finite; the blend needs just its fraction.
  nx = std::isfinite(nx) ? nx : 0.0;
  ny = std::isfinite(ny) ? ny : 0.0;
  const int channels = renderer.channels;

  if (!renderer.blend_format) {
    uint8_t block[4 * 4];
    gegl_buffer_get(renderer.source->buffer, &square, 1.0, renderer.source->format, block,
                    2 * channels, GEGL_ABYSS_CLAMP);
    const uint8_t *samples[4] = {block, block + channels, block + 2 * channels,
                                 block + 3 * channels};
    blend_samples_8(dest, nx, ny, channels, renderer.has_alpha, samples);
    return;
  }
  double block[4 * 4], blended[4];
  if (renderer.u16) {
    uint16_t samples16[4 * 4];
    gegl_buffer_get(renderer.source->buffer, &square, 1.0, renderer.source->format,
                    samples16, 2 * channels * int(sizeof(uint16_t)), GEGL_ABYSS_CLAMP);
    for (int i = 0; i < 4 * channels; i++)
      block[i] = samples16[i] / 65535.0;
  } else {
    gegl_buffer_get(renderer.source->buffer, &square, 1.0, renderer.blend_format, block,
                    2 * channels * int(sizeof(double)), GEGL_ABYSS_CLAMP);
  }
  const double *samples[4] = {block, block + channels, block + 2 * channels,
                              block + 3 * channels};
  blend_samples_double(blended, nx, ny, channels, renderer.has_alpha, samples);
  if (!renderer.u16) {
    babl_process(renderer.from_blend, blended, dest, 1);
    return;
  }
  for (int c = 0; c < channels; c++) {
    const uint16_t stored = uint16_t(std::clamp(blended[c], 0.0, 1.0) * 65535.0 + 0.5);
    std::memcpy(dest + 2 * c, &stored, 2);
  }
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
  GeglBuffer *dest;
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
    gegl_buffer_set(dest, &rect, 0, format, band.pixels.data(), int(row_bytes));
    gegl_buffer_flush(dest);
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
  const int32_t reach = vertical_reach(renderer.params, renderer.displaced, state.sel_y2);
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
    std::vector<std::thread> workers =
        start_rendering_rows(band.bottom - band.top, threads, [&, top](int32_t row) {
          render_row(renderer.tables, renderer.params, renderer.displaced, source.view,
                     state.sel_x, top + row, state.sel_width,
                     band.pixels.data() + size_t(row) * writer.row_bytes);
        });
    if (written)
      writer.write(*written);
    if (band.bottom < state.sel_y2) {
      const Stopwatch stopwatch{reading};
      read_source_rows(source, band_bottom(band.bottom) + reach);
    }
    {
      const Stopwatch stopwatch{computing};
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
void render_sampled_bands(const PixelRenderer &renderer, const BandWriter &writer,
                          int32_t band_height)
{
  const RenderState &state = writer.state;
  Band band;
  band.pixels.resize(writer.row_bytes * size_t(band_height));
  const size_t bpp = size_t(renderer.source->view.bpp);
  for (band.top = state.sel_y; band.top < state.sel_y2; band.top = band.bottom) {
    band.bottom = std::min((band.top / band_height + 1) * band_height, state.sel_y2);
    uint8_t *pixel = band.pixels.data();
    for (int32_t row = band.top; row < band.bottom; row++)
      for (int32_t column = state.sel_x; column < state.sel_x2; column++, pixel += bpp)
        render_sampled_pixel(renderer, column, row, pixel);
    writer.write(band);
  }
}

// 8-bit pixels of channels channels in the space of format, as previews show them.
const Babl *display_format(int channels, const Babl *format)
{
  static const char *const names[] = {"Y' u8", "Y'A u8", "R'G'B' u8", "R'G'B'A u8"};
  return babl_format_with_space(names[channels - 1], babl_format_get_space(format));
}

} // namespace

// The vertical offset is at most 2 x scale_px x turbulence² (noise stays within
// [-1, 1]); the rest is margin, and a row for the truncation. Folding only brings
// positions closer.
int32_t vertical_reach(const DisplaceParams &params, bool displaced, int32_t rows)
{
  if (!displaced)
    return 0;
  const double reach =
      2.5 * params.scale_px * params.turbulence * params.turbulence + 2.0;
  return reach < double(rows) ? int32_t(reach) + 1 : rows;
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

RenderState make_render_state(int32_t sel_x, int32_t sel_y, int32_t sel_width,
                              int32_t sel_height, bool has_alpha, uint32_t noise_offset)
{
  return {sel_x,
          sel_y,
          sel_width,
          sel_height,
          sel_x + sel_width,
          sel_y + sel_height,
          double(sel_width < sel_height ? sel_width : sel_height),
          has_alpha,
          noise_offset};
}

DisplaceParams displace_params(const DistortVals &settings, const RenderState &state)
{
  return {(settings.scale / 100.0) * state.min_extent, settings.turbulence, state.sel_x2,
          state.sel_y2};
}

const char indexed_reason[] =
    "Ondalux cannot distort indexed images; convert the image to RGB or greyscale first";

const char *unsupported_format_reason(const Babl *format)
{
  if (!format)
    return "Ondalux cannot read the drawable's pixel format";
  if (babl_format_is_palette(format))
    return indexed_reason;
  const int channels = babl_format_get_n_components(format);
  if (channels < 1 || channels > 4)
    return "Ondalux distorts only pixels of one to four channels";
  return nullptr;
}

SourceCopy new_source_copy(GeglBuffer *buffer, const Babl *format,
                           const RenderState &state)
{
  const int32_t bpp = babl_format_get_bytes_per_pixel(format);
  const size_t size = size_t(state.sel_x2) * size_t(state.sel_y2) * size_t(bpp);
  SourceCopy source = {
      buffer, format, std::unique_ptr<uint8_t[]>(new uint8_t[size]), {}, 0};
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
  gegl_buffer_get(source.buffer, &rect, 1.0, source.format,
                  source.pixels.get() + size_t(source.rows_read) * row_bytes,
                  int(row_bytes), GEGL_ABYSS_NONE);
  source.rows_read = rows;
}

PixelRenderer new_pixel_renderer(const SourceCopy &source, const DistortVals &settings,
                                 const RenderState &state)
{
  PixelRenderer renderer = {};
  renderer.tables = build_noise_tables(state.noise_offset);
  renderer.params = displace_params(settings, state);
  renderer.displaced = renderer.params.scale_px > 0;
  renderer.whole = samples_are_whole(renderer.params, renderer.displaced);
  renderer.source = &source;
  renderer.channels = babl_format_get_n_components(source.format);
  renderer.has_alpha = state.has_alpha;
  if (babl_format_get_type(source.format, 0) != babl_type("u8")) {
    // Higher precisions blend in doubles of the same model and space.
    std::string encoding = babl_format_get_encoding(source.format);
    encoding = encoding.substr(0, encoding.rfind(' ')) + " double";
    renderer.blend_format =
        babl_format_with_space(encoding.c_str(), babl_format_get_space(source.format));
    renderer.from_blend = babl_fish(renderer.blend_format, source.format);
    renderer.u16 = babl_format_get_type(source.format, 0) == babl_type("u16");
  }
  return renderer;
}

void render_preview(const SourceCopy &source, const DistortVals &settings,
                    const RenderState &state, int width, int height,
                    PreviewMapping mapping, uint8_t *display)
{
  const PixelRenderer renderer = new_pixel_renderer(source, settings, state);
  if (!renderer.displaced)
    return;
  const Babl *to_display =
      babl_fish(source.format, display_format(renderer.channels, source.format));
  const size_t source_bpp = size_t(source.view.bpp);
  const size_t display_row = size_t(width) * size_t(renderer.channels);
  // Rows in parallel, each thread with row buffers of its own: copies are plain
  // computation. The mapping only reads the preview, whose thread waits here. Blends
  // sample GEGL buffers and stay on this thread.
  const auto render_rows = [&](int first, int last) {
    std::vector<double> xs(static_cast<size_t>(width)), ys(static_cast<size_t>(width));
    std::vector<uint8_t> row(static_cast<size_t>(width) * source_bpp);
    for (int y = first; y < last; y++) {
      for (int x = 0; x < width; x++) {
        int drawable_x, drawable_y;
        mapping.drawable_position(x, y, &drawable_x, &drawable_y, mapping.data);
        xs[size_t(x)] = drawable_x;
        ys[size_t(x)] = drawable_y;
      }
      if (renderer.whole)
        render_points(renderer.tables, renderer.params, renderer.displaced, source.view,
                      xs.data(), ys.data(), width, row.data());
      else
        for (int x = 0; x < width; x++)
          render_sampled_pixel(renderer, xs[size_t(x)], ys[size_t(x)],
                               &row[size_t(x) * source_bpp]);
      babl_process(to_display, row.data(), display + size_t(y) * display_row, width);
    }
  };
  const int threads =
      renderer.whole
          ? std::max(1, std::min(int(std::thread::hardware_concurrency()), height))
          : 1;
  std::vector<std::thread> workers;
  for (int chunk = 1; chunk < threads; chunk++)
    workers.emplace_back(render_rows, height * chunk / threads,
                         height * (chunk + 1) / threads);
  render_rows(0, height / threads);
  join_all(workers);
}

void render_selection(SourceCopy &source, GeglBuffer *dest, const DistortVals &settings,
                      const RenderState &state, int threads, RenderProgress progress,
                      RenderTimes *times)
{
  const PixelRenderer renderer = new_pixel_renderer(source, settings, state);
  const BandWriter writer = {dest,
                             source.format,
                             state,
                             progress,
                             size_t(state.sel_width) * size_t(source.view.bpp),
                             times};
  const int32_t band_height = tile_height(dest);
  if (renderer.whole)
    render_copied_bands(renderer, source, writer, band_height, std::max(threads, 1));
  else
    render_sampled_bands(renderer, writer, band_height);
}
