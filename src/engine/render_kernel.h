// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The per-pixel work of the render pass and the preview when every source position
// is whole: each output pixel is then a copy of one source pixel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "displace.h"

// Source pixels covering [0, width) x [0, height), rows packed. A position (x, y) of
// the world reads the pixel at ((x + x_offset) >> level, (y + y_offset) >> level): a
// window read from a larger world, perhaps from a mipmap level of it.
struct SourcePixels {
  const uint8_t *data;
  int32_t width, height;
  int32_t bpp;
  int32_t x_offset = 0, y_offset = 0;
  int level = 0;

  const uint8_t *at(int32_t x, int32_t y) const
  {
    return data + (size_t((y + y_offset) >> level) * size_t(width) +
                   size_t((x + x_offset) >> level)) *
                      size_t(bpp);
  }
};

// The integer sample position for a source coordinate: trunc for non-negative
// values, trunc - 1 for negative ones. Values far outside any drawable (which all
// take its edge pixel) are clamped to +-2^30, so the next position does not overflow.
int32_t sample_floor(double v);

// True when every source position is whole and lies in [0, sel_x2) x [0, sel_y2):
// undisplaced positions are the pixels themselves, displaced ones are folded on both
// axes. The four-sample blend then reproduces its first sample exactly, so a copy
// gives the same bytes. False only for a one-pixel selection edge at the origin.
bool samples_are_whole(const DisplaceParams &params, bool displaced);

// The output pixels for the positions (x[k], y[k]), k in [0, count), packed into dest,
// their displacements computed several at a time; only valid when samples_are_whole.
void render_points(const NoiseTables &tables, const DisplaceParams &params,
                   bool displaced, const SourcePixels &source, const double *x,
                   const double *y, int32_t count, uint8_t *dest);

// count output pixels of row y from column x0 on, packed into dest.
void render_row(const NoiseTables &tables, const DisplaceParams &params, bool displaced,
                const SourcePixels &source, int32_t x0, int32_t y, int32_t count,
                uint8_t *dest);
