// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog of an interactive run, built from the procedure's arguments.
#pragma once

#include <libgimp/gimp.h>

#include "selection_pass.h"

// Shows the modal dialog editing config, previewing the run's pattern from source (the
// run's copy of the drawable, or nullptr when it cannot be rendered); true when
// answered OK.
bool show_dialog(GimpProcedure *procedure, GimpProcedureConfig *config,
                 GimpDrawable *drawable, const SourceCopy *source,
                 const RenderState &state);
