// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// One zlib stream compressed on several threads, as pigz makes one: each piece is
// deflated on its own, primed with the 32 KiB before it as its dictionary and ended
// with a full flush, so that the pieces join into one stream that any reader inflates;
// their checksums are combined. The pieces go out in order as they are done.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct ZlibPiece;

struct ZlibStream {
  int level;
  int threads;
  // Takes the compressed stream, a piece at a time; false stops the stream.
  std::function<bool(const std::vector<uint8_t> &bytes)> write;

  std::deque<std::unique_ptr<ZlibPiece>> pending;
  std::vector<uint8_t> window; // the last 32 KiB given
  unsigned long checksum = 1;
  bool started = false;

  ZlibStream(int level, int threads,
             std::function<bool(const std::vector<uint8_t> &bytes)> write);
  ~ZlibStream();
  // Compresses bytes, not empty, after those given before; false once writing has
  // failed.
  bool add(std::vector<uint8_t> bytes);
  // Ends the stream and writes what remains; false when writing failed.
  bool finish();

  bool write_oldest();
};
