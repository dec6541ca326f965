// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Four-sample blends for source positions with a fraction. The samples are the
// pixels at (ix, iy), (ix + 1, iy), (ix, iy + 1) and (ix + 1, iy + 1) around the
// position; colour is weighted by alpha when there is one, and where the blended
// alpha is 0 the colour is the first sample's.
#pragma once

#include <cstdint>

// 8-bit channels, with the arithmetic and truncation of libgimpcolor's
// gimp_bilinear_pixels_8 (which leaves the colour of a pixel with alpha 0 unwritten).
void blend_samples_8(uint8_t *dest, double x, double y, int channels, bool has_alpha,
                     const uint8_t *const samples[4]);

// The same weights over double channels, without rounding.
void blend_samples_double(double *dest, double x, double y, int channels, bool has_alpha,
                          const double *const samples[4]);
