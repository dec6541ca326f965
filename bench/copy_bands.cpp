// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "copy_bands.h"

#include <algorithm>
#include <vector>

void copy_bands(const DrawableReader &reader, const ShadowWriter &writer,
                const Babl *format)
{
  const GeglRectangle extent = reader.extent;
  std::vector<uint8_t> band(size_t(extent.width) * size_t(writer.band_height) *
                            size_t(babl_format_get_bytes_per_pixel(format)));
  for (gint top = 0; top < extent.height; top += writer.band_height) {
    const GeglRectangle rect = {0, top, extent.width,
                                std::min(writer.band_height, extent.height - top)};
    reader.read(reader.data, rect, format, band.data());
    writer.write(writer.data, rect, format, band.data());
  }
}
