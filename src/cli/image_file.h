// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing image files with OpenImageIO, keeping each file's channels,
// channel type and metadata (ICC profile, EXIF, resolution) as they are.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "image_render.h"

// What a read file keeps for its writing: its format description and metadata.
struct ImageFileInfo;
struct ImageFileInfoDeleter {
  void operator()(ImageFileInfo *info) const;
};
using ImageFileInfoPtr = std::unique_ptr<ImageFileInfo, ImageFileInfoDeleter>;

// Reads path in its own channel type; on failure returns false with the reason.
bool read_image_file(const std::string &path, PixelImage *image, ImageFileInfoPtr *info,
                     std::string *error);

// Fills rows [first, last) of an image in the read file's layout, packed, into rows.
using RowSource = std::function<void(int32_t first, int32_t last, uint8_t *rows)>;

// Writes an image of the read file's size, channels and type to path (whose
// extension chooses the format) with info's metadata, band by band from rows; on
// failure returns false with the reason, and path may hold a partial file.
bool write_image_file(const std::string &path, const ImageFileInfo &info,
                      const RowSource &rows, std::string *error);
