// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The filter over an image held in memory, as the command reads it: the engine's
// kernels on rows in parallel, in the image's own channel type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "settings.h"

enum class ChannelType { u8, u16, half, f32 };

// Rows packed, channels interleaved, alpha last when there are 2 or 4 channels.
struct PixelImage {
  int width = 0, height = 0, channels = 0;
  ChannelType type = ChannelType::u8;
  std::vector<uint8_t> pixels;

  size_t channel_bytes() const
  {
    return type == ChannelType::u8 ? 1 : type == ChannelType::f32 ? 4 : 2;
  }
  size_t pixel_bytes() const { return size_t(channels) * channel_bytes(); }
  bool has_alpha() const { return channels == 2 || channels == 4; }
};

struct Region {
  int x, y, width, height;
};

// Rows [first, last) of source with region dented with the settings and pattern (the
// noise offset, of which only the low 8 bits count), as the GIMP plug-in dents a
// selection with that bounding box, packed into dest; pixels outside the region are
// copied. Rows are shared among up to threads threads.
void render_image_rows(const PixelImage &source, Region region,
                       const DistortVals &settings, uint32_t pattern, int threads,
                       int32_t first, int32_t last, uint8_t *dest);
