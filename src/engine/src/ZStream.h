// Owner of a zlib deflate stream.
#pragma once

#include <zlib.h>

#include "Errors.h"

namespace pixmorph {

/// A raw-deflate zlib stream that is ended however its scope is left. It
/// neither copies nor moves: zlib's state points back at the z_stream.
class DeflateStream {
 public:
  /// Throws WriteError when zlib cannot start (bad settings, no memory).
  DeflateStream(int level, int memLevel, int strategy) {
    if (deflateInit2(&z_, level, Z_DEFLATED, -15, memLevel, strategy) != Z_OK)
      throw WriteError("Cannot start PNG compression");
  }
  ~DeflateStream() { deflateEnd(&z_); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

  z_stream* get() { return &z_; }

 private:
  z_stream z_{};
};

}  // namespace pixmorph
