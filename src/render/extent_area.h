// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The operation's world: its input's extent, whose top-left corner is the origin and
// whose far edges are the fold's, so a selection's box cut out is dented as an image of
// its own. Areas are in level-0 coordinates, as GEGL hands them over, and any number of
// renders may run at once.
#pragma once

#include "pixel_renderer.h"

// The input that output area needs: the area, within extent, grown by how far the
// offsets reach and, for a sampler other than nearest, by the pixels around a position
// that it reads; clipped to extent.
GeglRectangle extent_required_area(const GeglRectangle &extent, const GeglRectangle &area,
                                   const DistortVals &settings, GeglSamplerType sampler);

// The output that a change of the input over changed may change: the same reach around
// it, since a pixel's source never lies further from it.
GeglRectangle extent_invalidated_area(const GeglRectangle &extent,
                                      const GeglRectangle &changed,
                                      const DistortVals &settings,
                                      GeglSamplerType sampler);

// Renders area at mipmap level from input to output in format. Nearest copies whole
// pixels, reading of the input only what extent_required_area names, and of that only
// the blocks that the area's pixels come from, so a small area costs little however far
// the offsets reach. Any other sampler keeps the positions' fractions, folded into the
// extent, and takes each pixel from GEGL's sampler at that position.
void render_extent_area(GeglBuffer *input, GeglBuffer *output, const Babl *format,
                        const GeglRectangle &extent, const GeglRectangle &area, int level,
                        const DistortVals &settings, uint32_t pattern,
                        GeglSamplerType sampler);
