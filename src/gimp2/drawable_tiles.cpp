// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "drawable_tiles.h"

#include <algorithm>
#include <cstring>

// The tile protocol is deprecated in favour of GEGL buffers, and used here on purpose.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

struct DrawableTiles {
  GimpDrawable *drawable;
  GimpPixelRgn source;
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
// A tile that rect covers whole is not fetched from GIMP first: every byte of it is
// about to be replaced.
void write_tiles(void *tiles, const GeglRectangle &rect, const Babl *,
                 const uint8_t *pixels)
{
  GimpDrawable *drawable = static_cast<DrawableTiles *>(tiles)->drawable;
  const gint tile_width = gimp_tile_width(), tile_height = gimp_tile_height();
  const size_t bpp = drawable->bpp, stride = size_t(rect.width) * bpp;
  for (gint y = rect.y; y < rect.y + rect.height;) {
    gint next_y = y;
    for (gint x = rect.x; x < rect.x + rect.width;) {
      GimpTile *tile = gimp_drawable_get_tile2(drawable, TRUE, x, y);
      const gint tile_x = x % tile_width, tile_y = y % tile_height;
      const gint right = std::min(x + gint(tile->ewidth) - tile_x, rect.x + rect.width),
                 bottom =
                     std::min(y + gint(tile->eheight) - tile_y, rect.y + rect.height);
      const bool whole = tile_x == 0 && tile_y == 0 && right - x == gint(tile->ewidth) &&
                         bottom - y == gint(tile->eheight);
      (whole ? gimp_tile_ref_zero : gimp_tile_ref)(tile);
      for (gint row = y; row < bottom; row++)
        std::memcpy(tile->data +
                        (size_t(row % tile_height) * tile->ewidth + size_t(tile_x)) * bpp,
                    pixels + size_t(row - rect.y) * stride + size_t(x - rect.x) * bpp,
                    size_t(right - x) * bpp);
      gimp_tile_unref(tile, TRUE);
      x = right;
      next_y = bottom;
    }
    y = next_y;
  }
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
  DrawableTilesPtr tiles(new DrawableTiles{drawable, {}});
  if (int(drawable->bpp) != babl_format_get_bytes_per_pixel(format))
    return nullptr;
  // The classic plug-ins' cache: two rows of tiles as libgimp counts them, at four
  // bytes a pixel. Larger ones measured slower, for 8-bit and float alike: written
  // tiles waited longer, out of the processor's caches, before they went to GIMP.
  gimp_tile_cache_ntiles(2 * (drawable->width / gimp_tile_width() + 1));
  gimp_pixel_rgn_init(&tiles->source, drawable, 0, 0, drawable->width, drawable->height,
                      FALSE, FALSE);
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
