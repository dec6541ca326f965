// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The engine's raw numbers, for comparing builds: for each of the 256 patterns, a hash
// of the bits of the noise and of the displaced positions that the scalar engine and
// each vector kernel give for ordinary and wild points under varied settings. A build
// that rounds differently anywhere (a fused multiply-add, another libm) changes a line.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "displace_points.h"

namespace
{

struct Hash {
  uint64_t value = 1469598103934665603u;
  void add(double v)
  {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; i++)
      value = (value ^ ((bits >> (8 * i)) & 0xff)) * 1099511628211u;
  }
};

} // namespace

int main()
{
  const double inf = std::numeric_limits<double>::infinity(),
               nan = std::numeric_limits<double>::quiet_NaN();
  const DisplaceParams settings[] = {{25.0, 0.5, 640, 480}, {150.0, 0.5, 4000, 3000},
                                     {1.5, 1.0, 48, 36},    {3.7, 2.0, 1, 480},
                                     {500.0, -3.0, 640, 1}, {1e-3, 1e300, 20, 20},
                                     {1e300, 0.25, 90, 64}, {7.0, nan, 30, 30}};
  const double wild[] = {nan, inf, -inf, 1e300, -1e300, -0.0, -2.5, 2147483648.0, 1e-310};
  std::vector<double> x, y;
  for (int k = 0; k < 203; k++) {
    x.push_back(k % 29 == 0 ? wild[k / 29] : -50.0 + k * 24.625 + k * k * 0.0137);
    y.push_back(k % 31 == 0 ? wild[(k / 31 + 3) % 9] : 3000.0 - k * 13.3 + k % 7 * 0.31);
  }
  std::vector<VectorSet> sets = {VectorSet::sse2};
  if (best_vector_set() == VectorSet::avx2)
    sets.push_back(VectorSet::avx2);
  std::printf("vector sets: %zu\n", sets.size());
  const auto count = int32_t(x.size());
  std::vector<double> nx(x.size()), ny(x.size());
  for (uint32_t offset = 0; offset < 256; offset++) {
    const NoiseTables tables = build_noise_tables(offset);
    Hash noise, scalar;
    for (const DisplaceParams &params : settings)
      for (int32_t k = 0; k < count; k++) {
        noise.add(simplex_noise_2d(tables, x[size_t(k)] / params.scale_px,
                                   y[size_t(k)] / params.scale_px));
        double sx, sy;
        displace(tables, params, x[size_t(k)], y[size_t(k)], &sx, &sy);
        scalar.add(sx);
        scalar.add(sy);
      }
    std::printf("%3" PRIu32 " noise %016" PRIx64 " scalar %016" PRIx64, offset,
                noise.value, scalar.value);
    for (VectorSet set : sets) {
      Hash vector;
      for (const DisplaceParams &params : settings) {
        displace_points(tables, params, x.data(), y.data(), count, nx.data(), ny.data(),
                        set);
        for (size_t k = 0; k < x.size(); k++) {
          vector.add(nx[k]);
          vector.add(ny[k]);
        }
      }
      std::printf(" %s %016" PRIx64, set == VectorSet::avx2 ? "avx2" : "sse2",
                  vector.value);
    }
    std::printf("\n");
  }
  return 0;
}
