// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The GEGL side of the operation's table (gegl_cases.h), built and run in a Debian root
// against its GEGL, and on Windows, as a canvas uses the operation.
//   gegl_views MODULES
// Writes NAME-source.data, what the effect hands the operation, and NAME-view.data,
// the view at its zoom, both in the row's format: the layer is made in it, so that no
// conversion of babl's comes between the same bytes on every system and the operation.
//   gegl_views --title   prints the operation's title, found in GEGL's own folders
#include <gegl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "gegl_cases.h"

namespace
{

// A view in parts x parts pieces, each its own request, through the node's cache at
// 100% (GEGL's cache keeps no mipmap levels).
void write_view(GeglNode *node, const GeglRectangle &view, double zoom, int parts,
                const Babl *format, const std::string &path)
{
  const int bpp = babl_format_get_bytes_per_pixel(format);
  std::vector<char> pixels(size_t(view.width) * size_t(view.height) * size_t(bpp));
  for (int i = 0; i < parts * parts; i++) {
    const int left = view.width * (i % parts) / parts,
              top = view.height * (i / parts) / parts;
    const GeglRectangle part = {view.x + left, view.y + top,
                                view.width * (i % parts + 1) / parts - left,
                                view.height * (i / parts + 1) / parts - top};
    gegl_node_blit(
        node, zoom, &part, format,
        &pixels[(size_t(top) * size_t(view.width) + size_t(left)) * size_t(bpp)],
        view.width * bpp, zoom < 1 ? GEGL_BLIT_DEFAULT : GEGL_BLIT_CACHE);
  }
  std::ofstream(path, std::ios::binary)
      .write(pixels.data(), std::streamsize(pixels.size()));
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
  if (argc != 2)
    return 2;
  g_object_set(gegl_config(), "mipmap-rendering", TRUE, nullptr); // as GIMP sets it
  gegl_init(nullptr, nullptr);
  if (argv[1] == std::string("--title")) {
    const char *title = gegl_operation_get_key("ondalux:dent", "title");
    std::printf("%s\n", title ? title : "(not found)");
    gegl_exit();
    return title ? 0 : 1;
  }
  gegl_load_module_directory(argv[1]);
  const GeglRectangle extent = {0, 0, gegl_layer_width, gegl_layer_height};
  for (const GeglCase &c : gegl_cases) {
    const Babl *format = babl_format(c.format == std::string("float") ? "RGBA float"
                                     : c.format == std::string("u16") ? "R'G'B'A u16"
                                                                      : "R'G'B'A u8");
    const int bytes = babl_format_get_bytes_per_pixel(format) / 4;
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
    GeglNode *dent = gegl_node_new_child(graph, "operation", "ondalux:dent", "scale",
                                         c.first_scale, "turbulence", c.first_turbulence,
                                         "pattern", c.pattern, nullptr);
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
    g_object_unref(graph);
    g_object_unref(layer);
  }
  gegl_exit();
  return 0;
}
