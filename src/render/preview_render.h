// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in dialogs' preview: what part of the drawable the preview shows, rendered
// at full resolution from the source copy with the pattern OK will apply.
#pragma once

#include "selection_pass.h"

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
