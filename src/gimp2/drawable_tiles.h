// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The drawable and its shadow through libgimp 2.10's own tile protocol, which hands
// GIMP's tiles over as they are: GEGL buffers over the same protocol add a cache and
// a copy on each side, and took the plug-in twice as long as its rendering.
#pragma once

#include <memory>

#include <libgimp/gimp.h>

#include "selection_pass.h"

struct DrawableTiles;
struct DetachDrawable {
  void operator()(DrawableTiles *tiles) const;
};
using DrawableTilesPtr = std::unique_ptr<DrawableTiles, DetachDrawable>;

// The drawable's tiles, in format, or nullptr when GIMP's tiles are not of format's
// pixel size.
DrawableTilesPtr open_drawable_tiles(gint32 drawable_id, const Babl *format);

DrawableReader tile_reader(DrawableTiles &tiles);
ShadowWriter tile_writer(DrawableTiles &tiles);
// Sends the written tiles that the cache still holds to GIMP, before it merges them.
void send_shadow(DrawableTiles &tiles);
