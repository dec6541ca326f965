// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// GIMP 2.10 host: entry point, registration and the run procedure of
// "plug-in-ondalux".
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <libgimp/gimp.h>

#include "dialog.h"
#include "drawable_tiles.h"
#include "selection_pass.h"
#include "translation.h"

namespace
{

void query();
void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
         GimpParam **return_vals);

// The status, and an error message when the run fails for a reason the caller could
// not see coming.
GimpParam return_values[2];

// A folder beside the plug-in.
GMemoryPtr<gchar> plugin_subfolder(const char *name)
{
  const GMemoryPtr<gchar> plugin_folder(g_path_get_dirname(gimp_get_progname()));
  return GMemoryPtr<gchar>(g_build_filename(plugin_folder.get(), name, nullptr));
}

void query()
{
  static const GimpParamDef args[] = {
      {GIMP_PDB_INT32, const_cast<gchar *>("run-mode"),
       const_cast<gchar *>(
           "The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
      {GIMP_PDB_IMAGE, const_cast<gchar *>("image"), const_cast<gchar *>("Input image")},
      {GIMP_PDB_DRAWABLE, const_cast<gchar *>("drawable"),
       const_cast<gchar *>("Input drawable")},
      {GIMP_PDB_FLOAT, const_cast<gchar *>(scale_setting.arg_name),
       const_cast<gchar *>(scale_setting.arg_blurb)},
      {GIMP_PDB_FLOAT, const_cast<gchar *>(turbulence_setting.arg_name),
       const_cast<gchar *>(turbulence_setting.arg_blurb)},
  };

  // GIMP translates the menu label, blurb and help in the domain registered here.
  gimp_install_procedure(PROC_NAME, PROC_TITLE, PROC_BLURB, PROC_AUTHOR, PROC_AUTHOR,
                         PROC_DATE, PROC_MENU_LABEL, PROC_IMAGE_TYPES, GIMP_PLUGIN,
                         G_N_ELEMENTS(args), 0, args, nullptr);
  gimp_plugin_menu_register(PROC_NAME, PROC_MENU_PATH);
  gimp_plugin_domain_register(TEXT_DOMAIN, plugin_subfolder(CATALOG_FOLDER).get());

  const GMemoryPtr<gchar> help_uri(
      g_filename_to_uri(plugin_subfolder(HELP_FOLDER).get(), nullptr, nullptr));
  if (help_uri)
    gimp_plugin_help_register(HELP_DOMAIN, help_uri.get());
}

void fail_with_message(const char *message, gint *nreturn_vals)
{
  return_values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;
  return_values[1].type = GIMP_PDB_STRING;
  return_values[1].data.d_string = const_cast<gchar *>(message);
  *nreturn_vals = 2;
}

// Stored settings are trusted only when they have exactly our size: the data store
// takes whatever any script puts under our name.
void load_stored_vals(DistortVals *vals)
{
  if (gimp_procedural_db_get_data_size(PROC_NAME) == sizeof(DistortVals))
    gimp_procedural_db_get_data(PROC_NAME, vals);
}

// GIMP's own preference for how many threads filters may use.
int render_threads()
{
  gchar *preference = gimp_gimprc_query("num-processors");
  const int threads = preference ? std::atoi(preference) : 1;
  g_free(preference);
  return std::clamp(threads, 1, 64);
}

void update_progress(double fraction, void *)
{
  gimp_progress_update(fraction);
}

// Appends where the render's time went to the file $ONDALUX_TIMES names, if any, for
// the benchmark script.
void report_times(const RenderTimes &times, double merging)
{
  const char *path = g_getenv("ONDALUX_TIMES");
  if (!path)
    return;
  if (FILE *file = std::fopen(path, "a")) {
    std::fprintf(file, "reading %.3f computing %.3f writing %.3f merging %.3f\n",
                 times.reading, times.computing, times.writing, merging);
    std::fclose(file);
  }
}

void run(const gchar *, gint nparams, const GimpParam *param, gint *nreturn_vals,
         GimpParam **return_vals)
{
  GimpPDBStatusType &status = return_values[0].data.d_status;
  return_values[0].type = GIMP_PDB_STATUS;
  status = GIMP_PDB_SUCCESS;
  *nreturn_vals = 1;
  *return_vals = return_values;

  if (nparams < 3) {
    status = GIMP_PDB_CALLING_ERROR;
    return;
  }
  const GimpRunMode run_mode = GimpRunMode(param[0].data.d_int32);
  const gint32 drawable_id = param[2].data.d_drawable;
  // The dialog, the progress and the messages speak the user's language.
  std::setlocale(LC_ALL, "");
  bindtextdomain(TEXT_DOMAIN, plugin_subfolder(CATALOG_FOLDER).get());
  bind_textdomain_codeset(TEXT_DOMAIN, "UTF-8");
  init_babl_for_render();
  // Pixels in the drawable's own precision rather than converted to 8 bits.
  gimp_plugin_enable_precision();

  gint sel_x, sel_y, sel_width, sel_height;
  if (!gimp_drawable_mask_intersect(drawable_id, &sel_x, &sel_y, &sel_width, &sel_height))
    return;
  const RenderState state =
      make_render_state(sel_x, sel_y, sel_width, sel_height,
                        gimp_drawable_has_alpha(drawable_id), g_random_int());
  const bool indexed = gimp_drawable_is_indexed(drawable_id);
  const Babl *format = indexed ? nullptr : gimp_drawable_get_format(drawable_id);
  const char *unsupported = indexed ? indexed_reason : unsupported_format_reason(format);
  const DrawableTilesPtr tiles(unsupported ? nullptr
                                           : open_drawable_tiles(drawable_id, format));
  if (!tiles && !unsupported)
    unsupported = unsupported_format_reason(nullptr);
  SourceCopy source =
      unsupported ? SourceCopy{} : new_source_copy(tile_reader(*tiles), format, state);

  DistortVals vals = default_vals;
  switch (run_mode) {
  case GIMP_RUN_INTERACTIVE:
    load_stored_vals(&vals);
    // The preview may show any part of the selection.
    if (!unsupported)
      read_source_rows(source, state.sel_y2);
    if (!show_dialog(drawable_id, unsupported ? nullptr : &source, state, &vals))
      return;
    break;
  case GIMP_RUN_NONINTERACTIVE:
    if (nparams != 5) {
      status = GIMP_PDB_CALLING_ERROR;
      return;
    }
    vals.scale = param[3].data.d_float;
    vals.turbulence = param[4].data.d_float;
    break;
  case GIMP_RUN_WITH_LAST_VALS:
    load_stored_vals(&vals);
    break;
  default:
    break;
  }

  if (unsupported) {
    fail_with_message(_(unsupported), nreturn_vals);
    return;
  }
  // A layer group's pixels are made from its layers; GIMP refuses to write them.
  if (gimp_item_is_group(drawable_id)) {
    fail_with_message(_(GROUP_REASON), nreturn_vals);
    return;
  }

  gimp_progress_init(_(PROGRESS_TEXT));
  RenderTimes times;
  render_selection(source, tile_writer(*tiles), vals, state, render_threads(),
                   {update_progress, nullptr}, &times);
  send_shadow(*tiles);
  const gint64 merge_start = g_get_monotonic_time();
  const gboolean merged = gimp_drawable_merge_shadow(drawable_id, TRUE);
  report_times(times, double(g_get_monotonic_time() - merge_start) / 1e6);
  // Locked pixels, for one, make GIMP refuse the result.
  if (!merged) {
    fail_with_message(_(NOT_ACCEPTED_REASON), nreturn_vals);
    return;
  }
  gimp_drawable_update(drawable_id, sel_x, sel_y, sel_width, sel_height);

  if (run_mode != GIMP_RUN_NONINTERACTIVE)
    gimp_displays_flush();
  if (run_mode == GIMP_RUN_INTERACTIVE)
    gimp_procedural_db_set_data(PROC_NAME, &vals, sizeof(DistortVals));
}

} // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

int main(int argc, char *argv[])
{
  return gimp_main(&PLUG_IN_INFO, argc, argv);
}
