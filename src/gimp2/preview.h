// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Live preview: renders the visible preview area with the run's pattern.
#pragma once

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "preview_render.h"

// What the preview renders from: the run's copy of the drawable (nullptr: show the
// drawable as it is), its selection and pattern, and the dialog's settings.
struct PreviewSource {
  const SourceCopy *source;
  const RenderState *state;
  const DistortVals *vals;
};

// Handler of the preview's "invalidated" signal, connected swapped.
void preview_update(const PreviewSource *source, GimpPreview *preview);
