// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The floor of applying a filter in GIMP 3: a plug-in, "plug-in-copy-floor", that
// reads the drawable and writes it back unchanged, band by band through the same GEGL
// buffers and set-up as plug-in-ondalux, and does nothing else. bench/gimp-timing
// times the filter beside it.
#include <libgimp/gimp.h>

#include "copy_bands.h"

namespace
{

struct CopyFloor {
  GimpPlugIn parent_instance;
};
struct CopyFloorClass {
  GimpPlugInClass parent_class;
};

GimpValueArray *run(GimpProcedure *procedure, GimpRunMode, GimpImage *,
                    GimpDrawable **drawables, GimpProcedureConfig *, gpointer)
{
  GimpDrawable *drawable = drawables[0];
  const Babl *format = gimp_drawable_get_format(drawable);
  const GeglBufferPtr buffer(gimp_drawable_get_buffer(drawable));
  {
    const GeglBufferPtr shadow(gimp_drawable_get_shadow_buffer(drawable));
    copy_bands(gegl_buffer_reader(buffer.get()), gegl_buffer_writer(shadow.get()),
               format);
  }
  gimp_drawable_merge_shadow(drawable, TRUE);
  return gimp_procedure_new_return_values(procedure, GIMP_PDB_SUCCESS, nullptr);
}

GList *query_procedures(GimpPlugIn *)
{
  return g_list_append(nullptr, g_strdup("plug-in-copy-floor"));
}

GimpProcedure *create_procedure(GimpPlugIn *plug_in, const gchar *name)
{
  GimpProcedure *procedure = gimp_image_procedure_new(
      plug_in, name, GIMP_PDB_PROC_TYPE_PLUGIN, run, nullptr, nullptr);
  gimp_procedure_set_image_types(procedure, "RGB*, GRAY*");
  gimp_procedure_set_sensitivity_mask(procedure, GIMP_PROCEDURE_SENSITIVE_DRAWABLE);
  gimp_procedure_set_documentation(procedure, "Copy the drawable onto itself",
                                   "Reads the drawable and writes it back", name);
  gimp_procedure_set_attribution(procedure, "Ondalux developers", "Ondalux developers",
                                 "2026");
  return procedure;
}

} // namespace

G_DEFINE_TYPE(CopyFloor, copy_floor, GIMP_TYPE_PLUG_IN)

static void copy_floor_class_init(CopyFloorClass *klass)
{
  GIMP_PLUG_IN_CLASS(klass)->query_procedures = query_procedures;
  GIMP_PLUG_IN_CLASS(klass)->create_procedure = create_procedure;
}

static void copy_floor_init(CopyFloor *) {}

int main(int argc, char *argv[])
{
  init_gegl_for_render();
  return gimp_main(copy_floor_get_type(), argc, argv);
}
