// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Where the operation's module lies, so that it finds its catalogues beside itself,
// answered by module_folder_posix.cpp on Linux and module_folder_windows.cpp on
// Windows.
#pragma once

#include <glib.h>

// The folder of the module that holds address, in UTF-8, to be freed with g_free; or
// nullptr when it cannot be told.
gchar *module_folder(const void *address);

// Binds a message domain to the catalogues in folder, a UTF-8 name.
void bind_catalogs(const char *domain, const char *folder);
