// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// A GTK module for the dialog tests, loaded into GIMP and its plug-ins through
// GTK_MODULES and built against the GTK they use: a second after a dialog is shown, it
// appends a line to the file $ONDALUX_DIALOG_TEXTS with the dialog's title and, each
// after a tab, the label of every widget in it that has one (labels with their
// mnemonics, buttons, GIMP's sliders).
#include <cstdio>

#include <gtk/gtk.h>

namespace
{

void write_labels(GtkWidget *widget, gpointer file)
{
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(widget), "label")) {
    gchar *label = nullptr;
    g_object_get(widget, "label", &label, nullptr);
    std::fprintf(static_cast<std::FILE *>(file), "\t%s", label ? label : "");
    g_free(label);
  }
  if (GTK_IS_CONTAINER(widget))
    gtk_container_forall(GTK_CONTAINER(widget), write_labels, file);
}

gboolean write_texts(gpointer dialog)
{
  if (std::FILE *file = std::fopen(g_getenv("ONDALUX_DIALOG_TEXTS"), "a")) {
    std::fprintf(file, "%s", gtk_window_get_title(GTK_WINDOW(dialog)));
    write_labels(GTK_WIDGET(dialog), file);
    std::fputc('\n', file);
    std::fclose(file);
  }
  g_object_unref(dialog);
  return G_SOURCE_REMOVE;
}

gboolean on_map(GSignalInvocationHint *, guint, const GValue *values, gpointer)
{
  GObject *widget = G_OBJECT(g_value_get_object(&values[0]));
  if (GTK_IS_DIALOG(widget))
    g_timeout_add(1000, write_texts, g_object_ref(widget));
  return TRUE;
}

} // namespace

extern "C" G_MODULE_EXPORT void gtk_module_init(gint *, gchar ***)
{
  g_type_class_ref(GTK_TYPE_WIDGET);
  g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, on_map, nullptr,
                             nullptr);
}
