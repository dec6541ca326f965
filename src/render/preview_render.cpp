// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "preview_render.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace
{

// 8-bit pixels of channels channels in the space of format, as previews show them.
const Babl *display_format(int channels, const Babl *format)
{
  static const char *const names[] = {"Y' u8", "Y'A u8", "R'G'B' u8", "R'G'B'A u8"};
  return babl_format_with_space(names[channels - 1], babl_format_get_space(format));
}

} // namespace

void render_preview(const SourceCopy &source, const DistortVals &settings,
                    const RenderState &state, int width, int height,
                    PreviewMapping mapping, uint8_t *display)
{
  const PixelRenderer renderer = new_pixel_renderer(source.format, settings, state);
  if (!renderer.displaced)
    return;
  const Babl *to_display =
      babl_fish(source.format, display_format(renderer.channels, source.format));
  const size_t source_bpp = size_t(source.view.bpp);
  const size_t display_row = size_t(width) * size_t(renderer.channels);
  // Rows in parallel, each thread with row buffers of its own: copies are plain
  // computation. The mapping only reads the preview, whose thread waits here. Blends
  // sample GEGL buffers and stay on this thread.
  const auto render_rows = [&](int first, int last) {
    std::vector<double> xs(static_cast<size_t>(width)), ys(static_cast<size_t>(width));
    std::vector<uint8_t> row(static_cast<size_t>(width) * source_bpp);
    for (int y = first; y < last; y++) {
      for (int x = 0; x < width; x++) {
        int drawable_x, drawable_y;
        mapping.drawable_position(x, y, &drawable_x, &drawable_y, mapping.data);
        xs[size_t(x)] = drawable_x;
        ys[size_t(x)] = drawable_y;
      }
      if (renderer.whole)
        render_points(renderer.tables, renderer.params, renderer.displaced, source.view,
                      xs.data(), ys.data(), width, row.data());
      else
        for (int x = 0; x < width; x++)
          render_sampled_pixel(renderer, source.drawable, xs[size_t(x)], ys[size_t(x)],
                               &row[size_t(x) * source_bpp]);
      babl_process(to_display, row.data(), display + size_t(y) * display_row, width);
    }
  };
  const int threads =
      renderer.whole
          ? std::max(1, std::min(int(std::thread::hardware_concurrency()), height))
          : 1;
  std::vector<std::thread> workers;
  for (int chunk = 1; chunk < threads; chunk++)
    workers.emplace_back(render_rows, height * chunk / threads,
                         height * (chunk + 1) / threads);
  render_rows(0, height / threads);
  for (std::thread &worker : workers)
    worker.join();
}
