// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// What the command asks of the operating system, answered by system_posix.cpp on Linux
// and by system_windows.cpp on Windows. File names are UTF-8 here, whatever the
// system's own encoding; std::filesystem paths are made of them with fs::u8path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ImageFileIo;

// The command line's arguments, in UTF-8, the program's name first.
std::vector<std::string> command_arguments(int argc, char **argv);

// Opens the file of a UTF-8 name as std::fopen does.
std::FILE *open_file(const std::string &path, const char *mode);

// Moves an open file's position to offset from its start, as std::fseek does, past
// 2 GiB too.
bool seek_file(std::FILE *file, uint64_t offset);
// The size of an open file, or -1.
int64_t file_size(std::FILE *file);

// Moves from to to, replacing a file there; "" or the reason it failed.
std::string replace_file(const std::string &from, const std::string &to);

// Removes the file of a UTF-8 name; safe in a signal handler.
void remove_file(const char *path);

// The number of this process, for names that no other process uses.
long process_id();

// Whether standard error goes to a terminal.
bool error_is_terminal();

// The bytes of physical memory.
double physical_memory_bytes();

// The reader and writer of OpenImageIO's module, loaded; nullptr with the reason.
const ImageFileIo *load_openimageio_io(std::string *error);
