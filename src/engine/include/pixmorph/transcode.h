// Public entry point of the conversion engine.
//
// The engine reads BMP, GIF, JPG and PNG (chosen by the file's content) and
// writes BMP, JPG and PNG (chosen by the output path's extension). It holds no
// global state: conversions on different threads do not disturb each other.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// Size of the message buffer the caller hands to transcode_picture_file_2.
#define PIXMORPH_MESSAGE_CAPACITY 255

/// Converts the image at @p inputPath into the file @p outputPath.
///
/// Paths are UTF-8. @p quality is the JPG quality (10..100) and only matters
/// for JPG output. @p unusedText1, @p unusedText3, @p unusedInt5,
/// @p inputIsBmp and @p option are kept for the historical ten-argument
/// contract and are ignored.
///
/// The message ("No Error" on success) is written at the front of
/// @p message, which must hold PIXMORPH_MESSAGE_CAPACITY characters; it is NUL
/// terminated when shorter than the buffer. The number of characters written
/// is returned. @p failureSide receives 1 when reading the input failed, -1
/// when writing the output failed, 0 otherwise.
int32_t transcode_picture_file_2(const char* unusedText1, const char* inputPath,
                                 const char* unusedText3, const char* outputPath,
                                 int32_t unusedInt5, int32_t quality,
                                 int32_t inputIsBmp, int32_t option,
                                 char* message, int32_t* failureSide);

#ifdef __cplusplus
}
#endif
