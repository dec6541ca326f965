// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The GEGL side of the operation's table, built and run in a Debian root against its
// GEGL, as a canvas uses the operation: a layer, an effect computed from it, and
// ondalux:dent, whose views are rendered in parts into a cache and rendered again
// after its settings change and after the layer is painted beside the view.
//   gegl_views MODULES WIDTH HEIGHT   (in the folder of rows.txt)
// Each line of rows.txt:
//   NAME INPUT FORMAT EFFECT SCALE TURBULENCE FIRST_SCALE FIRST_TURBULENCE
//   X Y WIDTH HEIGHT ZOOM PARTS PAINT_X PAINT_Y PAINT_WIDTH PAINT_HEIGHT
// INPUT: the layer's file, R'G'B'A u8. Writes NAME-source.data, what the effect hands the
// operation, and NAME-view.data, the view at ZOOM, both in FORMAT (u8: R'G'B'A u8, float:
// RGBA float).
#include <gegl.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace
{

struct Row {
  std::string name, input, format, effect;
  double scale, turbulence, first_scale, first_turbulence;
  GeglRectangle view;
  double zoom;
  int parts;
  GeglRectangle paint;
};

void write(const std::string &path, const std::vector<char> &bytes)
{
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), std::streamsize(bytes.size()));
}

// The view in parts x parts pieces, each its own request, through the node's cache at
// 100% (GEGL's cache keeps no mipmap levels).
std::vector<char> render_view(GeglNode *node, const Row &row, const Babl *format)
{
  const int bpp = babl_format_get_bytes_per_pixel(format);
  std::vector<char> view(size_t(row.view.width) * size_t(row.view.height) * size_t(bpp));
  for (int i = 0; i < row.parts * row.parts; i++) {
    const int left = row.view.width * (i % row.parts) / row.parts,
              top = row.view.height * (i / row.parts) / row.parts;
    const GeglRectangle part = {row.view.x + left, row.view.y + top,
                                row.view.width * (i % row.parts + 1) / row.parts - left,
                                row.view.height * (i / row.parts + 1) / row.parts - top};
    gegl_node_blit(
        node, row.zoom, &part, format,
        &view[(size_t(top) * size_t(row.view.width) + size_t(left)) * size_t(bpp)],
        row.view.width * bpp, row.zoom < 1 ? GEGL_BLIT_DEFAULT : GEGL_BLIT_CACHE);
  }
  return view;
}

void run_row(const Row &row, const GeglRectangle &extent)
{
  std::ifstream input_file(row.input, std::ios::binary);
  const std::vector<char> input{std::istreambuf_iterator<char>(input_file), {}};
  const Babl *format = babl_format(row.format == "float" ? "RGBA float" : "R'G'B'A u8");
  GeglBuffer *layer = gegl_buffer_new(&extent, format);
  gegl_buffer_set(layer, &extent, 0, babl_format("R'G'B'A u8"), input.data(),
                  GEGL_AUTO_ROWSTRIDE);
  GeglNode *graph = gegl_node_new();
  GeglNode *source = gegl_node_new_child(graph, "operation", "gegl:buffer-source",
                                         "buffer", layer, nullptr);
  GeglNode *effect =
      gegl_node_new_child(graph, "operation", ("gegl:" + row.effect).c_str(), nullptr);
  GeglNode *dent =
      gegl_node_new_child(graph, "operation", "ondalux:dent", "scale", row.first_scale,
                          "turbulence", row.first_turbulence, "pattern", 7u, nullptr);
  gegl_node_link_many(source, effect, dent, nullptr);

  render_view(dent, row, format);
  gegl_node_set(dent, "scale", row.scale, "turbulence", row.turbulence, nullptr);
  std::vector<char> view = render_view(dent, row, format);
  if (row.paint.width > 0) {
    const std::vector<unsigned char> magenta = [&] {
      std::vector<unsigned char> pixels(size_t(row.paint.width) * row.paint.height * 4);
      for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = i % 4 == 1 ? 0 : 255;
      return pixels;
    }();
    gegl_buffer_set(layer, &row.paint, 0, babl_format("R'G'B'A u8"), magenta.data(),
                    GEGL_AUTO_ROWSTRIDE);
    view = render_view(dent, row, format);
  }
  write(row.name + "-view.data", view);
  std::vector<char> whole(size_t(extent.width) * size_t(extent.height) *
                          size_t(babl_format_get_bytes_per_pixel(format)));
  gegl_node_blit(effect, 1.0, &extent, format, whole.data(), GEGL_AUTO_ROWSTRIDE,
                 GEGL_BLIT_DEFAULT);
  write(row.name + "-source.data", whole);
  g_object_unref(graph);
  g_object_unref(layer);
}

} // namespace

int main(int argc, char **argv)
{
  if (argc != 4)
    return 2;
  // As GIMP sets GEGL up.
  g_object_set(gegl_config(), "mipmap-rendering", TRUE, nullptr);
  gegl_init(nullptr, nullptr);
  gegl_load_module_directory(argv[1]);
  const GeglRectangle extent = {0, 0, std::stoi(argv[2]), std::stoi(argv[3])};
  std::ifstream rows("rows.txt");
  for (std::string line; std::getline(rows, line);) {
    std::istringstream fields(line);
    Row row;
    GeglRectangle &v = row.view, &p = row.paint;
    fields >> row.name >> row.input >> row.format >> row.effect >> row.scale >>
        row.turbulence >> row.first_scale >> row.first_turbulence >> v.x >> v.y >>
        v.width >> v.height >> row.zoom >> row.parts >> p.x >> p.y >> p.width >> p.height;
    run_row(row, extent);
  }
  gegl_exit();
  return 0;
}
