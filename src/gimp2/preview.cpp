#include "preview.h"

#include <memory>
#include <vector>

namespace
{

struct GFreeDeleter {
  void operator()(guchar *buffer) const { g_free(buffer); }
};

// The zoom preview's own 8-bit pixels for a source of channels channels.
const Babl *display_format(int channels, const Babl *source_format)
{
  static const char *const names[] = {"Y' u8", "Y'A u8", "R'G'B' u8", "R'G'B'A u8"};
  return babl_format_with_space(names[channels - 1],
                                babl_format_get_space(source_format));
}

} // namespace

void preview_update(const PreviewSource *source, GimpPreview *preview)
{
  gint width, height, bpp;
  std::unique_ptr<guchar, GFreeDeleter> buffer(
      gimp_zoom_preview_get_source(GIMP_ZOOM_PREVIEW(preview), &width, &height, &bpp));
  if (!buffer)
    return;

  // Scale 0 shows the drawable as it is; so does an indexed one, which OK refuses.
  if (source->source && bpp == babl_format_get_n_components(source->source->format)) {
    const PixelRenderer renderer =
        new_pixel_renderer(*source->source, *source->vals, *source->state);
    if (renderer.displaced) {
      const Babl *format = source->source->format;
      const Babl *to_display = babl_fish(format, display_format(bpp, format));
      const size_t source_bpp = size_t(babl_format_get_bytes_per_pixel(format));
      std::vector<uint8_t> row(size_t(width) * source_bpp);
      for (gint y = 0; y < height; y++) {
        for (gint x = 0; x < width; x++) {
          gint drawable_x, drawable_y;
          gimp_preview_untransform(preview, x, y, &drawable_x, &drawable_y);
          render_pixel(renderer, drawable_x, drawable_y, &row[size_t(x) * source_bpp]);
        }
        babl_process(to_display, row.data(), buffer.get() + size_t(y) * width * bpp,
                     width);
      }
    }
  }

  gimp_preview_draw_buffer(preview, buffer.get(), width * bpp);
}
