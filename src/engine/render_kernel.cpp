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
  const size_t bpp = size_t(source.bpp);
  for (int32_t start = 0; start < count; start += points_at_once) {
    const int32_t n = std::min(points_at_once, count - start);
    if (displaced) {
      displace_points(tables, params, x + start, y + start, n, nx, ny);
    } else {
      std::copy(x + start, x + start + n, nx);
      std::copy(y + start, y + start + n, ny);
    }
    for (int32_t k = 0; k < n; k++, dest += bpp)
      std::memcpy(dest, source.at(int32_t(nx[k]), int32_t(ny[k])), bpp);
  }
}

void render_row(const NoiseTables &tables, const DisplaceParams &params, bool displaced,
                const SourcePixels &source, int32_t x0, int32_t y, int32_t count,
                uint8_t *dest)
{
  double x[points_at_once], ys[points_at_once];
  std::fill(ys, ys + points_at_once, double(y));
  for (int32_t start = 0; start < count; start += points_at_once) {
    const int32_t n = std::min(points_at_once, count - start);
    for (int32_t k = 0; k < n; k++)
      x[k] = double(x0 + start + k);
    render_points(tables, params, displaced, source, x, ys, n,
                  dest + size_t(start) * size_t(source.bpp));
  }
}
