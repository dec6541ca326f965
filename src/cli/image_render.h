// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The filter over an image held in memory, as the command reads it: the engine's
// kernels on rows in parallel, in the image's own channel type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "settings.h"

enum class ChannelType { u8, u16, half, f32 };

// Rows packed, channels interleaved. Alpha, when there is one, is the last channel;
// any other channel (the K of CMYK too) is colour.
struct PixelImage {
  int width = 0, height = 0, channels = 0;
  ChannelType type = ChannelType::u8;
  bool has_alpha = false;
  // Palette indices: a position with a fraction takes its pixel rather than a blend.
  bool indexed = false;
  // Left as they come from the allocator until read, so that an image claimed by a
  // file's header costs no memory before its pixels arrive.
  std::unique_ptr<uint8_t[]> pixels;

  size_t channel_bytes() const
  {
    return type == ChannelType::u8 ? 1 : type == ChannelType::f32 ? 4 : 2;
  }
  size_t pixel_bytes() const { return size_t(channels) * channel_bytes(); }
  size_t bytes() const { return size_t(width) * size_t(height) * pixel_bytes(); }
  // Allocates the pixels; false when there is not enough memory.
  bool allocate()
  {
    pixels.reset(new (std::nothrow) uint8_t[bytes()]);
    return pixels != nullptr;
  }
};

// Most channels an image may have.
constexpr int max_channels = 64;

struct Region {
  int x, y, width, height;
};

// The rows above and below an output row that its pixels may be taken from: a stream
// of rows needs only those around the rows it dents.
int32_t reach_rows(const PixelImage &source, Region region, const DistortVals &settings);

// Rows [first, last) of source with region dented with the settings and pattern (the
// noise offset, of which only the low 8 bits count), as the GIMP plug-in dents a
// selection with that bounding box, packed into dest; pixels outside the region are
// copied. held holds source's rows from held_first on, at least those within
// reach_rows of [first, last); source's own pixels are not read. Rows are shared among
// up to threads threads.
void render_image_rows(const PixelImage &source, const uint8_t *held, int32_t held_first,
                       Region region, const DistortVals &settings, uint32_t pattern,
                       int threads, int32_t first, int32_t last, uint8_t *dest);
