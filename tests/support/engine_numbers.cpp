// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The engine's raw numbers for each of the 256 patterns, hashed, for comparing builds.
#include <cinttypes>
#include <cstdio>

#include "engine_hashes.h"

int main()
{
  for (uint32_t offset = 0; offset < 256; offset++) {
    const EngineHashes h = engine_hashes(offset);
    std::printf("%3" PRIu32 " noise %016" PRIx64 " scalar %016" PRIx64 " kernels", offset,
                h.noise, h.scalar);
    for (uint64_t kernel : h.kernels)
      std::printf(" %016" PRIx64, kernel);
    std::printf("\n");
  }
  return 0;
}
