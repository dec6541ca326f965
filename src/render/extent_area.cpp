// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "extent_area.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "displace_points.h"

namespace
{

struct Reach {
  int32_t x, y;
};

// How far a pixel's source may lie from it, and past that how far a sampler reads
// around the source.
Reach extent_reach(const GeglRectangle &extent, const DistortVals &settings,
                   GeglSamplerType sampler)
{
  const RenderState state =
      make_render_state(0, 0, extent.width, extent.height, false, 0);
  const DisplaceParams params = displace_params(settings, state);
  const bool displaced = params.scale_px > 0;
  Reach reach = {displacement_reach(params, displaced, params.turbulence, extent.width),
                 displacement_reach(params, displaced,
                                    params.turbulence * params.turbulence,
                                    extent.height)};
  if (sampler != GEGL_SAMPLER_NEAREST) {
    const GObjectPtr<GeglSampler> probe(
        gegl_buffer_sampler_new_at_level(nullptr, babl_format("RGBA float"), sampler, 0));
    const GeglRectangle context = *gegl_sampler_get_context_rect(probe.get());
    reach.x += std::max(-context.x, context.x + context.width) + 1;
    reach.y += std::max(-context.y, context.y + context.height) + 1;
  }
  return reach;
}

// rect grown by reach on every side, within limit; in 64 bits, since GEGL may ask about
// its infinite plane.
GeglRectangle grown_within(const GeglRectangle &rect, Reach reach,
                           const GeglRectangle &limit)
{
  const int64_t left = std::max(int64_t(rect.x) - reach.x, int64_t(limit.x));
  const int64_t top = std::max(int64_t(rect.y) - reach.y, int64_t(limit.y));
  const int64_t right =
      std::min(int64_t(rect.x) + rect.width + reach.x, int64_t(limit.x) + limit.width);
  const int64_t bottom =
      std::min(int64_t(rect.y) + rect.height + reach.y, int64_t(limit.y) + limit.height);
  if (right <= left || bottom <= top)
    return {0, 0, 0, 0};
  return {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

// Level-0 coordinates to those of a mipmap level: every pixel of the level that
// covers part of v's.
int32_t level_floor(int32_t v, int level)
{
  return v >> level;
}

int32_t level_ceil(int32_t v, int level)
{
  return -(-v >> level);
}

// The world position shown by the level's pixel v along an axis where the extent
// starts at origin and is size long: the middle of the pixels it covers, so that a
// small offset keeps to the same level pixel. A level's pixels may cover a little
// beyond the extent; those show its edge.
int32_t world_position(int32_t v, int level, int32_t origin, int32_t size)
{
  return std::clamp((v << level) + (1 << level) / 2 - origin, 0, size - 1);
}

// The input that an area needs, read at its level in blocks as its pixels ask for them
// and dropped once no row below can ask again: a part reads about what its pixels come
// from, not all that its offsets could reach.
class InputBlocks
{
public:
  InputBlocks(GeglBuffer *input, const Babl *format, const GeglRectangle &extent,
              const GeglRectangle &required, int level)
      : input_(input), format_(format), extent_(extent), level_(level),
        bpp_(size_t(babl_format_get_bytes_per_pixel(format)))
  {
    window_.x = level_floor(required.x, level);
    window_.y = level_floor(required.y, level);
    window_.width = level_floor(required.x + required.width - 1, level) - window_.x + 1;
    window_.height = level_floor(required.y + required.height - 1, level) - window_.y + 1;
    across_ = (window_.width + block_size - 1) / block_size;
    blocks_.resize(size_t(across_) *
                   size_t((window_.height + block_size - 1) / block_size));
  }

  // The pixel shown at world position (x, y): past the extent, its edge's. At a mipmap
  // level a part's pixels may show positions a little outside its area, whose sources
  // may lie past the window: those take the window's edge.
  const uint8_t *pixel(int64_t x, int64_t y)
  {
    const int32_t column = std::clamp(level_of(x, extent_.x, extent_.width) - window_.x,
                                      0, window_.width - 1);
    const int32_t row = std::clamp(level_of(y, extent_.y, extent_.height) - window_.y, 0,
                                   window_.height - 1);
    std::unique_ptr<uint8_t[]> &block =
        blocks_[size_t(row / block_size) * size_t(across_) + size_t(column / block_size)];
    if (!block)
      block = fetch(column / block_size * block_size, row / block_size * block_size);
    return block.get() +
           (size_t(row % block_size) * block_size + size_t(column % block_size)) * bpp_;
  }

  // Gives back the blocks wholly above world row y.
  void drop_above(int64_t y)
  {
    const int32_t row = level_of(y, extent_.y, extent_.height) - window_.y;
    for (size_t block = 0; block < size_t(std::max(row / block_size, 0)) * across_ &&
                           block < blocks_.size();
         block++)
      blocks_[block].reset();
  }

private:
  static constexpr int32_t block_size = 64;

  int32_t level_of(int64_t v, int32_t origin, int32_t size) const
  {
    return (int32_t(std::clamp<int64_t>(v, 0, size - 1)) + origin) >> level_;
  }

  std::unique_ptr<uint8_t[]> fetch(int32_t column, int32_t row) const
  {
    const GeglRectangle rect = {window_.x + column, window_.y + row,
                                std::min(block_size, window_.width - column),
                                std::min(block_size, window_.height - row)};
    std::unique_ptr<uint8_t[]> block(new uint8_t[block_size * block_size * bpp_]);
    gegl_buffer_get(input_, &rect, 1.0 / double(1 << level_), format_, block.get(),
                    int(block_size * bpp_), GEGL_ABYSS_CLAMP);
    return block;
  }

  GeglBuffer *input_;
  const Babl *format_;
  GeglRectangle extent_;
  int level_;
  size_t bpp_;
  GeglRectangle window_; // in the level's coordinates
  int32_t across_;
  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
};

// The format that GEGL's samplers interpolate pixels of format in, as
// gegl_sampler_prepare picks it: sampled in it, pixels skip the sampler's conversion of
// each one, and a run of them is converted at once, to the same bytes.
const Babl *interpolation_format(const Babl *format)
{
  const std::string model = babl_get_name(babl_format_get_model(format));
  const bool gray = model[0] == 'Y',
             cmyk = model.rfind("cmyk", 0) == 0 || model.rfind("camayaka", 0) == 0,
             cmyk_inverted =
                 model.rfind("CMYK", 0) == 0 || model.rfind("CaMaYaKa", 0) == 0;
  return babl_format_with_space(gray            ? "YaA float"
                                : cmyk          ? "camayakaA float"
                                : cmyk_inverted ? "CaMaYaKaA float"
                                                : "RaGaBaA float",
                                format);
}

// GEGL's sampler of a method other than nearest over the input, giving pixels in the
// format it interpolates in; at a mipmap level it reads the level's pixel at a level-0
// position.
struct SampledInput {
  GeglSampler *sampler;
  GeglSamplerGetFun get; // at level 0, the sampler's own function, without checks
  const Babl *to_output; // from the interpolation format to the output's
  size_t interpolated_bpp;
  GeglRectangle extent;
};

// Every source position is whole: output pixels are copies, displaced several at a time.
void copy_row(const PixelRenderer &renderer, InputBlocks &input, const double *xs,
              double y, int32_t width, uint8_t *dest)
{
  constexpr int32_t points_at_once = 64;
  double ys[points_at_once], nx[points_at_once], ny[points_at_once];
  std::fill(ys, ys + points_at_once, y);
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(renderer.format));
  for (int32_t start = 0; start < width; start += points_at_once) {
    const int32_t count = std::min(points_at_once, width - start);
    if (renderer.displaced) {
      displace_points(renderer.tables, renderer.params, xs + start, ys, count, nx, ny);
    } else {
      std::copy(xs + start, xs + start + count, nx);
      std::copy(ys, ys + count, ny);
    }
    for (int32_t k = 0; k < count; k++, dest += bpp)
      std::memcpy(dest, input.pixel(int64_t(nx[k]), int64_t(ny[k])), bpp);
  }
}

// A one-pixel-wide or one-pixel-tall extent keeps the positions' fractions: each is
// blended from the four pixels around it, those beyond the extent taking its edge's.
void blend_row(const PixelRenderer &renderer, InputBlocks &input, const double *xs,
               double y, int32_t width, uint8_t *dest)
{
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(renderer.format));
  uint8_t block[4 * 4 * sizeof(double)];
  for (int32_t x = 0; x < width; x++, dest += bpp) {
    double nx = xs[x], ny = y;
    if (renderer.displaced)
      displace(renderer.tables, renderer.params, xs[x], y, &nx, &ny);
    const int64_t ix = sample_floor(nx), iy = sample_floor(ny);
    for (int k = 0; k < 4; k++)
      std::memcpy(block + size_t(k) * bpp, input.pixel(ix + k % 2, iy + k / 2), bpp);
    blend_block(renderer, block, nx, ny, dest);
  }
}

// The source positions of a row of points, their fractions kept and folded into the
// extent, each sampled at its pixel's centre: (x + 0.5, y + 0.5).
void sample_row(const PixelRenderer &renderer, const SampledInput &input,
                const double *xs, double y, int32_t width, uint8_t *dest)
{
  constexpr int32_t points_at_once = 64;
  double ys[points_at_once], nx[points_at_once], ny[points_at_once];
  float interpolated[points_at_once * 5];
  std::fill(ys, ys + points_at_once, y);
  DisplaceParams unfolded = renderer.params;
  unfolded.sel_x2 = unfolded.sel_y2 = 1; // a limit of 0: nothing folded, nothing dropped
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(renderer.format));
  const double limit_x = input.extent.width - 1, limit_y = input.extent.height - 1;
  for (int32_t start = 0; start < width; start += points_at_once) {
    const int32_t count = std::min(points_at_once, width - start);
    if (renderer.displaced) {
      displace_points(renderer.tables, unfolded, xs + start, ys, count, nx, ny);
    } else {
      std::copy(xs + start, xs + start + count, nx);
      std::copy(ys, ys + count, ny);
    }
    uint8_t *pixel = reinterpret_cast<uint8_t *>(interpolated);
    for (int32_t k = 0; k < count; k++, pixel += input.interpolated_bpp) {
      const double x = input.extent.x + fold_position(nx[k], limit_x) + 0.5,
                   y = input.extent.y + fold_position(ny[k], limit_y) + 0.5;
      if (input.get)
        input.get(input.sampler, x, y, nullptr, pixel, GEGL_ABYSS_CLAMP);
      else
        gegl_sampler_get(input.sampler, x, y, nullptr, pixel, GEGL_ABYSS_CLAMP);
    }
    babl_process(input.to_output, interpolated, dest + size_t(start) * bpp, count);
  }
}

} // namespace

GeglRectangle extent_required_area(const GeglRectangle &extent, const GeglRectangle &area,
                                   const DistortVals &settings, GeglSamplerType sampler)
{
  GeglRectangle shown;
  if (!gegl_rectangle_intersect(&shown, &area, &extent))
    return {0, 0, 0, 0};
  return grown_within(shown, extent_reach(extent, settings, sampler), extent);
}

GeglRectangle extent_invalidated_area(const GeglRectangle &extent,
                                      const GeglRectangle &changed,
                                      const DistortVals &settings,
                                      GeglSamplerType sampler)
{
  return grown_within(changed, extent_reach(extent, settings, sampler),
                      gegl_rectangle_infinite_plane());
}

void render_extent_area(GeglBuffer *input, GeglBuffer *output, const Babl *format,
                        const GeglRectangle &extent, const GeglRectangle &area, int level,
                        const DistortVals &settings, uint32_t pattern,
                        GeglSamplerType sampler)
{
  const GeglRectangle required = extent_required_area(extent, area, settings, sampler);
  if (required.width < 1 || required.height < 1)
    return;
  const RenderState state = make_render_state(0, 0, extent.width, extent.height,
                                              babl_format_has_alpha(format), pattern);
  const PixelRenderer renderer = new_pixel_renderer(format, settings, state);
  const GeglRectangle out = {
      level_floor(area.x, level), level_floor(area.y, level),
      level_ceil(area.x + area.width, level) - level_floor(area.x, level),
      level_ceil(area.y + area.height, level) - level_floor(area.y, level)};
  const bool sampled = sampler != GEGL_SAMPLER_NEAREST;
  // Nearest reads whole pixels at world positions, the middles of the pixels that a
  // level's pixel covers; a sampler reads between pixels, at the level pixel's centre.
  const auto world = [&](int32_t v, int32_t origin, int32_t size) {
    return sampled
               ? std::clamp(((v + 0.5) * (1 << level) - 0.5) - origin, 0.0, size - 1.0)
               : world_position(v, level, origin, size);
  };
  std::vector<double> xs(size_t(out.width));
  for (int32_t x = 0; x < out.width; x++)
    xs[size_t(x)] = world(out.x + x, extent.x, extent.width);
  InputBlocks blocks(input, format, extent, required, level);
  // At level 0 the sampler reads the required input converted at once into the format
  // it interpolates in, in a buffer of its own: its many small reads, a few pixels
  // around each position, then copy rather than convert. At a mipmap level it reads
  // single pixels of the input.
  const Babl *interpolated = interpolation_format(format);
  const bool staged = sampled && level == 0;
  const GeglBufferPtr staged_input(staged ? gegl_buffer_new(&required, interpolated)
                                          : nullptr);
  if (staged)
    gegl_buffer_copy(input, &required, GEGL_ABYSS_CLAMP, staged_input.get(), &required);
  const GObjectPtr<GeglSampler> sampler_object(
      sampled ? gegl_buffer_sampler_new_at_level(staged ? staged_input.get() : input,
                                                 interpolated, sampler, level)
              : nullptr);
  const SampledInput samples = {
      sampler_object.get(), staged ? gegl_sampler_get_fun(sampler_object.get()) : nullptr,
      babl_fish(interpolated, format),
      size_t(babl_format_get_bytes_per_pixel(interpolated)), extent};

  // Strips of rows, each handed to GEGL as it is done.
  constexpr int32_t strip_rows = 32;
  const size_t bpp = size_t(babl_format_get_bytes_per_pixel(format)),
               row_bytes = size_t(out.width) * bpp;
  std::vector<uint8_t> strip(row_bytes * strip_rows);
  const int32_t reach_y = extent_reach(extent, settings, sampler).y;
  for (int32_t top = 0; top < out.height; top += strip_rows) {
    const int32_t rows = std::min(strip_rows, out.height - top);
    // A sampler keeps one window of the input: sampled in blocks, whose sources lie
    // close together, the strip reads each part of the input about once.
    constexpr int32_t block_width = 32;
    for (int32_t left = 0; left < out.width; left += sampled ? block_width : out.width)
      for (int32_t row = 0; row < rows; row++) {
        const double y = world(out.y + top + row, extent.y, extent.height);
        const int32_t width =
            sampled ? std::min(block_width, out.width - left) : out.width;
        uint8_t *dest = strip.data() + size_t(row) * row_bytes + size_t(left) * bpp;
        if (sampled)
          sample_row(renderer, samples, xs.data() + left, y, width, dest);
        else
          (renderer.whole ? copy_row : blend_row)(renderer, blocks, xs.data(), y, width,
                                                  dest);
      }
    const GeglRectangle written = {out.x, out.y + top, out.width, rows};
    gegl_buffer_set(output, &written, level, format, strip.data(), GEGL_AUTO_ROWSTRIDE);
    blocks.drop_above(
        int64_t(world_position(out.y + top + rows, level, extent.y, extent.height)) -
        reach_y);
  }
}
