// JPG reader on libjpeg-turbo: baseline, progressive, arithmetic, any
// sampling, grey, RGB, CMYK and YCCK. Rows stream out unless the EXIF
// orientation asks for a rotation, which needs the whole image.
#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>
#include <setjmp.h>

#include <cstdlib>
#include <cstring>

#include "Codecs.h"
#include "Errors.h"
#include "Limits.h"
#include "Exif.h"
#include "Pixels.h"

namespace pixmorph {

namespace {

// Everything libjpeg touches; plain data so a longjmp over it is harmless.
struct JpegState {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  jpeg_source_mgr src;
  jmp_buf jump;
  FILE* file = nullptr;
  bool eof = false;        // the file ran out and a fake end marker was supplied
  bool hitMarker = false;  // entropy data stopped short of what the image needs
  int errorCode = 0;
  char message[JMSG_LENGTH_MAX] = {};
  JOCTET* icc = nullptr;  // the embedded profile, allocated by libjpeg
  unsigned iccLen = 0;
  JOCTET buffer[1 << 16];
};

JpegState* stateOf(j_common_ptr c) {
  return reinterpret_cast<JpegState*>(reinterpret_cast<char*>(c->err) - offsetof(JpegState, err));
}

void onErrorExit(j_common_ptr c) {
  JpegState* s = stateOf(c);
  s->errorCode = c->err->msg_code;
  c->err->format_message(c, s->message);
  longjmp(s->jump, 1);
}

void onMessage(j_common_ptr c, int level) {
  if (level < 0 && c->err->msg_code == JWRN_HIT_MARKER) stateOf(c)->hitMarker = true;
}

void initSource(j_decompress_ptr) {}
boolean fillInput(j_decompress_ptr d) {
  JpegState* s = stateOf(reinterpret_cast<j_common_ptr>(d));
  size_t n = fread(s->buffer, 1, sizeof s->buffer, s->file);
  if (n == 0) {
    // Supply an end-of-image marker; whether that cut anything needed is
    // judged afterwards from hitMarker.
    s->eof = true;
    s->buffer[0] = 0xFF;
    s->buffer[1] = JPEG_EOI;
    n = 2;
  }
  s->src.next_input_byte = s->buffer;
  s->src.bytes_in_buffer = n;
  return TRUE;
}
void skipInput(j_decompress_ptr d, long n) {
  JpegState* s = stateOf(reinterpret_cast<j_common_ptr>(d));
  while (n > 0) {
    if (size_t(n) <= s->src.bytes_in_buffer) {
      s->src.next_input_byte += n;
      s->src.bytes_in_buffer -= size_t(n);
      return;
    }
    n -= long(s->src.bytes_in_buffer);
    s->src.bytes_in_buffer = 0;
    fillInput(d);
  }
}
void termSource(j_decompress_ptr) {}

enum class Step { Header, Start, Rows };

// The only function libjpeg may longjmp into. Its locals are plain values.
bool jpegStep(JpegState* s, Step step, JSAMPROW* rows, JDIMENSION count) {
  if (setjmp(s->jump)) return false;
  j_decompress_ptr d = &s->cinfo;
  switch (step) {
    case Step::Header:
      jpeg_create_decompress(d);
      s->src.init_source = initSource;
      s->src.fill_input_buffer = fillInput;
      s->src.skip_input_data = skipInput;
      s->src.resync_to_restart = jpeg_resync_to_restart;
      s->src.term_source = termSource;
      d->src = &s->src;
      jpeg_save_markers(d, JPEG_APP0 + 1, 0xFFFF);
      jpeg_save_markers(d, JPEG_APP0 + 2, 0xFFFF);
      jpeg_read_header(d, TRUE);
      jpeg_read_icc_profile(d, &s->icc, &s->iccLen);
      break;
    case Step::Start: jpeg_start_decompress(d); break;
    case Step::Rows: {
      JDIMENSION done = 0;
      while (done < count) {
        JDIMENSION got = jpeg_read_scanlines(d, rows + done, count - done);
        if (got == 0) ERREXIT(d, JERR_BAD_LENGTH);  // cannot happen with a file source
        done += got;
      }
      break;
    }
  }
  return true;
}

// Frees libjpeg's memory even when the reader's constructor gives up half
// way. The state starts zeroed, which jpeg_destroy accepts.
struct JpegStateDeleter {
  void operator()(JpegState* s) const {
    jpeg_destroy_decompress(&s->cinfo);
    std::free(s->icc);
    delete s;
  }
};

class JpegReader : public ImageReader {
 public:
  explicit JpegReader(InputFile& in) : s_(new JpegState()) {
    s_->file = in.get();
    if (fseeko(s_->file, 0, SEEK_SET) != 0) throw ReadError("Cannot read the input file");
    s_->cinfo.err = jpeg_std_error(&s_->err);
    s_->err.error_exit = onErrorExit;
    s_->err.emit_message = onMessage;
    // The state starts zeroed, so destroying it is safe even if creation
    // inside the step failed.
    if (!jpegStep(s_.get(), Step::Header, nullptr, 0)) fail();

    j_decompress_ptr d = &s_->cinfo;
    checkDimensions(d->image_width, d->image_height, "JPG");
    switch (d->jpeg_color_space) {
      case JCS_GRAYSCALE: d->out_color_space = JCS_GRAYSCALE; break;
      case JCS_CMYK:
      case JCS_YCCK:
        d->out_color_space = JCS_CMYK;
        cmyk_ = true;
        break;
      default: d->out_color_space = JCS_RGB; break;
    }
    // Images in several scans are gathered whole as DCT coefficients first.
    if (jpeg_has_multiple_scans(d)) checkBufferSize(coefficientBytes());
    progressive_ = d->progressive_mode || d->arith_code;  // these decoders end silently at a cut

    for (jpeg_saved_marker_ptr m = d->marker_list; m; m = m->next) {
      if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0 &&
          info_.exif.empty())
        info_.exif.assign(m->data + 6, m->data + m->data_length);
    }
    if (s_->icc) info_.icc.assign(s_->icc, s_->icc + s_->iccLen);

    if (!jpegStep(s_.get(), Step::Start, nullptr, 0)) fail();
    if (s_->eof && (progressive_ || s_->hitMarker)) throw ReadError("JPG file is truncated");

    srcWidth_ = d->output_width;
    srcHeight_ = d->output_height;
    info_.format = d->out_color_space == JCS_GRAYSCALE ? PixelFormat::Gray : PixelFormat::Rgb;
    info_.losslessSource = false;
    orientation_ = exifOrientation(info_.exif);
    const bool swap = orientation_ >= 5;
    info_.width = swap ? srcHeight_ : srcWidth_;
    info_.height = swap ? srcWidth_ : srcHeight_;
    if (orientation_ != 1) {
      exifResetOrientation(info_.exif);
      size_t bytes = checkedMul(checkedMul(srcWidth_, srcHeight_), info_.channels());
      checkBufferSize(bytes);  // and as much again for the turned copy
      std::vector<uint8_t> src(bytes);
      decode(src.data(), srcHeight_);
      whole_ = orientPixels(src, srcWidth_, srcHeight_, info_.channels(), orientation_);
    }
  }

  const ImageInfo& info() const override { return info_; }

  void readRows(uint8_t* dst, uint32_t count) override {
    if (!whole_.empty()) {
      std::memcpy(dst, whole_.data() + size_t(next_) * info_.rowBytes(), info_.rowBytes() * count);
      next_ += count;
      return;
    }
    decode(dst, count);
    next_ += count;
  }

 private:
  [[noreturn]] void fail() {
    const int code = s_->errorCode;
    if (s_->eof) throw ReadError("JPG file is truncated");
    if (code == JERR_NO_SOI) throw ReadError("Not a valid JPG file");
    if (code == JERR_BAD_PRECISION || code == JERR_SOF_UNSUPPORTED || code == JERR_NOT_COMPILED)
      throw ReadError(kUnsupportedOption);
    throw ReadError(std::string("JPG file is damaged: ") + s_->message);
  }

  // Size of libjpeg's whole-image coefficient buffers: every component's
  // blocks, padded to its sampling factors, 64 coefficients each.
  uint64_t coefficientBytes() const {
    const j_decompress_ptr d = &s_->cinfo;
    uint64_t bytes = 0;
    for (int i = 0; i < d->num_components; ++i) {
      const jpeg_component_info& c = d->comp_info[i];
      const uint64_t across = (uint64_t(c.width_in_blocks) + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
      const uint64_t down = (uint64_t(c.height_in_blocks) + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
      bytes += across * down * DCTSIZE2 * sizeof(JCOEF);
    }
    return bytes;
  }

  // Decodes @p count rows (output layout, before any rotation) into @p dst.
  void decode(uint8_t* dst, uint32_t count) {
    const int outC = info_.channels();
    const int inC = cmyk_ ? 4 : outC;
    const size_t inRow = size_t(srcWidth_) * inC, outRow = size_t(srcWidth_) * outC;
    if (cmyk_) scratch_.resize(inRow * std::min<uint32_t>(count, 16));
    uint32_t done = 0;
    while (done < count) {
      uint32_t n = cmyk_ ? std::min<uint32_t>(count - done, 16) : count - done;
      rows_.resize(n);
      for (uint32_t i = 0; i < n; ++i)
        rows_[i] = cmyk_ ? scratch_.data() + i * inRow : dst + (done + i) * outRow;
      if (!jpegStep(s_.get(), Step::Rows, rows_.data(), n)) fail();
      if (s_->eof && (s_->hitMarker || progressive_)) throw ReadError("JPG file is truncated");
      if (cmyk_)
        for (uint32_t i = 0; i < n; ++i) cmykRow(scratch_.data() + i * inRow, dst + (done + i) * outRow);
      done += n;
    }
  }

  void cmykRow(const uint8_t* s, uint8_t* d) const {
    // CMYK files store each ink inverted (0 = full ink), as Adobe's do,
    // whether or not they carry Adobe's marker; libjpeg turns YCCK into the
    // same form. So each colour is the product of its ink and black values.
    for (uint32_t x = 0; x < srcWidth_; ++x) {
      const unsigned c = s[4 * x], m = s[4 * x + 1], y = s[4 * x + 2], k = s[4 * x + 3];
      d[3 * x] = uint8_t((c * k + 127) / 255);
      d[3 * x + 1] = uint8_t((m * k + 127) / 255);
      d[3 * x + 2] = uint8_t((y * k + 127) / 255);
    }
  }

  std::unique_ptr<JpegState, JpegStateDeleter> s_;
  ImageInfo info_;
  bool cmyk_ = false, progressive_ = false;
  int orientation_ = 1;
  uint32_t srcWidth_ = 0, srcHeight_ = 0, next_ = 0;
  std::vector<uint8_t> whole_, scratch_;
  std::vector<JSAMPROW> rows_;
};

}  // namespace

std::unique_ptr<ImageReader> openJpegReader(InputFile& in) {
  return std::make_unique<JpegReader>(in);
}

}  // namespace pixmorph
