// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The canvas as GIMP 3 draws a live filter: an 8000x6000 layer, a distort after it,
// and views rendered with gegl_node_blit after each change of a setting, with GEGL's
// mipmap rendering on, as GIMP turns it on. ondalux:dent, with whole pixels and with
// the cubic and NoHalo samplers, beside GEGL's own distorts at their defaults (waves'
// and ripple's sampler is cubic).
//   live_preview [RUNS]
// prints one line per distort, layer format and zoom: the best of RUNS views (default
// 6; at least 2, fewer beyond 20 s), the first view after the distort is added (100%
// only), and the peak resident memory above the layer's. Each line is measured in a
// process of its own, so that no distort inherits another's memory.
#include <gegl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace
{

constexpr int layer_width = 8000, layer_height = 6000;

struct Distort {
  const char *name;
  const char *property; // set to two values in turn, as a slider moves
  double first, second;
  const char *sampler = nullptr; // a resampling method other than the distort's default
};
const Distort distorts[] = {{"ondalux:dent", "turbulence", 0.5, 0.51},
                            {"ondalux:dent", "turbulence", 0.5, 0.51, "cubic"},
                            {"ondalux:dent", "turbulence", 0.5, 0.51, "nohalo"},
                            {"gegl:waves", "phi", 0.0, 0.01},
                            {"gegl:ripple", "phi", 0.0, 0.01},
                            {"gegl:noise-spread", "seed", 1, 2}};

// A view: its scale, and its size in screen pixels (the whole layer at fit).
struct Zoom {
  const char *name;
  double scale;
  int width, height;
};
const Zoom zooms[] = {{"100%", 1.0, 1920, 1080},
                      {"50%", 0.5, 1920, 1080},
                      {"25%", 0.25, layer_width / 4, layer_height / 4}};

long status_kib(const char *key)
{
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(key, 0) == 0)
      return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

// A smooth field with fine detail, so that every distort has something to move.
GeglBuffer *make_layer(const Babl *format)
{
  const GeglRectangle extent = {0, 0, layer_width, layer_height};
  GeglBuffer *layer = gegl_buffer_new(&extent, format);
  const Babl *rgba = babl_format("R'G'B'A float");
  const Babl *fish = babl_fish(rgba, format);
  std::vector<float> row(size_t(layer_width) * 4);
  std::vector<uint8_t> converted(size_t(layer_width) *
                                 size_t(babl_format_get_bytes_per_pixel(format)));
  for (int y = 0; y < layer_height; y++) {
    for (int x = 0; x < layer_width; x++) {
      float *pixel = &row[size_t(x) * 4];
      pixel[0] = float(x % 400) / 400.0f;
      pixel[1] = float(y % 300) / 300.0f;
      pixel[2] = float((x / 8 + y / 8) % 2);
      pixel[3] = 1.0f;
    }
    babl_process(fish, row.data(), converted.data(), layer_width);
    const GeglRectangle line = {0, y, layer_width, 1};
    gegl_buffer_set(layer, &line, 0, format, converted.data(), GEGL_AUTO_ROWSTRIDE);
  }
  return layer;
}

double seconds_since(gint64 start)
{
  return double(g_get_monotonic_time() - start) / 1e6;
}

// One distort on one layer format at one zoom; prints its line.
int measure(const Distort &distort, const char *format_name, const Zoom &zoom, int runs)
{
  // As GIMP sets GEGL up: GPL-3 operations listed, mipmap rendering, and a tile cache
  // of half the memory.
  const guint64 memory =
      guint64(sysconf(_SC_PHYS_PAGES)) * guint64(sysconf(_SC_PAGESIZE));
  g_object_set(gegl_config(), "application-license", "GPL3", "mipmap-rendering", TRUE,
               "tile-cache-size", memory / 2, nullptr);
  gegl_init(nullptr, nullptr);
  // The operation as built here, alone in a folder of its own (GEGL reads module
  // folders whole, and loads a module again when its type is used).
  gchar *modules = g_dir_make_tmp("live-preview-XXXXXX", nullptr);
  gchar *module = g_build_filename(modules, "ondalux-dent.so", nullptr);
  if (symlink(ONDALUX_OPERATION, module) != 0)
    return 1;
  gegl_load_module_directory(modules);
  GeglBuffer *layer = make_layer(babl_format(format_name));
  // The peak from here on, above what the layer holds.
  std::ofstream("/proc/self/clear_refs") << "5";
  const long layer_kib = status_kib("VmRSS:");

  GeglNode *graph = gegl_node_new();
  GeglNode *source = gegl_node_new_child(graph, "operation", "gegl:buffer-source",
                                         "buffer", layer, nullptr);
  GeglNode *node = gegl_node_new_child(graph, "operation", distort.name, nullptr);
  if (!gegl_node_has_pad(node, "output")) {
    std::fprintf(stderr, "live_preview: GEGL has no %s\n", distort.name);
    return 1;
  }
  gegl_node_link(source, node);
  const auto set = [&](double value) {
    GValue setting = G_VALUE_INIT;
    g_value_init(&setting, G_TYPE_DOUBLE);
    g_value_set_double(&setting, value);
    gegl_node_set_property(node, distort.property, &setting);
  };
  set(distort.first);
  if (distort.sampler) {
    GEnumClass *samplers = G_ENUM_CLASS(g_type_class_ref(GEGL_TYPE_SAMPLER_TYPE));
    gegl_node_set(node, "sampler-type",
                  g_enum_get_value_by_nick(samplers, distort.sampler)->value, nullptr);
    g_type_class_unref(samplers);
  }

  // The view shows the middle of the layer.
  const GeglRectangle view = {int((layer_width * zoom.scale - zoom.width) / 2),
                              int((layer_height * zoom.scale - zoom.height) / 2),
                              zoom.width, zoom.height};
  std::vector<uint8_t> screen(size_t(view.width) * size_t(view.height) * 4);
  const Babl *screen_format = babl_format("R'G'B'A u8");
  const auto blit = [&] {
    const gint64 start = g_get_monotonic_time();
    gegl_node_blit(node, zoom.scale, &view, screen_format, screen.data(),
                   GEGL_AUTO_ROWSTRIDE, GEGL_BLIT_DEFAULT);
    return seconds_since(start);
  };
  const double first = blit();
  double best = 1e9;
  // The slowest views are taken fewer times: at least twice, then while under 20 s.
  const gint64 start = g_get_monotonic_time();
  for (int run = 0; run < runs && (run < 2 || seconds_since(start) < 20); run++) {
    set(run % 2 ? distort.first : distort.second);
    best = std::min(best, blit());
  }
  const std::string name = std::string(distort.name) +
                           (distort.sampler ? std::string(" ") + distort.sampler : "");
  std::printf("%-19s %-14s %-4s %8.3f s %8.3f s %8.1f MiB\n", name.c_str(), format_name,
              zoom.name, best, first, double(status_kib("VmHWM:") - layer_kib) / 1024.0);
  g_object_unref(graph);
  g_object_unref(layer);
  gegl_exit();
  unlink(module);
  rmdir(modules);
  g_free(module);
  g_free(modules);
  return 0;
}

} // namespace

int main(int argc, char **argv)
{
  if (argc == 6 && std::strcmp(argv[1], "--one") == 0)
    return measure(distorts[std::atoi(argv[2])], argv[3], zooms[std::atoi(argv[4])],
                   std::atoi(argv[5]));
  const std::string runs = argc > 1 ? argv[1] : "6";
  std::printf("%-19s %-14s %-4s %10s %10s %12s\n", "distort", "layer", "zoom",
              "best view", "first", "peak memory");
  std::fflush(stdout);
  int failures = 0;
  for (const char *format : {"R'G'B'A u8", "RGBA float"})
    for (size_t zoom = 0; zoom < std::size(zooms); zoom++)
      for (size_t distort = 0; distort < std::size(distorts); distort++) {
        const pid_t child = fork();
        if (child == 0) {
          const std::string d = std::to_string(distort), z = std::to_string(zoom);
          execl("/proc/self/exe", argv[0], "--one", d.c_str(), format, z.c_str(),
                runs.c_str(), nullptr);
          _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        failures += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
      }
  return failures ? 1 : 0;
}
