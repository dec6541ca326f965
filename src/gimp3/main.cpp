// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// GIMP 3 host: the plug-in class, the image procedure "plug-in-ondalux" and its run.
#include <utility>
#include <vector>

#include <libgimp/gimp.h>

#include "dialog.h"
#include "selection_pass.h"
#include "translation.h"

namespace
{

struct OndaluxPlugIn {
  GimpPlugIn parent_instance;
};
struct OndaluxPlugInClass {
  GimpPlugInClass parent_class;
};

GimpValueArray *run(GimpProcedure *procedure, GimpRunMode run_mode, GimpImage *image,
                    GimpDrawable **drawables, GimpProcedureConfig *config, gpointer);

GList *query_procedures(GimpPlugIn *plug_in)
{
  GFile *plugin_file = g_file_new_for_path(gimp_get_progname());
  GFile *plugin_folder = g_file_get_parent(plugin_file);
  GFile *help_folder = g_file_get_child(plugin_folder, HELP_FOLDER);
  gimp_plug_in_set_help_domain(plug_in, HELP_DOMAIN, help_folder);
  g_object_unref(help_folder);
  g_object_unref(plugin_folder);
  g_object_unref(plugin_file);
  return g_list_append(nullptr, g_strdup(PROC_NAME));
}

// libgimp binds the domain to the catalogues beside the plug-in before each call, so
// that everything registered and shown is translated.
gboolean set_i18n(GimpPlugIn *, const gchar *, gchar **gettext_domain,
                  gchar **catalog_dir)
{
  *gettext_domain = g_strdup(TEXT_DOMAIN);
  *catalog_dir = g_strdup(CATALOG_FOLDER);
  return TRUE;
}

void add_setting_argument(GimpProcedure *procedure, const SettingSpec &setting)
{
  gimp_procedure_add_double_argument(procedure, setting.arg_name, _(setting.nick),
                                     _(setting.description), setting.lower, setting.upper,
                                     setting.default_value, G_PARAM_READWRITE);
}

GimpProcedure *create_procedure(GimpPlugIn *plug_in, const gchar *name)
{
  GimpProcedure *procedure = gimp_image_procedure_new(
      plug_in, name, GIMP_PDB_PROC_TYPE_PLUGIN, run, nullptr, nullptr);
  gimp_procedure_set_image_types(procedure, PROC_IMAGE_TYPES);
  gimp_procedure_set_sensitivity_mask(procedure, GIMP_PROCEDURE_SENSITIVE_DRAWABLE |
                                                     GIMP_PROCEDURE_SENSITIVE_DRAWABLES);
  gimp_procedure_set_menu_label(procedure, _(PROC_MENU_LABEL));
  gimp_procedure_add_menu_path(procedure, PROC_MENU_PATH);
  gimp_procedure_set_documentation(procedure, _(PROC_BLURB), _(PROC_HELP), name);
  gimp_procedure_set_attribution(procedure, PROC_AUTHOR, PROC_AUTHOR, PROC_DATE);
  add_setting_argument(procedure, scale_setting);
  add_setting_argument(procedure, turbulence_setting);
  return procedure;
}

GimpValueArray *fail(GimpProcedure *procedure, GimpPDBStatusType status,
                     const char *message)
{
  return gimp_procedure_new_return_values(
      procedure, status, g_error_new_literal(GIMP_PLUG_IN_ERROR, 0, message));
}

void update_progress(double fraction, void *)
{
  gimp_progress_update(fraction);
}

// Why drawable cannot be dented, or nullptr when it can.
const char *refusal(GimpDrawable *drawable)
{
  if (gimp_drawable_is_indexed(drawable))
    return _(indexed_reason);
  // A layer group's pixels are made from its layers; GIMP refuses to write them.
  if (gimp_item_is_group(GIMP_ITEM(drawable)))
    return _(GROUP_REASON);
  if (gimp_item_get_lock_content(GIMP_ITEM(drawable)))
    return _("Ondalux cannot distort locked pixels; unlock them first");
  const char *unsupported = unsupported_format_reason(gimp_drawable_get_format(drawable));
  return unsupported ? _(unsupported) : nullptr;
}

// Dents one drawable through its shadow; false when GIMP does not take the result.
bool dent(GimpDrawable *drawable, SourceCopy &source, const DistortVals &vals,
          const RenderState &state)
{
  {
    const GeglBufferPtr shadow(gimp_drawable_get_shadow_buffer(drawable));
    render_selection(source, gegl_buffer_writer(shadow.get()), vals, state,
                     gimp_get_num_processors(), {update_progress, nullptr});
  }
  if (!gimp_drawable_merge_shadow(drawable, TRUE))
    return false;
  gimp_drawable_update(drawable, state.sel_x, state.sel_y, state.sel_width,
                       state.sel_height);
  return true;
}

// Every drawable is dented with one pattern, drawn once for the run, within its own
// selection bounds; drawables the selection misses are left alone. The interactive
// dialog previews the first drawable the selection meets.
GimpValueArray *run(GimpProcedure *procedure, GimpRunMode run_mode, GimpImage *image,
                    GimpDrawable **drawables, GimpProcedureConfig *config, gpointer)
{
  const size_t count =
      drawables
          ? gimp_core_object_array_get_length(reinterpret_cast<GObject **>(drawables))
          : 0;
  if (count == 0)
    return fail(procedure, GIMP_PDB_CALLING_ERROR,
                _("Ondalux needs a drawable to distort"));
  // libgimp sets GEGL's tile cache from GIMP's preferences before this call.
  init_gegl_for_render();
  const uint32_t noise_offset = g_random_int();
  std::vector<std::pair<GimpDrawable *, RenderState>> targets;
  for (size_t i = 0; i < count; i++) {
    gint x, y, width, height;
    if (gimp_drawable_mask_intersect(drawables[i], &x, &y, &width, &height))
      targets.emplace_back(drawables[i],
                           make_render_state(x, y, width, height,
                                             gimp_drawable_has_alpha(drawables[i]),
                                             noise_offset));
  }
  if (targets.empty())
    return gimp_procedure_new_return_values(procedure, GIMP_PDB_SUCCESS, nullptr);

  // The first drawable's copy, read whole for the dialog's preview, serves its render.
  GeglBufferPtr shown_buffer;
  SourceCopy shown_source = {};
  if (run_mode == GIMP_RUN_INTERACTIVE) {
    const auto &[shown, state] = targets.front();
    // The dialog opens even where OK will refuse, showing the drawable as it is.
    const bool renderable = !refusal(shown);
    if (renderable) {
      shown_buffer.reset(gimp_drawable_get_buffer(shown));
      shown_source = new_source_copy(gegl_buffer_reader(shown_buffer.get()),
                                     gimp_drawable_get_format(shown), state);
      read_source_rows(shown_source, state.sel_y2);
    }
    if (!show_dialog(procedure, config, shown, renderable ? &shown_source : nullptr,
                     state))
      return gimp_procedure_new_return_values(procedure, GIMP_PDB_CANCEL, nullptr);
  }

  // Refused before any drawable changes.
  for (const auto &[drawable, state] : targets)
    if (const char *reason = refusal(drawable))
      return fail(procedure, GIMP_PDB_EXECUTION_ERROR, reason);

  DistortVals vals = default_vals;
  g_object_get(config, scale_setting.arg_name, &vals.scale, turbulence_setting.arg_name,
               &vals.turbulence, nullptr);
  gimp_progress_init(_(PROGRESS_TEXT));
  gimp_image_undo_group_start(image);
  bool merged = true;
  for (const auto &[drawable, state] : targets) {
    const bool shown = shown_buffer && drawable == targets.front().first;
    const GeglBufferPtr buffer(shown ? nullptr : gimp_drawable_get_buffer(drawable));
    SourceCopy source = shown
                            ? std::move(shown_source)
                            : new_source_copy(gegl_buffer_reader(buffer.get()),
                                              gimp_drawable_get_format(drawable), state);
    merged = merged && dent(drawable, source, vals, state);
  }
  gimp_image_undo_group_end(image);
  if (!merged)
    return fail(procedure, GIMP_PDB_EXECUTION_ERROR, _(NOT_ACCEPTED_REASON));
  if (run_mode != GIMP_RUN_NONINTERACTIVE)
    gimp_displays_flush();
  return gimp_procedure_new_return_values(procedure, GIMP_PDB_SUCCESS, nullptr);
}

} // namespace

G_DEFINE_TYPE(OndaluxPlugIn, ondalux_plug_in, GIMP_TYPE_PLUG_IN)

static void ondalux_plug_in_class_init(OndaluxPlugInClass *klass)
{
  GimpPlugInClass *plug_in_class = GIMP_PLUG_IN_CLASS(klass);
  plug_in_class->query_procedures = query_procedures;
  plug_in_class->create_procedure = create_procedure;
  plug_in_class->set_i18n = set_i18n;
}

static void ondalux_plug_in_init(OndaluxPlugIn *) {}

int main(int argc, char *argv[])
{
  // Before libgimp starts GEGL, so that babl starts without its path cache.
  init_gegl_for_render();
  return gimp_main(ondalux_plug_in_get_type(), argc, argv);
}
