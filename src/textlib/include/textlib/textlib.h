/* Program text table and file-creatability check.
 *
 * Plain C interface so the table can be loaded from any language; strings
 * cross as UTF-8. The table is process-wide and guarded by a lock, so calls
 * may come from any thread.
 */
#ifndef TEXTLIB_TEXTLIB_H
#define TEXTLIB_TEXTLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Largest text, in UTF-8 bytes, that the file may hold for one entry; the
 * buffer a caller hands to gt needs no more than this. */
#define TEXTLIB_MAX_TEXT_BYTES 1024

/* Loads the program text file at utf8Path, replacing any table loaded before.
 * reserved: pass 0 (ignored).
 * Result: the number of texts loaded (1 or more); 0 when the file holds no
 * entries; otherwise a failure code:
 *   -1            the file cannot be opened
 *   -3            the file is larger than a program text file can be
 *   -6            the file is empty (0 bytes)
 *   -7            the file cannot be read, or is not valid UTF-8
 *   -8            out of memory
 *   -(500 + L)    line L is an entry without its text, or not a well-formed
 *                 entry at all
 *   -(1000 + L)   line L holds a text longer than TEXTLIB_MAX_TEXT_BYTES
 *   -(1500 + L)   line L repeats a number and language given before
 * L is the 1-based line number, capped at 500. After any failure the table
 * is empty. */
int32_t lt(const char* utf8Path, int32_t reserved);

/* Copies text `number` of `language` to the front of buffer (no terminating
 * NUL) and returns its length in bytes.
 * reserved: pass 1 (ignored).
 * Result 0: no such text (or no buffer). A negative result -n: the text needs
 * n bytes and the buffer is smaller; nothing is written. The stored "~" of an
 * empty text is returned as is; the caller decides what it stands for. */
int32_t gt(int32_t number, int32_t language, char* buffer, int32_t capacity, int32_t reserved);

/* 1 exactly when nothing exists at utf8Path and a file can be created there.
 * The test creates the file exclusively and removes it again, so the answer
 * holds only until someone else creates that name. Otherwise: 0 when
 * something already exists there (or the path is null or empty), a negative
 * errno value when creation failed for another reason. */
int32_t new_file_creatable(const char* utf8Path);

#ifdef __cplusplus
}
#endif

#endif /* TEXTLIB_TEXTLIB_H */
