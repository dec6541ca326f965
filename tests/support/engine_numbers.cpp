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
  const auto count = int32_t(x.size());
  std::vector<double> nx(x.size()), ny(x.size());
  for (uint32_t offset = 0; offset < 256; offset++) {
    const NoiseTables tables = build_noise_tables(offset);
    // FNV-1a over the bytes of the values, for the noise, the scalar engine, SSE2 and
    // AVX2 (where the processor has it).
    uint64_t hashes[4] = {14695981039346656037u, 14695981039346656037u,
                          14695981039346656037u, 14695981039346656037u};
    const auto add = [&](int which, double value) {
      unsigned char bytes[8];
      std::memcpy(bytes, &value, 8);
      for (unsigned char byte : bytes)
        hashes[which] = (hashes[which] ^ byte) * 1099511628211u;
    };
    for (const DisplaceParams &params : settings) {
      for (size_t k = 0; k < x.size(); k++) {
        add(0, simplex_noise_2d(tables, x[k] / params.scale_px, y[k] / params.scale_px));
        displace(tables, params, x[k], y[k], &nx[k], &ny[k]);
        add(1, nx[k]);
        add(1, ny[k]);
      }
      for (VectorSet set : {VectorSet::sse2, VectorSet::avx2}) {
        if (set == VectorSet::avx2 && best_vector_set() != VectorSet::avx2)
          continue;
        displace_points(tables, params, x.data(), y.data(), count, nx.data(), ny.data(),
                        set);
        for (size_t k = 0; k < x.size(); k++) {
          add(2 + int(set), nx[k]);
          add(2 + int(set), ny[k]);
        }
      }
    }
    std::printf("%3" PRIu32 " noise %016" PRIx64 " scalar %016" PRIx64 " sse2 %016" PRIx64
                " avx2 %016" PRIx64 "\n",
                offset, hashes[0], hashes[1], hashes[2], hashes[3]);
  }
  return 0;
}
