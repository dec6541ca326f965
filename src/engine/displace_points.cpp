// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "displace_points.h"

// The vector kernels, one per instruction set, each displacing its number of points.
#define ONDALUX_KERNEL_SIGNATURE(name)                                                   \
  void name(const NoiseTables &tables, const DisplaceParams &params,                     \
            const int32_t *perm, const int32_t *perm_mod12, const double *x,             \
            const double *y, double *nx, double *ny)
ONDALUX_KERNEL_SIGNATURE(displace_lanes_sse2);
ONDALUX_KERNEL_SIGNATURE(displace_lanes_avx2);

namespace
{

using Kernel = ONDALUX_KERNEL_SIGNATURE((*));

} // namespace

VectorSet best_vector_set()
{
  static const VectorSet best =
      __builtin_cpu_supports("avx2") ? VectorSet::avx2 : VectorSet::sse2;
  return best;
}

void displace_points(const NoiseTables &tables, const DisplaceParams &params,
                     const double *x, const double *y, int32_t count, double *nx,
                     double *ny, VectorSet set)
{
  const int lanes = set == VectorSet::avx2 ? 4 : 2;
  const Kernel kernel =
      set == VectorSet::avx2 ? displace_lanes_avx2 : displace_lanes_sse2;
  int32_t k = 0;
  for (; k + lanes <= count; k += lanes)
    kernel(tables, params, tables.perm.data(), tables.perm_mod12.data(), x + k, y + k,
           nx + k, ny + k);
  for (; k < count; k++)
    displace(tables, params, x[k], y[k], &nx[k], &ny[k]);
}
