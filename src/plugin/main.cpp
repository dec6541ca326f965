// Entry point, registration and the run procedure of "plug-in-ondalux".
#include <memory>

#include <libgimp/gimp.h>

#include "../ui/dialog.h"
#include "render.h"
#include "settings.h"

namespace
{

void query();
void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
         GimpParam **return_vals);

// The status, and an error message when the run fails for a reason the caller could
// not see coming.
GimpParam return_values[2];

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct DrawableDetacher {
  void operator()(GimpDrawable *drawable) const { gimp_drawable_detach(drawable); }
};
#pragma GCC diagnostic pop
using DrawablePtr = std::unique_ptr<GimpDrawable, DrawableDetacher>;

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

  gimp_install_procedure(PROC_NAME, "Ondalux", "Dent image", "Ondalux developers",
                         "Ondalux developers", "January 2015, 1.0", "_Ondalux...",
                         "RGB*, GRAY*", GIMP_PLUGIN, G_N_ELEMENTS(args), 0, args,
                         nullptr);
  gimp_plugin_menu_register(PROC_NAME, "<Image>/Filters/Distorts");
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
void load_stored_vals()
{
  if (gimp_procedural_db_get_data_size(PROC_NAME) == sizeof(DistortVals))
    gimp_procedural_db_get_data(PROC_NAME, &vals);
}

void set_selection_state(gint32 sel_x, gint32 sel_y, gint32 sel_width, gint32 sel_height,
                         bool has_alpha)
{
  RenderState &state = render_state;
  state.sel_x = sel_x;
  state.sel_y = sel_y;
  state.sel_width = sel_width;
  state.sel_height = sel_height;
  state.sel_x2 = sel_x + sel_width;
  state.sel_y2 = sel_y + sel_height;
  state.min_extent = sel_width < sel_height ? sel_width : sel_height;
  state.has_alpha = has_alpha;
  state.noise_offset = g_random_int();
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
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
  DrawablePtr drawable(gimp_drawable_get(drawable_id));
  const bool has_alpha = gimp_drawable_has_alpha(drawable_id);

  gint sel_x, sel_y, sel_width, sel_height;
  if (!gimp_drawable_mask_intersect(drawable_id, &sel_x, &sel_y, &sel_width, &sel_height))
    return;
  set_selection_state(sel_x, sel_y, sel_width, sel_height, has_alpha);
  gimp_tile_cache_ntiles(512);
  SourceBuffer source = new_source(drawable.get(), render_state);

  switch (run_mode) {
  case GIMP_RUN_INTERACTIVE:
    load_stored_vals();
    // The preview may show any part of the selection.
    read_source_rows(source, render_state.sel_y2);
    if (!show_dialog(drawable.get(), source.view))
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
    load_stored_vals();
    break;
  default:
    break;
  }

  if (!gimp_drawable_is_rgb(drawable_id) && !gimp_drawable_is_gray(drawable_id)) {
    status = GIMP_PDB_EXECUTION_ERROR;
    return;
  }
  // A layer group's pixels are made from its layers; GIMP refuses to write them.
  if (gimp_item_is_group(drawable_id)) {
    fail_with_message("Ondalux cannot distort a layer group; pick a layer inside it",
                      nreturn_vals);
    return;
  }

  render_drawable(drawable.get(), source);

  gimp_drawable_flush(drawable.get());
  // Locked pixels, for one, make GIMP refuse the result.
  if (!gimp_drawable_merge_shadow(drawable_id, TRUE)) {
    fail_with_message("GIMP did not accept the result: the drawable cannot be modified",
                      nreturn_vals);
    return;
  }
  gimp_drawable_update(drawable_id, sel_x, sel_y, sel_width, sel_height);

  if (run_mode != GIMP_RUN_NONINTERACTIVE)
    gimp_displays_flush();
  if (run_mode == GIMP_RUN_INTERACTIVE)
    gimp_procedural_db_set_data(PROC_NAME, &vals, sizeof(DistortVals));

  status = GIMP_PDB_SUCCESS;
}
#pragma GCC diagnostic pop

} // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

int main(int argc, char *argv[])
{
  return gimp_main(&PLUG_IN_INFO, argc, argv);
}
