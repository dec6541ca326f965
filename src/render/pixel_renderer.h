// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// What every render over GEGL buffers shares, in the drawable's own format: the run's
// state, the settings as pixels, how far offsets reach, and how pixels whose source
// position has a fraction are blended. Host-neutral: the plug-ins' selection pass and
// preview and the operation's areas build on it.
#pragma once

#include <cstdint>
#include <memory>

#include <gegl.h>

#include "render_kernel.h"
#include "settings.h"

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using GeglBufferPtr = std::unique_ptr<GeglBuffer, GObjectUnref>;
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};
template <typename T> using GMemoryPtr = std::unique_ptr<T, GFree>;

// Fixed by the host before the settings are read.
struct RenderState {
  int32_t sel_x, sel_y, sel_width, sel_height; // selection bounds in the drawable
  int32_t sel_x2, sel_y2;                      // sel_x + sel_width, sel_y + sel_height
  double min_extent;                           // the bounds' smaller side
  bool has_alpha;
  uint32_t noise_offset; // drawn once per run; its low 8 bits choose the pattern
};

RenderState make_render_state(int32_t sel_x, int32_t sel_y, int32_t sel_width,
                              int32_t sel_height, bool has_alpha, uint32_t noise_offset);

// Scale as pixels (per cent of the selection's smaller side), turbulence and the
// selection's far edges.
DisplaceParams displace_params(const DistortVals &settings, const RenderState &state);

// Why pixels of format cannot be rendered (an English msgid), or nullptr when they can.
// An indexed drawable is refused before its format is asked for: libgimp builds that
// format's palette conversion at a cost of some 340 MiB.
const char *unsupported_format_reason(const Babl *format);
extern const char *const indexed_reason;

// What one render or preview redraw needs beside the source: the pattern, the
// settings as pixels, and how positions with a fraction are blended.
struct PixelRenderer {
  NoiseTables tables;
  DisplaceParams params;
  bool displaced;
  bool whole; // every source position is whole: pixels are copies
  const Babl *format;
  const Babl *to_blend;   // format to its channels as doubles; nullptr for 8 bits
  const Babl *from_blend; // and back
  bool u16; // converted to doubles and back here: babl's path rounds through floats
  int channels;
  bool has_alpha;
};

PixelRenderer new_pixel_renderer(const Babl *format, const DistortVals &settings,
                                 const RenderState &state);

// The four pixels around a position with a fraction, packed in the renderer's format
// as (ix, iy), (ix + 1, iy), (ix, iy + 1), (ix + 1, iy + 1), blended into dest.
void blend_block(const PixelRenderer &renderer, const uint8_t *block, double nx,
                 double ny, uint8_t *dest);
