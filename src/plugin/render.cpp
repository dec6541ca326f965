#include "render.h"

#include <cmath>

DistortVals vals = default_vals;
RenderState render_state;

// libgimp 2.10 marks its tile API (drawables, pixel regions, fetchers) deprecated;
// it is the API this plug-in is written against.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// Positions far outside any drawable all smear to its edge, so clamping them keeps
// the result and keeps ix + 1 from overflowing.
constexpr gint32 far_outside = 1 << 30;

// trunc for non-negative positions, trunc - 1 for negative ones.
gint32 sample_floor(double v)
{
  gint32 t = truncate_to_int32(v);
  if (t > far_outside)
    t = far_outside;
  if (t < -far_outside)
    t = -far_outside;
  return v >= 0 ? t : t - 1;
}

} // namespace

void FetcherDeleter::operator()(GimpPixelFetcher *fetcher) const
{
  gimp_pixel_fetcher_destroy(fetcher);
}

FetcherPtr new_smear_fetcher(GimpDrawable *drawable)
{
  FetcherPtr fetcher(gimp_pixel_fetcher_new(drawable, FALSE));
  gimp_pixel_fetcher_set_edge_mode(fetcher.get(), GIMP_PIXEL_FETCHER_EDGE_SMEAR);
  return fetcher;
}

double scale_in_pixels(const DistortVals &settings, const RenderState &state)
{
  return (settings.scale / 100.0) * state.min_extent;
}

DisplaceParams displace_params(const DistortVals &settings, const RenderState &state)
{
  return {scale_in_pixels(settings, state), settings.turbulence, state.sel_x2,
          state.sel_y2};
}

void blend_samples(guchar *dest, double nx, double ny, int bpp, bool has_alpha,
                   guchar **samples)
{
  gimp_bilinear_pixels_8(dest, nx, ny, bpp, has_alpha, samples);
  if (has_alpha && dest[bpp - 1] == 0) {
    for (int channel = 0; channel < bpp - 1; channel++)
      dest[channel] = samples[0][channel];
  }
}

void render_pixel(GimpPixelFetcher *fetcher, const NoiseTables &tables,
                  const DisplaceParams &params, bool displaced, double x, double y,
                  int bpp, bool has_alpha, guchar *dest)
{
  double nx = x;
  double ny = y;
  if (displaced)
    displace(tables, params, x, y, &nx, &ny);

  const gint32 ix = sample_floor(nx);
  const gint32 iy = sample_floor(ny);
  guchar buffers[4][4];
  guchar *samples[4] = {buffers[0], buffers[1], buffers[2], buffers[3]};
  gimp_pixel_fetcher_get_pixel(fetcher, ix, iy, buffers[0]);
  gimp_pixel_fetcher_get_pixel(fetcher, ix + 1, iy, buffers[1]);
  gimp_pixel_fetcher_get_pixel(fetcher, ix, iy + 1, buffers[2]);
  gimp_pixel_fetcher_get_pixel(fetcher, ix + 1, iy + 1, buffers[3]);

  // Only an unfolded position can be non-finite; the blend needs just its fraction.
  blend_samples(dest, std::isfinite(nx) ? nx : 0.0, std::isfinite(ny) ? ny : 0.0, bpp,
                has_alpha, samples);
}

void render_drawable(GimpDrawable *drawable)
{
  const RenderState &state = render_state;
  GimpPixelRgn dest;
  gimp_pixel_rgn_init(&dest, drawable, state.sel_x, state.sel_y, state.sel_width,
                      state.sel_height, TRUE, TRUE);

  const DisplaceParams params = displace_params(vals, state);
  const bool displaced = params.scale_px > 0;

  gimp_progress_init("Distorting...");

  const FetcherPtr fetcher = new_smear_fetcher(drawable);

  const NoiseTables tables = build_noise_tables(state.noise_offset);

  for (gpointer pr = gimp_pixel_rgns_register(1, &dest); pr != nullptr;
       pr = gimp_pixel_rgns_process(pr)) {
    guchar *row_data = dest.data;
    for (gint row = dest.y; row < gint(dest.y + dest.h); row++) {
      guchar *pixel = row_data;
      for (gint column = dest.x; column < gint(dest.x + dest.w); column++) {
        render_pixel(fetcher.get(), tables, params, displaced, column, row, dest.bpp,
                     state.has_alpha, pixel);
        pixel += dest.bpp;
      }
      row_data += dest.rowstride;
    }

    const gint next_row = dest.y + dest.h;
    if (next_row % 32 == 0)
      gimp_progress_update(double(next_row - state.sel_y) / double(state.sel_height));
  }
}

#pragma GCC diagnostic pop
