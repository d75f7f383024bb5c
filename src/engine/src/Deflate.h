// Raw DEFLATE (RFC 1951) of one piece of a longer stream. Pieces are
// compressed independently, each primed with the bytes before it, and joined
// in order into one stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixmorph {

/// The bytes before the piece (at most the 32 KB a match may reach back
/// into), followed by the piece itself.
struct DeflatePiece {
  std::vector<uint8_t> data;
  size_t dictBytes = 0;
  /// The last piece ends the stream; any other ends on a byte boundary so
  /// the next one can follow it directly.
  bool last = false;
};

/// How a piece is compressed.
struct DeflatePolicy {
  enum class Encoder {
    /// zlib at zlibLevel with zlibStrategy (Z_DEFAULT_STRATEGY, Z_FILTERED, ...).
    Zlib,
    /// Ours: a match finder that only looks for matches of minMatch bytes or
    /// more. On filtered photographs that is most of what pays, at a
    /// fraction of zlib's time.
    LongMatch,
  };
  Encoder encoder = Encoder::Zlib;
  int zlibLevel = 6;
  int zlibStrategy = 0;
  int minMatch = 8;    // LongMatch: shortest match taken (3..8)
  int chain = 16;      // LongMatch: candidates tried per position
  int niceLength = 128;  // LongMatch: a match this long ends the search
};

/// Compresses @p piece; throws WriteError when the encoder fails.
std::vector<uint8_t> deflatePiece(const DeflatePiece& piece, const DeflatePolicy& policy);

}  // namespace pixmorph
