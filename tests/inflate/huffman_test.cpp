// The table builder: results, root sizes and table shapes, and that every code of
// random complete and incomplete codes resolves to its symbol.
#include <algorithm>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "inflate/huffman.h"
#include "inflate/inflate.h"
#include "tests/inflate/test_util.h"

namespace inflatetest {
namespace {

const SymbolLists kLengths = {LengthBase, LengthExtra, kLengthSymbols};
const SymbolLists kDistances = {DistanceBase, DistanceExtra, kDistanceSymbols};

// A build with its tables released at the end of the test.
struct Built {
  BuildResult result = BuildResult::kNoMemory;
  HuffmanTable root = nullptr;
  TableChain chain = nullptr;
  int32_t bits = 0;
  Built() = default;
  Built(const Built&) = delete;
  ~Built() { FreeHuffmanTable(chain); }

  int Allocations() const {
    int n = 0;
    for (HuffmanEntry* t = chain; t; t = (t - 1)->Next) ++n;
    return n;
  }
};

void Build(Built& b, const std::vector<uint16_t>& lengths, uint16_t s, const SymbolLists* lists, int32_t bits) {
  b.bits = bits;
  b.root = reinterpret_cast<HuffmanTable>(&b);  // a sentinel: must be replaced or kept
  b.result = BuildHuffmanTable(lengths.data(), static_cast<uint16_t>(lengths.size()), s, lists, b.root,
                               b.chain, b.bits);
}

std::vector<uint16_t> Lengths(std::vector<uint8_t> l) { return std::vector<uint16_t>(l.begin(), l.end()); }

// Walks the tables along `code` (canonical, most significant bit first) as the decoder
// does; returns the final entry and the bits it took in all.
std::pair<HuffmanEntry, int> Walk(HuffmanTable root, int rootBits, uint32_t code, int length) {
  uint64_t stream = 0;  // the code's bits in stream order, first bit least significant
  for (int i = 0; i < length; ++i) stream |= static_cast<uint64_t>((code >> (length - 1 - i)) & 1) << i;
  const HuffmanEntry* e = &root[stream & ((1u << rootBits) - 1)];
  int used = 0;
  while (e->Op > kOpLiteral && e->Op != kOpInvalid) {
    used += e->Bits;
    stream >>= e->Bits;
    e = &e->Next[stream & ((1u << (e->Op - kOpLiteral)) - 1)];
  }
  return {*e, used + e->Bits};
}

TEST(HuffmanBuild, FixedLiteralCodeShape) {
  Built b;
  Build(b, Lengths(FixedLiteralLengths()), 257, &kLengths, 7);
  ASSERT_EQ(b.result, BuildResult::kComplete);
  EXPECT_EQ(b.bits, 7);
  std::map<int, int> byOp;
  for (int i = 0; i < 128; ++i) byOp[b.root[i].Op]++;
  int direct = 0;
  for (auto [op, n] : byOp)
    if (op <= kOpLiteral) direct += n;
  EXPECT_EQ(direct, 24);                  // end of block and length symbols 257-279
  EXPECT_EQ(byOp[kOpLiteral + 1], 76);    // 1-bit sub-tables of the 8-bit codes
  EXPECT_EQ(byOp[kOpLiteral + 2], 28);    // 2-bit sub-tables of the 9-bit codes
  EXPECT_EQ(b.Allocations(), 105);
}

TEST(HuffmanBuild, FixedDistanceCodeIsIncomplete) {
  Built b;
  Build(b, Lengths(FixedDistanceLengths()), 0, &kDistances, 5);
  ASSERT_EQ(b.result, BuildResult::kIncomplete);
  EXPECT_EQ(b.bits, 5);
  EXPECT_EQ(b.Allocations(), 1);
  // The codes of symbols 30 and 31 (11110 and 11111) are invalid.
  EXPECT_EQ(Walk(b.root, 5, 30, 5).first.Op, kOpInvalid);
  EXPECT_EQ(Walk(b.root, 5, 31, 5).first.Op, kOpInvalid);
  EXPECT_EQ(Walk(b.root, 5, 29, 5).first.Value, 24577);
}

struct ShapeCase {
  const char* name;
  std::vector<uint8_t> lengths;
  int32_t requested;
  BuildResult result;
  int32_t bits;         // root size returned
  int invalidEntries;   // root entries with Op 99
};

const ShapeCase kShapes[] = {
    {"SingleOneBitCode", {0, 0, 1}, 7, BuildResult::kComplete, 1, 1},
    {"OneAndTwoBits", {1, 2}, 7, BuildResult::kIncomplete, 2, 1},
    {"ThreeOneBitCodes", {1, 1, 1}, 7, BuildResult::kOversubscribed, -1, 0},
    {"AllZero", {0, 0, 0, 0}, 7, BuildResult::kComplete, 0, 0},
    // Beyond what deflate allows: refused before the counts and symbol lists are used.
    {"MoreSymbolsThan288", std::vector<uint8_t>(289, 9), 9, BuildResult::kOversubscribed, -1, 0},
    {"LengthAbove16", {17, 1}, 7, BuildResult::kOversubscribed, -1, 0},
    {"GrowsToShortestCode", {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 2, BuildResult::kComplete, 4, 0},
    {"ShrinksToLongestCode", {1, 2, 3, 3}, 9, BuildResult::kComplete, 3, 0},
    // 64 codes of 7 bits and 128 of 8: too few 7-bit codes to fill a 7-bit root, so
    // the root takes one bit more than asked.
    {"OneAboveRequested", [] {
       std::vector<uint8_t> l(192, 8);
       for (int i = 0; i < 64; ++i) l[static_cast<size_t>(i)] = 7;
       return l;
     }(), 7, BuildResult::kComplete, 8, 0},
};

class BuilderShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(BuilderShapes, ResultAndRootSize) {
  const ShapeCase& c = GetParam();
  plat::testing::Reset();
  Built b;
  Build(b, Lengths(c.lengths), static_cast<uint16_t>(c.lengths.size()), nullptr, c.requested);
  EXPECT_EQ(b.result, c.result);
  if (c.result == BuildResult::kOversubscribed) {
    EXPECT_EQ(b.root, reinterpret_cast<HuffmanTable>(&b));  // untouched
    EXPECT_EQ(plat::testing::Recorded().allocations, 0);
    return;
  }
  EXPECT_EQ(b.bits, c.bits);
  if (c.bits == 0) {
    EXPECT_EQ(b.root, nullptr);
    EXPECT_EQ(b.Allocations(), 0);
    return;
  }
  int invalid = 0;
  for (int i = 0; i < (1 << b.bits); ++i) invalid += b.root[i].Op == kOpInvalid;
  EXPECT_EQ(invalid, c.invalidEntries);
}

INSTANTIATE_TEST_SUITE_P(Shapes, BuilderShapes, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<ShapeCase>& info) { return info.param.name; });

TEST(HuffmanBuild, SingleCodeOtherPatternKeepsTheSymbolValue) {
  // Symbol 18 alone with one bit, as a code-length code may be: the pattern 1 is invalid
  // but carries 18, which is why both patterns read as 18 in the code-length loop.
  std::vector<uint16_t> lengths(19, 0);
  lengths[18] = 1;
  Built b;
  Build(b, lengths, 19, nullptr, 7);
  ASSERT_EQ(b.result, BuildResult::kComplete);
  ASSERT_EQ(b.bits, 1);
  EXPECT_EQ(b.root[0].Op, kOpLiteral);
  EXPECT_EQ(b.root[0].Value, 18);
  EXPECT_EQ(b.root[1].Op, kOpInvalid);
  EXPECT_EQ(b.root[1].Value, 18);
}

TEST(HuffmanBuild, EndOfBlockCodeEndsAtATableBoundary) {
  // End of block (256) has 10 bits among longer codes: with a 9-bit root its code would
  // share a sub-table with 11-bit codes; the build cuts that sub-table at 1 bit.
  std::vector<uint16_t> lengths(257, 0);
  for (int i = 0; i < 255; ++i) lengths[static_cast<size_t>(i)] = 8;  // 255/256 of the space
  lengths[255] = 11;
  lengths[256] = 10;
  // 1/256 left: 10 bits take half, the 11-bit code a quarter; incomplete, but the shape
  // is what counts here.
  Built b;
  Build(b, lengths, 257, &kLengths, 9);
  ASSERT_NE(b.result, BuildResult::kOversubscribed);
  std::vector<HuffCode> codes = CanonicalCodes(std::vector<uint8_t>(lengths.begin(), lengths.end()));
  auto [eob, used] = Walk(b.root, b.bits, codes[256].bits, codes[256].length);
  EXPECT_EQ(eob.Op, kOpEndOfBlock);
  EXPECT_EQ(used, 10);
  EXPECT_LE(b.bits, 10);
}

// Random codes from random Huffman trees (complete) and with codes removed
// (incomplete): every symbol's canonical code resolves to it with its own length, and
// no pattern of any table leads outside the tables.
TEST(HuffmanBuild, EveryCodeResolvesToItsSymbol) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    size_t n = 2 + rng() % 287;
    // Code lengths of a random full binary tree: split random leaves, keeping depths at
    // most 15; dropping one leaf makes the code incomplete.
    std::vector<int> leaves = {1, 1};
    size_t want = 2 + rng() % (n - 1);
    for (int tries = 0; leaves.size() < want && tries < 10000; ++tries) {
      size_t i = rng() % leaves.size();
      if (leaves[i] >= 15) continue;
      int depth = ++leaves[i];
      leaves.push_back(depth);
    }
    if (round % 3 == 0) leaves.pop_back();
    std::vector<size_t> slots(n);
    for (size_t i = 0; i < n; ++i) slots[i] = i;
    std::shuffle(slots.begin(), slots.end(), rng);
    std::vector<uint8_t> lengths(n, 0);
    for (size_t i = 0; i < leaves.size(); ++i) lengths[slots[i]] = static_cast<uint8_t>(leaves[i]);

    Built b;
    int32_t requested = 5 + static_cast<int32_t>(rng() % 5);
    Build(b, Lengths(lengths), static_cast<uint16_t>(n), nullptr, requested);
    ASSERT_NE(b.result, BuildResult::kOversubscribed) << "round " << round;
    std::vector<HuffCode> codes = CanonicalCodes(lengths);
    for (size_t s = 0; s < n; ++s) {
      if (codes[s].length == 0) continue;
      auto [e, used] = Walk(b.root, b.bits, codes[s].bits, codes[s].length);
      ASSERT_EQ(e.Value, s) << "round " << round << " symbol " << s;
      ASSERT_EQ(used, codes[s].length) << "round " << round << " symbol " << s;
    }
  }
}

TEST(HuffmanBuild, MemoryFailureAtEveryAllocationReleasesTheBuild) {
  for (int failAt = 1; failAt <= 105; ++failAt) {
    plat::testing::FaultPlan plan;
    plan.allocationFailsAtCall = failAt;
    plat::testing::Install(plan);
    int64_t live = plat::testing::Recorded().liveAllocations;
    Built b;
    Build(b, Lengths(FixedLiteralLengths()), 257, &kLengths, 7);
    EXPECT_EQ(b.result, BuildResult::kNoMemory) << failAt;
    EXPECT_EQ(b.chain, nullptr);
    EXPECT_EQ(plat::testing::Recorded().liveAllocations, live) << failAt;
  }
  plat::testing::Reset();
}

}  // namespace
}  // namespace inflatetest
