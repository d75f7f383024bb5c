// Failures raised inside the engine; Transcode.cpp turns them into messages.
#pragma once

#include <stdexcept>
#include <string>

namespace pixmorph {

/// The input could not be read or decoded.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The output could not be encoded or written.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Neither side is at fault (e.g. arguments, memory).
class OtherError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kUnsupportedOption = "Unsupported file format option";
inline constexpr const char* kInvalidBpp = "Invalid bits per pixel for this file format";
inline constexpr const char* kInputNotSupported = "Input file format not supported";
inline constexpr const char* kOutputNotSupported = "Output file format not supported";

}  // namespace pixmorph
