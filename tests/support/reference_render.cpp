// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "reference_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <Imath/half.h>
#include <libgimp/gimp.h>

#include "blend.h"
#include "displace.h"

namespace
{

// The pixel at (x, y), or the nearest one of world.
const uint8_t *smeared(const Image &image, Box world, long x, long y)
{
  return image.at(int(std::clamp<long>(x, world.x, world.x + world.width - 1)),
                  int(std::clamp<long>(y, world.y, world.y + world.height - 1)));
}

long floor_toward_left(double v)
{
  return static_cast<long>(v) - (v < 0);
}

// A channel as a double, in [0, 1] for integers, and back, as the render pass and the
// command convert them.
double channel_value(const Image &image, const uint8_t *channel)
{
  const auto stored = [&](auto value) {
    std::memcpy(&value, channel, sizeof value);
    return value;
  };
  switch (image.channel_bytes * (image.floating ? -1 : 1)) {
  case 2:
    return stored(uint16_t()) / 65535.0;
  case 4:
    return stored(uint32_t()) / 4294967295.0;
  case -2:
    return stored(half());
  case -4:
    return stored(float());
  default:
    return stored(double());
  }
}

void store_channel(const Image &image, double value, uint8_t *channel)
{
  const auto store = [&](auto stored) { std::memcpy(channel, &stored, sizeof stored); };
  switch (image.channel_bytes * (image.floating ? -1 : 1)) {
  case 2:
    return store(uint16_t(std::clamp(value, 0.0, 1.0) * 65535.0 + 0.5));
  case 4:
    return store(uint32_t(std::clamp(value, 0.0, 1.0) * 4294967295.0 + 0.5));
  case -2:
    return store(half(float(value)));
  case -4:
    return store(float(value));
  default:
    return store(value);
  }
}

// Channels above 8 bits at a position with a fraction: the samples as doubles,
// blended with the engine's weights and order (its 8-bit arithmetic is checked against
// GIMP's own) and stored back.
void blend_wide(const Image &image, uint8_t *dest, double x, double y,
                const uint8_t *const corners[4])
{
  double values[4][4], blended[4];
  for (int k = 0; k < 4; k++)
    for (int c = 0; c < image.channels; c++)
      values[k][c] = channel_value(image, corners[k] + c * image.channel_bytes);
  const double *samples[4] = {values[0], values[1], values[2], values[3]};
  blend_samples_double(blended, x, y, image.channels, image.has_alpha(), samples);
  for (int c = 0; c < image.channels; c++)
    store_channel(image, blended[c], dest + c * image.channel_bytes);
}

} // namespace

Image reference_render(const Image &source, Box bounds, double scale, double turbulence,
                       uint32_t noise_offset, bool cut_out)
{
  Image out = source;
  const NoiseTables tables = build_noise_tables(noise_offset);
  const double min_extent = bounds.width < bounds.height ? bounds.width : bounds.height;
  const double scale_px = (scale / 100.0) * min_extent;
  const Box world = cut_out ? bounds : Box{0, 0, source.width, source.height};
  const DisplaceParams params = {scale_px, turbulence, bounds.x + bounds.width - world.x,
                                 bounds.y + bounds.height - world.y};
  const int channels = source.channels;

  for (int y = bounds.y; y < bounds.y + bounds.height; y++) {
    for (int x = bounds.x; x < bounds.x + bounds.width; x++) {
      double nx = x - world.x, ny = y - world.y;
      if (scale_px > 0)
        displace(tables, params, nx, ny, &nx, &ny);
      const long wx = floor_toward_left(nx), wy = floor_toward_left(ny);
      const long ix = wx + world.x, iy = wy + world.y;
      const uint8_t *corners[4] = {
          smeared(source, world, ix, iy), smeared(source, world, ix + 1, iy),
          smeared(source, world, ix, iy + 1), smeared(source, world, ix + 1, iy + 1)};
      uint8_t *dest = out.at(x, y);
      if (source.channel_bytes != 1) {
        if (nx != double(wx) || ny != double(wy))
          blend_wide(source, dest, nx, ny, corners);
        else
          std::copy(corners[0], corners[0] + source.pixel_bytes(), dest);
        continue;
      }
      // GIMP's blend only reads the samples.
      guchar *samples[4];
      for (int k = 0; k < 4; k++)
        samples[k] = const_cast<guchar *>(corners[k]);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      gimp_bilinear_pixels_8(dest, nx, ny, channels, source.has_alpha(), samples);
#pragma GCC diagnostic pop
      if (source.has_alpha() && dest[channels - 1] == 0)
        std::copy(corners[0], corners[0] + channels - 1, dest);
    }
  }
  return out;
}

std::vector<int> matching_offsets(const Image &source, const Image &rendered, Box bounds,
                                  double scale, double turbulence, bool cut_out, int only)
{
  std::vector<int> offsets;
  for (int offset = 0; offset < 256; offset++) {
    if ((only < 0 || offset == only) &&
        reference_render(source, bounds, scale, turbulence, offset, cut_out) == rendered)
      offsets.push_back(offset);
  }
  return offsets;
}
