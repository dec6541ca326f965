// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "displace.h"

#include <cmath>
#include <cstdlib>

double fold_coordinate(double v, double limit)
{
  const int64_t m = std::llabs(static_cast<int64_t>(truncate_to_int32(v)));
  const int64_t l = truncate_to_int32(limit);
  if (l < 1)
    return 0.0;
  // Closed form of reflecting about 0 and limit until the value lies within; most
  // positions lie within one period, where the division is not needed.
  const int64_t period = 2 * l;
  const int64_t r = m < period ? m : m % period;
  return static_cast<double>(r <= l ? r : 2 * l - r);
}

double fold_position(double v, double limit)
{
  if (!(limit >= 1.0) || !std::isfinite(v))
    return 0.0;
  const double period = 2.0 * limit;
  const double r = std::fmod(std::fabs(v), period);
  return r <= limit ? r : period - r;
}

void fold_displaced(const DisplaceParams &params, double *dx, double *dy)
{
  const double limit_x = static_cast<double>(params.sel_x2) - 1.0;
  if (limit_x != 0)
    *dx = fold_coordinate(*dx, limit_x);
  const double limit_y = static_cast<double>(params.sel_y2) - 1.0;
  if (limit_y != 0)
    *dy = fold_coordinate(*dy, limit_y);
}

void displace(const NoiseTables &tables, const DisplaceParams &params, double x, double y,
              double *nx, double *ny)
{
  const double scale_px = params.scale_px;
  const double turbulence = params.turbulence;
  const double u = x / scale_px;
  const double v = y / scale_px;

  // Slope of the noise field over one noise unit, sampled at the point and one unit
  // to the right and one unit down.
  const double a = simplex_noise_2d(tables, u, v) * turbulence;
  const double b = simplex_noise_2d(tables, u + 1.0, v) * turbulence;
  const double c = simplex_noise_2d(tables, u, v + 1.0) * turbulence;

  double dx = (b - a) * scale_px + x;
  // The vertical offset carries the turbulence a second time, so it grows with T².
  double dy = ((c - a) * scale_px) * turbulence + y;

  fold_displaced(params, &dx, &dy);
  *nx = dx;
  *ny = dy;
}

// An offset is at most 2 x scale_px x factor (noise stays within [-1, 1]); the rest
// is margin, and a pixel for the truncation. Folding only brings positions closer.
int32_t displacement_reach(const DisplaceParams &params, bool displaced, double factor,
                           int32_t limit)
{
  if (!displaced)
    return 0;
  const double reach = 2.0 * params.scale_px * std::fabs(factor) + 2.0;
  return reach < double(limit) ? int32_t(reach) + 1 : limit;
}
