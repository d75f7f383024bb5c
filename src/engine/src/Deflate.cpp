// The two piece encoders: zlib, and our long-match encoder.
#include "Deflate.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "Errors.h"
#include "ZStream.h"

namespace pixmorph {

namespace {

// zlib spends nearly all of its time on filtered photographs walking hash
// chains of 3-byte strings, which are extremely common there although such
// short matches rarely pay. Hashing the first minMatch bytes (up to eight)
// keeps the chains to real candidates, so a short search finds the long
// matches that matter. Blocks hold up to 32K symbols and are sent stored,
// with the fixed codes or with their own codes, whichever is smallest.
class LongMatchEncoder {
 public:
  explicit LongMatchEncoder(const DeflatePolicy& policy)
      : minMatch_(std::clamp(policy.minMatch, 3, 8)),
        chain_(std::max(policy.chain, 1)),
        nice_(std::clamp(policy.niceLength, minMatch_, kMaxMatch)) {
    head_.assign(size_t(1) << kHashBits, -1);
    prev_.assign(kWindow, -1);
  }

  std::vector<uint8_t> run(const DeflatePiece& p) {
    buf_ = p.data.data();
    n_ = p.data.size();
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
        haveNext = nextLen > len;
        if (haveNext) {
          literal(buf_[i]);
          ++i;
          continue;
        }
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
  static constexpr size_t kWindow = 32768;
  static constexpr size_t kMaxDist = 32767;
  static constexpr int kMaxMatch = 258;
  static constexpr int kLazyMax = 32;
  static constexpr size_t kBlockSyms = 32768;
  static constexpr uint32_t kMatchFlag = 0x80000000u;

  uint32_t hashAt(size_t i) const {
    uint64_t v;
    std::memcpy(&v, buf_ + i, 8);
    v <<= 8 * (8 - minMatch_);
    return uint32_t((v * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
  }

  void insert(size_t i) {
    if (i + 8 > n_) return;
    const uint32_t h = hashAt(i);
    prev_[i & (kWindow - 1)] = head_[h];
    head_[h] = int32_t(i);
  }

  void find(size_t i, int& bestLen, int& bestDist) {
    bestLen = 0;
    bestDist = 0;
    if (i + 8 > n_) return;
    const size_t maxLen = std::min<size_t>(kMaxMatch, n_ - i);
    int32_t cand = head_[hashAt(i)];
    int chain = chain_;
    const uint8_t* s = buf_ + i;
    while (cand >= 0 && i - size_t(cand) <= kMaxDist && chain-- > 0) {
      const uint8_t* m = buf_ + cand;
      if (bestLen == 0 || (size_t(bestLen) < maxLen && m[bestLen] == s[bestLen])) {
        const size_t len = commonPrefix(s, m, maxLen);
        if (int(len) > bestLen) {
          bestLen = int(len);
          bestDist = int(i - size_t(cand));
          if (bestLen >= nice_ || size_t(bestLen) >= maxLen) break;
        }
      }
      const int32_t next = prev_[size_t(cand) & (kWindow - 1)];
      if (next >= cand) break;
      cand = next;
    }
  }

  static size_t commonPrefix(const uint8_t* s, const uint8_t* m, size_t maxLen) {
    size_t len = 0;
    for (; len + 8 <= maxLen; len += 8) {
      uint64_t a, b;
      std::memcpy(&a, s + len, 8);
      std::memcpy(&b, m + len, 8);
      if (a != b) return len + size_t(__builtin_ctzll(a ^ b) >> 3);
    }
    while (len < maxLen && s[len] == m[len]) ++len;
    return len;
  }

  // Length and distance codes with their extra bits (RFC 1951, 3.2.5).
  static int lenCode(int len, int& extraBits, int& extra) {
    const int l = len - 3;
    if (l < 8) return extraBits = 0, extra = 0, 257 + l;
    if (len == kMaxMatch) return extraBits = 0, extra = 0, 285;
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

  static int lenExtraBits(size_t code) { return code >= 265 && code < 285 ? int(code - 261) / 4 : 0; }
  static int distExtraBits(size_t code) { return code >= 4 ? int(code) / 2 - 1 : 0; }

  void literal(uint8_t c) {
    syms_.push_back(c);
    ++pos_;
    if (syms_.size() >= kBlockSyms) block(false);
  }

  void match(int len, int dist) {
    syms_.push_back(uint32_t(len) << 16 | uint32_t(dist) | kMatchFlag);
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
        parent[size_t(a.second)] = parent[size_t(b.second)] = next;
        heap.push_back({a.first + b.first, next++});
        std::push_heap(heap.begin(), heap.end(), cmp);
      }
      lens.assign(n, 0);
      int maxLen = 0;
      for (size_t s = 0; s < n; ++s) {
        if (!freq[s]) continue;
        int d = 0;
        for (int x = int(s); parent[size_t(x)] >= 0; x = parent[size_t(x)]) ++d;
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

  // Bits the block's symbols take with lengths @p ll and @p dl.
  uint64_t symbolBits(const std::vector<uint8_t>& ll, const std::vector<uint8_t>& dl) const {
    uint64_t bits = 0;
    for (size_t c = 0; c < lf_.size(); ++c) bits += uint64_t(lf_[c]) * uint64_t(ll[c] + lenExtraBits(c));
    for (size_t c = 0; c < df_.size(); ++c) bits += uint64_t(df_[c]) * uint64_t(dl[c] + distExtraBits(c));
    return bits;
  }

  void block(bool final) {
    lf_.assign(286, 0);
    df_.assign(30, 0);
    for (uint32_t s : syms_) {
      if (s & kMatchFlag) {
        int eb, ev;
        ++lf_[size_t(lenCode(int((s >> 16) & 0x1FF), eb, ev))];
        ++df_[size_t(distCode(int(s & 0xFFFF), eb, ev))];
      } else {
        ++lf_[s];
      }
    }
    lf_[256] = 1;

    // The block's own codes and the header that describes them.
    std::vector<uint8_t> ll, dl;
    buildLengths(lf_, 15, ll);
    buildLengths(df_, 15, dl);
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
        rle.push_back(r >= 11 ? std::pair<uint8_t, uint8_t>{18, uint8_t(r - 11)}
                              : std::pair<uint8_t, uint8_t>{17, uint8_t(r - 3)});
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
    static const int rleExtraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
    size_t hclen = 19;
    while (hclen > 4 && !cl[order[hclen - 1]]) --hclen;
    uint64_t dynamicBits = 17 + 3 * hclen + symbolBits(ll, dl);
    for (auto& e : rle) dynamicBits += uint64_t(cl[e.first] + rleExtraBits[e.first]);

    // The fixed codes (RFC 1951, 3.2.6) save the header on short blocks.
    static const std::vector<uint8_t> fixedLit = [] {
      std::vector<uint8_t> l(288, 8);
      std::fill(l.begin() + 144, l.begin() + 256, 9);
      std::fill(l.begin() + 256, l.begin() + 280, 7);
      return l;
    }();
    static const std::vector<uint8_t> fixedDist(30, 5);
    const uint64_t fixedBits = 3 + symbolBits(fixedLit, fixedDist);

    // Data that does not compress (noise) is cheaper stored as it is.
    const size_t raw = pos_ - blockStart_;
    const uint64_t storedBits = uint64_t(raw) * 8 + 42 * (raw / 65535 + 1);
    if (storedBits < std::min(dynamicBits, fixedBits)) {
      stored(final);
      return;
    }
    putBits(final ? 1 : 0, 1);
    if (fixedBits <= dynamicBits) {
      putBits(1, 2);
      symbols(fixedLit, fixedDist);
      return;
    }
    putBits(2, 2);
    putBits(uint32_t(hlit - 257), 5);
    putBits(uint32_t(hdist - 1), 5);
    putBits(uint32_t(hclen - 4), 4);
    for (size_t k = 0; k < hclen; ++k) putBits(cl[order[k]], 3);
    std::vector<uint16_t> cc;
    codesFor(cl, cc);
    for (auto& e : rle) {
      putBits(cc[e.first], cl[e.first]);
      if (rleExtraBits[e.first]) putBits(e.second, rleExtraBits[e.first]);
    }
    symbols(ll, dl);
  }

  // Sends the block's symbols and its end with lengths @p ll and @p dl.
  void symbols(const std::vector<uint8_t>& ll, const std::vector<uint8_t>& dl) {
    std::vector<uint16_t> lc, dc;
    codesFor(ll, lc);
    codesFor(dl, dc);
    for (uint32_t s : syms_) {
      if (s & kMatchFlag) {
        int eb, ev;
        const size_t lcode = size_t(lenCode(int((s >> 16) & 0x1FF), eb, ev));
        putBits(lc[lcode], ll[lcode]);
        if (eb) putBits(uint32_t(ev), eb);
        const size_t dcode = size_t(distCode(int(s & 0xFFFF), eb, ev));
        putBits(dc[dcode], dl[dcode]);
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
    if (nbits_ >= 32) {
      const uint8_t word[4] = {uint8_t(bits_), uint8_t(bits_ >> 8), uint8_t(bits_ >> 16), uint8_t(bits_ >> 24)};
      out_.insert(out_.end(), word, word + 4);
      bits_ >>= 32;
      nbits_ -= 32;
    }
  }

  // Pads to a byte boundary and sends every pending whole byte.
  void alignByte() {
    nbits_ = (nbits_ + 7) & ~7;
    for (; nbits_ > 0; nbits_ -= 8) {
      out_.push_back(uint8_t(bits_));
      bits_ >>= 8;
    }
    bits_ = 0;
    nbits_ = 0;
  }

  const int minMatch_, chain_, nice_;
  const uint8_t* buf_ = nullptr;
  size_t n_ = 0, pos_ = 0, blockStart_ = 0;  // pos_: end of the symbols so far
  std::vector<int32_t> head_, prev_;
  std::vector<uint32_t> syms_, lf_, df_;
  std::vector<uint8_t> out_;
  uint64_t bits_ = 0;
  int nbits_ = 0;
};

std::vector<uint8_t> zlibPiece(const DeflatePiece& p, int level, int strategy) {
  DeflateStream stream(level, 9, strategy);
  z_stream& z = *stream.get();
  if (p.dictBytes) deflateSetDictionary(&z, p.data.data(), uInt(p.dictBytes));
  z.next_in = const_cast<Bytef*>(p.data.data() + p.dictBytes);
  z.avail_in = uInt(p.data.size() - p.dictBytes);
  // The output grows as it comes, a step at a time: a piece of one enormous
  // row would otherwise reserve its whole worst-case size up front. zlib
  // counts each step's room in 32 bits. The bytes produced are counted and
  // the output cut to them once (a cut by zlib's leftover room reads, to
  // GCC, as a possible growth beyond any object size).
  const uInt step = uInt(std::min<size_t>(std::max<size_t>(size_t(64) << 10, (p.data.size() - p.dictBytes) / 4),
                                          std::numeric_limits<uInt>::max()));
  std::vector<uint8_t> out;
  size_t produced = 0;
  const int flush = p.last ? Z_FINISH : Z_SYNC_FLUSH;
  int rc = Z_OK;
  do {
    out.resize(produced + step);
    z.next_out = out.data() + produced;
    z.avail_out = step;
    rc = deflate(&z, flush);
    produced += step - z.avail_out;
  } while (rc == Z_OK && (z.avail_out == 0 || z.avail_in > 0));
  const bool ok = p.last ? rc == Z_STREAM_END : (rc == Z_OK || rc == Z_BUF_ERROR) && z.avail_in == 0;
  if (!ok) throw WriteError("PNG compression failed");
  out.resize(produced);
  return out;
}

}  // namespace

std::vector<uint8_t> deflatePiece(const DeflatePiece& piece, const DeflatePolicy& policy) {
  // LongMatchEncoder keeps 32-bit positions; a piece that big (one huge
  // row) goes to zlib.
  const bool fitsLongMatch = piece.data.size() < (size_t(1) << 30);
  if (policy.encoder == DeflatePolicy::Encoder::LongMatch && fitsLongMatch)
    return LongMatchEncoder(policy).run(piece);
  return zlibPiece(piece, policy.zlibLevel, policy.zlibStrategy);
}

}  // namespace pixmorph
