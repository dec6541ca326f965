// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The engine's raw numbers for one pattern, hashed: the noise, and the positions that
// the scalar engine and each vector kernel displace ordinary and wild points to under
// varied settings. A build that rounds differently anywhere (a fused multiply-add,
// another libm) or a kernel that strays from the scalar engine changes a hash.
#pragma once

#include <cstdint>

#include "displace_points.h"

struct EngineHashes {
  uint64_t noise, scalar;
  uint64_t kernels[vector_set_count]; // 0 for a set the processor lacks
};

EngineHashes engine_hashes(uint32_t offset);
