#include "preview.h"

#include <memory>

#include "../plugin/render.h"

namespace {

struct GFreeDeleter {
  void operator()(guchar *buffer) const { g_free(buffer); }
};

} // namespace

void preview_update(GimpDrawable *drawable, GimpPreview *preview)
{
  const FetcherPtr fetcher = new_smear_fetcher(drawable);

  gint width, height, bpp;
  std::unique_ptr<guchar, GFreeDeleter> buffer(
      gimp_zoom_preview_get_source(GIMP_ZOOM_PREVIEW(preview), &width, &height, &bpp));
  if (!buffer)
    return;

  const DisplaceParams params = displace_params(vals, render_state);
  const NoiseTables tables = build_noise_tables(render_state.noise_offset);

  // Scale 0 shows the source as it is.
  if (params.scale_px > 0) {
    guchar *pixel = buffer.get();
    for (gint row = 0; row < height; row++) {
      for (gint column = 0; column < width; column++) {
        gint src_x, src_y;
        gimp_preview_untransform(preview, column, row, &src_x, &src_y);
        render_pixel(fetcher.get(), tables, params, true, src_x, src_y, bpp,
                     render_state.has_alpha, pixel);
        pixel += bpp;
      }
    }
  }

  gimp_preview_draw_buffer(preview, buffer.get(), width * bpp);
}
