// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The GEGL side of the operation's table (gegl_cases.h), built and run in a Debian root
// against its GEGL, and on Windows, as a canvas uses the operation.
//   gegl_views MODULES
// Writes NAME-source.data, what the effect hands the operation, and NAME-view.data,
// the view at its zoom, both in the row's format: the layer is made in it, so that no
// conversion of babl's comes between the same bytes on every system and the operation.
//   gegl_views --title   prints the operation's title, found in GEGL's own folders
//   gegl_views --sample FORMAT WIDTH HEIGHT SCALE TURBULENCE PATTERN IN OUT
//     writes the cubic sampled reference of the pixels in IN to OUT
#include <gegl-plugin.h>
#include <gegl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "displace.h"
#include "gegl_cases.h"

namespace
{

void write_file(const std::string &path, const std::vector<char> &bytes)
{
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), std::streamsize(bytes.size()));
}

// Part i of a view in parts x parts pieces.
GeglRectangle part_of(const GeglRectangle &view, int parts, int i)
{
  const int left = view.width * (i % parts) / parts,
            top = view.height * (i / parts) / parts;
  return {view.x + left, view.y + top, view.width * (i % parts + 1) / parts - left,
          view.height * (i / parts + 1) / parts - top};
}

// A view in parts x parts pieces, each its own request, through the node's cache at
// 100% (GEGL's cache keeps no mipmap levels).
void write_view(GeglNode *node, const GeglRectangle &view, double zoom, int parts,
                const Babl *format, const std::string &path)
{
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(format));
  std::vector<char> pixels(size_t(view.width) * size_t(view.height) * bpp);
  for (int i = 0; i < parts * parts; i++) {
    const GeglRectangle part = part_of(view, parts, i);
    gegl_node_blit(
        node, zoom, &part, format,
        &pixels[(size_t(part.y - view.y) * size_t(view.width) + size_t(part.x - view.x)) *
                bpp],
        view.width * int(bpp), zoom < 1 ? GEGL_BLIT_DEFAULT : GEGL_BLIT_CACHE);
  }
  write_file(path, pixels);
}

// The sampled reference: each pixel's source position from the engine, unfolded, then
// folded with its fraction kept, and sampled there with GEGL's sampler of type at the
// pixel's centre; pixels and the result in format.
std::vector<char> sampled_reference(std::vector<char> pixels, const Babl *format,
                                    int width, int height, double scale,
                                    double turbulence, unsigned pattern,
                                    GeglSamplerType type)
{
  const GeglRectangle extent = {0, 0, width, height};
  GeglBuffer *buffer = gegl_buffer_new(&extent, format);
  gegl_buffer_set(buffer, &extent, 0, format, pixels.data(), GEGL_AUTO_ROWSTRIDE);
  GeglSampler *sampler = gegl_buffer_sampler_new_at_level(buffer, format, type, 0);
  const NoiseTables tables = build_noise_tables(pattern);
  const DisplaceParams unfolded = {scale / 100.0 * std::min(width, height), turbulence, 1,
                                   1};
  const auto fold = [](double v, double limit) {
    const double r = std::fmod(std::fabs(v), 2 * limit);
    return r <= limit ? r : 2 * limit - r;
  };
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(format));
  for (int i = 0; i < width * height; i++) {
    double nx, ny;
    displace(tables, unfolded, i % width, i / width, &nx, &ny);
    gegl_sampler_get(sampler, fold(nx, width - 1) + 0.5, fold(ny, height - 1) + 0.5,
                     nullptr, &pixels[size_t(i) * bpp], GEGL_ABYSS_CLAMP);
  }
  g_object_unref(sampler);
  g_object_unref(buffer);
  return pixels;
}

// A row's sampled reference of the whole layer, from the effect's output in the format
// that the operation is handed; written in format, as GEGL converts the output.
void write_sampled_reference(const GeglCase &c, GeglNode *effect, GeglNode *dent,
                             const Babl *format, GeglSamplerType type,
                             const std::string &path)
{
  const int width = gegl_layer_width, height = gegl_layer_height;
  const GeglRectangle extent = {0, 0, width, height};
  const Babl *handed =
      gegl_operation_get_source_format(gegl_node_get_gegl_operation(dent), "input");
  std::vector<char> pixels(size_t(width) * size_t(height) *
                           size_t(babl_format_get_bytes_per_pixel(handed)));
  gegl_node_blit(effect, 1, &extent, handed, pixels.data(), GEGL_AUTO_ROWSTRIDE,
                 GEGL_BLIT_DEFAULT);
  pixels = sampled_reference(pixels, handed, width, height, c.scale, c.turbulence,
                             c.pattern, type);
  std::vector<char> written(size_t(width) * size_t(height) *
                            size_t(babl_format_get_bytes_per_pixel(format)));
  babl_process(babl_fish(handed, format), pixels.data(), written.data(), width * height);
  write_file(path, written);
}

GeglSamplerType sampler_type(const char *nick)
{
  GEnumClass *samplers = G_ENUM_CLASS(g_type_class_ref(GEGL_TYPE_SAMPLER_TYPE));
  const auto type = GeglSamplerType(g_enum_get_value_by_nick(samplers, nick)->value);
  g_type_class_unref(samplers);
  return type;
}

// Whether each part's required input holds what the sampler reads around the part's
// own pixels: GEGL's samplers read the whole of their context around a position.
bool parts_hold_context(GeglNode *dent, GeglSamplerType type, const GeglRectangle &view,
                        int parts)
{
  GeglSampler *probe =
      gegl_buffer_sampler_new_at_level(nullptr, babl_format("RGBA float"), type, 0);
  const GeglRectangle context = *gegl_sampler_get_context_rect(probe),
                      extent = {0, 0, gegl_layer_width, gegl_layer_height};
  g_object_unref(probe);
  bool held = true;
  for (int i = 0; i < parts * parts; i++) {
    const GeglRectangle part = part_of(view, parts, i),
                        required = gegl_operation_get_required_for_output(
                            gegl_node_get_gegl_operation(dent), "input", &part);
    GeglRectangle read = {part.x + context.x, part.y + context.y,
                          part.width + context.width - 1,
                          part.height + context.height - 1};
    gegl_rectangle_intersect(&read, &read, &extent);
    held &= gegl_rectangle_contains(&required, &read);
  }
  return held;
}

// Channel value v of 0 to 65535 in the format's channel of bytes bytes.
void store(int v, int bytes, char *channel)
{
  if (bytes == 4) {
    const float value = float(v) / 65535.0f;
    std::memcpy(channel, &value, 4);
  } else {
    const uint16_t value = uint16_t(bytes == 1 ? v >> 8 : v);
    std::memcpy(channel, &value, size_t(bytes));
  }
}

// A row's layer in its format, made of whole numbers alike on every system: a smooth
// field with sharp stripes and bands of every alpha or, zoomed out, without edges.
std::vector<char> layer_pixels(const GeglCase &c, int bytes)
{
  std::vector<char> pixels(size_t(gegl_layer_width) * gegl_layer_height * 4 *
                           size_t(bytes));
  for (int i = 0; i < gegl_layer_width * gegl_layer_height * 4; i++) {
    const int x = i / 4 % gegl_layer_width, y = i / 4 / gegl_layer_width, k = i % 4;
    const int band = (x + 2 * y) % 23, wave = (x * (k + 1) + y * (3 - k)) % 1024;
    const int value =
        c.zoom < 1 ? (k == 3 ? 65535 : 64 * std::min(wave, 1023 - wave))
        : k == 3
            ? (band < 6    ? 0
               : band < 12 ? 10280 * (band - 5)
                           : 65535)
            : ((x * (3 + 2 * k) + y * (5 - k) + (x / 4 + y / 3) % 2 * 90) & 255) * 257 +
                  (x * 37 + y * 11) % 200;
    store(std::min(value, 65535), bytes, &pixels[size_t(i) * size_t(bytes)]);
  }
  return pixels;
}

// Pixels of magenta in the format.
std::vector<char> magenta(int bytes, size_t count)
{
  std::vector<char> pixels(count * 4 * size_t(bytes));
  for (size_t i = 0; i < count * 4; i++)
    store(i % 4 == 1 ? 0 : 65535, bytes, &pixels[i * size_t(bytes)]);
  return pixels;
}

} // namespace

int main(int argc, char **argv)
{
  if (argc != 2 && argc != 10)
    return 2;
  g_object_set(gegl_config(), "mipmap-rendering", TRUE, nullptr); // as GIMP sets it
  gegl_init(nullptr, nullptr);
  if (argv[1] == std::string("--title")) {
    const char *title = gegl_operation_get_key("ondalux:dent", "title");
    std::printf("%s\n", title ? title : "(not found)");
    gegl_exit();
    return title ? 0 : 1;
  }
  if (argv[1] == std::string("--sample")) {
    std::ifstream input(argv[8], std::ios::binary);
    write_file(argv[9], sampled_reference(
                            {std::istreambuf_iterator<char>(input), {}},
                            babl_format(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                            std::atof(argv[5]), std::atof(argv[6]),
                            unsigned(std::atoi(argv[7])), sampler_type("cubic")));
    gegl_exit();
    return 0;
  }
  gegl_load_module_directory(argv[1]);
  const GeglRectangle extent = {0, 0, gegl_layer_width, gegl_layer_height};
  bool failed = false;
  for (const GeglCase &c : gegl_cases) {
    const Babl *format = babl_format(c.format == std::string("float") ? "RGBA float"
                                     : c.format == std::string("u16") ? "R'G'B'A u16"
                                                                      : "R'G'B'A u8");
    const int bytes = babl_format_get_bytes_per_pixel(format) / 4;
    const GeglSamplerType sampler = sampler_type(c.sampler);
    const GeglRectangle view = {c.view.x, c.view.y, c.view.width, c.view.height},
                        paint = {c.paint.x, c.paint.y, c.paint.width, c.paint.height};
    GeglBuffer *layer = gegl_buffer_new(&extent, format);
    gegl_buffer_set(layer, &extent, 0, format, layer_pixels(c, bytes).data(),
                    GEGL_AUTO_ROWSTRIDE);
    GeglNode *graph = gegl_node_new();
    GeglNode *source = gegl_node_new_child(graph, "operation", "gegl:buffer-source",
                                           "buffer", layer, nullptr);
    GeglNode *effect = gegl_node_new_child(
        graph, "operation", (std::string("gegl:") + c.effect).c_str(), nullptr);
    GeglNode *dent = gegl_node_new_child(
        graph, "operation", "ondalux:dent", "scale", c.first_scale, "turbulence",
        c.first_turbulence, "pattern", c.pattern, "sampler-type", sampler, nullptr);
    gegl_node_link_many(source, effect, dent, nullptr);
    const std::string view_path = std::string(c.name) + "-view.data";
    write_view(dent, view, c.zoom, c.parts, format, view_path);
    gegl_node_set(dent, "scale", c.scale, "turbulence", c.turbulence, nullptr);
    write_view(dent, view, c.zoom, c.parts, format, view_path);
    gegl_buffer_set(layer, &paint, 0, format,
                    magenta(bytes, size_t(paint.width) * size_t(paint.height)).data(),
                    GEGL_AUTO_ROWSTRIDE);
    write_view(dent, view, c.zoom, c.parts, format, view_path);
    write_view(effect, extent, 1, 1, format, std::string(c.name) + "-source.data");
    if (sampler != GEGL_SAMPLER_NEAREST) {
      write_sampled_reference(c, effect, dent, format, sampler,
                              std::string(c.name) + "-reference.data");
      if (c.zoom == 1 && !parts_hold_context(dent, sampler, view, c.parts)) {
        std::printf("%s: a part's required input lacks what its sampler reads\n", c.name);
        failed = true;
      }
    }
    g_object_unref(graph);
    g_object_unref(layer);
  }
  gegl_exit();
  return failed ? 1 : 0;
}
