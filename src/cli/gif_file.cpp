// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// GIF to GIF through giflib. Every frame is dented as palette indices with the one
// pattern, so the colours stay exactly the palette's and frames stay aligned; the
// palettes, frame delays, disposal, transparency, loop count and comments are written
// back as they were. Frames must each be a whole picture: a frame covering part of the
// canvas only makes sense over the frames before it.
#include <cstdio>
#include <string>
#include <vector>

#include <gif_lib.h>

#include "image_file.h"
#include "system.h"

namespace
{

// A GIF read through a file of our own, which giflib leaves to us to close.
struct GifInput {
  FileBuffer stream_buffer;
  std::FILE *stream = nullptr;
  GifFileType *gif = nullptr;

  ~GifInput()
  {
    if (gif)
      DGifCloseFile(gif, nullptr);
    if (stream)
      std::fclose(stream);
  }
};

int read_from_file(GifFileType *gif, GifByteType *bytes, int count)
{
  return int(
      std::fread(bytes, 1, size_t(count), static_cast<std::FILE *>(gif->UserData)));
}

// Opens path for giflib; false with giflib's error code.
bool open_input(const std::string &path, GifInput *input, int *code)
{
  input->stream = open_file(path, "rb");
  if (!input->stream) {
    *code = D_GIF_ERR_OPEN_FAILED;
    return false;
  }
  buffer_file(input->stream, &input->stream_buffer);
  input->gif = DGifOpen(input->stream, read_from_file, code);
  return input->gif != nullptr;
}

struct GifImageFile : ImageFile {
  std::string path;
  GifInput input; // every frame, decoded when the first is read

  bool read(int index, std::string *error) override;
};

std::string gif_error(int code)
{
  const char *text = GifErrorString(code);
  return text ? text : "cannot read it";
}

// The frames' places, from the records alone: nothing is decoded or allocated for a
// frame before its size has been checked.
bool scan_frames(GifFileType *gif, std::vector<GifImageDesc> *frames)
{
  for (GifRecordType type = UNDEFINED_RECORD_TYPE; type != TERMINATE_RECORD_TYPE;) {
    if (DGifGetRecordType(gif, &type) == GIF_ERROR)
      return false;
    GifByteType *block = nullptr;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      int code_size;
      if (DGifGetImageDesc(gif) == GIF_ERROR ||
          DGifGetCode(gif, &code_size, &block) == GIF_ERROR)
        return false;
      frames->push_back(gif->Image);
      while (block)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR)
          return false;
    } else if (type == EXTENSION_RECORD_TYPE) {
      int code;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        return false;
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
          return false;
    }
  }
  return true;
}

bool open_gif(const std::string &path, std::unique_ptr<ImageFile> *file,
              std::string *error)
{
  int code = 0;
  int width = 0, height = 0;
  std::vector<GifImageDesc> frames;
  bool scanned = false;
  {
    GifInput input;
    if (!open_input(path, &input, &code)) {
      *error = gif_error(code);
      return false;
    }
    scanned = scan_frames(input.gif, &frames);
    code = input.gif->Error;
    width = input.gif->SWidth;
    height = input.gif->SHeight;
  }
  if (!scanned || frames.empty()) {
    *error = scanned ? "holds no image" : gif_error(code);
    return false;
  }
  auto opened = std::make_unique<GifImageFile>();
  opened->path = path;
  for (size_t i = 0; i < frames.size(); i++) {
    const GifImageDesc &frame = frames[i];
    if (frame.Left != 0 || frame.Top != 0 || frame.Width != width ||
        frame.Height != height) {
      *error = "frame " + std::to_string(i + 1) +
               " covers only part of the picture; Ondalux dents animations whose "
               "frames are whole pictures (ImageMagick's -coalesce makes them so)";
      return false;
    }
    PixelImage image;
    image.width = width;
    image.height = height;
    image.channels = 1;
    image.indexed = true;
    opened->images.push_back(std::move(image));
  }
  // Every frame is held decoded while the file is written.
  opened->working_bytes = opened->images[0].bytes() * frames.size();
  *file = std::move(opened);
  return true;
}

bool GifImageFile::read(int index, std::string *error)
{
  if (!input.gif) {
    int code = 0;
    if (!open_input(path, &input, &code) || DGifSlurp(input.gif) == GIF_ERROR) {
      *error = gif_error(input.gif ? input.gif->Error : code);
      return false;
    }
  }
  GifFileType *gif = input.gif;
  PixelImage &image = images[size_t(index)];
  if (index >= gif->ImageCount || !image.allocate()) {
    *error = "cannot read frame " + std::to_string(index + 1);
    return false;
  }
  const GifByteType *raster = gif->SavedImages[index].RasterBits;
  std::copy(raster, raster + image.bytes(), image.pixels.get());
  return true;
}

int write_to_file(GifFileType *gif, const GifByteType *bytes, int count)
{
  return int(
      std::fwrite(bytes, 1, size_t(count), static_cast<std::FILE *>(gif->UserData)));
}

// The dented frames replace the decoded ones, and giflib writes the file they belong
// to anew from its frames and extensions. Its output goes through a file of our
// own, so that a failure to close it is ours to see.
bool write_gif(const std::string &path, const ImageFile &file,
               const ImageRows &image_rows, std::string *error)
{
  const GifImageFile &source = static_cast<const GifImageFile &>(file);
  for (int index = 0; index < int(source.images.size()); index++) {
    RowSource rows;
    if (!image_rows(index, &rows, error))
      return false;
    if (!rows(0, source.images[size_t(index)].height,
              source.input.gif->SavedImages[index].RasterBits))
      return false;
  }
  std::FILE *stream = create_file(path, error);
  if (!stream)
    return false;
  int code = 0;
  GifFileType *output = EGifOpen(stream, write_to_file, &code);
  if (!output) {
    *error = gif_error(code);
    std::fclose(stream);
    return false;
  }
  GifFileType *input = source.input.gif;
  output->SWidth = input->SWidth;
  output->SHeight = input->SHeight;
  output->SColorResolution = input->SColorResolution;
  output->SBackGroundColor = input->SBackGroundColor;
  output->AspectByte = input->AspectByte;
  output->SColorMap = input->SColorMap;
  output->ImageCount = input->ImageCount;
  output->SavedImages = input->SavedImages;
  output->ExtensionBlockCount = input->ExtensionBlockCount;
  output->ExtensionBlocks = input->ExtensionBlocks;
#if GIFLIB_MAJOR >= 6
  // giflib 6 closes the output whether it succeeds or not, freeing everything it holds:
  // the frames, palettes and extensions pass to it.
  input->SColorMap = nullptr;
  input->ImageCount = 0;
  input->SavedImages = nullptr;
  input->ExtensionBlockCount = 0;
  input->ExtensionBlocks = nullptr;
  const bool spewed = EGifSpew(output, &code) != GIF_ERROR;
#else
  // giflib 5 frees only the copies it made, and closes the output only when it succeeds.
  const bool spewed = EGifSpew(output) != GIF_ERROR;
  if (!spewed) {
    code = output->Error;
    EGifCloseFile(output, nullptr);
  }
#endif
  const bool closed = std::fclose(stream) == 0;
  if (spewed && closed)
    return true;
  *error = spewed ? "cannot write it" : gif_error(code);
  return false;
}

} // namespace

const ImageFileIo gif_file_io = {open_gif, write_gif};
