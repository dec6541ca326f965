// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog.h"

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "preview.h"
#include "translation.h"

namespace
{

// A slider with spin button in the given table row, writing its value straight
// into target and redrawing the preview on every change.
void add_setting_entry(GtkWidget *table, int row, const SettingSpec &setting,
                       double *target, GtkWidget *preview)
{
  GtkObject *adjustment =
      gimp_scale_entry_new(GTK_TABLE(table), 0, row, _(setting.label), 180, 75, *target,
                           setting.lower, setting.upper, setting.step, setting.page,
                           setting.digits, TRUE, 0.0, 0.0, nullptr, nullptr);
  g_signal_connect(adjustment, "value_changed", G_CALLBACK(gimp_double_adjustment_update),
                   target);
  g_signal_connect_swapped(adjustment, "value-changed",
                           G_CALLBACK(gimp_preview_invalidate), preview);
}

// The zoom preview draws indexed pixels only through a colormap, which it does not
// set up by itself.
void use_image_colormap(GtkWidget *preview, gint32 drawable_id)
{
  if (!gimp_drawable_is_indexed(drawable_id))
    return;
  gint num_colors = 0;
  guchar *colormap =
      gimp_image_get_colormap(gimp_item_get_image(drawable_id), &num_colors);
  gimp_preview_area_set_colormap(
      GIMP_PREVIEW_AREA(gimp_preview_get_area(GIMP_PREVIEW(preview))), colormap,
      num_colors);
  g_free(colormap);
}

} // namespace

bool show_dialog(gint32 drawable_id, const SourceCopy *source, const RenderState &state,
                 DistortVals *vals)
{
  const PreviewSource preview_source = {source, &state, vals};

  gimp_ui_init("Ondalux", FALSE);

  GtkWidget *dialog = gimp_dialog_new(
      _(PROC_TITLE), "gimp-ondalux", nullptr, GtkDialogFlags(0), gimp_standard_help_func,
      PROC_NAME, "gtk-cancel", GTK_RESPONSE_CANCEL, "gtk-ok", GTK_RESPONSE_OK, nullptr);
  gtk_dialog_set_alternative_button_order(GTK_DIALOG(dialog), GTK_RESPONSE_OK,
                                          GTK_RESPONSE_CANCEL, -1);
  gimp_window_set_transient(GTK_WINDOW(dialog));

  GtkWidget *main_box = gtk_vbox_new(FALSE, 12);
  gtk_container_set_border_width(GTK_CONTAINER(main_box), 12);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), main_box,
                     TRUE, TRUE, 0);
  gtk_widget_show(main_box);

  GtkWidget *preview = gimp_zoom_preview_new_from_drawable_id(drawable_id);
  use_image_colormap(preview, drawable_id);
  gtk_box_pack_start(GTK_BOX(main_box), preview, TRUE, TRUE, 0);
  g_signal_connect_swapped(preview, "invalidated", G_CALLBACK(preview_update),
                           const_cast<PreviewSource *>(&preview_source));

  GtkWidget *table = gtk_table_new(2, 3, FALSE);
  gtk_table_set_col_spacings(GTK_TABLE(table), 6);
  gtk_table_set_row_spacings(GTK_TABLE(table), 6);
  gtk_box_pack_start(GTK_BOX(main_box), table, FALSE, FALSE, 0);
  gtk_widget_show(table);

  add_setting_entry(table, 0, scale_setting, &vals->scale, preview);
  add_setting_entry(table, 1, turbulence_setting, &vals->turbulence, preview);

  gtk_widget_show(preview);

  const bool accepted = gimp_dialog_run(GIMP_DIALOG(dialog)) == GTK_RESPONSE_OK;
  gtk_widget_destroy(dialog);
  return accepted;
}
