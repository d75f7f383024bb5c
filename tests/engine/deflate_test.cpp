// The PNG writer's DEFLATE encoders, through the piece scheduler, checked
// against zlib's own decoder: the stream must inflate to exactly the input
// (zlib also checks the Adler-32), whatever the data and however it is cut.
#include <zlib.h>

#include "ParallelDeflate.h"
#include "TestSupport.h"

namespace pmtest {
namespace {

// Noise repeating every @p period bytes: a repeat reaching back across a
// cut compresses only from the bytes a piece is primed with.
Bytes noise(size_t n, uint32_t seed, size_t period = SIZE_MAX) {
  std::mt19937 rng(seed);
  Bytes b(std::min(n, period));
  for (uint8_t& v : b) v = uint8_t(rng());
  while (b.size() < n) b.push_back(b[b.size() - period]);
  return b;
}

// Symbol k is about 1.6 times as frequent as symbol k + 1: an unlimited
// Huffman code for 24 such symbols would need codes longer than 15 bits.
Bytes skewedLiterals() {
  Bytes b;
  uint32_t count = 1;
  for (int k = 23; k >= 0; --k, count = count * 8 / 5 + 1) b.insert(b.end(), count, uint8_t(k * 7));
  std::shuffle(b.begin(), b.end(), std::mt19937(3));
  return b;
}

DeflatePolicy longMatch(int minMatch) { return {.encoder = DeflatePolicy::Encoder::LongMatch, .minMatch = minMatch}; }

// Name, input, policy, the size of the pieces the input is submitted in, the
// first block's type (0 stored, 1 fixed codes, 2 own codes; -1 any), and the
// most output allowed (repeats: unprimed pieces would each store the block again).
const std::tuple<const char*, Bytes, DeflatePolicy, size_t, int, size_t> kCases[] = {
    {"empty", {}, longMatch(6), 1 << 16, 1, SIZE_MAX},
    {"oneByte", {42}, longMatch(6), 1 << 16, 1, SIZE_MAX},
    {"longRun", Bytes(300000, 7), longMatch(8), 1 << 20, -1, SIZE_MAX},
    {"noise", noise(100000, 1), longMatch(6), 1 << 20, 0, SIZE_MAX},
    {"lengthLimit", skewedLiterals(), longMatch(8), 1 << 20, 2, SIZE_MAX},
    {"repeatsInPieces", noise(400000, 9, 20000), longMatch(6), 70000, -1, 30000},
    {"repeatsInPiecesShortMatches", noise(200000, 9, 20000), longMatch(3), 45000, -1, 30000},
    {"repeatsInPiecesZlib", noise(200000, 9, 20000), DeflatePolicy{}, 45000, -1, 30000},
    {"noiseInPieces", noise(150000, 2), longMatch(8), 40000, 0, SIZE_MAX},
};

TEST(Deflate, EveryCaseInflatesToTheInput) {
  for (const auto& [name, input, policy, pieceBytes, firstBlockType, maxOutput] : kCases) {
    SCOPED_TRACE(name);
    ParallelDeflate deflate(policy, pieceBytes);
    size_t at = 0;
    do {
      const size_t n = std::min(pieceBytes, input.size() - at);
      deflate.piece().insert(deflate.piece().end(), input.begin() + long(at), input.begin() + long(at + n));
      at += n;
      deflate.submit(at == input.size());
    } while (at < input.size());
    const Bytes& z = deflate.output();
    ASSERT_GT(z.size(), 2u);
    EXPECT_LE(z.size(), maxOutput);
    if (firstBlockType >= 0) { EXPECT_EQ((z[2] >> 1) & 3, firstBlockType); }
    Bytes back(input.size() + 1);
    uLongf n = uLongf(back.size());
    ASSERT_EQ(uncompress(back.data(), &n, z.data(), uLong(z.size())), Z_OK);
    back.resize(n);
    EXPECT_TRUE(back == input);
  }
}

}  // namespace
}  // namespace pmtest
