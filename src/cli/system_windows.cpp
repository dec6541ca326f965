// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// The command's system calls on Windows, whose file names are UTF-16: the command line
// is taken wide and every name is turned wide at the call that uses it.
#include "system.h"

#include <io.h>
#include <process.h>
#include <windows.h>

#include <shellapi.h>

namespace
{

std::wstring wide(const std::string &text)
{
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring converted(size_t(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), converted.data(), size);
  return converted;
}

std::string utf8(const wchar_t *text)
{
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string converted(size_t(size > 0 ? size - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
  return converted;
}

std::string message_of(DWORD code)
{
  wchar_t *text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::string message = text ? utf8(text) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message;
}

} // namespace

std::vector<std::string> command_arguments(int, char **)
{
  int count = 0;
  wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> converted;
  for (int i = 0; i < count; i++)
    converted.push_back(utf8(arguments[i]));
  LocalFree(arguments);
  return converted;
}

std::FILE *open_file(const std::string &path, const char *mode)
{
  return _wfopen(wide(path).c_str(), wide(mode).c_str());
}

bool seek_file(std::FILE *file, uint64_t offset)
{
  return _fseeki64(file, int64_t(offset), SEEK_SET) == 0;
}

int64_t file_size(std::FILE *file)
{
  return _fseeki64(file, 0, SEEK_END) == 0 ? _ftelli64(file) : -1;
}

// Windows' rename refuses to replace a file.
std::string replace_file(const std::string &from, const std::string &to)
{
  return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)
             ? ""
             : message_of(GetLastError());
}

void remove_file(const char *path)
{
  wchar_t name[MAX_PATH * 4];
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, name, int(std::size(name))) > 0)
    DeleteFileW(name);
}

long process_id()
{
  return long(GetCurrentProcessId());
}

bool error_is_terminal()
{
  return _isatty(_fileno(stderr)) != 0;
}

double physical_memory_bytes()
{
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? double(status.ullTotalPhys) : 0;
}

const ImageFileIo *load_openimageio_io(std::string *error)
{
  *error = "the command for Windows comes without it, and reads and writes PNG, JPEG "
           "and GIF only";
  return nullptr;
}
