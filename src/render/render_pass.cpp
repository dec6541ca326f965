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

// The four pixels around a position with a fraction, packed in the source's format
// as (ix, iy), (ix + 1, iy), (ix, iy + 1), (ix + 1, iy + 1), blended in 8 bits or in
// doubles into dest.
void blend_block(const PixelRenderer &renderer, const uint8_t *block, double nx,
                 double ny, uint8_t *dest)
{
  // Only an unfolded position can be non-finite; the blend needs just its fraction.
  nx = std::isfinite(nx) ? nx : 0.0;
  ny = std::isfinite(ny) ? ny : 0.0;
  const int channels = renderer.channels;
  if (!renderer.to_blend) {
    const uint8_t *samples[4] = {block, block + channels, block + 2 * channels,
                                 block + 3 * channels};
    blend_samples_8(dest, nx, ny, channels, renderer.has_alpha, samples);
    return;
  }
  double values[4 * 4], blended[4];
  if (renderer.u16) {
    for (int i = 0; i < 4 * channels; i++) {
      uint16_t value;
      std::memcpy(&value, block + 2 * i, 2);
      values[i] = value / 65535.0;
    }
  } else {
    babl_process(renderer.to_blend, block, values, 4);
  }
  const double *samples[4] = {values, values + channels, values + 2 * channels,
                              values + 3 * channels};
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

// A position with a fraction in the plug-in's world: the four pixels around it read
// from the drawable's buffer, whose edge pixels extend past its extent.
void render_sampled_pixel(const PixelRenderer &renderer, GeglBuffer *buffer, double x,
                          double y, uint8_t *dest)
{
  double nx = x, ny = y;
  if (renderer.displaced)
    displace(renderer.tables, renderer.params, x, y, &nx, &ny);
  const GeglRectangle square = {sample_floor(nx), sample_floor(ny), 2, 2};
  uint8_t block[4 * 4 * sizeof(double)];
  gegl_buffer_get(buffer, &square, 1.0, renderer.format, block,
                  2 * babl_format_get_bytes_per_pixel(renderer.format), GEGL_ABYSS_CLAMP);
  blend_block(renderer, block, nx, ny, dest);
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
        render_sampled_pixel(renderer, source.buffer, column, row, pixel);
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

// An offset is at most 2 x scale_px x factor (noise stays within [-1, 1]); the rest
// is margin, and a pixel for the truncation. Folding only brings positions closer.
int32_t displacement_reach(const DisplaceParams &params, bool displaced, double factor,
                           int32_t limit)
{
  if (!displaced)
    return 0;
  const double reach = 2.5 * params.scale_px * std::fabs(factor) + 2.0;
  return reach < double(limit) ? int32_t(reach) + 1 : limit;
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

const char *const indexed_reason = N_(
    "Ondalux cannot distort indexed images; convert the image to RGB or greyscale first");

const char *unsupported_format_reason(const Babl *format)
{
  if (!format)
    return N_("Ondalux cannot read the drawable's pixel format");
  if (babl_format_is_palette(format))
    return indexed_reason;
  const int channels = babl_format_get_n_components(format);
  if (channels < 1 || channels > 4)
    return N_("Ondalux distorts only pixels of one to four channels");
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

PixelRenderer new_pixel_renderer(const Babl *format, const DistortVals &settings,
                                 const RenderState &state)
{
  PixelRenderer renderer = {};
  renderer.tables = build_noise_tables(state.noise_offset);
  renderer.params = displace_params(settings, state);
  renderer.displaced = renderer.params.scale_px > 0;
  renderer.whole = samples_are_whole(renderer.params, renderer.displaced);
  renderer.format = format;
  renderer.channels = babl_format_get_n_components(format);
  renderer.has_alpha = state.has_alpha;
  if (babl_format_get_type(format, 0) != babl_type("u8")) {
    // Higher precisions blend in doubles of the same model and space.
    std::string encoding = babl_format_get_encoding(format);
    encoding = encoding.substr(0, encoding.rfind(' ')) + " double";
    const Babl *blend_format =
        babl_format_with_space(encoding.c_str(), babl_format_get_space(format));
    renderer.to_blend = babl_fish(format, blend_format);
    renderer.from_blend = babl_fish(blend_format, format);
    renderer.u16 = babl_format_get_type(format, 0) == babl_type("u16");
  }
  return renderer;
}

void render_preview(const SourceCopy &source, const DistortVals &settings,
                    const RenderState &state, int width, int height,
                    PreviewMapping mapping, uint8_t *display)
{
  const PixelRenderer renderer = new_pixel_renderer(source.format, settings, state);
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
          render_sampled_pixel(renderer, source.buffer, xs[size_t(x)], ys[size_t(x)],
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
  const PixelRenderer renderer = new_pixel_renderer(source.format, settings, state);
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
    render_sampled_bands(renderer, source, writer, band_height);
}

namespace
{

// Level-0 coordinates to those of a mipmap level: every pixel of the level that
// covers part of v's.
int32_t level_floor(int32_t v, int level)
{
  return v >> level;
}

int32_t level_ceil(int32_t v, int level)
{
  return -(-v >> level);
}

// The world position shown by the level's pixel v along an axis where the extent
// starts at origin and is size long. A level's pixels may cover a little beyond the
// extent; those show its edge.
int32_t world_position(int32_t v, int level, int32_t origin, int32_t size)
{
  return std::clamp((v << level) - origin, 0, size - 1);
}

// Every source position is whole: output pixels are copies from a window of the
// input read at the level, as wide as the area plus the offsets' reach.
void copy_extent_area(GeglBuffer *input, const PixelRenderer &renderer,
                      const GeglRectangle &extent, const GeglRectangle &out, int level,
                      uint8_t *dest)
{
  const DisplaceParams &params = renderer.params;
  const int32_t reach_x =
      displacement_reach(params, renderer.displaced, params.turbulence, extent.width);
  const int32_t reach_y = displacement_reach(
      params, renderer.displaced, params.turbulence * params.turbulence, extent.height);
  // The window in world coordinates, then in the level's.
  const int32_t left =
      std::max(world_position(out.x, level, extent.x, extent.width) - reach_x, 0);
  const int32_t top =
      std::max(world_position(out.y, level, extent.y, extent.height) - reach_y, 0);
  const int32_t right = std::min(
      world_position(out.x + out.width - 1, level, extent.x, extent.width) + 1 + reach_x,
      extent.width);
  const int32_t bottom =
      std::min(world_position(out.y + out.height - 1, level, extent.y, extent.height) +
                   1 + reach_y,
               extent.height);
  const GeglRectangle window = {
      level_floor(extent.x + left, level), level_floor(extent.y + top, level),
      level_floor(extent.x + right - 1, level) - level_floor(extent.x + left, level) + 1,
      level_floor(extent.y + bottom - 1, level) - level_floor(extent.y + top, level) + 1};
  const int32_t bpp = babl_format_get_bytes_per_pixel(renderer.format);
  std::vector<uint8_t> pixels(size_t(window.width) * size_t(window.height) * size_t(bpp));
  gegl_buffer_get(input, &window, 1.0 / double(1 << level), renderer.format,
                  pixels.data(), window.width * bpp, GEGL_ABYSS_CLAMP);
  const SourcePixels source = {pixels.data(),
                               window.width,
                               window.height,
                               bpp,
                               extent.x - (window.x << level),
                               extent.y - (window.y << level),
                               level};

  std::vector<double> xs(size_t(out.width)), ys(size_t(out.width));
  for (int32_t x = 0; x < out.width; x++)
    xs[size_t(x)] = world_position(out.x + x, level, extent.x, extent.width);
  for (int32_t y = 0; y < out.height; y++) {
    std::fill(ys.begin(), ys.end(),
              double(world_position(out.y + y, level, extent.y, extent.height)));
    render_points(renderer.tables, params, renderer.displaced, source, xs.data(),
                  ys.data(), out.width,
                  dest + size_t(y) * size_t(out.width) * size_t(bpp));
  }
}

// A one-pixel-wide or one-pixel-tall extent keeps the positions' fractions: each is
// blended from the four pixels around it, those beyond the extent taking its edge's.
void blend_extent_area(GeglBuffer *input, const PixelRenderer &renderer,
                       const GeglRectangle &extent, const GeglRectangle &out, int level,
                       uint8_t *dest)
{
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(renderer.format));
  std::vector<uint8_t> pixels(size_t(extent.width) * size_t(extent.height) * bpp);
  gegl_buffer_get(input, &extent, 1.0, renderer.format, pixels.data(),
                  GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
  const auto pixel = [&](int64_t x, int64_t y) {
    x = std::clamp<int64_t>(x, 0, extent.width - 1);
    y = std::clamp<int64_t>(y, 0, extent.height - 1);
    return &pixels[(size_t(y) * size_t(extent.width) + size_t(x)) * bpp];
  };
  uint8_t block[4 * 4 * sizeof(double)];
  for (int32_t y = 0; y < out.height; y++)
    for (int32_t x = 0; x < out.width; x++, dest += bpp) {
      const double world_x = world_position(out.x + x, level, extent.x, extent.width);
      const double world_y = world_position(out.y + y, level, extent.y, extent.height);
      double nx = world_x, ny = world_y;
      if (renderer.displaced)
        displace(renderer.tables, renderer.params, world_x, world_y, &nx, &ny);
      const int64_t ix = sample_floor(nx), iy = sample_floor(ny);
      for (int k = 0; k < 4; k++)
        std::memcpy(block + size_t(k) * bpp, pixel(ix + k % 2, iy + k / 2), bpp);
      blend_block(renderer, block, nx, ny, dest);
    }
}

} // namespace

void render_extent_area(GeglBuffer *input, GeglBuffer *output, const Babl *format,
                        const GeglRectangle &extent, const GeglRectangle &area, int level,
                        const DistortVals &settings, uint32_t pattern)
{
  if (extent.width < 1 || extent.height < 1)
    return;
  const RenderState state = make_render_state(0, 0, extent.width, extent.height,
                                              babl_format_has_alpha(format), pattern);
  const PixelRenderer renderer = new_pixel_renderer(format, settings, state);
  const GeglRectangle out = {
      level_floor(area.x, level), level_floor(area.y, level),
      level_ceil(area.x + area.width, level) - level_floor(area.x, level),
      level_ceil(area.y + area.height, level) - level_floor(area.y, level)};
  std::vector<uint8_t> pixels(size_t(out.width) * size_t(out.height) *
                              size_t(babl_format_get_bytes_per_pixel(format)));
  if (renderer.whole)
    copy_extent_area(input, renderer, extent, out, level, pixels.data());
  else
    blend_extent_area(input, renderer, extent, out, level, pixels.data());
  gegl_buffer_set(output, &out, level, format, pixels.data(), GEGL_AUTO_ROWSTRIDE);
}
