// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing image files whole: every page, frame or part, each keeping its
// channels, channel type and metadata (ICC profile, EXIF, resolution) as they are.
// PNG to PNG goes through libpng, JPEG to JPEG through libjpeg, GIF to GIF through
// giflib and the common TIFF to TIFF through code of our own; everything else through
// OpenImageIO, whose hundreds of libraries take
// longer to load than a small file takes to dent, so they load on first use.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image_render.h"

// An input file, open. Its header is read: every image's size, channels and type are
// known before any pixel is read.
struct ImageFile {
  virtual ~ImageFile() = default;
  // One per page, frame or part, in order; pixels are null until read.
  std::vector<PixelImage> images;
  // Memory the reading and writing need beyond the pixels.
  size_t working_bytes = 0;
  // JPEG quality to write at: 0 keeps the input's where it shows, else 90.
  int quality = 0;
  // Threads the writing may use.
  int threads = 1;
  // Whether the file holds one image, which read_rows can read rows at a time rather
  // than read whole.
  bool streams = false;
  // Reads the next count rows of images[0], packed, into rows, from the top, where
  // streams; once the last row is read, what follows the pixels in the file is read
  // too. On failure returns false with the reason.
  virtual bool read_rows(int32_t, uint8_t *, std::string *error)
  {
    *error = "cannot be read by rows";
    return false;
  }
  // Allocates and reads the pixels of images[index]; images are read in order. On
  // failure returns false with the reason. A file that streams reads them by rows.
  virtual bool read(int index, std::string *error)
  {
    PixelImage &image = images[size_t(index)];
    if (!image.allocate()) {
      *error = "too large to hold in memory";
      return false;
    }
    return read_rows(image.height, image.pixels.get(), error);
  }
};

// Fills rows [first, last) of an image in its layout, packed, into rows, in order;
// false once the input has turned out unreadable.
using RowSource = std::function<bool(int32_t first, int32_t last, uint8_t *rows)>;

// Makes the image at index ready to write and gives its rows; false with the reason.
using ImageRows = std::function<bool(int index, RowSource *rows, std::string *error)>;

struct ImageFileIo {
  // Opens path and reads its header; on failure returns false with the reason.
  bool (*open)(const std::string &path, std::unique_ptr<ImageFile> *file,
               std::string *error);
  // Writes an image of each of file's images' size, channels and type to path with its
  // metadata, band by band, in order; on failure returns false with the reason, and
  // path may hold a partial file. For OpenImageIO, path's extension chooses the format.
  bool (*write)(const std::string &path, const ImageFile &file, const ImageRows &rows,
                std::string *error);
};

// Bands of rows, so that only one image (the source) is held whole.
constexpr int32_t band_rows = 64;

// A file's buffer: left as it comes from the allocator, so that a small file touches
// only the part it uses.
using FileBuffer = std::unique_ptr<char[]>;

// Gives file a buffer of 1 MiB in *buffer, which must outlive it. libjpeg, libpng and
// giflib ask for a few KiB at a time, each otherwise a system call.
void buffer_file(std::FILE *file, FileBuffer *buffer);

// Creates the file at path to write an image into, errno cleared; nullptr with the
// system's reason.
std::FILE *create_file(const std::string &path, std::string *error);

// Pointers to count rows of row_bytes bytes each from first on, as libpng and libjpeg
// take rows.
std::vector<uint8_t *> row_pointers(uint8_t *first, size_t row_bytes, size_t count);

// The reader and writer that turn input into output (both named by the extension of
// output); nullptr with the reason if OpenImageIO's cannot be loaded.
const ImageFileIo *image_file_io(const std::string &input, const std::string &output,
                                 std::string *error);

// The bytes of the largest image a TIFF or GIF file's header claims, or 0 for other
// files, whose readers tell, and for TIFFs read here, which stream. Weighed before
// OpenImageIO is loaded, whose libraries alone take 130 MiB, and whose GIF reader makes
// room for the whole screen at once.
double claimed_image_bytes(const std::string &path);

// Whether the file is a TIFF that tiff_file_io reads, a row at a time.
bool tiff_file_streams(const std::string &path);

extern const ImageFileIo png_file_io;
extern const ImageFileIo tiff_file_io;
extern const ImageFileIo jpeg_file_io;
extern const ImageFileIo gif_file_io;
