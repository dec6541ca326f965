// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// 2D simplex noise over a permutation table rotated by a per-run offset.
#pragma once

#include <array>
#include <cstdint>

// Kept as these short literals rather than derived from sqrt(3): the reference
// values depend on their exact bits.
constexpr double skew_factor = 0.366025403;
constexpr double unskew_factor = 0.211324865;
constexpr double kernel_radius = 0.5;
constexpr double output_factor = 70.0;

// The gradient index of cell corner (i, j), perm_mod12[i + perm[j]] for i and j in
// 0..256, stands at [j * corner_stride + i] of corner_gradient: one look-up instead of
// two in a row, for the vector kernel.
constexpr int32_t corner_stride = 257;

struct Gradient {
  int32_t x, y, z;
};

// Edge midpoints of a cube; the 2D dot product uses only x and y.
constexpr std::array<Gradient, 12> gradient_table = {{{1, 1, 0},
                                                      {-1, 1, 0},
                                                      {1, -1, 0},
                                                      {-1, -1, 0},
                                                      {1, 0, 1},
                                                      {-1, 0, 1},
                                                      {1, 0, -1},
                                                      {-1, 0, -1},
                                                      {0, 1, 1},
                                                      {0, -1, 1},
                                                      {0, 1, -1},
                                                      {0, -1, -1}}};

struct NoiseTables {
  std::array<int32_t, 512> perm;
  std::array<int32_t, 512> perm_mod12;
  std::array<uint8_t, corner_stride * corner_stride> corner_gradient;
};

// Truncates toward zero; NaN gives 0 and values beyond the 32-bit range saturate,
// so no conversion is ever undefined.
int32_t truncate_to_int32(double v);

// trunc(v) for v > 0, trunc(v) - 1 otherwise (so 0 and negative whole numbers go
// one lower than floor would).
int32_t fastfloor(double v);

// The base permutation rotated left by (offset mod 256), written out twice.
NoiseTables build_noise_tables(uint32_t offset);

// Roughly in [-1, 1]; a pure function of its arguments and the tables.
double simplex_noise_2d(const NoiseTables &tables, double xin, double yin);
