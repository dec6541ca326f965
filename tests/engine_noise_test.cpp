// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "noise.h"

namespace
{

TEST(NoiseTables, OffsetRotatesTheBasePermutationWrittenTwice)
{
  const NoiseTables zero = build_noise_tables(0);
  std::set<int32_t> distinct(zero.perm.begin(), zero.perm.begin() + 256);
  EXPECT_EQ(distinct.size(), 256u);
  EXPECT_EQ(*distinct.begin(), 0);
  EXPECT_EQ(*distinct.rbegin(), 255);
  EXPECT_EQ(zero.perm[0], 151);
  EXPECT_EQ(zero.perm[9], 95);
  EXPECT_EQ(zero.perm[248], 128);
  EXPECT_EQ(zero.perm[255], 180);
  for (int i = 0; i < 256; i++) {
    EXPECT_EQ(zero.perm[i], zero.perm[i + 256]);
  }
  for (int i = 0; i < 512; i++) {
    EXPECT_EQ(zero.perm_mod12[i], zero.perm[i] % 12);
    EXPECT_GE(zero.perm_mod12[i], 0);
    EXPECT_LT(zero.perm_mod12[i], 12);
  }
  EXPECT_EQ((std::array<int32_t, 4>{zero.perm_mod12[0], zero.perm_mod12[1],
                                    zero.perm_mod12[2], zero.perm_mod12[3]}),
            (std::array<int32_t, 4>{7, 4, 5, 7}));

  const NoiseTables one = build_noise_tables(1);
  EXPECT_EQ(one.perm[0], 160);
  EXPECT_EQ(one.perm[255], 151);
  EXPECT_EQ((std::array<int32_t, 4>{one.perm[0], one.perm[1], one.perm[2], one.perm[3]}),
            (std::array<int32_t, 4>{160, 137, 91, 90}));
  EXPECT_EQ((std::array<int32_t, 4>{one.perm_mod12[0], one.perm_mod12[1],
                                    one.perm_mod12[2], one.perm_mod12[3]}),
            (std::array<int32_t, 4>{4, 5, 7, 6}));

  const NoiseTables wrapped = build_noise_tables(256);
  EXPECT_EQ(wrapped.perm, zero.perm);
  EXPECT_EQ(wrapped.perm_mod12, zero.perm_mod12);
  EXPECT_EQ(build_noise_tables(0xFFFFFF01u).perm, one.perm);
}

TEST(Fastfloor, GoesOneBelowFloorAtZeroAndNegativeWholeNumbers)
{
  EXPECT_EQ(fastfloor(0.0), -1);
  EXPECT_EQ(fastfloor(-2.0), -3);
  EXPECT_EQ(fastfloor(-2.5), -3);
  EXPECT_EQ(fastfloor(2.7), 2);
  EXPECT_EQ(fastfloor(3.0), 3);
  EXPECT_EQ(fastfloor(1e-300), 0);
}

TEST(Fastfloor, SaturatesOutsideThe32BitRange)
{
  EXPECT_EQ(truncate_to_int32(std::nan("")), 0);
  EXPECT_EQ(truncate_to_int32(1e300), INT32_MAX);
  EXPECT_EQ(truncate_to_int32(-1e300), INT32_MIN);
  EXPECT_EQ(truncate_to_int32(std::numeric_limits<double>::infinity()), INT32_MAX);
  EXPECT_EQ(truncate_to_int32(-2147483648.5), INT32_MIN);
  EXPECT_EQ(truncate_to_int32(-7.9), -7);
  EXPECT_EQ(fastfloor(-1e300), INT32_MIN);
}

struct NoiseReference {
  uint32_t offset;
  double x, y, expected;
};

TEST(SimplexNoise, MatchesReferenceValuesToTheBit)
{
  const NoiseReference references[] = {
      {0, 0.0, 0.0, 2.42861286636753e-16},  {0, 10.3, 7.7, 0.8177524332697828},
      {0, 1.25, -3.5, 0.11753540605656747}, {0, 0.0, 1.0, -0.4950942109869327},
      {0, 1.0, 0.0, -0.07429192184517722},  {0, 4.0, 2.0, -0.40209722730828745},
      {1, 0.0, 0.0, -2.42861286636753e-16}, {1, 10.3, 7.7, 0.3829944414902285},
      {1, 1.25, -3.5, 0.37102185477601624},
  };
  for (const NoiseReference &r : references) {
    const NoiseTables tables = build_noise_tables(r.offset);
    EXPECT_EQ(simplex_noise_2d(tables, r.x, r.y), r.expected)
        << "offset " << r.offset << " at (" << r.x << ", " << r.y << ")";
  }
}

TEST(SimplexNoise, NonFiniteAndHugeInputsStayDefined)
{
  const NoiseTables tables = build_noise_tables(3);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(simplex_noise_2d(tables, inf, 0.0), 0.0);
  EXPECT_EQ(simplex_noise_2d(tables, 1e300, -1e300), 0.0);
  EXPECT_TRUE(std::isnan(simplex_noise_2d(tables, std::nan(""), 1.0)));
  EXPECT_EQ(simplex_noise_2d(tables, inf, -inf), 0.0);
}

} // namespace
