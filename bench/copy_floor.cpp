// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The floor of applying a filter in GIMP 2.10: a plug-in, "plug-in-copy-floor", that
// reads the drawable and writes it back unchanged, band by band through the same tile
// protocol and set-up as plug-in-ondalux, and does nothing else. bench/gimp-timing
// times the filter beside it.
#include <libgimp/gimp.h>

#include "copy_bands.h"
#include "drawable_tiles.h"

namespace
{

void query()
{
  static const GimpParamDef args[] = {
      {GIMP_PDB_INT32, const_cast<gchar *>("run-mode"), const_cast<gchar *>("Run mode")},
      {GIMP_PDB_IMAGE, const_cast<gchar *>("image"), const_cast<gchar *>("Input image")},
      {GIMP_PDB_DRAWABLE, const_cast<gchar *>("drawable"),
       const_cast<gchar *>("Input drawable")},
  };
  gimp_install_procedure("plug-in-copy-floor", "Copy the drawable onto itself",
                         "Reads the drawable and writes it back", "Ondalux developers",
                         "Ondalux developers", "2026", nullptr, "RGB*, GRAY*",
                         GIMP_PLUGIN, G_N_ELEMENTS(args), 0, args, nullptr);
}

void run(const gchar *, gint, const GimpParam *param, gint *nreturn_vals,
         GimpParam **return_vals)
{
  static GimpParam status[1];
  status[0].type = GIMP_PDB_STATUS;
  status[0].data.d_status = GIMP_PDB_SUCCESS;
  *nreturn_vals = 1;
  *return_vals = status;
  init_babl_for_render();
  gimp_plugin_enable_precision();
  const gint32 drawable = param[2].data.d_drawable;
  const Babl *format = gimp_drawable_get_format(drawable);
  const DrawableTilesPtr tiles = open_drawable_tiles(drawable, format);
  const DrawableReader reader = tile_reader(*tiles);
  copy_bands(reader, tile_writer(*tiles), format);
  send_shadow(*tiles);
  gimp_drawable_merge_shadow(drawable, TRUE);
  gimp_drawable_update(drawable, 0, 0, reader.extent.width, reader.extent.height);
}

} // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

int main(int argc, char *argv[])
{
  return gimp_main(&PLUG_IN_INFO, argc, argv);
}
