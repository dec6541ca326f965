// The settings dialog of an interactive run.
#pragma once

#include <libgimp/gimp.h>

#include "../engine/render_kernel.h"

// Shows the modal dialog editing the process-wide settings, previewing from source
// (the run's copy of the drawable); true when answered OK.
bool show_dialog(GimpDrawable *drawable, const SourcePixels &source);
