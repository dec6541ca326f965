// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target over the engine: arbitrary positions, settings and selection
// extents, NaN and infinities included. Checks that every call ends, stays defined
// (under the sanitizers) and yields positions the sampling can use.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render_kernel.h"

namespace
{

struct FuzzInput {
  double x, y, scale_px, turbulence, fold_value, fold_limit;
  int32_t sel_x2, sel_y2;
  uint32_t offset;
  uint8_t bpp;
};

void check(bool condition)
{
  if (!condition)
    __builtin_trap();
}

bool whole_in(double v, double low, double high)
{
  return v >= low && v <= high && v == std::trunc(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FuzzInput in = {};
  std::memcpy(&in, data, size < sizeof in ? size : sizeof in);
  const NoiseTables tables = build_noise_tables(in.offset);

  const double noise = simplex_noise_2d(tables, in.x, in.y);
  check(std::isnan(noise) || std::fabs(noise) <= 1.0);

  // fold_coordinate is called with whole limits of at least 1.
  const double limit = std::fabs(std::trunc(in.fold_limit));
  if (limit >= 1 && limit < 2147483647.0)
    check(whole_in(fold_coordinate(in.fold_value, limit), 0, limit));

  // Callers displace only with a positive scale, inside a real selection.
  if (!(in.scale_px > 0) || in.sel_x2 < 1 || in.sel_y2 < 1)
    return 0;
  const DisplaceParams params = {in.scale_px, in.turbulence, in.sel_x2, in.sel_y2};
  double nx, ny;
  displace(tables, params, in.x, in.y, &nx, &ny);
  if (in.sel_x2 > 1)
    check(whole_in(nx, 0, in.sel_x2 - 1));
  if (in.sel_y2 > 1)
    check(whole_in(ny, 0, in.sel_y2 - 1));
  // Unfolded positions reach the fetcher through sample_floor, whose result and the
  // next position both stay far from overflow.
  for (double v : {nx, ny}) {
    const int32_t sample = sample_floor(v);
    check(sample >= -(1 << 30) - 1 && sample <= (1 << 30));
  }

  // The copying kernel reads only inside its source when samples are whole.
  if (samples_are_whole(params, true) && in.sel_x2 <= 64 && in.sel_y2 <= 64) {
    const int32_t bpp = 1 + in.bpp % 4;
    std::vector<uint8_t> pixels(size_t(in.sel_x2) * size_t(in.sel_y2) * size_t(bpp));
    const SourcePixels source = {pixels.data(), in.sel_x2, in.sel_y2, bpp};
    uint8_t out[4];
    render_points(tables, params, true, source, &in.x, &in.y, 1, out);
  }
  return 0;
}
