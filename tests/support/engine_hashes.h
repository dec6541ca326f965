// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The engine's raw numbers for one pattern, hashed: the noise, and the positions that
// the scalar engine and each vector kernel displace ordinary and wild points to under
// varied settings. A build that rounds differently anywhere (a fused multiply-add,
// another libm) or a kernel that strays from the scalar engine changes a hash.
#pragma once

#include <cstdint>

struct EngineHashes {
  uint64_t noise, scalar, sse2, avx2; // avx2: 0 where the processor has no AVX2
};

EngineHashes engine_hashes(uint32_t offset);
