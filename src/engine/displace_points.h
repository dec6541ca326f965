// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The displacement of many points at once: the noise evaluated for several points
// per instruction with SSE2, or AVX2 or AVX-512 where the processor has them, giving
// the very bits that displace gives for each point.
#pragma once

#include <cstdint>

#include "displace.h"

// Each set's processors have the sets before it.
enum class VectorSet { sse2, avx2, avx512 };
constexpr int vector_set_count = 3;

// The widest set the processor has.
VectorSet best_vector_set();

// nx[k], ny[k] = displace(tables, params, x[k], y[k]) for k in [0, count); set must be
// one the processor has.
void displace_points(const NoiseTables &tables, const DisplaceParams &params,
                     const double *x, const double *y, int32_t count, double *nx,
                     double *ny, VectorSet set = best_vector_set());
