// Per-call and per-pixel costs of the engine, without the host.
#include <vector>

#include <benchmark/benchmark.h>

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

// One redraw of a preview area of 200 x 200 pixels (GIMP's default preview is
// smaller) on a 4000 x 3000 layer.
void BM_PreviewRedraw(benchmark::State &state)
{
  const int width = 4000, height = 3000, bpp = 3, side = 200;
  std::vector<uint8_t> pixels(size_t(width) * height * bpp, 7);
  const SourcePixels source = {pixels.data(), width, height, bpp};
  const DisplaceParams params = {150.0, 0.5, width, height};
  std::vector<uint8_t> area(size_t(side) * side * bpp);
  for (auto _ : state) {
    const NoiseTables tables = build_noise_tables(42);
    for (int y = 0; y < side; y++)
      render_row(tables, params, true, source, 1900, 1400 + y, side,
                 area.data() + size_t(y) * side * bpp);
    benchmark::DoNotOptimize(area.data());
  }
}
BENCHMARK(BM_PreviewRedraw)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
