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

struct Case {
  const char* name;
  Bytes input;
  DeflatePolicy policy;
  size_t pieceBytes;   // the input is submitted in pieces of this size
  int firstBlockType;  // 0 stored, 1 fixed codes, 2 own codes; -1: any
  size_t maxOutput;    // repeats: unprimed pieces would each store the block again
};

const Case kCases[] = {
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

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class DeflateRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(DeflateRoundTrip, InflatesToTheInput) {
  const Case& c = GetParam();
  ParallelDeflate deflate(c.policy, c.pieceBytes);
  size_t at = 0;
  do {
    const size_t n = std::min(c.pieceBytes, c.input.size() - at);
    deflate.piece().insert(deflate.piece().end(), c.input.begin() + long(at), c.input.begin() + long(at + n));
    at += n;
    deflate.submit(at == c.input.size());
  } while (at < c.input.size());
  const Bytes& z = deflate.output();
  ASSERT_GT(z.size(), 2u);
  EXPECT_LE(z.size(), c.maxOutput);
  if (c.firstBlockType >= 0) { EXPECT_EQ((z[2] >> 1) & 3, c.firstBlockType); }
  Bytes back(c.input.size() + 1);
  uLongf n = uLongf(back.size());
  ASSERT_EQ(uncompress(back.data(), &n, z.data(), uLong(z.size())), Z_OK);
  back.resize(n);
  EXPECT_TRUE(back == c.input);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeflateRoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace pmtest
