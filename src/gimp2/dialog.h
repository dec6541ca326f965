// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog of an interactive run.
#pragma once

#include <libgimp/gimp.h>

#include "selection_pass.h"

// Shows the modal dialog editing vals, previewing the run's pattern from source (the
// run's copy of the drawable, or nullptr when it cannot be rendered); true when
// answered OK.
bool show_dialog(gint32 drawable_id, const SourceCopy *source, const RenderState &state,
                 DistortVals *vals);
