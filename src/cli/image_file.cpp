// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "image_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <dlfcn.h>

namespace fs = std::filesystem;

namespace
{

bool is_png_file(const std::string &path)
{
  static const char signature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
  char start[8] = {};
  std::ifstream(path, std::ios::binary).read(start, sizeof start);
  return std::memcmp(start, signature, sizeof start) == 0;
}

bool has_png_extension(const std::string &path)
{
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension == ".png";
}

// The OpenImageIO module in the installed command's library folder, or beside the
// command in the build folder.
const ImageFileIo *load_openimageio_io(std::string *error)
{
  std::error_code ignored;
  const fs::path command_dir = fs::read_symlink("/proc/self/exe", ignored).parent_path();
  for (const fs::path &module :
       {command_dir / ONDALUX_MODULE_DIR / "ondalux-openimageio.so",
        command_dir / "ondalux-openimageio.so"}) {
    if (!fs::exists(module, ignored))
      continue;
    void *library = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto *io =
        library
            ? static_cast<const ImageFileIo *>(dlsym(library, "ondalux_openimageio_io"))
            : nullptr;
    if (!io)
      *error = dlerror();
    return io;
  }
  *error = "ondalux-openimageio.so is not installed beside the command";
  return nullptr;
}

} // namespace

const ImageFileIo *image_file_io(const std::string &input, const std::string &output,
                                 std::string *error)
{
  if (has_png_extension(output) && is_png_file(input))
    return &png_file_io;
  static std::string load_error;
  static const ImageFileIo *const openimageio_io = load_openimageio_io(&load_error);
  if (!openimageio_io)
    *error = "cannot load OpenImageIO: " + load_error;
  return openimageio_io;
}
