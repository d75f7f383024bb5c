// JPG writer on libjpeg-turbo: grey or YCbCr, optimised Huffman tables,
// EXIF and ICC profile carried over.
#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>
#include <setjmp.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <new>

#include "Codecs.h"
#include "CoefficientMemory.h"
#include "Errors.h"

namespace pixmorph {

namespace {

// A whole-picture coefficient array libjpeg asked for, kept in a block of
// the writer's CoefficientMemory.
struct PooledArray {
  JDIMENSION blocksPerRow, rows;
  bool preZero;
  std::vector<JBLOCKROW> rowStarts;
};

struct JpegOutState {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  jpeg_destination_mgr dest;
  jmp_buf jump;
  FILE* file = nullptr;
  int writeErrno = 0;  // set when the file refused bytes
  char message[JMSG_LENGTH_MAX] = {};
  // Parameters for the start step.
  JDIMENSION width = 0, height = 0;
  int components = 3, quality = 80;
  bool fullChroma = false;
  const JOCTET* exif = nullptr;
  unsigned exifLen = 0;
  const JOCTET* icc = nullptr;
  unsigned iccLen = 0;
  JOCTET buffer[1 << 16];
  // Set when the coefficient arrays come from a CoefficientMemory.
  CoefficientMemory* memory = nullptr;
  void (*libraryRealize)(j_common_ptr) = nullptr;
  std::deque<PooledArray> arrays;
  CoefficientMemory::Lease block;
};

JpegOutState* stateOf(j_common_ptr c) {
  return reinterpret_cast<JpegOutState*>(reinterpret_cast<char*>(c->err) - offsetof(JpegOutState, err));
}

void onErrorExit(j_common_ptr c) {
  JpegOutState* s = stateOf(c);
  c->err->format_message(c, s->message);
  longjmp(s->jump, 1);
}
void onMessage(j_common_ptr, int) {}

void initDest(j_compress_ptr c) {
  JpegOutState* s = stateOf(reinterpret_cast<j_common_ptr>(c));
  s->dest.next_output_byte = s->buffer;
  s->dest.free_in_buffer = sizeof s->buffer;
}
boolean emptyOutput(j_compress_ptr c) {
  JpegOutState* s = stateOf(reinterpret_cast<j_common_ptr>(c));
  if (fwrite(s->buffer, 1, sizeof s->buffer, s->file) != sizeof s->buffer) {
    s->writeErrno = errno ? errno : EIO;
    ERREXIT(c, JERR_FILE_WRITE);
  }
  initDest(c);
  return TRUE;
}
void termDest(j_compress_ptr c) {
  JpegOutState* s = stateOf(reinterpret_cast<j_common_ptr>(c));
  size_t n = sizeof s->buffer - s->dest.free_in_buffer;
  if (n && fwrite(s->buffer, 1, n, s->file) != n) {
    s->writeErrno = errno ? errno : EIO;
    ERREXIT(c, JERR_FILE_WRITE);
  }
}

// The three virtual-array methods of libjpeg's memory manager, answered from
// the writer's CoefficientMemory. The arrays always fit in memory, so an
// access is only a look-up; libjpeg writes every block before it reads one.
jvirt_barray_ptr requestArray(j_common_ptr c, int, boolean preZero, JDIMENSION blocksPerRow, JDIMENSION rows,
                              JDIMENSION) {
  JpegOutState* s = stateOf(c);
  s->arrays.push_back({blocksPerRow, rows, preZero != FALSE, {}});
  return reinterpret_cast<jvirt_barray_ptr>(&s->arrays.back());
}

// Lends the block the arrays share; false when there is no memory for it.
bool lendArrays(JpegOutState* s) noexcept {
  try {
    size_t total = 0;
    for (const PooledArray& a : s->arrays) total += size_t(a.blocksPerRow) * a.rows * sizeof(JBLOCK);
    s->block = s->memory->acquire(total);
    uint8_t* at = s->block.data();
    for (PooledArray& a : s->arrays) {
      const size_t rowBytes = size_t(a.blocksPerRow) * sizeof(JBLOCK);
      if (a.preZero) std::memset(at, 0, rowBytes * a.rows);
      a.rowStarts.resize(a.rows);
      for (JDIMENSION y = 0; y < a.rows; ++y, at += rowBytes) a.rowStarts[y] = reinterpret_cast<JBLOCKROW>(at);
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void realizeArrays(j_common_ptr c) {
  JpegOutState* s = stateOf(c);
  s->libraryRealize(c);
  if (!lendArrays(s)) ERREXIT1(c, JERR_OUT_OF_MEMORY, 4);
}

JBLOCKARRAY accessArray(j_common_ptr c, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION rowCount, boolean) {
  PooledArray* a = reinterpret_cast<PooledArray*>(array);
  if (startRow > a->rows || rowCount > a->rows - startRow || a->rowStarts.empty()) ERREXIT(c, JERR_BAD_VIRTUAL_ACCESS);
  return a->rowStarts.data() + startRow;
}

enum class Step { Start, Rows, Finish };

// The only function libjpeg may longjmp into. Its locals are plain values.
bool jpegStep(JpegOutState* s, Step step, JSAMPROW* rows, JDIMENSION count) {
  if (setjmp(s->jump)) return false;
  j_compress_ptr c = &s->cinfo;
  switch (step) {
    case Step::Start:
      jpeg_create_compress(c);
      s->dest.init_destination = initDest;
      s->dest.empty_output_buffer = emptyOutput;
      s->dest.term_destination = termDest;
      c->dest = &s->dest;
      if (s->memory) {
        s->libraryRealize = c->mem->realize_virt_arrays;
        c->mem->request_virt_barray = requestArray;
        c->mem->realize_virt_arrays = realizeArrays;
        c->mem->access_virt_barray = accessArray;
      }
      c->image_width = s->width;
      c->image_height = s->height;
      c->input_components = s->components;
      c->in_color_space = s->components == 1 ? JCS_GRAYSCALE : JCS_RGB;
      jpeg_set_defaults(c);
      jpeg_set_quality(c, s->quality, TRUE);
      c->optimize_coding = TRUE;
      // The floating-point DCT rounds more accurately, which leaves less
      // noise to code: slightly smaller files at the same quality.
      c->dct_method = JDCT_FLOAT;
      if (s->components == 3 && (s->quality >= 90 || s->fullChroma)) {
        // Full-resolution chroma at high quality, where 4:2:0 would be the
        // largest visible loss.
        c->comp_info[0].h_samp_factor = c->comp_info[0].v_samp_factor = 1;
      }
      jpeg_start_compress(c, TRUE);
      if (s->exif) jpeg_write_marker(c, JPEG_APP0 + 1, s->exif, s->exifLen);
      if (s->icc) jpeg_write_icc_profile(c, s->icc, s->iccLen);
      break;
    case Step::Rows: jpeg_write_scanlines(c, rows, count); break;
    case Step::Finish: jpeg_finish_compress(c); break;
  }
  return true;
}

struct JpegOutStateDeleter {
  void operator()(JpegOutState* s) const {
    jpeg_destroy_compress(&s->cinfo);
    delete s;
  }
};

class JpegWriter : public ImageWriter {
 public:
  JpegWriter(AtomicOutputFile& out, const ImageInfo& info, const WriteOptions& options)
      : s_(new JpegOutState()), info_(info) {
    s_->memory = options.memory;
    if (info.format != PixelFormat::Gray && info.format != PixelFormat::Rgb) throw WriteError(kInvalidBpp);
    if (info.width > JPEG_MAX_DIMENSION || info.height > JPEG_MAX_DIMENSION)
      throw WriteError("Image is too large for a JPG file (at most 65500 pixels a side)");
    s_->cinfo.err = jpeg_std_error(&s_->err);
    s_->err.error_exit = onErrorExit;
    s_->err.emit_message = onMessage;
    s_->file = out.get();
    s_->width = info.width;
    s_->height = info.height;
    s_->components = info.channels();
    s_->quality = options.quality;
    s_->fullChroma = options.fullChroma;
    if (!info.exif.empty() && info.exif.size() + 6 <= 65533) {
      exif_.assign({'E', 'x', 'i', 'f', 0, 0});
      exif_.insert(exif_.end(), info.exif.begin(), info.exif.end());
      s_->exif = exif_.data();
      s_->exifLen = unsigned(exif_.size());
    }
    if (!info.icc.empty()) {
      s_->icc = info_.icc.data();
      s_->iccLen = unsigned(info_.icc.size());
    }
    check(jpegStep(s_.get(), Step::Start, nullptr, 0));
  }

  void writeRows(const uint8_t* rows, uint32_t count) override {
    ptrs_.resize(count);
    for (uint32_t i = 0; i < count; ++i)
      ptrs_[i] = const_cast<JSAMPROW>(rows + size_t(i) * info_.rowBytes());
    check(jpegStep(s_.get(), Step::Rows, ptrs_.data(), count));
  }

  void finish() override { check(jpegStep(s_.get(), Step::Finish, nullptr, 0)); }

 private:
  void check(bool ok) {
    if (ok) return;
    if (s_->writeErrno) throw WriteError(writeFailureMessage(s_->writeErrno));
    throw WriteError(std::string("Cannot encode the JPG file: ") + s_->message);
  }

  std::unique_ptr<JpegOutState, JpegOutStateDeleter> s_;
  ImageInfo info_;
  std::vector<uint8_t> exif_;
  std::vector<JSAMPROW> ptrs_;
};

}  // namespace

std::unique_ptr<ImageWriter> createJpegWriter(AtomicOutputFile& out, const ImageInfo& info,
                                              const WriteOptions& options) {
  return std::make_unique<JpegWriter>(out, info, options);
}

}  // namespace pixmorph
