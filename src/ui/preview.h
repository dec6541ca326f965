// Live preview: renders the visible preview area with the run's pattern.
#pragma once

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "../engine/render_kernel.h"

// What the preview renders from: the drawable, and the run's copy of its pixels.
struct PreviewSource {
  GimpDrawable *drawable;
  const SourcePixels *pixels;
};

// Handler of the preview's "invalidated" signal, connected swapped.
void preview_update(const PreviewSource *source, GimpPreview *preview);
