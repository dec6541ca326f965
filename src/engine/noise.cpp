// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "noise.h"

#include <cstddef>

namespace
{

// The permutation of the Improved Perlin Noise reference implementation.
constexpr std::array<int32_t, 256> base_permutation = {
    151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225,
    140, 36,  103, 30,  69,  142, 8,   99,  37,  240, 21,  10,  23,  190, 6,   148,
    247, 120, 234, 75,  0,   26,  197, 62,  94,  252, 219, 203, 117, 35,  11,  32,
    57,  177, 33,  88,  237, 149, 56,  87,  174, 20,  125, 136, 171, 168, 68,  175,
    74,  165, 71,  134, 139, 48,  27,  166, 77,  146, 158, 231, 83,  111, 229, 122,
    60,  211, 133, 230, 220, 105, 92,  41,  55,  46,  245, 40,  244, 102, 143, 54,
    65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187, 208, 89,  18,  169,
    200, 196, 135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186, 3,   64,
    52,  217, 226, 250, 124, 123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212,
    207, 206, 59,  227, 47,  16,  58,  17,  182, 189, 28,  42,  223, 183, 170, 213,
    119, 248, 152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,
    129, 22,  39,  253, 19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104,
    218, 246, 97,  228, 251, 34,  242, 193, 238, 210, 144, 12,  191, 179, 162, 241,
    81,  51,  145, 235, 249, 14,  239, 107, 49,  192, 214, 31,  181, 199, 106, 157,
    184, 84,  204, 176, 115, 121, 50,  45,  127, 4,   150, 254, 138, 236, 205, 93,
    222, 114, 67,  29,  24,  72,  243, 141, 128, 195, 78,  66,  215, 61,  156, 180};

double corner_contribution(int32_t gradient_index, double x, double y)
{
  const double t = kernel_radius - x * x - y * y;
  if (t < 0)
    return 0.0;
  const Gradient &g = gradient_table[gradient_index];
  return (t * t) * (t * t) * (g.x * x + g.y * y);
}

} // namespace

int32_t truncate_to_int32(double v)
{
  if (v != v)
    return 0;
  if (v >= 2147483647.0)
    return INT32_MAX;
  if (v <= -2147483648.0)
    return INT32_MIN;
  return static_cast<int32_t>(v);
}

int32_t fastfloor(double v)
{
  const int32_t t = truncate_to_int32(v);
  return (v > 0 || t == INT32_MIN) ? t : t - 1;
}

NoiseTables build_noise_tables(uint32_t offset)
{
  NoiseTables tables;
  for (uint32_t i = 0; i < 512; i++) {
    tables.perm[i] = base_permutation[(offset + i) & 255u];
    tables.perm_mod12[i] = tables.perm[i] % 12;
  }
  for (int32_t j = 0; j < corner_stride; j++)
    for (int32_t i = 0; i < corner_stride; i++)
      tables.corner_gradient[std::size_t(j * corner_stride + i)] =
          uint8_t(tables.perm_mod12[std::size_t(i + tables.perm[std::size_t(j)])]);
  return tables;
}

double simplex_noise_2d(const NoiseTables &tables, double xin, double yin)
{
  // Skew the input space so the simplex cell containing the point is a unit square.
  const double s = (xin + yin) * skew_factor;
  const int32_t i = fastfloor(xin + s);
  const int32_t j = fastfloor(yin + s);

  // Unskew the cell origin back to (x, y) space; offsets are from that origin.
  const double t = static_cast<double>(static_cast<int64_t>(i) + j) * unskew_factor;
  const double x0 = xin - (i - t);
  const double y0 = yin - (j - t);

  // The square splits into two triangles; the middle corner depends on which.
  const int32_t i1 = x0 > y0 ? 1 : 0;
  const int32_t j1 = x0 > y0 ? 0 : 1;

  // Offsets from the middle and far corners, unskewed.
  const double x1 = (x0 - i1) + unskew_factor;
  const double y1 = (y0 - j1) + unskew_factor;
  const double x2 = (x0 - 1.0) + 2.0 * unskew_factor;
  const double y2 = (y0 - 1.0) + 2.0 * unskew_factor;

  // Hash the three corners to gradients; masking keeps every index below 512.
  const int32_t ii = i & 255;
  const int32_t jj = j & 255;
  const auto &perm = tables.perm;
  const auto &perm_mod12 = tables.perm_mod12;
  const int32_t gi0 = perm_mod12[ii + perm[jj]];
  const int32_t gi1 = perm_mod12[ii + i1 + perm[jj + j1]];
  const int32_t gi2 = perm_mod12[ii + 1 + perm[jj + 1]];

  const double c0 = corner_contribution(gi0, x0, y0);
  const double c1 = corner_contribution(gi1, x1, y1);
  const double c2 = corner_contribution(gi2, x2, y2);

  // Scale the sum of the three contributions to roughly [-1, 1].
  return output_factor * ((c0 + c1) + c2);
}
