#include "render_kernel.h"

bool samples_are_whole(const DisplaceParams &params, bool displaced)
{
  return !displaced || (params.sel_x2 > 1 && params.sel_y2 > 1);
}

void render_row(const NoiseTables &tables, const DisplaceParams &params, bool displaced,
                const SourcePixels &source, int32_t x0, int32_t y, int32_t count,
                uint8_t *dest)
{
  for (int32_t i = 0; i < count; i++) {
    copy_displaced_pixel(tables, params, displaced, source, double(x0 + i), double(y),
                         dest);
    dest += source.bpp;
  }
}
