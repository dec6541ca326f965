// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "image.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <OpenImageIO/imageio.h>

std::string read_file(const std::string &path)
{
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

std::string in_root(const std::string &release, const std::string &command)
{
  std::string quoted = "'";
  for (char c : command)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  const std::string root = "'" ONDALUX_SOURCE_DIR "/tools/debian-root' ";
  return (release.empty()     ? ""
          : release[0] == '/' ? root + "--in '" + release + "'"
                              : root + "--tools " + release) +
         " sh -c " + quoted + "'";
}

Outcome run_in(const std::string &folder, const std::string &command,
               const std::string &release)
{
  const int status = std::system(
      in_root(release, "cd '" + folder + "' && { " + command + "; } > out.txt 2> err.txt")
          .c_str());
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                  read_file(folder + "/out.txt"), read_file(folder + "/err.txt")};
  std::erase(outcome.out, '\r');
  std::erase(outcome.err, '\r');
  return outcome;
}

std::string build_gegl_views(const std::string &folder)
{
  return "cd '" ONDALUX_SOURCE_DIR "' && g++ -O2 -ffp-contract=off -Isrc/engine -o '" +
         folder +
         "/gegl-views' tests/support/gegl_views.cpp src/engine/noise.cpp "
         "src/engine/displace.cpp $(pkg-config --cflags --libs gegl-0.4)";
}

std::set<std::string> paths_under(const std::string &folder, bool folders)
{
  std::set<std::string> paths;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(folder))
    if (folders || entry.is_regular_file())
      paths.insert(entry.path().string());
  return paths;
}

std::vector<Image> read_images(const std::string &path)
{
  OIIO::ImageSpec config; // samples exactly as stored: alpha not premultiplied, CMYK
  config.attribute("oiio:UnassociatedAlpha", 1);
  config.attribute("oiio:RawColor", 1);
  auto input = OIIO::ImageInput::open(path, &config);
  if (!input)
    throw std::runtime_error("cannot open " + path + ": " + OIIO::geterror());
  std::vector<Image> images;
  for (int subimage = 0; input->seek_subimage(subimage, 0); subimage++) {
    const OIIO::ImageSpec &spec = input->spec();
    Image &image = images.emplace_back(Image{spec.width,
                                             spec.height,
                                             spec.nchannels,
                                             int(spec.format.size()),
                                             {},
                                             spec.format.is_floating_point()});
    image.pixels.resize(size_t(image.width) * image.height * image.pixel_bytes());
    if (!input->read_image(subimage, 0, 0, spec.nchannels, spec.format,
                           image.pixels.data()))
      throw std::runtime_error("cannot decode " + path + ": " + input->geterror());
  }
  return images;
}

void write_png(const Image &image, const std::string &path)
{
  const OIIO::TypeDesc type =
      image.channel_bytes == 2 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8;
  OIIO::ImageSpec spec(image.width, image.height, image.channels, type);
  spec.attribute("oiio:UnassociatedAlpha", 1);
  auto output = OIIO::ImageOutput::create(path);
  if (!output || !output->open(path, spec) ||
      !output->write_image(type, image.pixels.data()) || !output->close())
    throw std::runtime_error("cannot write " + path);
}

Image make_test_image(int width, int height, int channels, int channel_bytes)
{
  Image image{width, height, channels, channel_bytes, {}};
  image.pixels.resize(size_t(width) * height * image.pixel_bytes());
  const int colour_channels = image.has_alpha() ? channels - 1 : channels;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      for (int c = 0; c < channels; c++) {
        int value = (x * (3 + 2 * c) + y * (5 - c) + ((x / 4 + y / 3) % 2) * 90) & 255;
        if (c == colour_channels) {
          const int band = (x + 2 * y) % 23;
          value = band < 6 ? 0 : band < 12 ? 40 * (band - 5) : 255;
        }
        uint8_t *channel = image.at(x, y) + c * channel_bytes;
        if (channel_bytes == 1) {
          *channel = uint8_t(value);
          continue;
        }
        // Detail below the top 8 bits, except where alpha is 0 or full.
        const bool extreme = c == colour_channels && (value == 0 || value == 255);
        const uint16_t wide =
            uint16_t(value * 257 + (extreme ? 0 : (x * 37 + y * 11 + c * 5) % 200 - 100));
        std::memcpy(channel, &wide, 2);
      }
    }
  }
  return image;
}

double psnr(const Image &view, const Image &image, int x, int y, int step)
{
  double squares = 0;
  for (int j = 0; j < view.height; j++)
    for (int i = 0; i < view.width; i++)
      for (int c = 0; c < view.channels; c++) {
        double sum = 0;
        for (int k = 0; k < step * step; k++)
          sum += image.at((x + i) * step + k % step, (y + j) * step + k / step)[c];
        const double difference = view.at(i, j)[c] - sum / (step * step);
        squares += difference * difference;
      }
  return 10 * std::log10(255.0 * 255.0 /
                         (squares / (double(view.width) * view.height * view.channels)));
}

std::string german(const std::string &msgid)
{
  const std::string catalog = read_file(ONDALUX_SOURCE_DIR "/po/de.po");
  const std::string key = "msgid \"" + msgid + "\"\nmsgstr \"";
  const size_t start = catalog.find(key) + key.size();
  return catalog.substr(start, catalog.find('"', start) - start);
}

bool contains_exactly(const Image &whole, const Image &part)
{
  for (int y = 0; y + part.height <= whole.height; y++) {
    for (int x = 0; x + part.width <= whole.width; x++) {
      bool equal = true;
      for (int py = 0; py < part.height && equal; py++)
        for (int px = 0; px < part.width && equal; px++)
          equal =
              std::equal(part.at(px, py), part.at(px, py) + 3, whole.at(x + px, y + py));
      if (equal)
        return true;
    }
  }
  return false;
}
