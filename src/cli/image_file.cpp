// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "image_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include "system.h"

namespace fs = std::filesystem;

namespace
{

// The file's first bytes, as many as there are up to count.
std::string first_bytes(const std::string &path, size_t count)
{
  std::string start(count, '\0');
  std::ifstream file(fs::u8path(path), std::ios::binary);
  file.read(start.data(), std::streamsize(count));
  start.resize(size_t(file.gcount()));
  return start;
}

const std::string png_signature = "\x89PNG\r\n\x1a\n";

// An APNG's frames after the first stand in chunks that PNG readers skip; they are
// announced by an acTL chunk before the image data.
bool is_animated_png(const std::string &path)
{
  std::ifstream file(fs::u8path(path), std::ios::binary);
  file.seekg(std::streamoff(png_signature.size()));
  for (unsigned char header[8]; file.read(reinterpret_cast<char *>(header), 8);) {
    const std::string type(reinterpret_cast<char *>(header) + 4, 4);
    if (type == "acTL")
      return true;
    if (type == "IDAT")
      return false;
    const uint32_t length = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 |
                            uint32_t(header[2]) << 8 | header[3];
    file.seekg(std::streamoff(length) + 4, std::ios::cur);
  }
  return false;
}

std::string lower_extension(const std::string &path)
{
  std::string extension = fs::u8path(path).extension().u8string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension;
}

} // namespace

void buffer_file(std::FILE *file, FileBuffer *buffer)
{
  constexpr size_t buffer_bytes = size_t(1) << 20;
  buffer->reset(new (std::nothrow) char[buffer_bytes]);
  if (*buffer)
    std::setvbuf(file, buffer->get(), _IOFBF, buffer_bytes);
}

std::FILE *create_file(const std::string &path, std::string *error)
{
  errno = 0;
  std::FILE *file = open_file(path, "wb");
  if (!file)
    *error = errno ? std::strerror(errno) : "cannot create it";
  // What writing then leaves in errno is its own failure's.
  errno = 0;
  return file;
}

std::vector<uint8_t *> row_pointers(uint8_t *first, size_t row_bytes, size_t count)
{
  std::vector<uint8_t *> rows(count);
  for (size_t y = 0; y < count; y++)
    rows[y] = first + y * row_bytes;
  return rows;
}

const ImageFileIo *image_file_io(const std::string &input, const std::string &output,
                                 std::string *error)
{
  const std::string start = first_bytes(input, 8), extension = lower_extension(output);
  if (start == png_signature && is_animated_png(input)) {
    *error = "is an animated PNG, whose frames after the first no reader here keeps; "
             "it is left alone";
    return nullptr;
  }
  if (start == png_signature && extension == ".png")
    return &png_file_io;
  if (start.rfind("\xff\xd8\xff", 0) == 0 &&
      (extension == ".jpg" || extension == ".jpeg" || extension == ".jpe" ||
       extension == ".jfif"))
    return &jpeg_file_io;
  if (start.rfind("GIF", 0) == 0 && extension == ".gif")
    return &gif_file_io;
  if ((extension == ".tif" || extension == ".tiff") && tiff_file_streams(input))
    return &tiff_file_io;
  static std::string load_error;
  static const ImageFileIo *const openimageio_io = load_openimageio_io(&load_error);
  if (!openimageio_io)
    *error = "cannot load OpenImageIO: " + load_error;
  return openimageio_io;
}

// A GIF's screen, which OpenImageIO holds as RGBA; a TIFF's directories, read for the
// size each page claims.
double claimed_image_bytes(const std::string &path)
{
  if (tiff_file_streams(path))
    return 0;
  std::ifstream file(fs::u8path(path), std::ios::binary);
  unsigned char header[10] = {};
  if (!file.read(reinterpret_cast<char *>(header), 10))
    return 0;
  if (std::string(reinterpret_cast<char *>(header), 3) == "GIF")
    return double(header[6] | header[7] << 8) * double(header[8] | header[9] << 8) * 4;
  const bool little = header[0] == 'I';
  const auto number = [&](const unsigned char *bytes, int size) {
    uint32_t value = 0;
    for (int i = 0; i < size; i++)
      value |= uint32_t(bytes[little ? i : size - 1 - i]) << (8 * i);
    return value;
  };
  if (!(little || header[0] == 'M') || header[1] != header[0] ||
      number(header + 2, 2) != 42)
    return 0;
  double largest = 0;
  uint32_t offset = number(header + 4, 4);
  for (int page = 0; offset != 0 && page < 4096; page++) {
    unsigned char count[2];
    if (!file.seekg(offset) || !file.read(reinterpret_cast<char *>(count), 2))
      break;
    double width = 0, height = 0, samples = 1, bits = 1;
    for (uint32_t entry = 0; entry < number(count, 2); entry++) {
      unsigned char field[12];
      if (!file.read(reinterpret_cast<char *>(field), 12))
        return largest;
      // A SHORT value stands first in the field, several of them where it points; a
      // page's bits per sample are all alike.
      const uint32_t type = number(field + 2, 2), values = number(field + 4, 4);
      double value = type == 3 ? number(field + 8, 2) : number(field + 8, 4);
      if (type == 3 && values > 2) {
        const std::streampos resume = file.tellg();
        unsigned char first[2] = {};
        file.seekg(number(field + 8, 4)).read(reinterpret_cast<char *>(first), 2);
        file.clear();
        file.seekg(resume);
        value = number(first, 2);
      }
      switch (number(field, 2)) {
      case 256:
        width = value;
        break;
      case 257:
        height = value;
        break;
      case 258:
        bits = value;
        break;
      case 277:
        samples = value;
        break;
      }
    }
    largest = std::max(largest, width * height * samples * std::ceil(bits / 8));
    unsigned char next[4];
    if (!file.read(reinterpret_cast<char *>(next), 4))
      break;
    offset = number(next, 4);
  }
  return largest;
}
