// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Memory for a plug-in's copy of a whole drawable, which it fills once from end to end:
// where the system offers it, in huge pages, so that filling it does not stop at every
// 4 KiB page to have it mapped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct SourceMemoryFree {
  void operator()(uint8_t *memory) const;
};
using SourceMemory = std::unique_ptr<uint8_t[], SourceMemoryFree>;

// size bytes, or nullptr when they cannot be had.
SourceMemory allocate_source_memory(size_t size);
