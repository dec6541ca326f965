// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The table of the operation's views in GEGL, shared by the test and by its driver,
// which is built in a Debian root against that root's GEGL, and for Windows. Each row:
// a view of a 640x480 layer in the row's format after an effect (GEGL's cache, which
// holds only what it was asked for, or invert-gamma), rendered in PARTS x PARTS
// requests through a cache with mipmap rendering on, first with the FIRST settings,
// again with the others, and again after a block of the layer is painted. Zoomed out,
// the layer is a smooth one. A sampler other than nearest is checked against the
// sampled reference that the driver writes, NAME-reference.data.
#pragma once

struct GeglArea {
  int x, y, width, height;
};

struct GeglCase {
  const char *name;
  GeglArea view;
  // u8: R'G'B'A u8; u16: R'G'B'A u16; float: RGBA float
  const char *format = "u8", *effect = "cache";
  double scale = 20, turbulence = 1, first_scale = 5, first_turbulence = 0.5;
  unsigned pattern = 7;
  const char *sampler = "nearest"; // a nick of GeglSamplerType
  double zoom = 1;
  int parts = 2;
  GeglArea paint = {0, 0, 0, 0};
};

constexpr int gegl_layer_width = 640, gegl_layer_height = 480;

// clang-format off
inline const GeglCase gegl_cases[] = {
    {.name = "inside", .view = {300, 200, 160, 120}},
    {.name = "inside-float", .view = {300, 200, 160, 120}, .format = "float", .effect = "invert-gamma"},
    {.name = "edge", .view = {0, 150, 120, 100}, .parts = 3},
    {.name = "inside-u16", .view = {200, 100, 200, 150}, .format = "u16", .scale = 40, .turbulence = 0.7, .pattern = 200},
    {.name = "edge-u16", .view = {520, 300, 120, 100}, .format = "u16", .pattern = 0, .parts = 3},
    {.name = "edge-float", .view = {200, 0, 150, 60}, .format = "float"},
    {.name = "corner", .view = {540, 400, 100, 80}, .scale = 30, .pattern = 255},
    {.name = "corner-float", .view = {0, 380, 100, 100}, .format = "float", .effect = "invert-gamma"},
    {.name = "painted", .view = {300, 200, 160, 120}, .first_scale = 20, .first_turbulence = 1, .paint = {470, 250, 40, 40}},
    {.name = "painted-float", .view = {300, 200, 160, 120}, .format = "float", .effect = "invert-gamma", .first_scale = 20, .first_turbulence = 1, .pattern = 91, .paint = {520, 240, 40, 60}},
    {.name = "painted-u16", .view = {100, 300, 160, 120}, .format = "u16", .scale = 10, .turbulence = 0.3, .pattern = 33, .paint = {150, 330, 30, 30}},
    {.name = "zoomed-out", .view = {0, 0, 160, 120}, .scale = 30, .turbulence = 0.5, .zoom = 0.25, .parts = 3},
    {.name = "zoomed-out-half", .view = {40, 30, 240, 180}, .scale = 30, .turbulence = 0.5, .first_scale = 20, .first_turbulence = 1, .zoom = 0.5},
    {.name = "linear-edge", .view = {0, 150, 120, 100}, .sampler = "linear", .parts = 3},
    {.name = "cubic-painted", .view = {300, 200, 160, 120}, .first_scale = 20, .first_turbulence = 1, .sampler = "cubic", .paint = {470, 250, 40, 40}},
    {.name = "cubic-float", .view = {0, 380, 100, 100}, .format = "float", .effect = "invert-gamma", .pattern = 91, .sampler = "cubic"},
    {.name = "nohalo-u16", .view = {520, 300, 120, 100}, .format = "u16", .scale = 40, .turbulence = 0.7, .sampler = "nohalo", .parts = 3},
    {.name = "lohalo-float", .view = {200, 0, 150, 60}, .format = "float", .pattern = 0, .sampler = "lohalo"},
    // Offsets that reach less far than LoHalo's context.
    {.name = "lohalo-gentle", .view = {300, 200, 160, 120}, .turbulence = 0.05, .first_turbulence = 0.05, .sampler = "lohalo", .parts = 3},
    {.name = "cubic-zoomed-out", .view = {0, 0, 160, 120}, .scale = 30, .turbulence = 0.5, .sampler = "cubic", .zoom = 0.25, .parts = 3},
    {.name = "nohalo-zoomed-out-half", .view = {40, 30, 240, 180}, .scale = 30, .turbulence = 0.5, .sampler = "nohalo", .zoom = 0.5},
};
// clang-format on
