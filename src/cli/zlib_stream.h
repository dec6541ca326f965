// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
// Deflating on several threads, the pieces going out in order as they are done. Joined,
// they make one zlib stream, as pigz makes one: each piece is deflated on its own,
// primed with the 32 KiB before it as its dictionary and ended with a full flush, and
// their checksums are combined. Otherwise each piece is a zlib stream of its own, as a
// TIFF's strips are.
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
  bool joined;
  // Takes the compressed stream, a piece at a time; false stops the stream.
  std::function<bool(const std::vector<uint8_t> &bytes)> write;

  std::deque<std::unique_ptr<ZlibPiece>> pending;
  std::vector<uint8_t> window; // the last 32 KiB given
  unsigned long checksum = 1;
  bool started = false;

  ZlibStream(int level, int threads, bool joined,
             std::function<bool(const std::vector<uint8_t> &bytes)> write);
  ~ZlibStream();
  // Compresses bytes, not empty, after those given before; false once writing has
  // failed.
  bool add(std::vector<uint8_t> bytes);
  // Ends a joined stream, and writes what remains; false when writing failed.
  bool finish();

  bool write_oldest();
};
