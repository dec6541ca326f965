// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// An independent render of the filter's effect, for comparing with what GIMP writes.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

struct Box {
  int x, y, width, height;
};

// The selection bounds rendered over source with the given settings and noise offset,
// as the plug-in does, or cut out as an image of their own, as the GEGL operation
// does; pixels outside the bounds are copied.
Image reference_render(const Image &source, Box bounds, double scale, double turbulence,
                       uint32_t noise_offset, bool cut_out = false);

// The noise offsets (0..255, or only the one given; only the low 8 bits count) whose
// reference render equals rendered byte for byte.
std::vector<int> matching_offsets(const Image &source, const Image &rendered, Box bounds,
                                  double scale, double turbulence, bool cut_out = false,
                                  int only = -1);
