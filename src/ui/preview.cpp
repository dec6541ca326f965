#include "preview.h"

#include <memory>

#include "../plugin/render.h"

namespace
{

struct GFreeDeleter {
  void operator()(guchar *buffer) const { g_free(buffer); }
};

} // namespace

void preview_update(const PreviewSource *source, GimpPreview *preview)
{
  gint width, height, bpp;
  std::unique_ptr<guchar, GFreeDeleter> buffer(
      gimp_zoom_preview_get_source(GIMP_ZOOM_PREVIEW(preview), &width, &height, &bpp));
  if (!buffer)
    return;

  const DisplaceParams params = displace_params(vals, render_state);
  const bool displaced = params.scale_px > 0;
  const NoiseTables tables = build_noise_tables(render_state.noise_offset);
  const FetcherPtr fetcher = samples_are_whole(params, displaced)
                                 ? nullptr
                                 : new_smear_fetcher(source->drawable);

  // Scale 0 shows the source as it is, and so does a zoomed-out indexed drawable,
  // whose preview data comes as RGB: OK refuses to render it anyway.
  if (displaced && bpp == source->pixels->bpp) {
    guchar *pixel = buffer.get();
    for (gint row = 0; row < height; row++) {
      for (gint column = 0; column < width; column++) {
        gint x, y;
        gimp_preview_untransform(preview, column, row, &x, &y);
        if (fetcher)
          render_pixel(fetcher.get(), tables, params, true, x, y, bpp,
                       render_state.has_alpha, pixel);
        else
          copy_displaced_pixel(tables, params, true, *source->pixels, x, y, pixel);
        pixel += bpp;
      }
    }
  }

  gimp_preview_draw_buffer(preview, buffer.get(), width * bpp);
}
