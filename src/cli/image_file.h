// Reading and writing image files with OpenImageIO, keeping each file's channels,
// channel type and metadata (ICC profile, EXIF, resolution) as they are.
#pragma once

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

// Writes image to path (whose extension chooses the format) with info's metadata; on
// failure returns false with the reason, and path may hold a partial file.
bool write_image_file(const std::string &path, const PixelImage &image,
                      const ImageFileInfo &info, std::string *error);
