// Live preview: renders the visible preview area with the run's pattern.
#pragma once

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

// Handler of the preview's "invalidated" signal, connected swapped.
void preview_update(GimpDrawable *drawable, GimpPreview *preview);
