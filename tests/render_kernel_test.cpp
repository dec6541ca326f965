// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The copying kernel writes exactly what the straightforward four-sample blend writes.
#include <random>

#include <gtest/gtest.h>
#include <libgimp/gimp.h>

#include "blend.h"
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

// The engine's own 8-bit blend against libgimpcolor's, on random samples and
// positions, including alpha 0, where GIMP leaves the colour unwritten and the
// engine takes the first sample's.
TEST(Blend8, EqualsGimpBilinearPixels8)
{
  std::mt19937 random(7);
  const double positions[] = {0.0, 0.25, -0.25, 0.5, 0.999, -3.75, 1e6 + 0.3, 17.0};
  for (int round = 0; round < 20000; round++) {
    const int channels = 1 + round % 4;
    const bool has_alpha = channels == 2 || channels == 4;
    uint8_t samples[4][4];
    for (auto &sample : samples)
      for (uint8_t &channel : sample)
        channel = uint8_t(random() % 5 == 0 ? 0 : random() % 256);
    const double x = positions[random() % std::size(positions)];
    const double y = positions[random() % std::size(positions)];
    const uint8_t *ours[4] = {samples[0], samples[1], samples[2], samples[3]};
    guchar *gimps[4] = {samples[0], samples[1], samples[2], samples[3]};
    uint8_t expected[4], blended[4];
    std::copy(samples[0], samples[0] + 4, expected);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    gimp_bilinear_pixels_8(expected, x, y, channels, has_alpha, gimps);
#pragma GCC diagnostic pop
    blend_samples_8(blended, x, y, channels, has_alpha, ours);
    ASSERT_TRUE(std::equal(expected, expected + channels, blended))
        << channels << " channels at " << x << ", " << y;
  }
}

} // namespace
