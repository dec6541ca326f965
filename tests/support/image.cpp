#include "image.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include <png.h>

namespace
{

struct FileCloser {
  void operator()(FILE *file) const { fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

FilePtr open_file(const std::string &path, const char *mode)
{
  FilePtr file(fopen(path.c_str(), mode));
  if (!file)
    throw std::runtime_error("cannot open " + path);
  return file;
}

int color_type_for(int channels)
{
  switch (channels) {
  case 1:
    return PNG_COLOR_TYPE_GRAY;
  case 2:
    return PNG_COLOR_TYPE_GRAY_ALPHA;
  case 3:
    return PNG_COLOR_TYPE_RGB;
  default:
    return PNG_COLOR_TYPE_RGB_ALPHA;
  }
}

} // namespace

Image read_png(const std::string &path)
{
  FilePtr file = open_file(path, "rb");
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("cannot decode " + path);
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  if (png_get_bit_depth(png, info) != 8 ||
      png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error(path + " is not an 8-bit grey or RGB PNG");
  }
  Image image;
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  image.channels = png_get_channels(png, info);
  image.pixels.resize(size_t(image.width) * image.height * image.channels);
  std::vector<png_bytep> rows(image.height);
  for (int y = 0; y < image.height; y++)
    rows[y] = image.at(0, y);
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

void write_png(const Image &image, const std::string &path)
{
  FilePtr file = open_file(path, "wb");
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("cannot encode " + path);
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, image.width, image.height, 8, color_type_for(image.channels),
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; y++)
    png_write_row(png, image.at(0, y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
}

Image make_test_image(int width, int height, int channels)
{
  Image image;
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.pixels.resize(size_t(width) * height * channels);
  const int colour_channels = image.has_alpha() ? channels - 1 : channels;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      uint8_t *p = image.at(x, y);
      for (int c = 0; c < colour_channels; c++)
        p[c] =
            uint8_t((x * (3 + 2 * c) + y * (5 - c) + ((x / 4 + y / 3) % 2) * 90) & 255);
      if (image.has_alpha()) {
        const int band = (x + 2 * y) % 23;
        p[channels - 1] = band < 6 ? 0 : band < 12 ? uint8_t(40 * (band - 5)) : 255;
      }
    }
  }
  return image;
}
