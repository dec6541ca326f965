// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Image files through OpenImageIO, built as a module the command loads on first use.
#include "image_file.h"

#include <algorithm>
#include <vector>

#include <OpenImageIO/imageio.h>

namespace OIIO = OIIO_NAMESPACE;

namespace
{

struct OpenImageIoInfo : ImageFileInfo {
  explicit OpenImageIoInfo(const OIIO::ImageSpec &spec) : spec(spec) {}
  OIIO::ImageSpec spec;
};

bool channel_type_of(OIIO::TypeDesc format, ChannelType *type)
{
  if (format == OIIO::TypeDesc::UINT8)
    *type = ChannelType::u8;
  else if (format == OIIO::TypeDesc::UINT16)
    *type = ChannelType::u16;
  else if (format == OIIO::TypeDesc::HALF)
    *type = ChannelType::half;
  else if (format == OIIO::TypeDesc::FLOAT)
    *type = ChannelType::f32;
  else
    return false;
  return true;
}

// Alpha as it is stored: premultiplying it on the way in would change every pixel
// that is not opaque.
OIIO::ImageSpec unassociated_alpha_config()
{
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  return config;
}

bool read_image_file(const std::string &path, PixelImage *image,
                     std::unique_ptr<ImageFileInfo> *info, std::string *error)
{
  const OIIO::ImageSpec config = unassociated_alpha_config();
  auto input = OIIO::ImageInput::open(path, &config);
  if (!input) {
    *error = OIIO::geterror();
    return false;
  }
  const OIIO::ImageSpec &spec = input->spec();
  if (spec.nchannels < 1 || spec.nchannels > 4) {
    *error = "has " + std::to_string(spec.nchannels) +
             " channels; grey, grey and alpha, RGB and RGBA are supported";
    return false;
  }
  ChannelType type;
  if (!channel_type_of(spec.format, &type)) {
    *error = std::string("has ") + spec.format.c_str() +
             " channels; 8 and 16-bit integer, half and float are supported";
    return false;
  }
  image->width = spec.width;
  image->height = spec.height;
  image->channels = spec.nchannels;
  image->type = type;
  image->pixels.resize(size_t(spec.width) * size_t(spec.height) * image->pixel_bytes());
  if (!input->read_image(0, 0, 0, spec.nchannels, spec.format, image->pixels.data())) {
    *error = input->geterror();
    if (error->empty())
      *error = "cannot read its pixels";
    return false;
  }
  *info = std::make_unique<OpenImageIoInfo>(spec);
  return true;
}

bool write_image_file(const std::string &path, const ImageFileInfo &info,
                      const RowSource &rows, std::string *error)
{
  auto output = OIIO::ImageOutput::create(path);
  if (!output) {
    *error = OIIO::geterror();
    return false;
  }
  OIIO::ImageSpec spec = static_cast<const OpenImageIoInfo &>(info).spec;
  spec.attribute("oiio:UnassociatedAlpha", 1);
  bool written = output->open(path, spec);
  const size_t row_bytes = spec.scanline_bytes(true);
  std::vector<uint8_t> band(row_bytes * band_rows);
  for (int32_t first = 0; written && first < spec.height; first += band_rows) {
    const int32_t last = std::min(first + band_rows, spec.height);
    rows(first, last, band.data());
    written = output->write_scanlines(first, last, 0, spec.format, band.data());
  }
  if (!written || !output->close()) {
    *error = output->geterror();
    if (error->empty())
      *error = "cannot write it";
    return false;
  }
  return true;
}

} // namespace

// What the command looks up after loading this module.
extern "C" const ImageFileIo ondalux_openimageio_io = {read_image_file, write_image_file};
