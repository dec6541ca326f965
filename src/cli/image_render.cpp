// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "image_render.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include <Imath/half.h>

#include "blend.h"
#include "render_kernel.h"

namespace
{

// Channel values as doubles in [0, 1] (or beyond, for floating point) and back.
double channel_value(const uint8_t *channel, ChannelType type)
{
  switch (type) {
  case ChannelType::u8:
    return *channel / 255.0;
  case ChannelType::u16: {
    uint16_t v;
    std::memcpy(&v, channel, sizeof v);
    return v / 65535.0;
  }
  case ChannelType::half: {
    half v;
    std::memcpy(&v, channel, sizeof v);
    return float(v);
  }
  case ChannelType::f32: {
    float v;
    std::memcpy(&v, channel, sizeof v);
    return v;
  }
  }
  return 0.0;
}

void store_channel(double value, ChannelType type, uint8_t *channel)
{
  switch (type) {
  case ChannelType::u8:
    *channel = uint8_t(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5);
    break;
  case ChannelType::u16: {
    const uint16_t v = uint16_t(std::clamp(value, 0.0, 1.0) * 65535.0 + 0.5);
    std::memcpy(channel, &v, sizeof v);
    break;
  }
  case ChannelType::half: {
    const half v(static_cast<float>(value));
    std::memcpy(channel, &v, sizeof v);
    break;
  }
  case ChannelType::f32: {
    const float v = static_cast<float>(value);
    std::memcpy(channel, &v, sizeof v);
    break;
  }
  }
}

// A position with a fraction (a one-pixel region edge at the origin): the four pixels
// around it, with the image's edge pixels extending past it, blended in 8 bits
// exactly as GIMP does, or in doubles; palette indices take the first.
void render_sampled_pixel(const PixelImage &source, const uint8_t *held,
                          int32_t held_first, const NoiseTables &tables,
                          const DisplaceParams &params, bool displaced, double x,
                          double y, uint8_t *dest)
{
  double nx = x, ny = y;
  if (displaced)
    displace(tables, params, x, y, &nx, &ny);
  const int32_t ix = sample_floor(nx), iy = sample_floor(ny);
  const auto clamped = [&](int64_t sx, int64_t sy) {
    sx = std::clamp<int64_t>(sx, 0, source.width - 1);
    sy = std::clamp<int64_t>(sy, 0, source.height - 1);
    return held + (size_t(sy - held_first) * size_t(source.width) + size_t(sx)) *
                      source.pixel_bytes();
  };
  const uint8_t *corners[4] = {clamped(ix, iy), clamped(int64_t(ix) + 1, iy),
                               clamped(ix, int64_t(iy) + 1),
                               clamped(int64_t(ix) + 1, int64_t(iy) + 1)};
  if (source.indexed) {
    std::memcpy(dest, corners[0], source.pixel_bytes());
    return;
  }
  // Only an unfolded position can be non-finite; the blend needs just its fraction.
  nx = std::isfinite(nx) ? nx : 0.0;
  ny = std::isfinite(ny) ? ny : 0.0;
  if (source.type == ChannelType::u8) {
    blend_samples_8(dest, nx, ny, source.channels, source.has_alpha, corners);
    return;
  }
  double values[4][max_channels], blended[max_channels];
  const double *samples[4] = {values[0], values[1], values[2], values[3]};
  for (int k = 0; k < 4; k++)
    for (int c = 0; c < source.channels; c++)
      values[k][c] = channel_value(corners[k] + c * source.channel_bytes(), source.type);
  blend_samples_double(blended, nx, ny, source.channels, source.has_alpha, samples);
  for (int c = 0; c < source.channels; c++)
    store_channel(blended[c], source.type, dest + c * source.channel_bytes());
}

DisplaceParams image_params(Region region, const DistortVals &settings)
{
  const double min_extent = std::min(region.width, region.height);
  return {(settings.scale / 100.0) * min_extent, settings.turbulence,
          region.x + region.width, region.y + region.height};
}

} // namespace

int32_t reach_rows(const PixelImage &source, Region region, const DistortVals &settings)
{
  const DisplaceParams params = image_params(region, settings);
  return displacement_reach(params, params.scale_px > 0,
                            params.turbulence * params.turbulence, source.height);
}

void render_image_rows(const PixelImage &source, const uint8_t *held, int32_t held_first,
                       Region region, const DistortVals &settings, uint32_t pattern,
                       int threads, int32_t first, int32_t last, uint8_t *dest)
{
  const int32_t x2 = region.x + region.width, y2 = region.y + region.height;
  const DisplaceParams params = image_params(region, settings);
  const bool displaced = params.scale_px > 0;
  const bool whole = samples_are_whole(params, displaced);
  const NoiseTables tables = build_noise_tables(pattern);
  SourcePixels view = {held, source.width, source.height, int32_t(source.pixel_bytes())};
  view.y_offset = -held_first;
  const size_t row_bytes = size_t(source.width) * source.pixel_bytes();

  // Rows are taken one at a time, so that a thread the system sets aside holds up
  // only the row it has.
  std::atomic<int32_t> next_row{first};
  const auto render_rows = [&] {
    for (int32_t y; (y = next_row++) < last;) {
      uint8_t *row = dest + size_t(y - first) * row_bytes;
      std::memcpy(row, held + size_t(y - held_first) * row_bytes, row_bytes);
      if (y < region.y || y >= y2)
        continue;
      uint8_t *pixel = row + size_t(region.x) * source.pixel_bytes();
      if (whole) {
        render_row(tables, params, displaced, view, region.x, y, region.width, pixel);
        continue;
      }
      for (int32_t x = region.x; x < x2; x++, pixel += source.pixel_bytes())
        render_sampled_pixel(source, held, held_first, tables, params, displaced, x, y,
                             pixel);
    }
  };
  threads = std::clamp(threads, 1, std::max(last - first, 1));
  std::vector<std::thread> workers;
  for (int worker = 1; worker < threads; worker++)
    workers.emplace_back(render_rows);
  render_rows();
  for (std::thread &worker : workers)
    worker.join();
}
