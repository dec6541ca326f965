// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// make_photo WIDTH HEIGHT OUT.png: a photo-like 8-bit RGB PNG for the command's
// benchmark, of any size in little memory: smooth gradients with grain, which
// compress as a photo does, not as flat colour. Written a row at a time, fast (zlib
// level 1).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <png.h>

int main(int argc, char **argv)
{
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_photo WIDTH HEIGHT OUT.png\n");
    return 2;
  }
  const long width = std::atol(argv[1]), height = std::atol(argv[2]);
  std::FILE *file = std::fopen(argv[3], "wb");
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!file || !png || !info || width < 1 || height < 1 || setjmp(png_jmpbuf(png))) {
    std::fprintf(stderr, "make_photo: cannot write %s\n", argv[3]);
    return 1;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_write_info(png, info);
  std::vector<png_byte> row(size_t(width) * 3);
  uint32_t state = 12345;
  for (long y = 0; y < height; y++) {
    for (long x = 0; x < width; x++) {
      const double across = double(x) / double(width), down = double(y) / double(height);
      const double base[3] = {40 + 180 * across, 60 + 150 * down,
                              200 - 120 * across * down};
      for (int c = 0; c < 3; c++) {
        state = state * 1664525u + 1013904223u;
        const int grain = int(state >> 28) + int((state >> 24) & 15) - 15;
        row[size_t(x) * 3 + size_t(c)] =
            png_byte(std::clamp(int(base[c]) + grain, 0, 255));
      }
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 ? 0 : 1;
}
