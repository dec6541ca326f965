// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Per-call and per-pixel costs of the engine, without the host.
#include <vector>

#include <benchmark/benchmark.h>

#include "displace_points.h"
#include "preview_render.h"
#include "render_kernel.h"

namespace
{

void BM_SimplexNoise(benchmark::State &state)
{
  const NoiseTables tables = build_noise_tables(42);
  double x = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(simplex_noise_2d(tables, x, x * 0.7));
    x += 0.013;
  }
}
BENCHMARK(BM_SimplexNoise);

void BM_Displace(benchmark::State &state)
{
  const NoiseTables tables = build_noise_tables(42);
  const DisplaceParams params = {150.0, 0.5, 4000, 3000};
  double x = 0.0, nx, ny;
  for (auto _ : state) {
    displace(tables, params, x, 1234.0, &nx, &ny);
    benchmark::DoNotOptimize(nx);
    benchmark::DoNotOptimize(ny);
    x += 1.0;
    if (x >= 4000.0)
      x = 0.0;
  }
}
BENCHMARK(BM_Displace);

// The same points as BM_Displace, several at a time: Arg 0 SSE2, 1 AVX2, 2 AVX-512.
void BM_DisplacePoints(benchmark::State &state)
{
  const VectorSet set = VectorSet(state.range(0));
  if (set > best_vector_set()) {
    state.SkipWithError("not on this processor");
    return;
  }
  const NoiseTables tables = build_noise_tables(42);
  const DisplaceParams params = {150.0, 0.5, 4000, 3000};
  constexpr int count = 4000;
  std::vector<double> x(count), y(count, 1234.0), nx(count), ny(count);
  for (int k = 0; k < count; k++)
    x[k] = k;
  for (auto _ : state) {
    displace_points(tables, params, x.data(), y.data(), count, nx.data(), ny.data(), set);
    benchmark::DoNotOptimize(nx.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_DisplacePoints)->Arg(0)->Arg(1)->Arg(2);

// One row of output pixels copied from a source of the given width.
void BM_RenderRowPerPixel(benchmark::State &state)
{
  const int width = 4000, height = 64, bpp = int(state.range(0));
  std::vector<uint8_t> pixels(size_t(width) * height * bpp, 7);
  const SourcePixels source = {pixels.data(), width, height, bpp};
  const DisplaceParams params = {150.0, 0.5, width, height};
  const NoiseTables tables = build_noise_tables(42);
  std::vector<uint8_t> row(size_t(width) * bpp);
  int y = 0;
  for (auto _ : state) {
    render_row(tables, params, true, source, 0, y, width, row.data());
    benchmark::DoNotOptimize(row.data());
    y = (y + 1) % height;
  }
  state.SetItemsProcessed(state.iterations() * width);
}
BENCHMARK(BM_RenderRowPerPixel)->Arg(3)->Arg(4);

// One redraw of a 400 x 300 preview area at 1:1 on a 4000 x 3000 layer.
// A 400x300 preview at 1:1 in the middle of a 4000x3000 RGB layer, through the render
// pass as the dialogs call it.
void preview_position(int column, int row, int *x, int *y, void *)
{
  *x = 1800 + column;
  *y = 1350 + row;
}

void BM_PreviewRedraw(benchmark::State &state)
{
  const int width = 4000, height = 3000, preview_width = 400, preview_height = 300;
  init_gegl_for_render();
  const Babl *format = babl_format("R'G'B' u8");
  const GeglRectangle extent = {0, 0, width, height};
  const GeglBufferPtr buffer(gegl_buffer_new(&extent, format));
  const RenderState render_state = make_render_state(0, 0, width, height, false, 42);
  SourceCopy source =
      new_source_copy(gegl_buffer_reader(buffer.get()), format, render_state);
  read_source_rows(source, height);
  std::vector<uint8_t> display(size_t(preview_width) * preview_height * 3);
  for (auto _ : state) {
    render_preview(source, default_vals, render_state, preview_width, preview_height,
                   {preview_position, nullptr}, display.data());
    benchmark::DoNotOptimize(display.data());
  }
}
BENCHMARK(BM_PreviewRedraw)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
