# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for 64-bit Windows with Debian's mingw-w64, against the libraries that
# tools/windows-prefix builds:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DONDALUX_WINDOWS_PREFIX=PREFIX ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The posix thread model: GCC 12's win32 one has no std::thread.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ONDALUX_WINDOWS_PREFIX)
# GEGL's libraries in the prefix, the command's static ones in its command folder.
set(prefixes ${ONDALUX_WINDOWS_PREFIX} ${ONDALUX_WINDOWS_PREFIX}/command /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH ${prefixes})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
list(TRANSFORM prefixes APPEND /lib/pkgconfig)
string(REPLACE ";" ":" pkg_config_path "${prefixes}")
set(ENV{PKG_CONFIG_LIBDIR} "${pkg_config_path}")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# The binaries carry the C++ runtime, libgcc and winpthread within them: -static makes
# the driver's own -lpthread static too, while GEGL's libraries, named by their import
# libraries, stay DLLs. No time stamp, so that a build gives the same bytes each time.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
endforeach()
