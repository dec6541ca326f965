// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "displace_points.h"

// The vector kernels, one per instruction set, each displacing a multiple of its
// number of lanes.
#define ONDALUX_KERNEL_SIGNATURE(name)                                                   \
  void name(const NoiseTables &tables, const DisplaceParams &params,                     \
            const uint8_t *corner_gradient, const double *x, const double *y,            \
            int32_t count, double *nx, double *ny)
ONDALUX_KERNEL_SIGNATURE(displace_lanes_sse2);
ONDALUX_KERNEL_SIGNATURE(displace_lanes_avx2);
ONDALUX_KERNEL_SIGNATURE(displace_lanes_avx512);

namespace
{

using Kernel = ONDALUX_KERNEL_SIGNATURE((*));
constexpr Kernel kernels[vector_set_count] = {displace_lanes_sse2, displace_lanes_avx2,
                                              displace_lanes_avx512};
constexpr int kernel_lanes[vector_set_count] = {2, 4, 8};

} // namespace

VectorSet best_vector_set()
{
  static const VectorSet best =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")
          ? VectorSet::avx512
      : __builtin_cpu_supports("avx2") ? VectorSet::avx2
                                       : VectorSet::sse2;
  return best;
}

void displace_points(const NoiseTables &tables, const DisplaceParams &params,
                     const double *x, const double *y, int32_t count, double *nx,
                     double *ny, VectorSet set)
{
  const int lanes = kernel_lanes[int(set)];
  const int32_t vectored = count - count % lanes;
  kernels[int(set)](tables, params, tables.corner_gradient.data(), x, y, vectored, nx,
                    ny);
  for (int32_t k = vectored; k < count; k++)
    displace(tables, params, x[k], y[k], &nx[k], &ny[k]);
}
