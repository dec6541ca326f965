// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Times the engine alone: displacement and copy for every pixel of a width x height RGB
// layer, as the render pass computes them, on THREADS threads (default 1). Prints
// seconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "render_kernel.h"

int main(int argc, char **argv)
{
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s WIDTH HEIGHT [THREADS]\n", argv[0]);
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), bpp = 3;
  const int threads = argc == 4 ? std::max(1, std::atoi(argv[3])) : 1;
  std::vector<uint8_t> pixels(size_t(width) * height * bpp, 7);
  const SourcePixels source = {pixels.data(), width, height, bpp};
  // The defaults: Scale 5 per cent of the smaller side, Turbulence 0.5.
  const DisplaceParams params = {0.05 * (width < height ? width : height), 0.5, width,
                                 height};
  const NoiseTables tables = build_noise_tables(42);

  const auto start = std::chrono::steady_clock::now();
  std::vector<unsigned> checksums(size_t(threads), 0);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; t++) {
    workers.emplace_back([&, t] {
      std::vector<uint8_t> row(size_t(width) * bpp);
      for (int y = height * t / threads; y < height * (t + 1) / threads; y++) {
        render_row(tables, params, true, source, 0, y, width, row.data());
        checksums[size_t(t)] += row[size_t(y) % row.size()];
      }
    });
  }
  for (std::thread &worker : workers)
    worker.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f\n", seconds);
  unsigned checksum = 0;
  for (unsigned c : checksums)
    checksum += c;
  return checksum == 0xFFFFFFFFu; // keeps the work observable
}
