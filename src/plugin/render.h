// The full-resolution render pass and the per-pixel sampling it shares with the
// preview.
#pragma once

#include <memory>
#include <vector>

#include <libgimp/gimp.h>

#include "../engine/render_kernel.h"
#include "settings.h"

// Fixed by run before the settings are read.
struct RenderState {
  gint32 sel_x, sel_y, sel_width, sel_height;
  gint32 sel_x2, sel_y2;
  double min_extent;
  bool has_alpha;
  guint32 noise_offset;
};

extern DistortVals vals;
extern RenderState render_state;

// Scale as pixels (per cent of the selection's smaller side), turbulence and the
// selection's far edges.
DisplaceParams displace_params(const DistortVals &settings, const RenderState &state);

// Every pixel a render may copy from: the drawable over [0, sel_x2) x [0, sel_y2),
// read once per run, row by row as far as needed, and shared by the preview and the
// render pass.
struct SourceBuffer {
  GimpDrawable *drawable;
  std::unique_ptr<guchar[]> pixels;
  SourcePixels view;
  gint rows_read;
};
SourceBuffer new_source(GimpDrawable *drawable, const RenderState &state);

// Makes the first rows rows of source (at most all of them) readable.
void read_source_rows(SourceBuffer &source, gint rows);

struct FetcherDeleter {
  void operator()(GimpPixelFetcher *fetcher) const;
};
using FetcherPtr = std::unique_ptr<GimpPixelFetcher, FetcherDeleter>;

// A fetcher on the drawable itself (not its shadow) whose out-of-bounds positions
// take the nearest edge pixel.
FetcherPtr new_smear_fetcher(GimpDrawable *drawable);

// Output pixel for drawable position (x, y) when positions may have fractions:
// displaced when displaced is true, then sampled through the fetcher (smear edges)
// and blended.
void render_pixel(GimpPixelFetcher *fetcher, const NoiseTables &tables,
                  const DisplaceParams &params, bool displaced, double x, double y,
                  int bpp, bool has_alpha, guchar *dest);

// Writes the shadow buffer over the selection bounds from the unchanged drawable.
void render_drawable(GimpDrawable *drawable, SourceBuffer &source);
