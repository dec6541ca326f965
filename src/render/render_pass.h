// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The render pass over GEGL buffers, in the drawable's own format, and the per-pixel
// rendering it shares with the previews. Host-neutral: a host hands in its buffers,
// the settings, a thread count and a progress callback.
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
struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};
template <typename T> using GMemoryPtr = std::unique_ptr<T, GFree>;

// Initialises GEGL for a plug-in process that renders once: without operation
// modules, without babl's cache of conversion paths (loading it costs a passing
// 360 MiB in babl 0.1.98, for conversions the pass hardly makes) and with a small
// tile cache, since the pass keeps its own copy of the source and flushes what it
// writes band by band.
void init_gegl_for_render();

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

// How far from its own a pixel's source may lie along an axis whose offsets grow with
// factor (the turbulence across, its square down), at most limit: the read-ahead of a
// render in bands, and the margin of a window. Unbounded settings may reach anywhere.
int32_t displacement_reach(const DisplaceParams &params, bool displaced, double factor,
                           int32_t limit);

// Why pixels of format cannot be rendered (an English msgid), or nullptr when they can.
// An indexed drawable is refused before its format is asked for: libgimp builds that
// format's palette conversion at a cost of some 340 MiB.
const char *unsupported_format_reason(const Babl *format);
extern const char *const indexed_reason;

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

// Where preview pixel (column, row) lies in the drawable.
struct PreviewMapping {
  void (*drawable_position)(int column, int row, int *x, int *y, void *data);
  void *data;
};

// Renders a width x height preview into display, 8-bit pixels of the source's
// channels in its space with rows packed, from the full-resolution source. With
// nothing displaced (Scale 0) display keeps what it holds: the drawable as it is.
void render_preview(const SourceCopy &source, const DistortVals &settings,
                    const RenderState &state, int width, int height,
                    PreviewMapping mapping, uint8_t *display);

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

// A GEGL operation's render of area (level-0 coordinates, as GEGL hands it over) at
// mipmap level, from input to output in format. Its world is extent: the extent's
// top-left corner is the origin and its far edges are the fold's, so a selection's
// box cut out is dented as an image of its own. Any number of these may run at once.
void render_extent_area(GeglBuffer *input, GeglBuffer *output, const Babl *format,
                        const GeglRectangle &extent, const GeglRectangle &area, int level,
                        const DistortVals &settings, uint32_t pattern);
