// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The GEGL operation "ondalux:dent": the filter inside GEGL's own pipeline, where GIMP
// runs it live on the canvas and keeps it as an editable effect, and where any GEGL
// program can run it. Its world is its input's extent, and it copies whole pixels in
// the input's own format.
#include <gegl-plugin.h>

#include "extent_area.h"
#include "module_folder.h"
#include "translation.h"

namespace
{

struct Dent {
  GeglOperationFilter parent_instance;
  double scale, turbulence;
  guint pattern;
  GeglSamplerType sampler;
};

struct DentClass {
  GeglOperationFilterClass parent_class;
};

enum { PROP_0, PROP_SCALE, PROP_TURBULENCE, PROP_PATTERN, PROP_SAMPLER };

GeglOperationClass *parent_class;

Dent *dent_of(gpointer object)
{
  return reinterpret_cast<Dent *>(object);
}

void set_property(GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
  Dent *dent = dent_of(object);
  switch (id) {
  case PROP_SCALE:
    dent->scale = g_value_get_double(value);
    break;
  case PROP_TURBULENCE:
    dent->turbulence = g_value_get_double(value);
    break;
  case PROP_PATTERN:
    dent->pattern = g_value_get_uint(value);
    break;
  case PROP_SAMPLER:
    dent->sampler = GeglSamplerType(g_value_get_enum(value));
    break;
  default:
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

void get_property(GObject *object, guint id, GValue *value, GParamSpec *pspec)
{
  const Dent *dent = dent_of(object);
  switch (id) {
  case PROP_SCALE:
    g_value_set_double(value, dent->scale);
    break;
  case PROP_TURBULENCE:
    g_value_set_double(value, dent->turbulence);
    break;
  case PROP_PATTERN:
    g_value_set_uint(value, dent->pattern);
    break;
  case PROP_SAMPLER:
    g_value_set_enum(value, dent->sampler);
    break;
  default:
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

// Pixels are copied whole, so every precision stays exact; formats the blend cannot
// take (palettes, more than four channels) are worked on as RGBA.
void prepare(GeglOperation *operation)
{
  const Babl *format = gegl_operation_get_source_format(operation, "input");
  if (!format || unsupported_format_reason(format))
    format = babl_format_with_space("RGBA float", format);
  gegl_operation_set_format(operation, "input", format);
  gegl_operation_set_format(operation, "output", format);
}

GeglRectangle input_extent(GeglOperation *operation)
{
  const GeglRectangle *extent =
      gegl_operation_source_get_bounding_box(operation, "input");
  return extent ? *extent : GeglRectangle{0, 0, 0, 0};
}

DistortVals settings_of(GeglOperation *operation)
{
  const Dent *dent = dent_of(operation);
  return {dent->scale, dent->turbulence};
}

// An area filter, as GEGL's own distorts are: an area needs the input around it as far
// as the offsets reach, and a change of the input changes the output as far around it.
GeglRectangle get_required_for_output(GeglOperation *operation, const gchar *,
                                      const GeglRectangle *area)
{
  return extent_required_area(input_extent(operation), *area, settings_of(operation),
                              dent_of(operation)->sampler);
}

GeglRectangle get_invalidated_by_change(GeglOperation *operation, const gchar *,
                                        const GeglRectangle *changed)
{
  return extent_invalidated_area(input_extent(operation), *changed,
                                 settings_of(operation), dent_of(operation)->sampler);
}

// Scale 0 moves nothing: the input is passed on as the output.
gboolean operation_process(GeglOperation *operation, GeglOperationContext *context,
                           const gchar *output_pad, const GeglRectangle *result,
                           gint level)
{
  if (dent_of(operation)->scale <= 0.0) {
    GObject *input = gegl_operation_context_get_object(context, "input");
    gegl_operation_context_take_object(context, "output",
                                       input ? G_OBJECT(g_object_ref(input)) : nullptr);
    return TRUE;
  }
  return parent_class->process(operation, context, output_pad, result, level);
}

// Runs on several threads at once, each on its own part of the output.
gboolean process(GeglOperation *operation, GeglBuffer *input, GeglBuffer *output,
                 const GeglRectangle *result, gint level)
{
  render_extent_area(input, output, gegl_operation_get_format(operation, "output"),
                     input_extent(operation), *result, level, settings_of(operation),
                     dent_of(operation)->pattern, dent_of(operation)->sampler);
  return TRUE;
}

const auto property_flags =
    GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | GEGL_PARAM_PAD_INPUT);

GParamSpec *setting_property(const char *name, const SettingSpec &setting)
{
  GParamSpec *pspec = gegl_param_spec_double(
      name, _(setting.arg_blurb), _(setting.description), setting.lower, setting.upper,
      setting.default_value, setting.lower, setting.upper, 1.0, property_flags);
  GeglParamSpecDouble *ui = GEGL_PARAM_SPEC_DOUBLE(pspec);
  ui->ui_step_small = setting.step;
  ui->ui_step_big = setting.page;
  ui->ui_digits = setting.digits;
  return pspec;
}

void class_init(gpointer klass, gpointer)
{
  parent_class = GEGL_OPERATION_CLASS(g_type_class_peek_parent(klass));
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = set_property;
  object_class->get_property = get_property;
  g_object_class_install_property(object_class, PROP_SCALE,
                                  setting_property("scale", scale_setting));
  g_object_class_install_property(object_class, PROP_TURBULENCE,
                                  setting_property("turbulence", turbulence_setting));
  // A seed, so that GIMP's dialog draws a new pattern at one click; its numbers are
  // the command's.
  GParamSpec *pattern =
      gegl_param_spec_seed("pattern", _("Pattern"),
                           _("Which of the 256 noise patterns dents the image; the "
                             "ondalux command's --pattern "
                             "picks the same one"),
                           property_flags);
  G_PARAM_SPEC_UINT(pattern)->maximum = pattern_count - 1;
  GEGL_PARAM_SPEC_SEED(pattern)->ui_maximum = pattern_count - 1;
  g_object_class_install_property(object_class, PROP_PATTERN, pattern);
  // GEGL's own list, as its distorts offer it; nearest copies whole pixels, as the
  // plug-ins and the command do.
  g_object_class_install_property(
      object_class, PROP_SAMPLER,
      gegl_param_spec_enum("sampler-type", _("Resampling method"),
                           _("Mathematical method for reconstructing pixel values"),
                           GEGL_TYPE_SAMPLER_TYPE, GEGL_SAMPLER_NEAREST, property_flags));

  GeglOperationClass *operation_class = GEGL_OPERATION_CLASS(klass);
  operation_class->prepare = prepare;
  operation_class->get_required_for_output = get_required_for_output;
  operation_class->get_invalidated_by_change = get_invalidated_by_change;
  operation_class->process = operation_process;
  // Pixels are read from around the ones written.
  operation_class->want_in_place = FALSE;
  GEGL_OPERATION_FILTER_CLASS(klass)->process = process;
  gegl_operation_class_set_keys(
      operation_class, "name", OPERATION_NAME, "title", _(OPERATION_TITLE), "categories",
      "distort", "description", _(PROC_HELP), "gimp:menu-path", PROC_MENU_PATH,
      "gimp:menu-label", _(OPERATION_MENU_LABEL), nullptr);
}

} // namespace

extern "C" {

G_MODULE_EXPORT const GeglModuleInfo *gegl_module_query(GTypeModule *)
{
  static const GeglModuleInfo info = {GEGL_MODULE_ABI_VERSION};
  return &info;
}

// The catalogues lie in ONDALUX_OPERATION_CATALOGS, a folder relative to the module's
// own, which a function of its own tells: every module exports this one's name. Texts
// are translated when the class is made, in the language of the program that loads
// the module. On Windows the host may run on another C runtime than the module, so
// nothing of the C runtime's (memory, FILE, errno, locale) passes between them: memory
// goes through GLib's allocator, and texts are copied or owned by libintl.
G_MODULE_EXPORT gboolean gegl_module_register(GTypeModule *module)
{
  if (const GMemoryPtr<gchar> folder(module_folder(reinterpret_cast<void *>(class_init)));
      folder) {
    const GMemoryPtr<gchar> catalogs(
        g_build_filename(folder.get(), ONDALUX_OPERATION_CATALOGS, nullptr));
    bind_catalogs(TEXT_DOMAIN, catalogs.get());
  }
  bind_textdomain_codeset(TEXT_DOMAIN, "UTF-8");
  const GTypeInfo info = {sizeof(DentClass), nullptr,      nullptr, class_init, nullptr,
                          nullptr,           sizeof(Dent), 0,       nullptr,    nullptr};
  g_type_module_register_type(module, GEGL_TYPE_OPERATION_FILTER, "OndaluxDent", &info,
                              GTypeFlags(0));
  return TRUE;
}
}
