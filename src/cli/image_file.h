// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing image files, keeping each file's channels, channel type and
// metadata (ICC profile, EXIF, resolution) as they are. PNG to PNG goes through
// libpng; everything else through OpenImageIO, whose hundreds of libraries take
// longer to load than a small PNG takes to dent, so they load on first use.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "image_render.h"

// What a read file keeps for its writing: its format description and metadata.
struct ImageFileInfo {
  virtual ~ImageFileInfo() = default;
};

// Fills rows [first, last) of an image in the read file's layout, packed, into rows.
using RowSource = std::function<void(int32_t first, int32_t last, uint8_t *rows)>;

struct ImageFileIo {
  // Reads path in its own channel type; on failure returns false with the reason.
  bool (*read)(const std::string &path, PixelImage *image,
               std::unique_ptr<ImageFileInfo> *info, std::string *error);
  // Writes an image of the read file's size, channels and type to path with info's
  // metadata, band by band from rows; on failure returns false with the reason, and
  // path may hold a partial file. For OpenImageIO, path's extension chooses the format.
  bool (*write)(const std::string &path, const ImageFileInfo &info, const RowSource &rows,
                std::string *error);
};

// Bands of rows, so that only one image (the source) is held whole.
constexpr int32_t band_rows = 64;

// The reader and writer that turn input into output (both named by the extension of
// output); nullptr with the reason if OpenImageIO's cannot be loaded.
const ImageFileIo *image_file_io(const std::string &input, const std::string &output,
                                 std::string *error);

extern const ImageFileIo png_file_io;
