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
  // Stale entries of an earlier code, which a build must not leave where it reads.
  std::vector<HuffmanEntry> storage = std::vector<HuffmanEntry>((1u << 15) + (1u << 9), {kOpLiteral, 1, 7});
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

// Walks the tables along `stream` (the next bits, first bit least significant) as the
// decoder does; returns the final entry and the bits it took in all.
std::pair<HuffmanEntry, int> Walk(HuffmanTable root, int rootBits, uint32_t stream) {
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
// (incomplete): each of the 2^15 bit patterns resolves to the symbol whose canonical
// code begins it, taking that code's length, or to an invalid entry when no code does.
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
    std::vector<int> owner(1u << 15, -1);  // the symbol whose code begins each pattern
    for (size_t sym = 0; sym < n; ++sym) {
      const HuffCode& c = codes[sym];
      uint32_t stream = 0;  // the code's bits in stream order
      for (int i = 0; i < c.length; ++i) stream |= ((c.bits >> (c.length - 1 - i)) & 1) << i;
      for (uint32_t x = stream; c.length != 0 && x < owner.size(); x += 1u << c.length) owner[x] = static_cast<int>(sym);
    }
    for (uint32_t x = 0; x < owner.size(); ++x) {
      auto [e, used] = Walk(b.root, b.bits, x);
      int s = owner[x];
      bool right = s < 0 ? e.Op == kOpInvalid
                         : (e.Op == kOpLiteral || e.Op == kOpEndOfBlock) && e.Value == s &&
                               used == codes[static_cast<size_t>(s)].length;
      ASSERT_TRUE(right) << "round " << round << " pattern " << x << " symbol " << s << " got " << e.Value;
    }
  }
}

}  // namespace
}  // namespace inflatetest
