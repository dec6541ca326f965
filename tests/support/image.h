// 8-bit images with 1 to 4 channels, alpha last, and their PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Image {
  int width = 0;
  int height = 0;
  int channels = 0; // 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
  std::vector<uint8_t> pixels;

  uint8_t *at(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
  const uint8_t *at(int x, int y) const
  {
    return &pixels[(size_t(y) * width + x) * channels];
  }
  bool has_alpha() const { return channels == 2 || channels == 4; }
};

Image read_png(const std::string &path);
void write_png(const Image &image, const std::string &path);

// A smooth colour field with sharp stripes; with alpha, a fully transparent band
// (whose colour still varies) and a band of partial alpha.
Image make_test_image(int width, int height, int channels);
