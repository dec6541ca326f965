// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The plug-ins' world: the selection's bounds within the drawable, rendered from a copy
// of the drawable into its shadow in bands of rows on several threads, while the
// calling thread alone talks to the host through GEGL.
#pragma once

#include "pixel_renderer.h"

// Initialises GEGL for a plug-in process that renders once: without operation
// modules, without babl's cache of conversion paths (loading it costs a passing
// 360 MiB in babl 0.1.98, for conversions the pass hardly makes) and with a small
// tile cache, since the pass keeps its own copy of the source and flushes what it
// writes band by band.
void init_gegl_for_render();

// Every pixel a render may copy from: the drawable over [0, sel_x2) x [0, sel_y2) in
// its own format, read row by row as far as needed and shared by the previews and
// the render pass. Positions with a fraction sample the buffer itself, whose edge
// pixels extend past its extent.
struct SourceCopy {
  GeglBuffer *buffer;
  const Babl *format;
  std::unique_ptr<uint8_t[]> pixels;
  SourcePixels view;
  int32_t rows_read;
};

SourceCopy new_source_copy(GeglBuffer *buffer, const Babl *format,
                           const RenderState &state);

// Makes the first rows rows of source (at most all of them) readable.
void read_source_rows(SourceCopy &source, int32_t rows);

// The pixel for drawable position (x, y) when its source position has a fraction: the
// four pixels around it read from the drawable's buffer.
void render_sampled_pixel(const PixelRenderer &renderer, GeglBuffer *buffer, double x,
                          double y, uint8_t *dest);

struct RenderProgress {
  void (*update)(double fraction, void *data);
  void *data;
};

// Where a render's time went, in seconds of the calling thread: reading the source,
// waiting for the computation, and handing bands to the host.
struct RenderTimes {
  double reading = 0, computing = 0, writing = 0;
};

// Writes dest (the drawable's shadow) over the selection bounds from the unchanged
// source on up to threads threads, flushing each band of rows as it is written; adds
// its times to times unless that is nullptr.
void render_selection(SourceCopy &source, GeglBuffer *dest, const DistortVals &settings,
                      const RenderState &state, int threads, RenderProgress progress,
                      RenderTimes *times = nullptr);
