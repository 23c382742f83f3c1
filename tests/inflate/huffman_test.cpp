// The table builder: every code of random complete and incomplete codes resolves to its
// symbol.
#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "inflate/huffman.h"
#include "tests/inflate/test_util.h"

namespace inflatetest {
namespace {

// A build into storage of its own, large enough for any code: at most 2^R sub-tables
// of at most 2^(15 - R) entries below a root of 2^R entries (R at most 9 here).
struct Built {
  BuildResult result = BuildResult::kOversubscribed;
  HuffmanTable root = nullptr;
  int32_t bits = 0;
  std::vector<HuffmanEntry> storage = std::vector<HuffmanEntry>((1u << 15) + (1u << 9));
};

// Every symbol plain (no symbol lists), as for literal and code-length codes.
void Build(Built& b, const std::vector<uint8_t>& codeLengths, int32_t bits) {
  std::vector<uint16_t> lengths(codeLengths.begin(), codeLengths.end());
  b.bits = bits;
  b.root = reinterpret_cast<HuffmanTable>(&b);  // a sentinel: must be replaced or kept
  TableStorage storage = {b.storage.data(), static_cast<uint32_t>(b.storage.size()), BuildResult::kIncomplete};
  uint16_t n = static_cast<uint16_t>(lengths.size());
  b.result = BuildHuffmanTable(lengths.data(), n, n, nullptr, storage, b.root, b.bits);
}

// Walks the tables along `code` (canonical, most significant bit first) as the decoder
// does; returns the final entry and the bits it took in all.
std::pair<HuffmanEntry, int> Walk(HuffmanTable root, int rootBits, uint32_t code, int length) {
  uint64_t stream = 0;  // the code's bits in stream order, first bit least significant
  for (int i = 0; i < length; ++i) stream |= static_cast<uint64_t>((code >> (length - 1 - i)) & 1) << i;
  const HuffmanEntry* e = &root[stream & ((1u << rootBits) - 1)];
  int used = 0;
  if (e->Op > kOpLiteral && e->Op != kOpInvalid) {
    used = e->Bits;
    stream >>= e->Bits;
    e = &root[e->Value + (stream & ((1u << (e->Op - kOpLiteral)) - 1))];
  }
  return {*e, used + e->Bits};
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
    Build(b, lengths, requested);
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

}  // namespace
}  // namespace inflatetest
