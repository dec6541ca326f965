// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernels give exactly the scalar engine's doubles, bit for bit, on ordinary,
// edge and wild inputs, with every pattern.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "displace_points.h"

namespace
{

std::vector<VectorSet> vector_sets()
{
  std::vector<VectorSet> sets = {VectorSet::sse2};
  if (best_vector_set() == VectorSet::avx2)
    sets.push_back(VectorSet::avx2);
  return sets;
}

// Points for one call: ordinary positions, with wild ones mixed in where asked.
std::vector<double> points(std::mt19937_64 &random, size_t count, bool wild)
{
  const double inf = std::numeric_limits<double>::infinity();
  const double wild_values[] = {std::nan(""), inf,    -inf,   1e300,        -1e300,
                                -0.0,         -1.0,   -2.5,   2147483648.0, 67108864.0,
                                -67108864.0,  1e-310, 4000.0, 2999.5};
  std::uniform_real_distribution<double> position(-50.0, 5000.0);
  std::vector<double> values(count);
  for (double &v : values)
    v = wild && random() % 4 == 0 ? wild_values[random() % std::size(wild_values)]
                                  : position(random);
  return values;
}

TEST(VectorKernel, GivesTheScalarDoublesBitForBit)
{
  std::mt19937_64 random(20261206);
  const DisplaceParams settings[] = {{25.0, 0.5, 640, 480}, {150.0, 0.5, 4000, 3000},
                                     {1.5, 1.0, 48, 36},    {3.7, 2.0, 1, 480},
                                     {500.0, -3.0, 640, 1}, {1e-3, 1e300, 20, 20},
                                     {1e300, 0.25, 90, 64}, {7.0, std::nan(""), 30, 30}};
  for (VectorSet set : vector_sets()) {
    for (uint32_t offset = 0; offset < 256; offset++) {
      const NoiseTables tables = build_noise_tables(offset);
      const DisplaceParams &params = settings[offset % std::size(settings)];
      const size_t count = 37; // not a multiple of any vector width
      const std::vector<double> x = points(random, count, offset % 2 == 1);
      const std::vector<double> y = points(random, count, offset % 3 == 1);
      std::vector<double> nx(count), ny(count);
      displace_points(tables, params, x.data(), y.data(), int32_t(count), nx.data(),
                      ny.data(), set);
      for (size_t k = 0; k < count; k++) {
        double sx, sy;
        displace(tables, params, x[k], y[k], &sx, &sy);
        ASSERT_EQ(std::memcmp(&sx, &nx[k], sizeof sx), 0)
            << "x of (" << x[k] << ", " << y[k] << "), offset " << offset << ": " << sx
            << " vs " << nx[k];
        ASSERT_EQ(std::memcmp(&sy, &ny[k], sizeof sy), 0)
            << "y of (" << x[k] << ", " << y[k] << "), offset " << offset << ": " << sy
            << " vs " << ny[k];
      }
    }
  }
}

} // namespace
