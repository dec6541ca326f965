// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog.h"

#include <libgimp/gimpui.h>

#include "preview_render.h"
#include "translation.h"

namespace
{

struct PreviewSource {
  const SourceCopy *source;
  const RenderState *state;
  GimpProcedureConfig *config;
};

void untransform(int column, int row, int *x, int *y, void *preview)
{
  gimp_preview_untransform(GIMP_PREVIEW(preview), column, row, x, y);
}

// Handler of the preview's "invalidated" signal: the visible area with the run's
// pattern and the dialog's settings.
void preview_update(const PreviewSource *source, GimpPreview *preview)
{
  gint width, height, bpp;
  GMemoryPtr<guchar> buffer(
      gimp_zoom_preview_get_source(GIMP_ZOOM_PREVIEW(preview), &width, &height, &bpp));
  if (!buffer)
    return;
  // An indexed drawable, which OK refuses, is shown as it is.
  if (source->source && bpp == babl_format_get_n_components(source->source->format)) {
    DistortVals vals;
    g_object_get(source->config, scale_setting.arg_name, &vals.scale,
                 turbulence_setting.arg_name, &vals.turbulence, nullptr);
    render_preview(*source->source, vals, *source->state, width, height,
                   {untransform, preview}, buffer.get());
  }
  gimp_preview_draw_buffer(preview, buffer.get(), width * bpp);
}

// The setting's slider with spin button, stepping as in the settings table.
void make_setting_entry(GimpProcedureDialog *dialog, const SettingSpec &setting)
{
  GtkWidget *entry = gimp_procedure_dialog_get_scale_entry(dialog, setting.arg_name, 1.0);
  gimp_label_spin_set_increments(GIMP_LABEL_SPIN(entry), setting.step, setting.page);
  gimp_label_spin_set_digits(GIMP_LABEL_SPIN(entry), setting.digits);
}

} // namespace

bool show_dialog(GimpProcedure *procedure, GimpProcedureConfig *config,
                 GimpDrawable *drawable, const SourceCopy *source,
                 const RenderState &state)
{
  const PreviewSource preview_source = {source, &state, config};
  gimp_ui_init("ondalux");

  GtkWidget *dialog = gimp_procedure_dialog_new(procedure, config, _(PROC_TITLE));
  GtkWidget *preview = gimp_zoom_preview_new_from_drawable(drawable);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), preview,
                     TRUE, TRUE, 0);
  gtk_widget_show(preview);
  g_signal_connect_swapped(preview, "invalidated", G_CALLBACK(preview_update),
                           const_cast<PreviewSource *>(&preview_source));
  // Disconnected when the preview goes; the config outlives the dialog.
  g_signal_connect_object(config, "notify", G_CALLBACK(gimp_preview_invalidate), preview,
                          G_CONNECT_SWAPPED);

  make_setting_entry(GIMP_PROCEDURE_DIALOG(dialog), scale_setting);
  make_setting_entry(GIMP_PROCEDURE_DIALOG(dialog), turbulence_setting);
  gimp_procedure_dialog_fill(GIMP_PROCEDURE_DIALOG(dialog), nullptr);

  const bool accepted = gimp_procedure_dialog_run(GIMP_PROCEDURE_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return accepted;
}
