// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "source_memory.h"

#include <cstdlib>

#include <sys/mman.h>

namespace
{
constexpr size_t huge_page = size_t(2) << 20;
}

void SourceMemoryFree::operator()(uint8_t *memory) const
{
  std::free(memory);
}

SourceMemory allocate_source_memory(size_t size)
{
  const size_t rounded = (size + huge_page - 1) / huge_page * huge_page;
  SourceMemory memory(static_cast<uint8_t *>(std::aligned_alloc(huge_page, rounded)));
#ifdef MADV_HUGEPAGE
  // Only advice: where transparent huge pages are off, the pages stay small.
  if (memory)
    madvise(memory.get(), rounded, MADV_HUGEPAGE);
#endif
  return memory;
}
