// The PNG writer's DEFLATE encoders, through the piece scheduler, checked
// against zlib's own decoder: the stream must inflate to exactly the input
// (zlib also checks the Adler-32), whatever the data and however it is cut.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <random>
#include <vector>

#include "ParallelDeflate.h"

namespace pmtest {
namespace {

using pixmorph::DeflatePolicy;
using Bytes = std::vector<uint8_t>;

Bytes noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (uint8_t& v : b) v = uint8_t(rng());
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

// A block of noise over and over: only matches reaching back across a cut,
// into the bytes a piece is primed with, make it compress.
Bytes repeatedNoise(size_t n) {
  const Bytes block = noise(20000, 9);
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = block[i % block.size()];
  return b;
}

DeflatePolicy longMatch(int minMatch) { return {.encoder = DeflatePolicy::Encoder::LongMatch, .minMatch = minMatch}; }

struct Case {
  const char* name;
  std::function<Bytes()> input;
  DeflatePolicy policy;
  size_t pieceBytes;  // the input is submitted in pieces of this size
  int firstBlockType;  // 0 stored, 1 fixed codes, 2 own codes; -1: any
};

const Case kCases[] = {
    {"empty", [] { return Bytes{}; }, longMatch(6), 1 << 16, 1},
    {"oneByte", [] { return Bytes{42}; }, longMatch(6), 1 << 16, 1},
    {"longRun", [] { return Bytes(300000, 7); }, longMatch(8), 1 << 20, -1},
    {"noise", [] { return noise(100000, 1); }, longMatch(6), 1 << 20, 0},
    {"lengthLimit", skewedLiterals, longMatch(8), 1 << 20, 2},
    {"repeatsInPieces", [] { return repeatedNoise(400000); }, longMatch(6), 70000, -1},
    {"repeatsInPiecesShortMatches", [] { return repeatedNoise(200000); }, longMatch(3), 45000, -1},
    {"repeatsInPiecesZlib", [] { return repeatedNoise(200000); }, DeflatePolicy{}, 45000, -1},
    {"noiseInPieces", [] { return noise(150000, 2); }, longMatch(8), 40000, 0},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class DeflateRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(DeflateRoundTrip, InflatesToTheInput) {
  const Case& c = GetParam();
  const Bytes input = c.input();
  pixmorph::ParallelDeflate deflate(c.policy, c.pieceBytes);
  size_t at = 0;
  do {
    const size_t n = std::min(c.pieceBytes, input.size() - at);
    deflate.piece().insert(deflate.piece().end(), input.begin() + ptrdiff_t(at), input.begin() + ptrdiff_t(at + n));
    at += n;
    deflate.submit(at == input.size());
  } while (at < input.size());
  const Bytes& z = deflate.output();
  ASSERT_GT(z.size(), 2u);
  if (c.firstBlockType >= 0) { EXPECT_EQ((z[2] >> 1) & 3, c.firstBlockType); }

  Bytes back(input.size() + 1);
  uLongf n = uLongf(back.size());
  ASSERT_EQ(uncompress(back.data(), &n, z.data(), uLong(z.size())), Z_OK);
  back.resize(n);
  EXPECT_TRUE(back == input);
  // Unprimed pieces would each store the noise block again.
  if (std::string(c.name).starts_with("repeats")) { EXPECT_LT(z.size(), 30000u); }
}

INSTANTIATE_TEST_SUITE_P(Cases, DeflateRoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace pmtest
