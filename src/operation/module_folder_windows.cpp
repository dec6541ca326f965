// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The module's folder on Windows, whose file names are UTF-16. libintl takes a folder
// in the ANSI code page: a name that the code page lacks letters for is given as its
// short name, as GLib and GIMP bind their own catalogues.
#include "module_folder.h"

#include <libintl.h>
#include <windows.h>

gchar *module_folder(const void *address)
{
  HMODULE module = nullptr;
  wchar_t path[32768];
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module))
    return nullptr;
  const DWORD length = GetModuleFileNameW(module, path, DWORD(G_N_ELEMENTS(path)));
  if (length == 0 || length >= G_N_ELEMENTS(path))
    return nullptr;
  gchar *file = g_utf16_to_utf8(reinterpret_cast<const gunichar2 *>(path), length,
                                nullptr, nullptr, nullptr);
  gchar *folder = file ? g_path_get_dirname(file) : nullptr;
  g_free(file);
  return folder;
}

void bind_catalogs(const char *domain, const char *folder)
{
  gchar *local = g_win32_locale_filename_from_utf8(folder);
  if (local)
    bindtextdomain(domain, local);
  g_free(local);
}
