// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The plug-ins' world: the selection's bounds within the drawable, rendered from a copy
// of the drawable into its shadow in bands of rows on several threads, while the
// calling thread alone talks to the host, through GEGL buffers or the host's own
// transport.
#pragma once

#include "pixel_renderer.h"
#include "source_memory.h"

// Initialises babl for a plug-in process that renders once, without its cache of
// conversion paths: loading it costs a passing 360 MiB in babl 0.1.98, for
// conversions the pass hardly makes.
void init_babl_for_render();

// And GEGL, for one that reads and writes GEGL buffers: without operation modules and
// with a small tile cache, since the pass keeps its own copy of the source and flushes
// what it writes band by band.
void init_gegl_for_render();

// Where the drawable's pixels come from: read(data, rect, format, pixels) copies rect,
// within extent, into pixels of format with rows packed.
struct DrawableReader {
  void (*read)(void *data, const GeglRectangle &rect, const Babl *format,
               uint8_t *pixels);
  void *data;
  GeglRectangle extent;
};

// Where the shadow's go: write(data, rect, format, pixels) hands rect over to the
// host. Bands end where the host's rows of tiles of band_height rows end.
struct ShadowWriter {
  void (*write)(void *data, const GeglRectangle &rect, const Babl *format,
                const uint8_t *pixels);
  void *data;
  int32_t band_height;
};

// A GEGL buffer as either; the buffer outlives what is made of it.
DrawableReader gegl_buffer_reader(GeglBuffer *buffer);
ShadowWriter gegl_buffer_writer(GeglBuffer *shadow);

// Every pixel a render may copy from: the drawable over [0, sel_x2) x [0, sel_y2) in
// its own format, read row by row as far as needed and shared by the previews and
// the render pass. Positions with a fraction sample the drawable itself, whose edge
// pixels extend past its extent. The rows held, [first_row, rows_read), start at
// pixels: a render that reads rows as it goes and gives up those behind it touches
// memory for a window of rows, not for the whole drawable.
struct SourceCopy {
  DrawableReader drawable;
  const Babl *format;
  SourceMemory pixels;
  SourcePixels view; // the rows held, at their drawable positions
  int32_t first_row, rows_read;
};

SourceCopy new_source_copy(DrawableReader drawable, const Babl *format,
                           const RenderState &state);

// Makes the rows up to rows (at most all of them) readable.
void read_source_rows(SourceCopy &source, int32_t rows);

// Gives up the rows above row first, unless every row has been read. The rows kept
// move to the front once those given up take as much room as they do, so no render
// may read the copy meanwhile.
void forget_source_rows(SourceCopy &source, int32_t first);

// The pixel for drawable position (x, y) when its source position has a fraction: the
// four pixels around it read from the drawable.
void render_sampled_pixel(const PixelRenderer &renderer, const DrawableReader &drawable,
                          double x, double y, uint8_t *dest);

struct RenderProgress {
  void (*update)(double fraction, void *data);
  void *data;
};

// Where a render's time went, in seconds of the calling thread: reading the source,
// finishing the computation (rendering the rows left and waiting for the workers), and
// handing bands to the host.
struct RenderTimes {
  double reading = 0, computing = 0, writing = 0;
};

// Writes the drawable's shadow over the selection bounds from the unchanged source on
// up to threads threads, handing each band of rows over as it is done; adds its times
// to times unless that is nullptr. The calling thread, which moves the pixels to and
// from the host, counts as one, and renders rows once its transfers for a band are
// done: with a worker on every core, it and the host waited for a core at each tile.
void render_selection(SourceCopy &source, ShadowWriter shadow,
                      const DistortVals &settings, const RenderState &state, int threads,
                      RenderProgress progress, RenderTimes *times = nullptr);
