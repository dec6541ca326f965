// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// PNG to PNG through libpng. The pixels keep their bit depth and channels (palettes
// and grey below 8 bits are expanded, transparency becomes alpha); the metadata
// chunks are copied as they are, and so are unknown chunks marked safe to copy.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

#include "image_file.h"
#include "system.h"

namespace
{

// Names of the metadata chunks copied whole: colour, resolution, text, EXIF, time.
constexpr png_byte copied_chunks[] = "iCCP\0sRGB\0gAMA\0cHRM\0cICP\0pHYs\0sCAL\0"
                                     "tEXt\0zTXt\0iTXt\0eXIf\0tIME";
constexpr int copied_chunk_count = 12;

struct Chunk {
  png_byte name[5];
  std::vector<png_byte> data;
  png_byte location; // where it stood: before PLTE, after PLTE or after IDAT
};

// libpng's state for one file; its errors return through setjmp with a message.
struct PngFile {
  FILE *file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool writing = false;
  char message[200] = "";

  ~PngFile()
  {
    if (writing)
      png_destroy_write_struct(&png, &info);
    else
      png_destroy_read_struct(&png, &info, nullptr);
    if (file)
      std::fclose(file);
  }
};

// A PNG being read: libpng's state between the header and the pixels, and the chunks
// its writing copies.
struct PngImageFile : ImageFile {
  PngFile file;
  int bit_depth = 8;
  std::vector<Chunk> chunks;

  bool read(int index, std::string *error) override;
};

[[noreturn]] void on_error(png_structp png, png_const_charp message)
{
  PngFile *file = static_cast<PngFile *>(png_get_error_ptr(png));
  std::snprintf(file->message, sizeof file->message, "%s", message);
  png_longjmp(png, 1);
}

// A damaged ancillary chunk is dropped and the image read on.
void on_warning(png_structp, png_const_charp) {}

bool open_png(PngFile *file, const std::string &path, bool writing)
{
  file->writing = writing;
  file->file = open_file(path, writing ? "wb" : "rb");
  if (!file->file) {
    std::snprintf(file->message, sizeof file->message, "%s", std::strerror(errno));
    return false;
  }
  file->png =
      writing ? png_create_write_struct(PNG_LIBPNG_VER_STRING, file, on_error, on_warning)
              : png_create_read_struct(PNG_LIBPNG_VER_STRING, file, on_error, on_warning);
  file->info = file->png ? png_create_info_struct(file->png) : nullptr;
  return file->info != nullptr;
}

// The functions that call setjmp hold no objects with destructors.
bool read_header(PngFile *file, PixelImage *image, int *bit_depth)
{
  png_structp png = file->png;
  if (setjmp(png_jmpbuf(png)))
    return false;
  png_init_io(png, file->file);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_IF_SAFE, nullptr, 0);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, copied_chunks,
                              copied_chunk_count);
  png_read_info(png, file->info);
  png_set_expand(png);
  if (png_get_bit_depth(png, file->info) == 16)
    png_set_swap(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, file->info);
  image->width = int(png_get_image_width(png, file->info));
  image->height = int(png_get_image_height(png, file->info));
  image->channels = png_get_channels(png, file->info);
  image->has_alpha = image->channels % 2 == 0;
  *bit_depth = png_get_bit_depth(png, file->info);
  image->type = *bit_depth == 16 ? ChannelType::u16 : ChannelType::u8;
  return true;
}

bool read_pixels(PngFile *file, png_bytepp rows)
{
  if (setjmp(png_jmpbuf(file->png)))
    return false;
  png_read_image(file->png, rows);
  png_read_end(file->png, file->info);
  return true;
}

bool open_png_file(const std::string &path, std::unique_ptr<ImageFile> *file,
                   std::string *error)
{
  auto png = std::make_unique<PngImageFile>();
  png->images.resize(1);
  if (!open_png(&png->file, path, false) ||
      !read_header(&png->file, &png->images[0], &png->bit_depth)) {
    *error = png->file.message[0] ? png->file.message : "cannot read it";
    return false;
  }
  *file = std::move(png);
  return true;
}

bool PngImageFile::read(int, std::string *error)
{
  PixelImage &image = images[0];
  if (!image.allocate()) {
    *error = "too large to hold in memory";
    return false;
  }
  std::vector<png_bytep> rows =
      row_pointers(image.pixels.get(), size_t(image.width) * image.pixel_bytes(),
                   size_t(image.height));
  if (!read_pixels(&file, rows.data())) {
    *error = file.message;
    return false;
  }
  png_unknown_chunkp unknown = nullptr;
  const int count = png_get_unknown_chunks(file.png, file.info, &unknown);
  for (int i = 0; i < count; i++) {
    Chunk chunk{
        {}, {unknown[i].data, unknown[i].data + unknown[i].size}, unknown[i].location};
    std::copy(unknown[i].name, unknown[i].name + 5, chunk.name);
    chunks.push_back(std::move(chunk));
  }
  return true;
}

bool write_pixels(PngFile *file, const PngImageFile &source, png_unknown_chunkp chunks,
                  const RowSource &rows, png_bytep band, png_bytepp band_rows_start)
{
  png_structp png = file->png;
  if (setjmp(png_jmpbuf(png)))
    return false;
  png_init_io(png, file->file);
  static const int color_types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                    PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
  const PixelImage &image = source.images[0];
  png_set_IHDR(png, file->info, png_uint_32(image.width), png_uint_32(image.height),
               source.bit_depth, color_types[image.channels - 1], PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Paeth alone at zlib's level 4 gave files within 0.2% of libpng's defaults (every
  // filter, level 6) on the plasma renders measured, in about two thirds of the time.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_set_compression_level(png, 4);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
  if (!source.chunks.empty())
    png_set_unknown_chunks(png, file->info, chunks, int(source.chunks.size()));
  png_write_info(png, file->info);
  if (source.bit_depth == 16)
    png_set_swap(png);
  for (int32_t first = 0; first < image.height; first += band_rows) {
    const int32_t last = std::min(first + band_rows, int32_t(image.height));
    rows(first, last, band);
    png_write_rows(png, band_rows_start, png_uint_32(last - first));
  }
  png_write_end(png, file->info);
  return true;
}

// The chunks after the image data are known once it is read, so the pixels are read
// before anything is written.
bool write_png(const std::string &path, const ImageFile &file,
               const ImageRows &image_rows, std::string *error)
{
  const PngImageFile &source = static_cast<const PngImageFile &>(file);
  RowSource rows;
  if (!image_rows(0, &rows, error))
    return false;
  std::vector<png_unknown_chunk> chunks;
  for (const Chunk &chunk : source.chunks) {
    png_unknown_chunk entry = {};
    std::copy(chunk.name, chunk.name + 5, entry.name);
    entry.data = const_cast<png_bytep>(chunk.data.data());
    entry.size = chunk.data.size();
    entry.location = chunk.location;
    chunks.push_back(entry);
  }
  const size_t row_bytes =
      size_t(source.images[0].width) * source.images[0].pixel_bytes();
  std::vector<png_byte> band(row_bytes * band_rows);
  std::vector<png_bytep> band_row_pointers =
      row_pointers(band.data(), row_bytes, band_rows);

  PngFile output;
  const bool written = open_png(&output, path, true) &&
                       write_pixels(&output, source, chunks.data(), rows, band.data(),
                                    band_row_pointers.data());
  const bool closed = output.file && std::fclose(output.file) == 0;
  output.file = nullptr;
  if (written && closed)
    return true;
  *error = output.message[0] ? output.message : "cannot write it";
  return false;
}

} // namespace

const ImageFileIo png_file_io = {open_png_file, write_png};
