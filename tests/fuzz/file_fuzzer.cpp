// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for what the command reads: each input is a file handed to every
// reader (libpng, libjpeg, giflib, our TIFF reader, OpenImageIO) and to the TIFF header
// check; what one opens within a small memory limit is read, dented and written, as
// the command would, streamed where it streams.
#include <cstdio>
#include <string>

#include <unistd.h>

#include "image_file.h"
#include "row_stream.h"

extern "C" const ImageFileIo ondalux_openimageio_io;

namespace
{

constexpr double memory_limit = 64 << 20;

// Where each input is written, and where what is made of it goes.
const std::string input = "/tmp/ondalux-fuzz-in-" + std::to_string(getpid()),
                  output = "/tmp/ondalux-fuzz-out-" + std::to_string(getpid());

void dent(const ImageFileIo &io, const std::string &input, const std::string &output)
{
  std::unique_ptr<ImageFile> file;
  std::string error;
  if (!io.open(input, &file, &error))
    return;
  const Region whole = {0, 0, file->images[0].width, file->images[0].height};
  const DistortVals settings = {20.0, 1.0};
  double largest = 0;
  for (const PixelImage &image : file->images)
    largest = std::max(largest, double(image.bytes()));
  const double cost =
      file->streams
          ? stream_bytes(file->images[0], reach_rows(file->images[0], whole, settings))
          : 2 * largest;
  if (cost + double(file->working_bytes) > memory_limit)
    return;
  std::unique_ptr<RowStream> stream;
  io.write(
      output, *file,
      [&](int index, RowSource *rows, std::string *reason) {
        const PixelImage &image = file->images[size_t(index)];
        if (file->streams) {
          stream = std::make_unique<RowStream>(*file, whole, settings, 7, 1);
          *rows = [&](int32_t first, int32_t last, uint8_t *band) {
            return stream->take(first, last, band);
          };
          return true;
        }
        *rows = [&](int32_t first, int32_t last, uint8_t *band) {
          render_image_rows(image, image.pixels.get(), 0,
                            {0, 0, image.width, image.height}, settings, 7, 1, first,
                            last, band);
          return true;
        };
        return file->read(index, reason);
      },
      &error);
  std::remove(output.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (FILE *file = std::fopen(input.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  // The command weighs what the header claims before it loads OpenImageIO.
  const bool affordable = 2 * claimed_image_bytes(input) <= memory_limit;
  dent(png_file_io, input, output + ".png");
  dent(jpeg_file_io, input, output + ".jpg");
  dent(gif_file_io, input, output + ".gif");
  dent(tiff_file_io, input, output + ".tif");
  if (affordable)
    dent(ondalux_openimageio_io, input, output + ".tif");
  return 0;
}
