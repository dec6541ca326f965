// The settings dialog of an interactive run.
#pragma once

#include <libgimp/gimp.h>

// Shows the modal dialog editing the process-wide settings; true when answered OK.
bool show_dialog(GimpDrawable *drawable);
