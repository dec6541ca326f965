// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include <chrono>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "displace.h"

namespace
{

struct Position {
  double x, y;
};

Position displaced(uint32_t offset, DisplaceParams params, double x, double y)
{
  const NoiseTables tables = build_noise_tables(offset);
  Position p;
  displace(tables, params, x, y, &p.x, &p.y);
  return p;
}

TEST(FoldCoordinate, ReflectsWholePartIntoZeroToLimit)
{
  EXPECT_EQ(fold_coordinate(-3.7, 10), 3.0);
  EXPECT_EQ(fold_coordinate(10, 10), 10.0);
  EXPECT_EQ(fold_coordinate(13.9, 10), 7.0);
  EXPECT_EQ(fold_coordinate(25, 10), 5.0);
  EXPECT_EQ(fold_coordinate(35, 10), 5.0);
  EXPECT_EQ(fold_coordinate(41, 10), 1.0);
  EXPECT_EQ(fold_coordinate(0.99, 10), 0.0);
  EXPECT_EQ(fold_coordinate(-0.99, 10), 0.0);
  for (double v = -7.5; v < 7.5; v += 0.25) {
    const double folded = fold_coordinate(v, 1);
    EXPECT_TRUE(folded == 0.0 || folded == 1.0) << v;
  }
}

// The reflection loop the closed form replaces, for small values.
double fold_by_reflection(double v, double limit)
{
  long m = std::labs(static_cast<long>(v));
  do
    m = std::labs(static_cast<long>(2 * limit - m));
  while (m > limit);
  return static_cast<double>(m);
}

TEST(FoldCoordinate, AgreesWithRepeatedReflection)
{
  for (double limit : {1.0, 2.0, 7.0, 10.0, 639.0}) {
    for (double v = -3000.0; v <= 3000.0; v += 0.5) {
      ASSERT_EQ(fold_coordinate(v, limit), fold_by_reflection(v, limit))
          << v << " within " << limit;
    }
  }
}

TEST(FoldCoordinate, ExtremeValuesEndInRangeAtOnce)
{
  const double inf = std::numeric_limits<double>::infinity();
  const auto start = std::chrono::steady_clock::now();
  for (double v : {1e300, -1e300, inf, -inf, std::nan(""), 4294967296.5, -2147483648.0}) {
    for (double limit : {1.0, 479.0, 2147483646.0}) {
      const double folded = fold_coordinate(v, limit);
      EXPECT_GE(folded, 0.0) << v;
      EXPECT_LE(folded, limit) << v;
      EXPECT_EQ(folded, std::trunc(folded)) << v;
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST(Displace, MatchesReferencePositionsToTheBit)
{
  const DisplaceParams folded = {25.0, 0.5, 640, 480};
  const DisplaceParams unfolded = {25.0, 0.5, 1, 1};
  Position p = displaced(0, folded, 100, 50);
  EXPECT_EQ(p.x, 113.0);
  EXPECT_EQ(p.y, 51.0);
  p = displaced(0, unfolded, 100, 50);
  EXPECT_EQ(p.x, 113.51640078344629);
  EXPECT_EQ(p.y, 51.38530064206004);
  p = displaced(1, folded, 100, 50);
  EXPECT_EQ(p.x, 99.0);
  EXPECT_EQ(p.y, 46.0);
  p = displaced(1, unfolded, 100, 50);
  EXPECT_EQ(p.x, 99.5036577465074);
  EXPECT_EQ(p.y, 46.36840778740343);

  p = displaced(0, {5.0, 2.0, 1, 1}, 0, 0);
  EXPECT_EQ(p.x, -0.7429192184517747);
  EXPECT_EQ(p.y, -9.901884219738658);
  // Truncation toward zero comes before the reflection at 0.
  p = displaced(0, {5.0, 2.0, 640, 480}, 0, 0);
  EXPECT_EQ(p.x, 0.0);
  EXPECT_EQ(p.y, 9.0);
}

TEST(Displace, HorizontalOffsetGrowsWithTurbulenceVerticalWithItsSquare)
{
  for (uint32_t offset : {0u, 5u, 200u}) {
    for (double x = 3; x < 300; x += 37) {
      const Position still = displaced(offset, {40.0, 0.0, 1, 1}, x, x * 0.7);
      EXPECT_EQ(still.x, x);
      EXPECT_EQ(still.y, x * 0.7);
      const Position once = displaced(offset, {40.0, 0.25, 1, 1}, x, x * 0.7);
      const Position twice = displaced(offset, {40.0, 0.5, 1, 1}, x, x * 0.7);
      EXPECT_NEAR(twice.x - x, 2 * (once.x - x), 1e-9);
      EXPECT_NEAR(twice.y - x * 0.7, 4 * (once.y - x * 0.7), 1e-9);
    }
  }
}

TEST(Displace, ZeroTurbulenceFoldsEachCoordinateToItsWholePart)
{
  const Position p = displaced(9, {12.0, 0.0, 100, 100}, 42, 17);
  EXPECT_EQ(p.x, 42.0);
  EXPECT_EQ(p.y, 17.0);
}

TEST(Displace, OnePixelEdgeAtTheOriginIsNotFolded)
{
  // sel_x2 = 1: a one-pixel-wide selection at x = 0 keeps nx with fraction and sign.
  const Position column = displaced(0, {5.0, 2.0, 1, 480}, 0, 0);
  EXPECT_EQ(column.x, -0.7429192184517747);
  EXPECT_EQ(column.y, 9.0);
  const Position row = displaced(0, {5.0, 2.0, 640, 1}, 0, 0);
  EXPECT_EQ(row.x, 0.0);
  EXPECT_EQ(row.y, -9.901884219738658);
}

TEST(Displace, WildSettingsGiveFoldedPositionsQuickly)
{
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::nan("");
  const double values[] = {1e300, -1e300, -40.0, 1e-300, inf, -inf, nan, 0.0};
  const auto start = std::chrono::steady_clock::now();
  for (double scale_px : values) {
    for (double turbulence : values) {
      for (double x : {0.0, 1.0, 333.0}) {
        const Position p = displaced(17, {scale_px, turbulence, 400, 300}, x, x + 2);
        ASSERT_TRUE(p.x >= 0 && p.x <= 399 && p.x == std::trunc(p.x))
            << scale_px << " " << turbulence << " -> " << p.x;
        ASSERT_TRUE(p.y >= 0 && p.y <= 299 && p.y == std::trunc(p.y))
            << scale_px << " " << turbulence << " -> " << p.y;
      }
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

} // namespace
