// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "source_memory.h"

#include <cstdlib>

void SourceMemoryFree::operator()(uint8_t *memory) const
{
  std::free(memory);
}

// Large pages on Windows need a privilege that users do not hold.
SourceMemory allocate_source_memory(size_t size)
{
  return SourceMemory(static_cast<uint8_t *>(std::malloc(size)));
}
