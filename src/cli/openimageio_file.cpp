// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Image files through OpenImageIO, built as a module the command loads on first use.
// Every subimage (TIFF pages, GIF frames, multi-part OpenEXR) is read and written, in
// the colour model it is stored in: CMYK stays CMYK.
#include <algorithm>
#include <exception>
#include <vector>

#include <OpenImageIO/imageio.h>

#include "image_file.h"

namespace
{

struct OpenImageIoFile : ImageFile {
  std::unique_ptr<OIIO::ImageInput> input;
  std::vector<OIIO::ImageSpec> specs;
  int32_t next_row = 0;

  bool read(int index, std::string *error) override;
  bool read_rows(int32_t count, uint8_t *rows, std::string *error) override;
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

// Samples as they are stored: premultiplying alpha, or converting CMYK to RGB, on the
// way in would change them.
OIIO::ImageSpec as_stored_config()
{
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  config.attribute("oiio:RawColor", 1);
  return config;
}

// The image a subimage's header describes, or false with the reason.
bool describe(const OIIO::ImageSpec &spec, PixelImage *image, std::string *error)
{
  if (spec.nchannels < 1 || spec.nchannels > max_channels) {
    *error = "has " + std::to_string(spec.nchannels) + " channels; 1 to " +
             std::to_string(max_channels) + " are supported";
    return false;
  }
  if (!channel_type_of(spec.format, &image->type)) {
    *error = std::string("has ") + spec.format.c_str() +
             " channels; 8 and 16-bit integer, half and float are supported";
    return false;
  }
  if (spec.width < 1 || spec.height < 1 || spec.depth > 1) {
    *error = "is not a flat image of at least one pixel";
    return false;
  }
  image->width = spec.width;
  image->height = spec.height;
  image->channels = spec.nchannels;
  // OpenImageIO takes the last of four channels for alpha, even CMYK's K, and names a
  // GIF's alpha a fifth channel: alpha goes by its name. Alpha elsewhere than last is
  // blended as colour, which only pixels at a one-pixel region's fractional positions
  // notice.
  const std::string last = spec.channelnames.empty() ? "" : spec.channelnames.back();
  const std::string name = last.substr(last.rfind('.') + 1);
  image->has_alpha = name == "A" || name == "a" || name == "Alpha" || name == "alpha";
  return true;
}

bool open_images(const std::string &path, std::unique_ptr<ImageFile> *file,
                 std::string *error)
{
  const OIIO::ImageSpec config = as_stored_config();
  auto opened = std::make_unique<OpenImageIoFile>();
  opened->input = OIIO::ImageInput::open(path, &config);
  if (!opened->input) {
    *error = OIIO::geterror();
    return false;
  }
  OIIO::ImageInput &input = *opened->input;
  for (int subimage = 0; input.seek_subimage(subimage, 0); subimage++) {
    if (input.seek_subimage(subimage, 1)) {
      *error = "has mipmap levels, which Ondalux would have to rebuild; it is left alone";
      return false;
    }
    opened->specs.push_back(input.spec());
    opened->images.emplace_back();
    if (!describe(input.spec(), &opened->images.back(), error))
      return false;
  }
  if (opened->images.empty()) {
    *error = "holds no image";
    return false;
  }
  // These readers decode strips or chunks of rows as they are asked for; others may
  // hold the whole image anyway.
  const std::string format = input.format_name();
  opened->streams = opened->images.size() == 1 && opened->specs[0].tile_width == 0 &&
                    (format == "tiff" || format == "openexr");
  *file = std::move(opened);
  return true;
}

bool read_images(OpenImageIoFile &file, int index, std::string *error)
{
  PixelImage &image = file.images[size_t(index)];
  if (!image.allocate()) {
    *error = "too large to hold in memory";
    return false;
  }
  if (file.input->read_image(index, 0, 0, image.channels,
                             file.specs[size_t(index)].format, image.pixels.get()))
    return true;
  *error = file.input->geterror();
  if (error->empty())
    *error = "cannot read its pixels";
  return false;
}

bool write_images(const std::string &path, const ImageFile &file,
                  const ImageRows &image_rows, std::string *error)
{
  const OpenImageIoFile &source = static_cast<const OpenImageIoFile &>(file);
  auto output = OIIO::ImageOutput::create(path);
  if (!output) {
    *error = OIIO::geterror();
    return false;
  }
  std::vector<OIIO::ImageSpec> specs = source.specs;
  const bool jpeg = std::string(output->format_name()) == "jpeg";
  for (OIIO::ImageSpec &spec : specs) {
    spec.attribute("oiio:UnassociatedAlpha", 1);
    // A JPEG made from another format has no quality of its own to keep.
    if (jpeg)
      spec.attribute("Compression",
                     "jpeg:" + std::to_string(source.quality ? source.quality : 90));
  }
  const int count = int(specs.size());
  if (count > 1 &&
      !(output->supports("multiimage") && output->supports("appendsubimage"))) {
    *error = "it holds " + std::to_string(count) + " images (pages or frames), and a " +
             output->format_name() + " file holds one; write it as TIFF (-f tif)";
    return false;
  }
  bool written =
      count > 1 ? output->open(path, count, specs.data()) : output->open(path, specs[0]);
  // Written in the input's own format, the samples must stay as they are; another
  // format may convert them, as asked.
  if (written && output->spec().format != specs[0].format &&
      std::string(output->format_name()) == source.input->format_name()) {
    *error = std::string("the ") + output->format_name() + " writer would store its " +
             specs[0].format.c_str() + " samples as " + output->spec().format.c_str() +
             ", losing what they hold";
    output->close();
    return false;
  }
  for (int index = 0; written && index < count; index++) {
    const OIIO::ImageSpec &spec = specs[size_t(index)];
    RowSource rows;
    if (!image_rows(index, &rows, error))
      return false;
    if (index > 0)
      written = output->open(path, spec, OIIO::ImageOutput::AppendSubimage);
    const size_t row_bytes = spec.scanline_bytes(true);
    std::vector<uint8_t> band(row_bytes * band_rows);
    for (int32_t first = 0; written && first < spec.height; first += band_rows) {
      const int32_t last = std::min(first + band_rows, spec.height);
      if (!rows(first, last, band.data()))
        return false;
      written = output->write_scanlines(first, last, 0, spec.format, band.data());
    }
  }
  if (!written || !output->close()) {
    *error = output->geterror();
    if (error->empty())
      *error = "cannot write it";
    return false;
  }
  return true;
}

// OpenImageIO's readers throw on some damaged files; what they throw is a failure like
// any other.
template <typename Work> bool without_exceptions(Work work, std::string *error)
{
  try {
    return work();
  } catch (const std::exception &exception) {
    *error = exception.what();
    return false;
  }
}

bool open_image_file(const std::string &path, std::unique_ptr<ImageFile> *file,
                     std::string *error)
{
  return without_exceptions([&] { return open_images(path, file, error); }, error);
}

bool OpenImageIoFile::read(int index, std::string *error)
{
  return without_exceptions([&] { return read_images(*this, index, error); }, error);
}

bool OpenImageIoFile::read_rows(int32_t count, uint8_t *rows, std::string *error)
{
  return without_exceptions(
      [&] {
        const OIIO::ImageSpec &spec = specs[0];
        const int first = spec.y + next_row;
        next_row += count;
        if (input->read_scanlines(0, 0, first, first + count, 0, 0, spec.nchannels,
                                  spec.format, rows))
          return true;
        *error = input->geterror();
        if (error->empty())
          *error = "cannot read its pixels";
        return false;
      },
      error);
}

bool write_image_file(const std::string &path, const ImageFile &file,
                      const ImageRows &image_rows, std::string *error)
{
  return without_exceptions([&] { return write_images(path, file, image_rows, error); },
                            error);
}

} // namespace

// What the command looks up after loading this module.
extern "C" const ImageFileIo ondalux_openimageio_io = {open_image_file, write_image_file};
