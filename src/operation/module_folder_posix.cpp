// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The module's folder on Linux, where file names are bytes.
#include "module_folder.h"

#include <dlfcn.h>
#include <libintl.h>

gchar *module_folder(const void *address)
{
  Dl_info module_file;
  return dladdr(address, &module_file) ? g_path_get_dirname(module_file.dli_fname)
                                       : nullptr;
}

void bind_catalogs(const char *domain, const char *folder)
{
  bindtextdomain(domain, folder);
}
