// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The GEGL side of the operation's table (gegl_cases.h), built and run in a Debian root
// against its GEGL, as a canvas uses the operation.
//   gegl_views MODULES   (in the folder of sharp.data and smooth.data, R'G'B'A u8 layers)
// Writes NAME-source.data, what the effect hands the operation, and NAME-view.data,
// the view at its zoom, both in the row's format.
#include <gegl.h>

#include <cstdint>
#include <fstream>
#include <iterator>
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

} // namespace

int main(int argc, char **argv)
{
  if (argc != 2)
    return 2;
  g_object_set(gegl_config(), "mipmap-rendering", TRUE, nullptr); // as GIMP sets it
  gegl_init(nullptr, nullptr);
  gegl_load_module_directory(argv[1]);
  const GeglRectangle extent = {0, 0, gegl_layer_width, gegl_layer_height};
  const Babl *u8 = babl_format("R'G'B'A u8");
  for (const GeglCase &c : gegl_cases) {
    std::ifstream input_file(c.zoom < 1 ? "smooth.data" : "sharp.data", std::ios::binary);
    const std::vector<char> input{std::istreambuf_iterator<char>(input_file), {}};
    const Babl *format =
        c.format == std::string("float") ? babl_format("RGBA float") : u8;
    const GeglRectangle view = {c.view.x, c.view.y, c.view.width, c.view.height},
                        paint = {c.paint.x, c.paint.y, c.paint.width, c.paint.height};
    GeglBuffer *layer = gegl_buffer_new(&extent, format);
    gegl_buffer_set(layer, &extent, 0, u8, input.data(), GEGL_AUTO_ROWSTRIDE);
    GeglNode *graph = gegl_node_new();
    GeglNode *source = gegl_node_new_child(graph, "operation", "gegl:buffer-source",
                                           "buffer", layer, nullptr);
    GeglNode *effect = gegl_node_new_child(
        graph, "operation", (std::string("gegl:") + c.effect).c_str(), nullptr);
    GeglNode *dent =
        gegl_node_new_child(graph, "operation", "ondalux:dent", "scale", c.first_scale,
                            "turbulence", c.first_turbulence, "pattern", 7u, nullptr);
    gegl_node_link_many(source, effect, dent, nullptr);
    const std::string view_path = std::string(c.name) + "-view.data";
    write_view(dent, view, c.zoom, c.parts, format, view_path);
    gegl_node_set(dent, "scale", c.scale, "turbulence", c.turbulence, nullptr);
    write_view(dent, view, c.zoom, c.parts, format, view_path);
    const std::vector<uint32_t> magenta(size_t(paint.width) * size_t(paint.height),
                                        0xffff00ffu);
    gegl_buffer_set(layer, &paint, 0, u8, magenta.data(), GEGL_AUTO_ROWSTRIDE);
    write_view(dent, view, c.zoom, c.parts, format, view_path);
    write_view(effect, extent, 1, 1, format, std::string(c.name) + "-source.data");
    g_object_unref(graph);
    g_object_unref(layer);
  }
  gegl_exit();
  return 0;
}
