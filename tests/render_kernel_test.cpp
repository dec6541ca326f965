// The copying kernel writes exactly what the straightforward four-sample blend writes.
#include <gtest/gtest.h>

#include "render_kernel.h"
#include "support/reference_render.h"

namespace
{

// What the render pass writes over bounds with the copying kernel.
Image copied_render(const Image &source, Box bounds, double scale, double turbulence,
                    uint32_t offset)
{
  const int32_t sel_x2 = bounds.x + bounds.width, sel_y2 = bounds.y + bounds.height;
  // The render pass copies only this much of the drawable.
  std::vector<uint8_t> copy;
  for (int y = 0; y < sel_y2; y++)
    copy.insert(copy.end(), source.at(0, y),
                source.at(0, y) + size_t(sel_x2) * source.channels);
  const SourcePixels pixels = {copy.data(), sel_x2, sel_y2, source.channels};

  const double min_extent = bounds.width < bounds.height ? bounds.width : bounds.height;
  const DisplaceParams params = {(scale / 100.0) * min_extent, turbulence, sel_x2,
                                 sel_y2};
  const bool displaced = params.scale_px > 0;
  EXPECT_TRUE(samples_are_whole(params, displaced));
  const NoiseTables tables = build_noise_tables(offset);

  Image out = source;
  for (int y = bounds.y; y < sel_y2; y++)
    render_row(tables, params, displaced, pixels, bounds.x, y, bounds.width,
               out.at(bounds.x, y));
  return out;
}

TEST(RenderKernel, CopiesExactlyWhatTheFourSampleBlendGives)
{
  const Box selections[] = {
      {0, 0, 97, 61}, {13, 9, 61, 40}, {5, 3, 2, 50}, {40, 20, 57, 2}};
  const double settings[][2] = {{5.0, 0.5}, {30.0, 1.0},  {100.0, 0.25},
                                {0.0, 1.0}, {-10.0, 0.5}, {60.0, -3.0}};
  for (int channels = 1; channels <= 4; channels++) {
    const Image source = make_test_image(97, 61, channels);
    for (const Box &bounds : selections) {
      for (const auto &setting : settings) {
        for (uint32_t offset : {0u, 77u, 255u}) {
          const size_t differing = differing_bytes(
              copied_render(source, bounds, setting[0], setting[1], offset),
              reference_render(source, bounds, setting[0], setting[1], offset));
          ASSERT_EQ(differing, 0u)
              << channels << " channels, box at " << bounds.x << "," << bounds.y
              << ", scale " << setting[0] << ", turbulence " << setting[1] << ", offset "
              << offset;
        }
      }
    }
  }
}

} // namespace
