#include "render_kernel.h"

int32_t sample_floor(double v)
{
  constexpr int32_t far_outside = 1 << 30;
  int32_t t = truncate_to_int32(v);
  if (t > far_outside)
    t = far_outside;
  if (t < -far_outside)
    t = -far_outside;
  return v >= 0 ? t : t - 1;
}

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
