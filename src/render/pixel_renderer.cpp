// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "pixel_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "blend.h"

RenderState make_render_state(int32_t sel_x, int32_t sel_y, int32_t sel_width,
                              int32_t sel_height, bool has_alpha, uint32_t noise_offset)
{
  return {sel_x,
          sel_y,
          sel_width,
          sel_height,
          sel_x + sel_width,
          sel_y + sel_height,
          double(sel_width < sel_height ? sel_width : sel_height),
          has_alpha,
          noise_offset};
}

DisplaceParams displace_params(const DistortVals &settings, const RenderState &state)
{
  return {(settings.scale / 100.0) * state.min_extent, settings.turbulence, state.sel_x2,
          state.sel_y2};
}

const char *const indexed_reason = N_(
    "Ondalux cannot distort indexed images; convert the image to RGB or greyscale first");

const char *unsupported_format_reason(const Babl *format)
{
  if (!format)
    return N_("Ondalux cannot read the drawable's pixel format");
  if (babl_format_is_palette(format))
    return indexed_reason;
  const int channels = babl_format_get_n_components(format);
  if (channels < 1 || channels > 4)
    return N_("Ondalux distorts only pixels of one to four channels");
  return nullptr;
}

PixelRenderer new_pixel_renderer(const Babl *format, const DistortVals &settings,
                                 const RenderState &state)
{
  PixelRenderer renderer = {};
  renderer.tables = build_noise_tables(state.noise_offset);
  renderer.params = displace_params(settings, state);
  renderer.displaced = renderer.params.scale_px > 0;
  renderer.whole = samples_are_whole(renderer.params, renderer.displaced);
  renderer.format = format;
  renderer.channels = babl_format_get_n_components(format);
  renderer.has_alpha = state.has_alpha;
  if (babl_format_get_type(format, 0) != babl_type("u8")) {
    // Higher precisions blend in doubles of the same model and space.
    std::string encoding = babl_format_get_encoding(format);
    encoding = encoding.substr(0, encoding.rfind(' ')) + " double";
    const Babl *blend_format =
        babl_format_with_space(encoding.c_str(), babl_format_get_space(format));
    renderer.to_blend = babl_fish(format, blend_format);
    renderer.from_blend = babl_fish(blend_format, format);
    renderer.u16 = babl_format_get_type(format, 0) == babl_type("u16");
  }
  return renderer;
}

void blend_block(const PixelRenderer &renderer, const uint8_t *block, double nx,
                 double ny, uint8_t *dest)
{
  // Only an unfolded position can be non-finite; the blend needs just its fraction.
  nx = std::isfinite(nx) ? nx : 0.0;
  ny = std::isfinite(ny) ? ny : 0.0;
  const int channels = renderer.channels;
  if (!renderer.to_blend) {
    const uint8_t *samples[4] = {block, block + channels, block + 2 * channels,
                                 block + 3 * channels};
    blend_samples_8(dest, nx, ny, channels, renderer.has_alpha, samples);
    return;
  }
  double values[4 * 4], blended[4];
  if (renderer.u16) {
    for (int i = 0; i < 4 * channels; i++) {
      uint16_t value;
      std::memcpy(&value, block + 2 * i, 2);
      values[i] = value / 65535.0;
    }
  } else {
    babl_process(renderer.to_blend, block, values, 4);
  }
  const double *samples[4] = {values, values + channels, values + 2 * channels,
                              values + 3 * channels};
  blend_samples_double(blended, nx, ny, channels, renderer.has_alpha, samples);
  if (!renderer.u16) {
    babl_process(renderer.from_blend, blended, dest, 1);
    return;
  }
  for (int c = 0; c < channels; c++) {
    const uint16_t stored = uint16_t(std::clamp(blended[c], 0.0, 1.0) * 65535.0 + 0.5);
    std::memcpy(dest + 2 * c, &stored, 2);
  }
}
