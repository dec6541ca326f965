// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmark's floor plug-ins do for each host: the drawable copied onto its
// shadow band by band, through the same reader and writer as the render pass.
#pragma once

#include "selection_pass.h"

void copy_bands(const DrawableReader &reader, const ShadowWriter &writer,
                const Babl *format);
