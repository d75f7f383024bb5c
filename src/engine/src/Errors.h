// Failures raised inside the engine; Transcode.cpp turns them into the
// public status and message.
#pragma once

#include <stdexcept>
#include <string>

#include "pixmorph/transcode.h"

namespace pixmorph {

/// A failure with its public status. Built from a status alone it carries
/// that status's fixed text; built from a text it is a read, write or other
/// failure described by that text.
class EngineError : public std::runtime_error {
 public:
  EngineError(pixmorph_status status, const std::string& what)
      : std::runtime_error(what), status_(status) {}
  explicit EngineError(pixmorph_status status)
      : std::runtime_error(pixmorph_message(status)), status_(status) {}
  pixmorph_status status() const { return status_; }

 private:
  pixmorph_status status_;
};

/// The input could not be read or decoded.
class ReadError : public EngineError {
 public:
  explicit ReadError(const std::string& what) : EngineError(PIXMORPH_READ_FAILED, what) {}
  explicit ReadError(pixmorph_status status) : EngineError(status) {}
  ReadError(pixmorph_status status, const std::string& what) : EngineError(status, what) {}
};

/// The output could not be encoded or written.
class WriteError : public EngineError {
 public:
  explicit WriteError(const std::string& what) : EngineError(PIXMORPH_WRITE_FAILED, what) {}
  explicit WriteError(pixmorph_status status) : EngineError(status) {}
};

/// Neither side is at fault (e.g. arguments, memory).
class OtherError : public EngineError {
 public:
  explicit OtherError(const std::string& what) : EngineError(PIXMORPH_FAILED, what) {}
};

inline constexpr pixmorph_status kUnsupportedOption = PIXMORPH_UNSUPPORTED_OPTION;
inline constexpr pixmorph_status kInvalidBpp = PIXMORPH_INVALID_BITS_PER_PIXEL;
inline constexpr pixmorph_status kInputNotSupported = PIXMORPH_INPUT_NOT_SUPPORTED;
inline constexpr pixmorph_status kOutputNotSupported = PIXMORPH_OUTPUT_NOT_SUPPORTED;

}  // namespace pixmorph
