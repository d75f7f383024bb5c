// A zlib stream (RFC 1950) deflated in pieces on worker threads.
#pragma once

#include <deque>
#include <future>
#include <vector>

#include "Deflate.h"

namespace pixmorph {

/// The caller fills a piece and submits it; the piece is deflated on a
/// worker thread, primed with the 32 KB before it, while the next one fills.
/// Compressed pieces come back in order. The last piece is deflated on the
/// caller's thread, so an image of one piece starts no thread at all.
class ParallelDeflate {
 public:
  /// @p pieceBytes: about how many bytes each piece will receive.
  ParallelDeflate(const DeflatePolicy& policy, size_t pieceBytes);
  ParallelDeflate(const ParallelDeflate&) = delete;
  ParallelDeflate& operator=(const ParallelDeflate&) = delete;

  /// The piece being filled: append the uncompressed bytes.
  std::vector<uint8_t>& piece() { return piece_.data; }
  /// Sends the piece off; after the @p last one the stream is complete.
  void submit(bool last);
  /// Compressed bytes ready so far, in stream order; the caller may take
  /// them and clear the vector.
  std::vector<uint8_t>& output() { return out_; }

 private:
  void startPiece();
  void drainOne();

  DeflatePolicy policy_;
  size_t pieceBytes_;
  DeflatePiece piece_;
  std::vector<uint8_t> window_, out_;
  std::deque<std::future<std::vector<uint8_t>>> jobs_;
  unsigned long adler_;
};

}  // namespace pixmorph
