// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// _() translates a text in the plug-ins' and the operation's message domain, as GLib's
// own macro does for GIMP's plug-ins.
#pragma once

#include "settings.h"

#define GETTEXT_PACKAGE TEXT_DOMAIN
#include <glib/gi18n-lib.h>
