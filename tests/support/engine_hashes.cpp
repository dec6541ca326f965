// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_hashes.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

EngineHashes engine_hashes(uint32_t offset)
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
  // Neighbouring pixels of a row, as images give them: mostly whole vectors in a cell.
  for (int k = 0; k < 160; k++) {
    x.push_back(3900.0 + k);
    y.push_back(1500.0);
  }
  std::vector<double> nx(x.size()), ny(x.size());
  const NoiseTables tables = build_noise_tables(offset);
  // FNV-1a over the values' bytes: the noise, the scalar engine, each kernel.
  uint64_t hashes[2 + vector_set_count] = {};
  const int sets = int(best_vector_set()) + 1;
  std::fill_n(hashes, 2 + sets, 14695981039346656037u);
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
    for (int set = 0; set < sets; set++) {
      displace_points(tables, params, x.data(), y.data(), int32_t(x.size()), nx.data(),
                      ny.data(), VectorSet(set));
      for (size_t k = 0; k < x.size(); k++) {
        add(2 + set, nx[k]);
        add(2 + set, ny[k]);
      }
    }
  }
  return {hashes[0], hashes[1], {hashes[2], hashes[3], hashes[4]}};
}
