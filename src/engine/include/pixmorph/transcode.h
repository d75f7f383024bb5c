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

/// What a conversion came to. Callers decide by this code; the message is
/// for the user. The fixed failures have one text each (pixmorph_message);
/// the read and write failures carry the codec's own description.
typedef enum pixmorph_status {
  PIXMORPH_OK = 0,
  PIXMORPH_UNSUPPORTED_OPTION,      /* a variant of the format the engine does not read */
  PIXMORPH_INVALID_BITS_PER_PIXEL,  /* pixels the target format cannot hold */
  PIXMORPH_INPUT_NOT_SUPPORTED,     /* the input is none of the four formats */
  PIXMORPH_OUTPUT_NOT_SUPPORTED,    /* the output path names no written format */
  PIXMORPH_READ_FAILED,             /* the input is unreadable or damaged */
  PIXMORPH_WRITE_FAILED,            /* the output could not be written */
  PIXMORPH_FAILED                   /* neither side: arguments, memory */
} pixmorph_status;

/// The text of a fixed status ("No Error", "Unsupported file format option",
/// ...), without a final period; NULL for the statuses whose text is the
/// codec's own.
const char* pixmorph_message(pixmorph_status status);

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
