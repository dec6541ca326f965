// Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
#include "zlib_stream.h"

#include <algorithm>
#include <thread>

#include <zlib.h>

namespace
{

constexpr size_t window_bytes = 32768;

} // namespace

struct ZlibPiece {
  std::vector<uint8_t> input, dictionary, output;
  bool last = false, compressed = false;
  unsigned long checksum = 1;
  std::thread worker;
};

namespace
{

// Raw deflate where the pieces join; filtered rows compress best with the strategy
// made for them.
void compress_piece(ZlibPiece *piece, int level, bool joined)
{
  z_stream stream = {};
  if (deflateInit2(&stream, level, Z_DEFLATED, joined ? -15 : 15, 8,
                   joined ? Z_FILTERED : Z_DEFAULT_STRATEGY) != Z_OK)
    return;
  if (!piece->dictionary.empty())
    deflateSetDictionary(&stream, piece->dictionary.data(),
                         uInt(piece->dictionary.size()));
  piece->output.resize(deflateBound(&stream, uLong(piece->input.size())) + 64);
  stream.next_in = piece->input.data();
  stream.avail_in = uInt(piece->input.size());
  stream.next_out = piece->output.data();
  stream.avail_out = uInt(piece->output.size());
  const int flush = piece->last ? Z_FINISH : Z_FULL_FLUSH;
  int status;
  while ((status = deflate(&stream, flush)) == Z_OK && stream.avail_out == 0) {
    const size_t done = piece->output.size();
    piece->output.resize(done * 2);
    stream.next_out = piece->output.data() + done;
    stream.avail_out = uInt(piece->output.size() - done);
  }
  piece->output.resize(piece->output.size() - stream.avail_out);
  piece->compressed = piece->last ? status == Z_STREAM_END : status == Z_OK;
  deflateEnd(&stream);
  if (joined)
    piece->checksum = adler32(1, piece->input.data(), uInt(piece->input.size()));
}

} // namespace

ZlibStream::ZlibStream(int level, int threads, bool joined,
                       std::function<bool(const std::vector<uint8_t> &bytes)> write)
    : level(level), threads(std::max(1, threads)), joined(joined), write(std::move(write))
{
}

ZlibStream::~ZlibStream()
{
  for (const std::unique_ptr<ZlibPiece> &piece : pending)
    piece->worker.join();
}

bool ZlibStream::add(std::vector<uint8_t> bytes)
{
  auto piece = std::make_unique<ZlibPiece>();
  piece->input = std::move(bytes);
  piece->last = !joined || piece->input.empty();
  if (joined) {
    piece->dictionary = window;
    const std::vector<uint8_t> &input = piece->input;
    window.insert(window.end(), input.end() - std::min(input.size(), window_bytes),
                  input.end());
    window.erase(window.begin(), window.end() - std::min(window.size(), window_bytes));
  }
  piece->worker = std::thread(compress_piece, piece.get(), level, joined);
  pending.push_back(std::move(piece));
  // A piece a thread keeps every thread busy while the oldest is written.
  while (pending.size() > size_t(threads))
    if (!write_oldest())
      return false;
  return true;
}

bool ZlibStream::write_oldest()
{
  std::unique_ptr<ZlibPiece> piece = std::move(pending.front());
  pending.pop_front();
  piece->worker.join();
  if (!piece->compressed)
    return false;
  std::vector<uint8_t> &bytes = piece->output;
  if (!joined)
    return write(bytes);
  if (!started) {
    // The header names the level only as a hint: 1 fast, 2 default, 3 best.
    const int hint = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = 0x78u << 8 | unsigned(hint) << 6;
    header += 31 - header % 31;
    bytes.insert(bytes.begin(), {uint8_t(header >> 8), uint8_t(header)});
    started = true;
  }
  checksum = adler32_combine(checksum, piece->checksum, z_off_t(piece->input.size()));
  if (piece->last)
    for (int shift = 24; shift >= 0; shift -= 8)
      bytes.push_back(uint8_t(checksum >> shift));
  return write(bytes);
}

bool ZlibStream::finish()
{
  if (joined && !add({}))
    return false;
  while (!pending.empty())
    if (!write_oldest())
      return false;
  return true;
}
