// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "preview.h"

namespace
{

void untransform(int column, int row, int *x, int *y, void *preview)
{
  gimp_preview_untransform(GIMP_PREVIEW(preview), column, row, x, y);
}

} // namespace

void preview_update(const PreviewSource *source, GimpPreview *preview)
{
  gint width, height, bpp;
  GMemoryPtr<guchar> buffer(
      gimp_zoom_preview_get_source(GIMP_ZOOM_PREVIEW(preview), &width, &height, &bpp));
  if (!buffer)
    return;
  // An indexed drawable, which OK refuses, is shown as it is.
  if (source->source && bpp == babl_format_get_n_components(source->source->format))
    render_preview(*source->source, *source->vals, *source->state, width, height,
                   {untransform, preview}, buffer.get());
  gimp_preview_draw_buffer(preview, buffer.get(), width * bpp);
}
