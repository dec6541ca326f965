// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Images with 1 to 4 channels, alpha last, of 1 to 8 bytes each in the host's own
// layout, and PNG files of 8 and 16-bit ones; files and shell commands.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct Image {
  // channels: 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
  int width = 0, height = 0, channels = 0, channel_bytes = 1;
  std::vector<uint8_t> pixels;
  bool floating = false; // channels are half, float or double rather than integers

  size_t pixel_bytes() const { return size_t(channels) * size_t(channel_bytes); }
  uint8_t *at(int x, int y) { return &pixels[(size_t(y) * width + x) * pixel_bytes()]; }
  const uint8_t *at(int x, int y) const
  {
    return &pixels[(size_t(y) * width + x) * pixel_bytes()];
  }
  bool has_alpha() const { return channels == 2 || channels == 4; }
  bool operator==(const Image &) const = default;
};

// The file's bytes; "" when it cannot be read.
std::string read_file(const std::string &path);

// A shell command that runs the shell command command here or, unless release is
// empty, in the Debian root of release, with the tests' tools, or in the root at the
// folder release names.
std::string in_root(const std::string &release, const std::string &command);

// What a shell command did, its output without carriage returns.
struct Outcome {
  int exit_status;
  std::string out, err;
};
// Runs a shell command in folder, here or in a Debian root as in_root does, with its
// output in out.txt and err.txt there.
Outcome run_in(const std::string &folder, const std::string &command,
               const std::string &release = "");

// The shell command that builds the GEGL views driver (support/gegl_views.cpp, with the
// engine) as folder/gegl-views against the GEGL of the system where it runs.
std::string build_gegl_views(const std::string &folder);

// The paths of the files under folder, and of the folders too where asked.
std::set<std::string> paths_under(const std::string &folder, bool folders = false);

// Every page or frame of a file, as stored (GIF frames as RGBA over the ones before).
std::vector<Image> read_images(const std::string &path);
void write_png(const Image &image, const std::string &path);

// A smooth colour field with sharp stripes; with alpha, a fully transparent band
// (whose colour still varies) and a band of partial alpha.
Image make_test_image(int width, int height, int channels, int channel_bytes = 1);

// Peak signal-to-noise ratio of an 8-bit view against image scaled down by 1 / step,
// the view's corner at (x, y) of the scaled image.
double psnr(const Image &view, const Image &image, int x = 0, int y = 0, int step = 1);

// The German catalogue's translation of a one-line msgid.
std::string german(const std::string &msgid);

// Whether every pixel of part (3 channels) appears in whole at some position.
bool contains_exactly(const Image &whole, const Image &part);
