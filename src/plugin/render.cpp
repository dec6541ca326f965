#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

DistortVals vals = default_vals;
RenderState render_state;

// libgimp 2.10 marks its tile API (drawables, pixel regions, fetchers) deprecated;
// it is the API this plug-in is written against.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace
{

// Scale per cent of the selection's smaller side.
double scale_in_pixels(const DistortVals &settings, const RenderState &state)
{
  return (settings.scale / 100.0) * state.min_extent;
}

// Blends the four samples around (nx, ny) like gimp_bilinear_pixels_8, except that a
// pixel whose blended alpha is 0 takes the colour of the first sample instead of
// keeping whatever dest held.
void blend_samples(guchar *dest, double nx, double ny, int bpp, bool has_alpha,
                   guchar **samples)
{
  gimp_bilinear_pixels_8(dest, nx, ny, bpp, has_alpha, samples);
  if (has_alpha && dest[bpp - 1] == 0) {
    for (int channel = 0; channel < bpp - 1; channel++)
      dest[channel] = samples[0][channel];
  }
}

// GIMP's own preference for how many threads filters may use.
int render_threads()
{
  gchar *preference = gimp_gimprc_query("num-processors");
  const int threads = preference ? std::atoi(preference) : 1;
  g_free(preference);
  return std::clamp(threads, 1, 64);
}

// Starts threads that call render(row) for every row in [0, rows) between them; only
// plain computation runs off the main thread.
template <typename RenderRow>
std::vector<std::thread> start_rendering_rows(int rows, int threads, RenderRow render)
{
  threads = std::min(threads, rows);
  std::vector<std::thread> workers;
  for (int chunk = 0; chunk < threads; chunk++) {
    workers.emplace_back([=] {
      for (int row = rows * chunk / threads; row < rows * (chunk + 1) / threads; row++)
        render(row);
    });
  }
  return workers;
}

void join_all(std::vector<std::thread> &workers)
{
  for (std::thread &worker : workers)
    worker.join();
}

void report_progress(gint next_row, const RenderState &state)
{
  if (next_row % 32 == 0)
    gimp_progress_update(double(next_row - state.sel_y) / double(state.sel_height));
}

// How many rows above or below its own a pixel's source may lie: the vertical offset
// is at most 2 x scale_px x turbulence² (noise stays within [-1, 1]), plus a row
// for the truncation; folding only brings positions closer. Unbounded settings
// may reach anywhere.
gint vertical_reach(const DisplaceParams &params, bool displaced, gint rows)
{
  if (!displaced)
    return 0;
  const double reach =
      2.5 * params.scale_px * params.turbulence * params.turbulence + 2.0;
  return reach < double(rows) ? gint(reach) + 1 : rows;
}

// Whole source positions: bands of rows, each ending where a row of tiles ends, are
// computed by worker threads from the source copy while the main thread writes the
// band before.
void render_copied_bands(GimpPixelRgn *dest, const NoiseTables &tables,
                         const DisplaceParams &params, bool displaced,
                         SourceBuffer &source, const RenderState &state)
{
  struct Band {
    gint top = 0, bottom = 0;
    std::vector<guchar> pixels;
  };
  const gint tile_height = gimp_tile_height();
  const size_t row_bytes = size_t(state.sel_width) * size_t(source.view.bpp);
  const gint reach = vertical_reach(params, displaced, state.sel_y2);
  const auto band_bottom = [&](gint top) {
    return std::min((top / tile_height + 1) * tile_height, state.sel_y2);
  };
  Band bands[2];
  for (Band &band : bands)
    band.pixels.resize(row_bytes * size_t(tile_height));
  const int threads = render_threads();

  const auto write_band = [&](const Band &band) {
    gimp_pixel_rgn_set_rect(dest, band.pixels.data(), state.sel_x, band.top,
                            state.sel_width, band.bottom - band.top);
    // Hands the band's tiles to GIMP now, while the next band is computed, rather
    // than all at the end.
    gimp_drawable_flush(dest->drawable);
    report_progress(band.bottom, state);
  };

  // Each band reads source rows up to its bottom plus the reach; the main thread
  // reads those of the next band while the workers compute this one.
  read_source_rows(source, band_bottom(state.sel_y) + reach);
  Band *written = nullptr;
  for (gint top = state.sel_y, index = 0; top < state.sel_y2; index ^= 1) {
    Band &band = bands[index];
    band.top = top;
    band.bottom = band_bottom(top);
    std::vector<std::thread> workers =
        start_rendering_rows(band.bottom - band.top, threads, [&, top](int row) {
          render_row(tables, params, displaced, source.view, state.sel_x, top + row,
                     state.sel_width, band.pixels.data() + size_t(row) * row_bytes);
        });
    if (written)
      write_band(*written);
    if (band.bottom < state.sel_y2)
      read_source_rows(source, band_bottom(band.bottom) + reach);
    join_all(workers);
    written = &band;
    top = band.bottom;
  }
  if (written)
    write_band(*written);
}

// Fractional positions (a one-pixel selection edge at the origin): four samples
// through the fetcher and a blend, region by region.
void render_sampled_regions(GimpPixelRgn *dest, GimpDrawable *drawable,
                            const NoiseTables &tables, const DisplaceParams &params,
                            bool displaced, const RenderState &state)
{
  const FetcherPtr fetcher = new_smear_fetcher(drawable);
  for (gpointer pr = gimp_pixel_rgns_register(1, dest); pr != nullptr;
       pr = gimp_pixel_rgns_process(pr)) {
    guchar *row_data = dest->data;
    for (gint row = dest->y; row < gint(dest->y + dest->h); row++) {
      guchar *pixel = row_data;
      for (gint column = dest->x; column < gint(dest->x + dest->w); column++) {
        render_pixel(fetcher.get(), tables, params, displaced, column, row, dest->bpp,
                     state.has_alpha, pixel);
        pixel += dest->bpp;
      }
      row_data += dest->rowstride;
    }
    report_progress(dest->y + dest->h, state);
  }
}

} // namespace

DisplaceParams displace_params(const DistortVals &settings, const RenderState &state)
{
  return {scale_in_pixels(settings, state), settings.turbulence, state.sel_x2,
          state.sel_y2};
}

SourceBuffer new_source(GimpDrawable *drawable, const RenderState &state)
{
  const size_t size = size_t(state.sel_x2) * size_t(state.sel_y2) * size_t(drawable->bpp);
  SourceBuffer source = {drawable, std::unique_ptr<guchar[]>(new guchar[size]), {}, 0};
  source.view = {source.pixels.get(), state.sel_x2, state.sel_y2, gint(drawable->bpp)};
  return source;
}

void read_source_rows(SourceBuffer &source, gint rows)
{
  rows = std::min(rows, source.view.height);
  if (rows <= source.rows_read)
    return;
  GimpPixelRgn region;
  gimp_pixel_rgn_init(&region, source.drawable, 0, source.rows_read, source.view.width,
                      rows - source.rows_read, FALSE, FALSE);
  gimp_pixel_rgn_get_rect(
      &region,
      source.pixels.get() +
          size_t(source.rows_read) * size_t(source.view.width) * size_t(source.view.bpp),
      0, source.rows_read, source.view.width, rows - source.rows_read);
  source.rows_read = rows;
}

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

void render_drawable(GimpDrawable *drawable, SourceBuffer &source)
{
  const RenderState &state = render_state;
  GimpPixelRgn dest;
  gimp_pixel_rgn_init(&dest, drawable, state.sel_x, state.sel_y, state.sel_width,
                      state.sel_height, TRUE, TRUE);

  const DisplaceParams params = displace_params(vals, state);
  const bool displaced = params.scale_px > 0;

  gimp_progress_init("Distorting...");
  const NoiseTables tables = build_noise_tables(state.noise_offset);

  if (samples_are_whole(params, displaced))
    render_copied_bands(&dest, tables, params, displaced, source, state);
  else
    render_sampled_regions(&dest, drawable, tables, params, displaced, state);
}

#pragma GCC diagnostic pop
