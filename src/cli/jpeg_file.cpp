// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// JPEG to JPEG through libjpeg. The pixels keep their colour model (grey, RGB, or CMYK
// as stored, Adobe's inversion included); the result is written at the input's
// quality, as estimated from its quantisation tables, with its chroma subsampling and
// progression, and every APPn and COM marker (JFIF, EXIF, ICC, XMP, Adobe) is copied
// byte for byte.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "image_file.h"
#include "system.h"

namespace
{

// Where libjpeg's errors go: the message, then back through setjmp. Warnings (damaged
// data, which libjpeg would fill with grey) count as errors too.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = "";
};

[[noreturn]] void on_error(j_common_ptr info)
{
  JpegErrors *errors = reinterpret_cast<JpegErrors *>(info->err);
  info->err->format_message(info, errors->message);
  std::longjmp(errors->jump, 1);
}

void on_message(j_common_ptr info, int level)
{
  if (level < 0)
    on_error(info);
}

void use_errors(JpegErrors *errors, j_common_ptr info)
{
  info->err = jpeg_std_error(&errors->manager);
  errors->manager.error_exit = on_error;
  errors->manager.emit_message = on_message;
}

struct Marker {
  int code;
  std::vector<JOCTET> data;
};

struct JpegImageFile : ImageFile {
  FileBuffer file_buffer;
  std::FILE *file = nullptr;
  JpegErrors errors;
  jpeg_decompress_struct decoder = {};
  std::vector<Marker> markers;
  int estimated_quality = 0;
  // Each component's sampling factors, horizontal and vertical: the decoder's own
  // record goes with the pixels it decoded.
  std::vector<std::pair<int, int>> sampling;
  bool decompressing = false;

  ~JpegImageFile() override
  {
    jpeg_destroy_decompress(&decoder);
    if (file)
      std::fclose(file);
  }
  bool read_rows(int32_t count, uint8_t *rows, std::string *error) override;
};

// The quality whose standard tables lie nearest the file's, as libjpeg scales them:
// exactly the quality a file made by libjpeg was saved at.
int estimate_quality(const jpeg_decompress_struct &decoder)
{
  JpegErrors errors;
  jpeg_compress_struct scaled = {};
  use_errors(&errors, reinterpret_cast<j_common_ptr>(&scaled));
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&scaled);
    return 0;
  }
  jpeg_create_compress(&scaled);
  scaled.in_color_space = JCS_RGB;
  scaled.input_components = 3;
  jpeg_set_defaults(&scaled);
  int best = 0;
  long best_distance = -1;
  for (int quality = 1; quality <= 100; quality++) {
    jpeg_set_quality(&scaled, quality, TRUE);
    long distance = 0;
    for (int table = 0; table < 2; table++) {
      if (!decoder.quant_tbl_ptrs[table])
        continue;
      for (int i = 0; i < DCTSIZE2; i++)
        distance += std::labs(long(decoder.quant_tbl_ptrs[table]->quantval[i]) -
                              long(scaled.quant_tbl_ptrs[table]->quantval[i]));
    }
    if (best_distance < 0 || distance <= best_distance) {
      best = quality;
      best_distance = distance;
    }
  }
  jpeg_destroy_compress(&scaled);
  return decoder.quant_tbl_ptrs[0] ? best : 0;
}

// The functions that call setjmp hold no objects with destructors.
bool read_header(JpegImageFile *jpeg)
{
  jpeg_decompress_struct &decoder = jpeg->decoder;
  if (setjmp(jpeg->errors.jump))
    return false;
  jpeg_create_decompress(&decoder);
  jpeg_stdio_src(&decoder, jpeg->file);
  jpeg_save_markers(&decoder, JPEG_COM, 0xffff);
  for (int app = 0; app < 16; app++)
    jpeg_save_markers(&decoder, JPEG_APP0 + app, 0xffff);
  jpeg_read_header(&decoder, TRUE);
  if (decoder.jpeg_color_space == JCS_CMYK || decoder.jpeg_color_space == JCS_YCCK)
    decoder.out_color_space = JCS_CMYK;
  else if (decoder.jpeg_color_space != JCS_GRAYSCALE)
    decoder.out_color_space = JCS_RGB;
  return true;
}

bool open_jpeg(const std::string &path, std::unique_ptr<ImageFile> *file,
               std::string *error)
{
  auto jpeg = std::make_unique<JpegImageFile>();
  use_errors(&jpeg->errors, reinterpret_cast<j_common_ptr>(&jpeg->decoder));
  jpeg->file = open_file(path, "rb");
  if (jpeg->file)
    buffer_file(jpeg->file, &jpeg->file_buffer);
  if (!jpeg->file || !read_header(jpeg.get())) {
    *error = jpeg->file ? jpeg->errors.message : "cannot open it";
    return false;
  }
  const jpeg_decompress_struct &decoder = jpeg->decoder;
  for (jpeg_saved_marker_ptr marker = decoder.marker_list; marker; marker = marker->next)
    jpeg->markers.push_back(
        {marker->marker, {marker->data, marker->data + marker->data_length}});
  jpeg->estimated_quality = estimate_quality(decoder);
  for (int c = 0; c < decoder.num_components; c++)
    jpeg->sampling.emplace_back(decoder.comp_info[c].h_samp_factor,
                                decoder.comp_info[c].v_samp_factor);
  PixelImage image;
  image.width = int(decoder.image_width);
  image.height = int(decoder.image_height);
  image.channels = decoder.out_color_space == JCS_CMYK  ? 4
                   : decoder.out_color_space == JCS_RGB ? 3
                                                        : 1;
  jpeg->images.push_back(std::move(image));
  // A progressive file is decoded, and written, through every coefficient at once.
  if (decoder.progressive_mode)
    jpeg->working_bytes = 4 * jpeg->images[0].bytes();
  jpeg->streams = true;
  *file = std::move(jpeg);
  return true;
}

// Rows [output_scanline, output_scanline + count), starting the decompression before
// the first and finishing it after the last.
bool read_next_scanlines(JpegImageFile *jpeg, JSAMPARRAY rows, JDIMENSION count)
{
  jpeg_decompress_struct &decoder = jpeg->decoder;
  if (setjmp(jpeg->errors.jump))
    return false;
  if (!jpeg->decompressing)
    jpeg_start_decompress(&decoder);
  jpeg->decompressing = true;
  const JDIMENSION last = decoder.output_scanline + count;
  while (decoder.output_scanline < last)
    jpeg_read_scanlines(&decoder, rows + (count - (last - decoder.output_scanline)),
                        last - decoder.output_scanline);
  if (decoder.output_scanline == decoder.output_height)
    jpeg_finish_decompress(&decoder);
  return true;
}

bool JpegImageFile::read_rows(int32_t count, uint8_t *rows, std::string *error)
{
  std::vector<JSAMPROW> pointers = row_pointers(
      rows, size_t(images[0].width) * images[0].pixel_bytes(), size_t(count));
  if (read_next_scanlines(this, pointers.data(), JDIMENSION(count)))
    return true;
  *error = errors.message;
  return false;
}

bool write_scanlines(const JpegImageFile &source, jpeg_compress_struct *encoder,
                     JpegErrors *errors, std::FILE *file, const RowSource &rows,
                     JSAMPARRAY band_rows_start)
{
  if (setjmp(errors->jump))
    return false;
  const jpeg_decompress_struct &decoder = source.decoder;
  const PixelImage &image = source.images[0];
  jpeg_create_compress(encoder);
  jpeg_stdio_dest(encoder, file);
  encoder->image_width = JDIMENSION(image.width);
  encoder->image_height = JDIMENSION(image.height);
  encoder->input_components = image.channels;
  encoder->in_color_space = decoder.out_color_space;
  jpeg_set_defaults(encoder);
  jpeg_set_colorspace(encoder, decoder.jpeg_color_space);
  for (int c = 0; c < encoder->num_components && c < int(source.sampling.size()); c++) {
    encoder->comp_info[c].h_samp_factor = source.sampling[size_t(c)].first;
    encoder->comp_info[c].v_samp_factor = source.sampling[size_t(c)].second;
  }
  const int quality = source.quality             ? source.quality
                      : source.estimated_quality ? source.estimated_quality
                                                 : 90;
  jpeg_set_quality(encoder, quality, TRUE);
  if (decoder.progressive_mode)
    jpeg_simple_progression(encoder);
  // The input's own JFIF and Adobe markers are copied with the others.
  encoder->write_JFIF_header = FALSE;
  encoder->write_Adobe_marker = FALSE;
  jpeg_start_compress(encoder, TRUE);
  for (const Marker &marker : source.markers)
    jpeg_write_marker(encoder, marker.code, marker.data.data(),
                      unsigned(marker.data.size()));
  for (int32_t first = 0; first < image.height; first += band_rows) {
    const int32_t last = std::min(first + band_rows, int32_t(image.height));
    if (!rows(first, last, band_rows_start[0]))
      return false;
    jpeg_write_scanlines(encoder, band_rows_start, JDIMENSION(last - first));
  }
  jpeg_finish_compress(encoder);
  return true;
}

bool write_jpeg(const std::string &path, const ImageFile &file,
                const ImageRows &image_rows, std::string *error)
{
  const JpegImageFile &source = static_cast<const JpegImageFile &>(file);
  RowSource rows;
  if (!image_rows(0, &rows, error))
    return false;
  const size_t row_bytes =
      size_t(source.images[0].width) * source.images[0].pixel_bytes();
  std::vector<JSAMPLE> band(row_bytes * band_rows);
  std::vector<JSAMPROW> band_row_pointers =
      row_pointers(band.data(), row_bytes, band_rows);

  FileBuffer file_buffer;
  std::FILE *output = create_file(path, error);
  if (!output)
    return false;
  buffer_file(output, &file_buffer);
  JpegErrors errors;
  jpeg_compress_struct encoder = {};
  use_errors(&errors, reinterpret_cast<j_common_ptr>(&encoder));
  const bool written =
      write_scanlines(source, &encoder, &errors, output, rows, band_row_pointers.data());
  jpeg_destroy_compress(&encoder);
  const bool closed = std::fclose(output) == 0;
  if (written && closed)
    return true;
  *error = errors.message[0] ? errors.message : "cannot write it";
  return false;
}

} // namespace

const ImageFileIo jpeg_file_io = {open_jpeg, write_jpeg};
