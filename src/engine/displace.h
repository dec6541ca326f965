// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Maps an output pixel to the source position it is taken from.
#pragma once

#include <cstdint>

#include "noise.h"

struct DisplaceParams {
  double scale_px;   // noise feature size in pixels, > 0
  double turbulence; // offset strength
  int32_t sel_x2;    // selection's x + width: the fold's right limit is sel_x2 - 1
  int32_t sel_y2;    // selection's y + height
};

// Reflects v, with its fraction dropped, into the whole numbers 0..limit
// (a triangle fold of period 2 * limit). limit is a whole number >= 1.
double fold_coordinate(double v, double limit);

// Reflects v, keeping its fraction, into 0..limit (the same fold, of positions that a
// sampler reads between pixels); for whole v this is fold_coordinate. A limit below 1
// or a v that is not finite gives 0.
double fold_position(double v, double limit);

// Folds a displaced position, on each axis whose limit is not 0: a limit of 0 (a
// one-pixel selection edge at the origin) leaves the position as it is.
void fold_displaced(const DisplaceParams &params, double *dx, double *dy);

// Source position for the output pixel at (x, y): offset by the noise slope one noise
// unit right and down, then folded into [0, sel_x2 - 1] x [0, sel_y2 - 1].
void displace(const NoiseTables &tables, const DisplaceParams &params, double x, double y,
              double *nx, double *ny);

// How far from its own a pixel's source may lie along an axis whose offsets grow with
// factor (the turbulence across, its square down), at most limit: the read-ahead of a
// render in bands or a stream of rows, and the margin of a window. Unbounded settings may
// reach anywhere.
int32_t displacement_reach(const DisplaceParams &params, bool displaced, double factor,
                           int32_t limit);
