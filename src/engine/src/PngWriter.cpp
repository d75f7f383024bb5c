// PNG writer. Chunks are written by hand so the image data can be deflated
// in pieces on two threads: each piece is primed with the 32 KB before it
// and sync-flushed, so the pieces join into one valid zlib stream.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <string>

#include "Codecs.h"
#include "Errors.h"

namespace pixmorph {

namespace {

constexpr size_t kWindow = 32768;
constexpr size_t kPiece = size_t(1) << 19;  // uncompressed bytes per piece
constexpr int kPaletteLevel = 7;  // measured: smallest level that beats common tools on GIFs
constexpr int kLevel = 6;
constexpr int kTrialLevel = 4;
// Large filtered images use PieceDeflater: matches of at least 8 bytes, 16
// candidates per position, good enough at 128 bytes. Measured on 12 MP
// photos: about a third of zlib level 6's time and 3 % smaller output.
constexpr int kMinMatch = 8;
constexpr int kChain = 16;
constexpr int kNice = 128;
// Images up to this many filtered bytes take a deeper search (level 7): it
// costs milliseconds there and keeps them as small as common tools make.
constexpr uint64_t kSmallImage = 8u << 20;
constexpr int kPerRow = 5;  // filter "type" meaning: choose per row  // measured on photos: smaller than common tools, still fast on two threads

void put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

struct Piece {
  std::vector<uint8_t> data;  // dictionary prefix followed by the piece itself
  size_t dictBytes = 0;
  bool last = false;
};

// Deflate encoder for large filtered images. zlib spends nearly all of its
// time walking hash chains of 3-byte strings, which are extremely common in
// filtered photographs although such short matches rarely pay there (hence
// Z_FILTERED). Hashing the first eight bytes keeps the chains to real
// candidates, so a short search finds the long matches that matter. Blocks
// hold 32K symbols with their own Huffman codes; a piece that is not the
// last ends with an empty stored block so the pieces join on a byte boundary.
class PieceDeflater {
 public:
  PieceDeflater(int minMatch, int chain, int nice) : minMatch_(minMatch), chain_(chain), nice_(nice) {
    head_.assign(size_t(1) << kHashBits, -1);
    prev_.assign(kWinSize, -1);
  }

  std::vector<uint8_t> run(const Piece& p) {
    buf_ = p.data.data();
    n_ = p.data.size();
    out_.clear();
    out_.reserve((n_ - p.dictBytes) / 2 + 1024);
    for (size_t i = 0; i < p.dictBytes; ++i) insert(i);
    size_t i = p.dictBytes;
    blockStart_ = pos_ = i;
    int nextLen = 0, nextDist = 0;
    bool haveNext = false;
    while (i < n_) {
      int len = 0, dist = 0;
      if (haveNext) {
        len = nextLen, dist = nextDist, haveNext = false;
      } else {
        find(i, len, dist);
      }
      insert(i);
      // One step of lazy evaluation: a longer match at the next byte wins.
      if (len >= minMatch_ && len < kLazyMax && i + 1 < n_) {
        find(i + 1, nextLen, nextDist);
        haveNext = true;
        if (nextLen > len) {
          literal(buf_[i]);
          ++i;
          continue;
        }
        haveNext = false;
      }
      if (len >= minMatch_) {
        match(len, dist);
        for (size_t k = 1; k < size_t(len); ++k) insert(i + k);
        i += size_t(len);
      } else {
        literal(buf_[i]);
        ++i;
      }
    }
    if (!syms_.empty() || p.last) block(p.last);
    if (!p.last) {
      putBits(0, 3);  // empty stored block: the pieces join on a byte boundary
      alignByte();
      putBits(0, 16);
      putBits(0xFFFF, 16);
    }
    alignByte();
    return std::move(out_);
  }

 private:
  static constexpr int kHashBits = 16;
  static constexpr size_t kWinSize = 32768;
  static constexpr size_t kMaxDist = 32767;
  static constexpr int kLazyMax = 32;
  static constexpr size_t kBlockSyms = 32768;

  uint32_t hashAt(size_t i) const {
    uint64_t v;
    std::memcpy(&v, buf_ + i, 8);
    v <<= 8 * (8 - std::min(minMatch_, 8));
    return uint32_t((v * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
  }

  void insert(size_t i) {
    if (i + 8 > n_) return;
    const uint32_t h = hashAt(i);
    prev_[i & (kWinSize - 1)] = head_[h];
    head_[h] = int32_t(i);
  }

  void find(size_t i, int& bestLen, int& bestDist) {
    bestLen = 0;
    bestDist = 0;
    if (i + 8 > n_) return;
    const size_t maxLen = std::min<size_t>(258, n_ - i);
    int32_t cand = head_[hashAt(i)];
    int chain = chain_;
    const uint8_t* s = buf_ + i;
    while (cand >= 0 && i - size_t(cand) <= kMaxDist && chain-- > 0) {
      const uint8_t* m = buf_ + cand;
      if (bestLen == 0 || (size_t(bestLen) < maxLen && m[bestLen] == s[bestLen])) {
        size_t len = 0;
        while (len + 8 <= maxLen) {
          uint64_t a, b;
          std::memcpy(&a, s + len, 8);
          std::memcpy(&b, m + len, 8);
          if (a != b) {
            len += size_t(__builtin_ctzll(a ^ b) >> 3);
            goto done;
          }
          len += 8;
        }
        while (len < maxLen && s[len] == m[len]) ++len;
      done:
        if (int(len) > bestLen) {
          bestLen = int(len);
          bestDist = int(i - size_t(cand));
          if (bestLen >= nice_ || size_t(bestLen) >= maxLen) break;
        }
      }
      const int32_t next = prev_[size_t(cand) & (kWinSize - 1)];
      if (next >= cand) break;
      cand = next;
    }
  }

  static int lenCode(int len, int& extraBits, int& extra) {
    const int l = len - 3;
    if (l < 8) return extraBits = 0, extra = 0, 257 + l;
    if (len == 258) return extraBits = 0, extra = 0, 285;
    const int nb = 31 - __builtin_clz(unsigned(l));
    extraBits = nb - 2;
    extra = l & ((1 << extraBits) - 1);
    return 257 + 4 * (nb - 1) + ((l >> (nb - 2)) & 3);
  }

  static int distCode(int dist, int& extraBits, int& extra) {
    const int x = dist - 1;
    if (x < 4) return extraBits = 0, extra = 0, x;
    const int nb = 31 - __builtin_clz(unsigned(x));
    extraBits = nb - 1;
    extra = x & ((1 << extraBits) - 1);
    return 2 * nb + ((x >> (nb - 1)) & 1);
  }

  void literal(uint8_t c) {
    syms_.push_back(c);
    ++pos_;
    if (syms_.size() >= kBlockSyms) block(false);
  }

  void match(int len, int dist) {
    syms_.push_back(uint32_t(len) << 16 | uint32_t(dist) | 0x80000000u);
    pos_ += size_t(len);
    if (syms_.size() >= kBlockSyms) block(false);
  }

  // Code lengths for @p freq, at most @p limit bits; any symbol used gets a
  // code, and at least two symbols get one so every decoder accepts the set.
  static void buildLengths(std::vector<uint32_t> freq, int limit, std::vector<uint8_t>& lens) {
    const size_t n = freq.size();
    int used = 0;
    for (uint32_t f : freq) used += f != 0;
    for (size_t s = 0; used < 2 && s < n; ++s)
      if (!freq[s]) freq[s] = 1, ++used;
    for (;;) {
      // Huffman tree over the used symbols; lengths from depths.
      std::vector<std::pair<uint64_t, int>> heap;
      std::vector<int> parent(2 * n, -1);
      for (size_t s = 0; s < n; ++s)
        if (freq[s]) heap.push_back({freq[s], int(s)});
      auto cmp = [](const auto& a, const auto& b) { return a.first > b.first; };
      std::make_heap(heap.begin(), heap.end(), cmp);
      int next = int(n);
      while (heap.size() > 1) {
        std::pop_heap(heap.begin(), heap.end(), cmp);
        auto a = heap.back();
        heap.pop_back();
        std::pop_heap(heap.begin(), heap.end(), cmp);
        auto b = heap.back();
        heap.pop_back();
        parent[a.second] = parent[b.second] = next;
        heap.push_back({a.first + b.first, next++});
        std::push_heap(heap.begin(), heap.end(), cmp);
      }
      lens.assign(n, 0);
      int maxLen = 0;
      for (size_t s = 0; s < n; ++s) {
        if (!freq[s]) continue;
        int d = 0;
        for (int x = int(s); parent[x] >= 0; x = parent[x]) ++d;
        lens[s] = uint8_t(d);
        maxLen = std::max(maxLen, d);
      }
      if (maxLen <= limit) return;
      for (uint32_t& f : freq)
        if (f) f = (f >> 1) | 1;  // flatten and retry until the codes fit
    }
  }

  static void codesFor(const std::vector<uint8_t>& lens, std::vector<uint16_t>& codes) {
    int count[16] = {}, next[16] = {};
    for (uint8_t l : lens) ++count[l];
    count[0] = 0;
    for (int b = 1, c = 0; b < 16; ++b) next[b] = c = (c + count[b - 1]) << 1;
    codes.assign(lens.size(), 0);
    for (size_t s = 0; s < lens.size(); ++s) {
      if (!lens[s]) continue;
      unsigned c = unsigned(next[lens[s]]++), r = 0;
      for (int b = 0; b < lens[s]; ++b) r |= ((c >> b) & 1u) << (lens[s] - 1 - b);
      codes[s] = uint16_t(r);  // deflate sends codes from the top bit down
    }
  }

  void block(bool final) {
    std::vector<uint32_t> lf(286, 0), df(30, 0);
    for (uint32_t s : syms_) {
      if (s & 0x80000000u) {
        int eb, ev;
        ++lf[size_t(lenCode(int((s >> 16) & 0x1FF), eb, ev))];
        ++df[size_t(distCode(int(s & 0xFFFF), eb, ev))];
      } else {
        ++lf[s];
      }
    }
    lf[256] = 1;
    std::vector<uint8_t> ll, dl;
    buildLengths(lf, 15, ll);
    buildLengths(df, 15, dl);
    size_t hlit = 286, hdist = 30;
    while (hlit > 257 && !ll[hlit - 1]) --hlit;
    while (hdist > 1 && !dl[hdist - 1]) --hdist;
    // Run-length code the two length lists together.
    std::vector<uint8_t> all(ll.begin(), ll.begin() + ptrdiff_t(hlit));
    all.insert(all.end(), dl.begin(), dl.begin() + ptrdiff_t(hdist));
    std::vector<std::pair<uint8_t, uint8_t>> rle;  // symbol, extra value
    for (size_t k = 0; k < all.size();) {
      size_t run = 1;
      while (k + run < all.size() && all[k + run] == all[k]) ++run;
      if (all[k] == 0 && run >= 3) {
        const size_t r = std::min<size_t>(run, 138);
        rle.push_back(r >= 11 ? std::pair<uint8_t, uint8_t>{18, uint8_t(r - 11)} : std::pair<uint8_t, uint8_t>{17, uint8_t(r - 3)});
        k += r;
      } else if (all[k] != 0 && run >= 4) {
        rle.push_back({all[k], 0});
        const size_t r = std::min<size_t>(run - 1, 6);
        rle.push_back({16, uint8_t(r - 3)});
        k += 1 + r;
      } else {
        rle.push_back({all[k], 0});
        ++k;
      }
    }
    std::vector<uint32_t> cf(19, 0);
    for (auto& e : rle) ++cf[e.first];
    std::vector<uint8_t> cl;
    buildLengths(cf, 7, cl);
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    size_t hclen = 19;
    while (hclen > 4 && !cl[order[hclen - 1]]) --hclen;
    // Data that does not compress (noise) is cheaper stored as it is.
    uint64_t bits = 17 + 3 * hclen;
    for (auto& e : rle) bits += cl[e.first] + (e.first == 16 ? 2 : e.first == 17 ? 3 : e.first == 18 ? 7 : 0);
    for (size_t c = 0; c < 286; ++c) bits += uint64_t(lf[c]) * (ll[c] + (c >= 265 && c < 285 ? (c - 261) / 4 : 0));
    for (size_t c = 0; c < 30; ++c) bits += uint64_t(df[c]) * (dl[c] + (c >= 4 ? c / 2 - 1 : 0));
    const size_t raw = pos_ - blockStart_;
    if (uint64_t(raw) * 8 + 42 * (raw / 65535 + 1) < bits) {
      stored(final);
      return;
    }
    std::vector<uint16_t> lc, dc, cc;
    codesFor(ll, lc);
    codesFor(dl, dc);
    codesFor(cl, cc);

    putBits(final ? 1 : 0, 1);
    putBits(2, 2);  // dynamic Huffman codes
    putBits(uint32_t(hlit - 257), 5);
    putBits(uint32_t(hdist - 1), 5);
    putBits(uint32_t(hclen - 4), 4);
    for (size_t k = 0; k < hclen; ++k) putBits(cl[order[k]], 3);
    for (auto& e : rle) {
      putBits(cc[e.first], cl[e.first]);
      if (e.first == 16) putBits(e.second, 2);
      else if (e.first == 17) putBits(e.second, 3);
      else if (e.first == 18) putBits(e.second, 7);
    }
    for (uint32_t s : syms_) {
      if (s & 0x80000000u) {
        int eb, ev;
        const int lcode = lenCode(int((s >> 16) & 0x1FF), eb, ev);
        putBits(lc[size_t(lcode)], ll[size_t(lcode)]);
        if (eb) putBits(uint32_t(ev), eb);
        const int dcode = distCode(int(s & 0xFFFF), eb, ev);
        putBits(dc[size_t(dcode)], dl[size_t(dcode)]);
        if (eb) putBits(uint32_t(ev), eb);
      } else {
        putBits(lc[s], ll[s]);
      }
    }
    putBits(lc[256], ll[256]);
    syms_.clear();
    blockStart_ = pos_;
  }

  void stored(bool final) {
    size_t at = blockStart_;
    do {
      const size_t n = std::min<size_t>(pos_ - at, 65535);
      putBits(final && at + n == pos_ ? 1 : 0, 1);
      putBits(0, 2);
      alignByte();
      putBits(uint32_t(n), 16);
      putBits(uint32_t(~n & 0xFFFF), 16);
      out_.insert(out_.end(), buf_ + at, buf_ + at + n);
      at += n;
    } while (at < pos_);
    syms_.clear();
    blockStart_ = pos_;
  }

  void putBits(uint32_t v, int n) {
    bits_ |= uint64_t(v) << nbits_;
    nbits_ += n;
    while (nbits_ >= 8) {
      out_.push_back(uint8_t(bits_));
      bits_ >>= 8;
      nbits_ -= 8;
    }
  }

  void alignByte() {
    if (nbits_) putBits(0, 8 - nbits_);
  }

  int minMatch_, chain_, nice_;
  const uint8_t* buf_ = nullptr;
  size_t n_ = 0, pos_ = 0, blockStart_ = 0;  // pos_: end of the symbols so far
  std::vector<int32_t> head_, prev_;
  std::vector<uint32_t> syms_;
  std::vector<uint8_t> out_;
  uint64_t bits_ = 0;
  int nbits_ = 0;
};

// Raw deflate of one piece; runs on a worker thread.
std::vector<uint8_t> deflatePiece(const Piece& p, int level, int strategy) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK)
    throw WriteError("Cannot start PNG compression");
  if (p.dictBytes) deflateSetDictionary(&z, p.data.data(), uInt(p.dictBytes));
  z.next_in = const_cast<Bytef*>(p.data.data() + p.dictBytes);
  z.avail_in = uInt(p.data.size() - p.dictBytes);
  // The output grows as it comes: a piece of one enormous row would
  // otherwise reserve its whole worst-case size up front.
  std::vector<uint8_t> out;
  const int flush = p.last ? Z_FINISH : Z_SYNC_FLUSH;
  int rc = Z_OK;
  do {
    const size_t have = out.size(), step = std::max<size_t>(size_t(64) << 10, (p.data.size() - p.dictBytes) / 4);
    out.resize(have + step);
    z.next_out = out.data() + have;
    z.avail_out = uInt(step);
    rc = deflate(&z, flush);
    out.resize(out.size() - z.avail_out);
  } while (rc == Z_OK && (z.avail_out == 0 || z.avail_in > 0));
  deflateEnd(&z);
  const bool ok = p.last ? rc == Z_STREAM_END : (rc == Z_OK || rc == Z_BUF_ERROR) && z.avail_in == 0;
  if (!ok) throw WriteError("PNG compression failed");
  return out;
}

inline uint8_t paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = p > a ? p - a : a - p;
  int pb = p > b ? p - b : b - p;
  int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

class PngWriter : public ImageWriter {
 public:
  PngWriter(AtomicOutputFile& out, const ImageInfo& info) : out_(out), info_(info) {
    int colorType = 0;
    bitDepth_ = 8;
    switch (info.format) {
      case PixelFormat::Gray: colorType = 0; break;
      case PixelFormat::GrayAlpha: colorType = 4; break;
      case PixelFormat::Rgb: colorType = 2; break;
      case PixelFormat::Rgba: colorType = 6; break;
      case PixelFormat::Indexed: {
        colorType = 3;
        size_t n = info.palette.size();
        bitDepth_ = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
        break;
      }
    }
    bpp_ = size_t(info.channels());
    rowBytes_ = (size_t(info.width) * info.channels() * bitDepth_ + 7) / 8;
    prev_.assign(rowBytes_, 0);  // the row above the first is zeros
    raw_.reserve(kPiece + rowBytes_);
    // Palette and low-depth data compress best unfiltered; the others get
    // a filter chosen per piece.
    filterRows_ = info.format != PixelFormat::Indexed;
    level_ = !filterRows_ ? kPaletteLevel : uint64_t(rowBytes_ + 1) * info.height <= kSmallImage ? kLevel + 1 : kLevel;
    strategy_ = filterRows_ ? Z_FILTERED : Z_DEFAULT_STRATEGY;
    ownDeflate_ = filterRows_ && level_ == kLevel;

    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    out_.write(sig, 8);
    uint8_t ihdr[13];
    put32(ihdr, info.width);
    put32(ihdr + 4, info.height);
    ihdr[8] = uint8_t(bitDepth_);
    ihdr[9] = uint8_t(colorType);
    ihdr[10] = ihdr[11] = ihdr[12] = 0;
    chunk("IHDR", ihdr, 13);
    if (iccFits()) writeIcc();
    if (info.format == PixelFormat::Indexed) {
      std::vector<uint8_t> plte, trns;
      for (const Rgba8& c : info.palette) {
        plte.insert(plte.end(), {c.r, c.g, c.b});
        trns.push_back(c.a);
      }
      chunk("PLTE", plte.data(), plte.size());
      while (!trns.empty() && trns.back() == 255) trns.pop_back();
      if (!trns.empty()) chunk("tRNS", trns.data(), trns.size());
    }
    if (!info.exif.empty()) chunk("eXIf", info.exif.data(), info.exif.size());
    // zlib header: deflate, 32 KB window, level hint "default"; checksum-valid.
    const uint8_t zhead[2] = {0x78, 0x9C};
    pendingOut_.insert(pendingOut_.end(), zhead, zhead + 2);
    startPiece();
  }

  void writeRows(const uint8_t* rows, uint32_t count) override {
    const size_t srcRow = info_.rowBytes();
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* src = rows + i * srcRow;
      if (bitDepth_ < 8) {
        pack(src);
        src = packed_.data();
      }
      raw_.insert(raw_.end(), src, src + rowBytes_);
      if (raw_.size() >= kPiece) flushPiece(false);
    }
  }

  void finish() override {
    flushPiece(true);
    while (!jobs_.empty()) drainOne();
    uint8_t trailer[4];
    put32(trailer, adler_);
    pendingOut_.insert(pendingOut_.end(), trailer, trailer + 4);
    flushIdat();
    chunk("IEND", nullptr, 0);
  }

 private:
  void chunk(const char* type, const uint8_t* data, size_t n) {
    if (n > 0x7fffffffu) throw WriteError("PNG chunk too large");
    uint8_t head[8];
    put32(head, uint32_t(n));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (n) crc = crc32(crc, data, uInt(n));
    uint8_t tail[4];
    put32(tail, uint32_t(crc));
    out_.write(head, 8);
    out_.write(data, n);
    out_.write(tail, 4);
  }

  // PNG only allows a profile whose colour space matches the pixels (a grey
  // JPG may carry an RGB profile); a mismatched one is left out.
  bool iccFits() const {
    if (info_.icc.size() < 132) return false;
    const bool gray = info_.format == PixelFormat::Gray || info_.format == PixelFormat::GrayAlpha;
    return std::memcmp(&info_.icc[16], gray ? "GRAY" : "RGB ", 4) == 0;
  }

  void writeIcc() {
    uLongf bound = compressBound(uLong(info_.icc.size()));
    std::vector<uint8_t> body(13 + bound);
    std::memcpy(body.data(), "ICC profile\0\0", 13);  // name, NUL, method 0
    if (compress2(body.data() + 13, &bound, info_.icc.data(), uLong(info_.icc.size()), 9) != Z_OK)
      throw WriteError("Cannot compress the ICC profile");
    body.resize(13 + bound);
    chunk("iCCP", body.data(), body.size());
  }

  void pack(const uint8_t* src) {
    packed_.assign(rowBytes_, 0);
    const unsigned perByte = 8 / bitDepth_;
    for (uint32_t x = 0; x < info_.width; ++x) {
      unsigned shift = 8 - bitDepth_ * (x % perByte + 1);
      packed_[x / perByte] |= uint8_t((src[x] & ((1u << bitDepth_) - 1)) << shift);
    }
  }

  // Filters row @p cur (with @p up above it) by @p type into @p out, which
  // receives the type byte and then the filtered bytes.
  void filterRow(int type, const uint8_t* cur, const uint8_t* up, uint8_t* out) {
    filterRow(type, cur, up, out, rowBytes_);
  }

  // Filters the first @p n bytes of a row (the trials look at prefixes).
  void filterRow(int type, const uint8_t* cur, const uint8_t* up, uint8_t* out, size_t n) {
    const size_t bpp = bpp_;
    if (type == kPerRow) {
      // Each row takes the filter whose output has the smallest sum of
      // magnitudes, the classic heuristic; it wins on detailed photos.
      trialRow_.resize(n + 1);
      uint64_t best = UINT64_MAX;
      for (int f = 1; f <= 4; ++f) {
        filterRow(f, cur, up, trialRow_.data(), n);
        uint64_t sum = 0;
        for (size_t i = 1; i <= n; ++i) sum += uint64_t(int8_t(trialRow_[i]) < 0 ? -int(int8_t(trialRow_[i])) : int8_t(trialRow_[i]));
        if (sum < best) {
          best = sum;
          std::memcpy(out, trialRow_.data(), n + 1);
        }
      }
      return;
    }
    *out++ = uint8_t(type);
    switch (type) {
      case 0: std::memcpy(out, cur, n); break;
      case 1:
        for (size_t i = 0; i < n; ++i) out[i] = uint8_t(cur[i] - (i >= bpp ? cur[i - bpp] : 0));
        break;
      case 2:
        for (size_t i = 0; i < n; ++i) out[i] = uint8_t(cur[i] - up[i]);
        break;
      case 3:
        for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(cur[i] - up[i] / 2);
        for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(cur[i] - ((cur[i - bpp] + up[i]) >> 1));
        break;
      default:
        for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(cur[i] - up[i]);
        for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(cur[i] - paeth(cur[i - bpp], up[i], up[i - bpp]));
    }
  }

  // Picks the filtering of a whole piece by deflating a sample of its rows
  // each way at the fastest level: one filter for every row, or the per-row
  // heuristic. The heuristic alone often picks Paeth where Up or Average
  // compress better.
  int chooseFilter(size_t rows) {
    // Rows wider than 16 KB are judged on their first 16 KB.
    const size_t len = std::min(rowBytes_, size_t(16) << 10), line = len + 1;
    // About 24 KB of sample per candidate keeps the trials a small part of
    // the work however wide the rows are.
    const size_t wanted = std::clamp<size_t>((24u << 10) / line, 4, 48);
    const size_t step = std::max<size_t>(1, rows / wanted);
    size_t best = SIZE_MAX;
    int bestType = 4;
    // Sub alone never wins on photographs, so it is not tried.
    for (int type = 2; type <= kPerRow; ++type) {
      sample_.clear();
      // Sampling starts inside the piece: the image's first row has only
      // zeros above it, where Sub always wins and would skew the choice.
      for (size_t r = step / 2 + (rows > 1); r < rows; r += step) {
        const uint8_t* cur = raw_.data() + r * rowBytes_;
        const uint8_t* up = r ? cur - rowBytes_ : prev_.data();
        sample_.resize(sample_.size() + line);
        filterRow(type, cur, up, sample_.data() + sample_.size() - line, len);
      }
      const size_t size = trialSize();
      if (size < best) {
        best = size;
        bestType = type;
      }
    }
    return bestType;
  }

  // Deflated size of sample_, with the writer's own strategy at a cheaper
  // level so the ranking matches the real compression.
  size_t trialSize() {
    if (!trial_) {
      trial_.reset(new z_stream{});
      if (deflateInit2(trial_.get(), kTrialLevel, Z_DEFLATED, -15, 8, strategy_) != Z_OK) {
        trial_.reset();
        return sample_.size();
      }
    } else {
      deflateReset(trial_.get());
    }
    trialOut_.resize(deflateBound(trial_.get(), uLong(sample_.size())));
    trial_->next_in = sample_.data();
    trial_->avail_in = uInt(sample_.size());
    trial_->next_out = trialOut_.data();
    trial_->avail_out = uInt(trialOut_.size());
    deflate(trial_.get(), Z_FINISH);
    return trialOut_.size() - trial_->avail_out;
  }

  void flushPiece(bool last) {
    const size_t rows = raw_.size() / rowBytes_;
    const int type = filterRows_ && rows ? chooseFilter(rows) : 0;
    const size_t line = rowBytes_ + 1, start = piece_.data.size();
    piece_.data.resize(start + rows * line);
    for (size_t r = 0; r < rows; ++r) {
      const uint8_t* cur = raw_.data() + r * rowBytes_;
      filterRow(type, cur, r ? cur - rowBytes_ : prev_.data(), piece_.data.data() + start + r * line);
    }
    adler_ = adler32_z(adler_, piece_.data.data() + start, rows * line);
    if (rows) std::memcpy(prev_.data(), raw_.data() + (rows - 1) * rowBytes_, rowBytes_);
    raw_.clear();
    piece_.last = last;
    launch();
    if (!last) startPiece();
  }

  void startPiece() {
    piece_ = Piece{};
    piece_.data.reserve(kPiece + kPiece / rowBytes_ + kWindow + rowBytes_ + 2);
    piece_.data.insert(piece_.data.end(), window_.begin(), window_.end());
    piece_.dictBytes = window_.size();
  }

  void launch() {
    const size_t total = piece_.data.size();
    const size_t keep = std::min(kWindow, total);
    window_.assign(piece_.data.end() - ptrdiff_t(keep), piece_.data.end());
    auto job = std::make_shared<Piece>(std::move(piece_));
    int level = level_, strategy = strategy_;
    const bool own = ownDeflate_;
    jobs_.push_back(std::async(std::launch::async, [job, level, strategy, own] {
      // Positions are 32-bit in PieceDeflater; a piece that big (one huge
      // row) goes to zlib.
      return own && job->data.size() < (size_t(1) << 30) ? PieceDeflater(kMinMatch, kChain, kNice).run(*job)
                                                         : deflatePiece(*job, level, strategy);
    }));
    // Two in flight keep both cores busy without hoarding memory.
    while (jobs_.size() > 2) drainOne();
  }

  void drainOne() {
    std::vector<uint8_t> z = jobs_.front().get();
    jobs_.pop_front();
    pendingOut_.insert(pendingOut_.end(), z.begin(), z.end());
    if (pendingOut_.size() >= (1u << 18)) flushIdat();
  }

  void flushIdat() {
    if (pendingOut_.empty()) return;
    chunk("IDAT", pendingOut_.data(), pendingOut_.size());
    pendingOut_.clear();
  }

  AtomicOutputFile& out_;
  ImageInfo info_;
  unsigned bitDepth_ = 8;
  size_t bpp_ = 1, rowBytes_ = 0;
  bool filterRows_ = true, ownDeflate_ = false;
  int strategy_ = Z_DEFAULT_STRATEGY, level_ = kLevel;
  std::vector<uint8_t> trialRow_, prev_, raw_, packed_, sample_, trialOut_, window_, pendingOut_;
  Piece piece_;
  std::deque<std::future<std::vector<uint8_t>>> jobs_;
  struct ZEnd {
    void operator()(z_stream* z) const {
      deflateEnd(z);
      delete z;
    }
  };
  std::unique_ptr<z_stream, ZEnd> trial_;
  uLong adler_ = adler32(0, nullptr, 0);
};

}  // namespace

std::unique_ptr<ImageWriter> createPngWriter(AtomicOutputFile& out, const ImageInfo& info) {
  return std::make_unique<PngWriter>(out, info);
}

}  // namespace pixmorph
