// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The command's system calls on Linux, where file names are bytes.
#include "system.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <dlfcn.h>
#include <unistd.h>

#include "image_file.h"

namespace fs = std::filesystem;

std::vector<std::string> command_arguments(int argc, char **argv)
{
  return {argv, argv + argc};
}

std::FILE *open_file(const std::string &path, const char *mode)
{
  return std::fopen(path.c_str(), mode);
}

bool seek_file(std::FILE *file, uint64_t offset)
{
  return fseeko(file, off_t(offset), SEEK_SET) == 0;
}

int64_t file_size(std::FILE *file)
{
  return fseeko(file, 0, SEEK_END) == 0 ? int64_t(ftello(file)) : -1;
}

std::string replace_file(const std::string &from, const std::string &to)
{
  return std::rename(from.c_str(), to.c_str()) == 0 ? "" : std::strerror(errno);
}

void remove_file(const char *path)
{
  unlink(path);
}

long process_id()
{
  return long(getpid());
}

bool error_is_terminal()
{
  return isatty(STDERR_FILENO) != 0;
}

double physical_memory_bytes()
{
  return double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
}

// The module lies in the installed command's library folder, or beside the command in
// the build folder.
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
