// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "render_kernel.h"

#include <algorithm>
#include <cstring>

#include "displace_points.h"

namespace
{

// Positions displaced per call: enough to keep the vector kernel busy, few enough
// to stay on the stack.
constexpr int32_t points_at_once = 64;

// Where the source pixels at the positions (nx[k], ny[k]) lie; each is asked of the
// memory now, to arrive while other work is done.
void locate_pixels(const SourcePixels &source, const double *nx, const double *ny,
                   int32_t count, const uint8_t **pixels)
{
  for (int32_t k = 0; k < count; k++) {
    pixels[k] = source.at(int32_t(nx[k]), int32_t(ny[k]));
    __builtin_prefetch(pixels[k]);
  }
}

// Copies the pixels into dest, each of fixed_bpp bytes, or of bpp bytes when that is
// 0. A size known when compiling makes each copy a move or two rather than a call into
// the C library.
template <size_t fixed_bpp>
void copy_pixels(const uint8_t *const *pixels, int32_t count, size_t bpp, uint8_t *dest)
{
  if (fixed_bpp)
    bpp = fixed_bpp;
  for (int32_t k = 0; k < count; k++, dest += bpp)
    std::memcpy(dest, pixels[k], bpp);
}

using CopyPixels = void (*)(const uint8_t *const *, int32_t, size_t, uint8_t *);

// The pixel sizes of GIMP's formats: 1 to 4 channels of 1, 2, 4 or 8 bytes.
CopyPixels copy_for(int32_t bpp)
{
  // clang-format off
  switch (bpp) {
  case 1: return copy_pixels<1>;
  case 2: return copy_pixels<2>;
  case 3: return copy_pixels<3>;
  case 4: return copy_pixels<4>;
  case 6: return copy_pixels<6>;
  case 8: return copy_pixels<8>;
  case 12: return copy_pixels<12>;
  case 16: return copy_pixels<16>;
  case 24: return copy_pixels<24>;
  case 32: return copy_pixels<32>;
  default: return copy_pixels<0>;
  }
  // clang-format on
}

} // namespace

int32_t sample_floor(double v)
{
  constexpr int32_t far_outside = 1 << 30;
  int32_t t = truncate_to_int32(v);
  if (t > far_outside)
    t = far_outside;
  if (t < -far_outside)
    t = -far_outside;
  return v >= 0 ? t : t - 1;
}

bool samples_are_whole(const DisplaceParams &params, bool displaced)
{
  return !displaced || (params.sel_x2 > 1 && params.sel_y2 > 1);
}

void render_points(const NoiseTables &tables, const DisplaceParams &params,
                   bool displaced, const SourcePixels &source, const double *x,
                   const double *y, int32_t count, uint8_t *dest)
{
  double nx[points_at_once], ny[points_at_once];
  // Each group's pixels are copied once the next group's positions are computed, so
  // that they have come from memory by then.
  const uint8_t *pixels[2][points_at_once];
  const size_t bpp = size_t(source.bpp);
  const CopyPixels copy = copy_for(source.bpp);
  const uint8_t *const *pending = nullptr;
  int32_t pending_count = 0;
  for (int32_t start = 0; start < count; start += points_at_once) {
    const int32_t n = std::min(points_at_once, count - start);
    if (displaced) {
      displace_points(tables, params, x + start, y + start, n, nx, ny);
    } else {
      std::copy(x + start, x + start + n, nx);
      std::copy(y + start, y + start + n, ny);
    }
    const uint8_t **group = pixels[start / points_at_once % 2];
    locate_pixels(source, nx, ny, n, group);
    copy(pending, pending_count, bpp, dest);
    dest += size_t(pending_count) * bpp;
    pending = group;
    pending_count = n;
  }
  copy(pending, pending_count, bpp, dest);
}

void render_row(const NoiseTables &tables, const DisplaceParams &params, bool displaced,
                const SourcePixels &source, int32_t x0, int32_t y, int32_t count,
                uint8_t *dest)
{
  // Several groups at a time, so that render_points fetches each group's pixels while
  // it computes the next group's positions.
  constexpr int32_t row_points_at_once = 8 * points_at_once;
  double x[row_points_at_once], ys[row_points_at_once];
  std::fill(ys, ys + row_points_at_once, double(y));
  for (int32_t start = 0; start < count; start += row_points_at_once) {
    const int32_t n = std::min(row_points_at_once, count - start);
    for (int32_t k = 0; k < n; k++)
      x[k] = double(x0 + start + k);
    render_points(tables, params, displaced, source, x, ys, n,
                  dest + size_t(start) * size_t(source.bpp));
  }
}
