// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "drawable_tiles.h"

// The tile protocol is deprecated in favour of GEGL buffers, and used here on purpose.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

struct DrawableTiles {
  GimpDrawable *drawable;
  GimpPixelRgn source, shadow;
};

namespace
{

// Pixel regions hold no format: with the plug-in's precision enabled, GIMP sends its
// tiles in the drawable's own format, which the caller has checked.
void read_tiles(void *tiles, const GeglRectangle &rect, const Babl *, uint8_t *pixels)
{
  gimp_pixel_rgn_get_rect(&static_cast<DrawableTiles *>(tiles)->source, pixels, rect.x,
                          rect.y, rect.width, rect.height);
}

// The tile cache sends each written tile to GIMP as newer ones push it out. Flushing
// after each band instead would drop the source tiles that the next read ends within.
void write_tiles(void *tiles, const GeglRectangle &rect, const Babl *,
                 const uint8_t *pixels)
{
  gimp_pixel_rgn_set_rect(&static_cast<DrawableTiles *>(tiles)->shadow,
                          const_cast<uint8_t *>(pixels), rect.x, rect.y, rect.width,
                          rect.height);
}

} // namespace

void DetachDrawable::operator()(DrawableTiles *tiles) const
{
  gimp_drawable_detach(tiles->drawable);
  delete tiles;
}

DrawableTilesPtr open_drawable_tiles(gint32 drawable_id, const Babl *format)
{
  GimpDrawable *drawable = gimp_drawable_get(drawable_id);
  DrawableTilesPtr tiles(new DrawableTiles{drawable, {}, {}});
  if (int(drawable->bpp) != babl_format_get_bytes_per_pixel(format))
    return nullptr;
  // The classic plug-ins' cache: two rows of tiles as libgimp counts them, at four
  // bytes a pixel. Larger ones measured slower, for 8-bit and float alike: written
  // tiles waited longer, out of the processor's caches, before they went to GIMP.
  gimp_tile_cache_ntiles(2 * (drawable->width / gimp_tile_width() + 1));
  gimp_pixel_rgn_init(&tiles->source, drawable, 0, 0, drawable->width, drawable->height,
                      FALSE, FALSE);
  gimp_pixel_rgn_init(&tiles->shadow, drawable, 0, 0, drawable->width, drawable->height,
                      TRUE, TRUE);
  return tiles;
}

DrawableReader tile_reader(DrawableTiles &tiles)
{
  return {read_tiles,
          &tiles,
          {0, 0, gint(tiles.drawable->width), gint(tiles.drawable->height)}};
}

ShadowWriter tile_writer(DrawableTiles &tiles)
{
  return {write_tiles, &tiles, gint(gimp_tile_height())};
}

void send_shadow(DrawableTiles &tiles)
{
  gimp_drawable_flush(tiles.drawable);
}
