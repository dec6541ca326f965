// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The engine without a host: reference values to the bit, the fold, the render pass's
// read-ahead, and the vector kernels against the scalar engine. Wild inputs are the
// fuzzer's (tests/fuzz), and the hosts' rows of wild arguments. The copying kernel and
// the blend are checked against the reference renderer (and so libgimpcolor) through the
// hosts and the command.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "displace_points.h"
#include "pixel_renderer.h"
#include "support/engine_hashes.h"

namespace
{

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

TEST(SimplexNoise, MatchesReferenceValuesToTheBit)
{
  const struct {
    uint32_t offset;
    double x, y, expected;
  } references[] = {{0, 0.0, 0.0, 2.42861286636753e-16},
                    {0, 10.3, 7.7, 0.8177524332697828},
                    {0, 1.25, -3.5, 0.11753540605656747},
                    {0, 0.0, 1.0, -0.4950942109869327},
                    {0, 1.0, 0.0, -0.07429192184517722},
                    {0, 4.0, 2.0, -0.40209722730828745},
                    {1, 0.0, 0.0, -2.42861286636753e-16},
                    {1, 10.3, 7.7, 0.3829944414902285},
                    {1, 1.25, -3.5, 0.37102185477601624},
                    {3, inf, 0.0, 0.0},
                    {3, 1e300, -1e300, 0.0},
                    {3, inf, -inf, 0.0}};
  for (const auto &r : references)
    EXPECT_EQ(simplex_noise_2d(build_noise_tables(r.offset), r.x, r.y), r.expected)
        << "offset " << r.offset << " at (" << r.x << ", " << r.y << ")";
  EXPECT_TRUE(std::isnan(simplex_noise_2d(build_noise_tables(3), nan, 1.0)));
}

// The whole-pixel fold drops the fraction first; the samplers' fold keeps it.
TEST(FoldCoordinate, AgreesWithRepeatedReflection)
{
  // The reflection loop the closed forms replace, for small values.
  const auto fold_by_reflection = [](double v, double limit) {
    double m = std::fabs(v);
    do
      m = std::fabs(2 * limit - m);
    while (m > limit);
    return m;
  };
  for (double limit : {1.0, 2.0, 7.0, 10.0, 639.0})
    for (double v = -3000.0; v <= 3000.0; v += 0.25) {
      ASSERT_EQ(fold_coordinate(v, limit), fold_by_reflection(std::trunc(v), limit))
          << v << " within " << limit;
      ASSERT_EQ(fold_position(v, limit), fold_by_reflection(v, limit))
          << v << " within " << limit;
    }
}

TEST(Displace, MatchesReferencePositionsToTheBit)
{
  // sel_x2 or sel_y2 of 1 leaves that coordinate unfolded, with fraction and sign.
  const struct {
    uint32_t offset;
    DisplaceParams params;
    double x, y, nx, ny;
  } references[] = {
      {0, {25.0, 0.5, 640, 480}, 100, 50, 113.0, 51.0},
      {0, {25.0, 0.5, 1, 1}, 100, 50, 113.51640078344629, 51.38530064206004},
      {1, {25.0, 0.5, 640, 480}, 100, 50, 99.0, 46.0},
      {1, {25.0, 0.5, 1, 1}, 100, 50, 99.5036577465074, 46.36840778740343},
      {0, {5.0, 2.0, 1, 1}, 0, 0, -0.7429192184517747, -9.901884219738658},
      // Truncation toward zero comes before the reflection at 0.
      {0, {5.0, 2.0, 640, 480}, 0, 0, 0.0, 9.0},
      {0, {5.0, 2.0, 1, 480}, 0, 0, -0.7429192184517747, 9.0},
      {0, {5.0, 2.0, 640, 1}, 0, 0, 0.0, -9.901884219738658},
      {9, {12.0, 0.0, 100, 100}, 42, 17, 42.0, 17.0}};
  for (const auto &r : references) {
    double nx, ny;
    displace(build_noise_tables(r.offset), r.params, r.x, r.y, &nx, &ny);
    EXPECT_EQ(nx, r.nx) << "offset " << r.offset << " at " << r.x << ", " << r.y;
    EXPECT_EQ(ny, r.ny) << "offset " << r.offset << " at " << r.x << ", " << r.y;
  }
}

// A band's or window's pixels are computed from the pixels read so far, so no pixel's
// source may lie further from it than the read-ahead.
TEST(RenderPass, ReadAheadCoversEveryOffset)
{
  for (uint32_t offset = 0; offset < 256; offset += 15) {
    const NoiseTables tables = build_noise_tables(offset);
    for (const DisplaceParams params :
         {DisplaceParams{1.0, 1.0, 4000, 30000}, DisplaceParams{19.2, 1.0, 4000, 30000},
          DisplaceParams{150.0, 0.6, 4000, 30000}}) {
      const int32_t reach_x = displacement_reach(params, true, params.turbulence, 4000);
      const int32_t reach_y =
          displacement_reach(params, true, params.turbulence * params.turbulence, 30000);
      for (double y = 1000; y < 1400; y += 3)
        for (double x = 0; x < 400; x += 3) {
          double nx, ny;
          displace(tables, params, x, y, &nx, &ny);
          ASSERT_TRUE(std::fabs(nx - x) < reach_x && std::fabs(ny - y) < reach_y)
              << params.scale_px << " at " << x << ", " << y;
        }
    }
  }
}

// Every vector kernel gives the scalar engine's bits, with every pattern.
TEST(VectorKernel, GivesTheScalarDoublesBitForBitWithEveryPattern)
{
  for (uint32_t offset = 0; offset < 256; offset++) {
    const EngineHashes h = engine_hashes(offset);
    EXPECT_EQ(h.kernels[0], h.scalar) << "offset " << offset;
    for (uint64_t kernel : h.kernels)
      EXPECT_TRUE(kernel == 0 || kernel == h.scalar) << "offset " << offset;
  }
}

} // namespace
