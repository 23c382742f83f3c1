// Hand-built deflate streams with known outcomes: block kinds, code edge cases, damaged
// and cut streams. Each case says in its comment what its stream encodes.
#include <algorithm>
#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/inflate/test_util.h"

namespace inflatetest {
namespace {

using W = DeflateWriter;

struct StreamCase {
  const char* name;
  std::function<Bytes()> stream;
  InflateResult result;
  const char* output;
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

// A code-length code with every symbol 0-18: 0-12 in 4 bits, 13-18 in 5 bits.
std::vector<uint8_t> AllSymbolsCodeLengthCode() {
  std::vector<uint8_t> cl(19, 4);
  for (int s = 13; s < 19; ++s) cl[static_cast<size_t>(s)] = 5;
  return cl;
}

// Literal/length lengths where only the given symbols have codes.
std::vector<uint8_t> LiteralLengths(size_t nl, std::initializer_list<std::pair<int, int>> codes) {
  std::vector<uint8_t> l(nl, 0);
  for (auto [symbol, length] : codes) l[static_cast<size_t>(symbol)] = static_cast<uint8_t>(length);
  return l;
}

// A complete literal/length code over 'a' (1), 'b' (2), end of block (3), and symbols
// 257 (length 3) and 285 (length 258), both 4 bits long.
std::vector<uint8_t> SmallLiteralCode(size_t nl = 286) {
  return LiteralLengths(nl, {{'a', 1}, {'b', 2}, {256, 3}, {257, 4}, {285, 4}});
}

// A complete code of 'a' (1 bit), 'b' and end of block (2 bits each), nl = 257.
std::vector<uint8_t> TinyLiteralCode() { return LiteralLengths(257, {{'a', 1}, {'b', 2}, {256, 2}}); }

// A dynamic block header with nl = 288 and nd = 32 (every length given): 'a', 'b', end
// of block, 257 and 287 have codes, and all 32 distance symbols.
W MaximalCountsHeader() {
  auto lit = LiteralLengths(288, {{'a', 2}, {'b', 2}, {256, 2}, {257, 3}, {287, 3}});
  return W().BlockHeader(true, 2).DynamicHeaderFor(lit, std::vector<uint8_t>(32, 5));
}

// A dynamic block "a" with nl = 257 ('a' and end of block 1 bit each) and nd = 20 (all
// 0), whose code lengths end with a symbol 18 of `lastRun` zeros for the 20 distances.
Bytes Repeat18Stream(int lastRun) {
  auto lit = LiteralLengths(257, {{'a', 1}, {256, 1}});
  std::vector<LengthItem> items = {{18, 97 - 11}, {1}, {18, 138 - 11}, {18, 20 - 11}, {1}, {18, lastRun - 11}};
  return W().BlockHeader(true, 2).DynamicHeader(257, 20, AllSymbolsCodeLengthCode(), items, lit,
                                                std::vector<uint8_t>(20, 0))
      .Literal('a').EndOfBlock().Finish();
}

// The stream of a writer that ends on a byte boundary, so no padding bit follows.
Bytes Exact(const W& w) {
  if (w.BitLength() % 8 != 0) throw std::logic_error("stream does not end on a byte boundary");
  return w.Finish();
}

const StreamCase kCases[] = {
    // No compressed byte at all: the first header reads as a final block of type 3.
    {"EmptyEntry", [] { return Bytes{}; }, InflateResult::kOk, ""},
    // A stored block of length 0, then a fixed block "x" starting at the next byte.
    {"StoredEmptyThenFixed",
     [] { return W().Stored(false, {}).BlockHeader(true, 1).UseFixedCodes().Literal('x').EndOfBlock().Finish(); },
     InflateResult::kOk, "x"},
    // A stored block whose complement field equals its length 0x1234.
    {"StoredBadComplement",
     [] {
       W w;
       w.StoredHeader(true, 0x1234, 0x1234);
       for (int i = 0; i < 0x1234; ++i) w.Bits('z', 8);
       return w.Finish();
     },
     InflateResult::kDataError, ""},
    // A non-final type-3 block (3 bits), then a fixed block "y" right after it.
    {"NonFinalType3",
     [] { return W().BlockHeader(false, 3).BlockHeader(true, 1).UseFixedCodes().Literal('y').EndOfBlock().Finish(); },
     InflateResult::kOk, "y"},
    // A final type-3 block followed by a stored block that must not be decoded.
    {"FinalType3EndsTheRun", [] { return W().BlockHeader(true, 3).Stored(true, sfxtest::ToBytes("no")).Finish(); },
     InflateResult::kOk, ""},
    // Literal/length symbol 286, which the fixed code has a code for but deflate not.
    {"FixedSymbol286", [] { return W().BlockHeader(true, 1).UseFixedCodes().Literal('q').Literal(286).Finish(); },
     InflateResult::kDataError, ""},
    // Distance symbol 30 after a valid length symbol.
    {"FixedDistance30",
     [] { return W().BlockHeader(true, 1).UseFixedCodes().Literal('q').Literal(257).DistanceSymbol(30).Finish(); },
     InflateResult::kDataError, ""},
    // The nl = 288 / nd = 32 header; the body uses neither 286/287 nor distance 30/31:
    // "ab" and a match of 3 at distance 2.
    {"DynamicMaximalCounts",
     [] { return MaximalCountsHeader().Literal('a').Literal('b').Match(3, 2).EndOfBlock().Finish(); },
     InflateResult::kOk, "ababa"},
    // The same header; a length followed by distance symbol 31, beyond the distances.
    {"DynamicDistance31",
     [] { return MaximalCountsHeader().Literal('a').Literal(257).DistanceSymbol(31).Finish(); },
     InflateResult::kDataError, ""},
    // No distance codes (one zero length); the body has literals only: "abba".
    {"NoDistanceCodeLiteralsOnly",
     [] {
       return W().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {0}).Literal('a').Literal('b')
           .Literal('b').Literal('a').EndOfBlock().Finish();
     },
     InflateResult::kOk, "abba"},
    // No distance codes, and the body has a length symbol.
    {"NoDistanceCodeWithLength",
     [] {
       return W().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {0}).Literal('a').Literal(257)
           .Bits(0, 8).Finish();
     },
     InflateResult::kDataError, ""},
    // A distance code with a single one-bit code (symbol 0, distance 1): "a" + 3 x "a".
    {"SingleDistanceCode",
     [] {
       return W().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {1}).Literal('a').Match(3, 1)
           .EndOfBlock().Finish();
     },
     InflateResult::kOk, "aaaa"},
    // The same code; the length is followed by the other one-bit pattern, which has no
    // symbol.
    {"SingleDistanceCodeOtherPattern",
     [] {
       return W().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {1}).Literal('a').Literal(257)
           .Bits(1, 1).Finish();
     },
     InflateResult::kDataError, ""},
    // An incomplete distance code (lengths 1 and 2) is used as built: distances 1 and 2.
    {"IncompleteDistanceCode",
     [] {
       return W().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {1, 2}).Literal('a').Literal('b')
           .Match(3, 2).Match(3, 1).EndOfBlock().Finish();
     },
     InflateResult::kOk, "ababaaaa"},
    // A non-final block of 28 bytes ("a" and nine matches of 3 at distance 1) whose
    // complete distance code (lengths 1-8, 9, 9) puts symbols 8 and 9 under the root
    // entry 11111111; then a block whose incomplete code (lengths 1-9) leaves 111111111
    // without a symbol, and a length followed by that pattern: no stale entry may answer.
    {"IncompleteDistanceCodeUnusedLongPattern",
     [] {
       W w;
       w.BlockHeader(false, 2).DynamicHeaderFor(SmallLiteralCode(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 9}).Literal('a');
       for (int i = 0; i < 9; ++i) w.Match(3, 1);
       return w.EndOfBlock().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {1, 2, 3, 4, 5, 6, 7, 8, 9})
           .Literal(257).Code({0x1FF, 9}).Bits(0, 3).EndOfBlock().Finish();
     },
     InflateResult::kDataError, ""},
    // The code lengths begin with symbol 16 (repeat previous, here 0) three times: symbols
    // 0-2 get no code, and the rest is the tiny code: "ab".
    {"FirstCodeLengthSymbol16",
     [] {
       auto lit = TinyLiteralCode();
       std::vector<LengthItem> items = {{16, 0}};
       for (size_t i = 3; i < lit.size(); ++i) items.push_back({lit[i]});
       items.push_back({0});  // the one distance length
       return W().BlockHeader(true, 2).DynamicHeader(257, 1, AllSymbolsCodeLengthCode(), items, lit, {0})
           .Literal('a').Literal('b').EndOfBlock().Finish();
     },
     InflateResult::kOk, "ab"},
    // The lengths end with a symbol 18 that gives exactly the last 20 (the distance
    // lengths, nd = 20): "a".
    {"Repeat18EndsAtTotal", [] { return Repeat18Stream(20); }, InflateResult::kOk, "a"},
    // The same, but the last symbol 18 asks for 21 lengths where 20 are left.
    {"Repeat18PastTotal", [] { return Repeat18Stream(21); }, InflateResult::kDataError, ""},
    // A literal/length code that is incomplete ('a' 1 bit, end of block 2 bits).
    {"IncompleteLiteralCode",
     [] {
       auto lit = LiteralLengths(257, {{'a', 1}, {256, 2}});
       return W().BlockHeader(true, 2).DynamicHeaderFor(lit, {1}).Literal('a').EndOfBlock().Finish();
     },
     InflateResult::kDataError, ""},
    // A literal/length code with three one-bit codes.
    {"OversubscribedLiteralCode",
     [] {
       auto lit = LiteralLengths(257, {{'a', 1}, {'b', 1}, {256, 1}});
       return W().BlockHeader(true, 2).DynamicHeaderFor(lit, {1}).Bits(0, 16).Finish();
     },
     InflateResult::kDataError, ""},
    // A distance code with three one-bit codes.
    {"OversubscribedDistanceCode",
     [] { return W().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {1, 1, 1}).Bits(0, 16).Finish(); },
     InflateResult::kDataError, ""},
    // A code-length code with all four sent lengths 0.
    {"EmptyCodeLengthCode",
     [] { return W().BlockHeader(true, 2).Bits(0, 5).Bits(0, 5).Bits(0, 4).Bits(0, 12).Bits(0, 16).Finish(); },
     InflateResult::kDataError, ""},
    // "ab", then a match of 3 at distance 3: one byte before the entry's first byte.
    {"DistanceBeyondOutput",
     [] { return W().BlockHeader(true, 1).UseFixedCodes().Literal('a').Literal('b').Match(3, 3).EndOfBlock()
              .Finish(); },
     InflateResult::kDataError, ""},
    // A stored block of 40 bytes, then a fixed block with a match at distance 41 and 20
    // literals after it, so that the match is met with plenty of input buffered.
    {"DistanceBeyondOutputWithInputAhead",
     [] {
       W w;
       w.Stored(false, RandomBytes(40, 1)).BlockHeader(true, 1).UseFixedCodes().Match(10, 41);
       for (int i = 0; i < 20; ++i) w.Literal('z');
       return w.EndOfBlock().Finish();
     },
     InflateResult::kDataError, ""},
    // A code-length code with three one-bit codes (symbols 16, 17, 18).
    {"OversubscribedCodeLengthCode",
     [] { return W().BlockHeader(true, 2).Bits(0, 5).Bits(0, 5).Bits(0, 4).Bits(1, 3).Bits(1, 3).Bits(1, 3)
              .Bits(0, 3).Bits(0, 16).Finish(); },
     InflateResult::kDataError, ""},
};

class StreamCases : public InflateTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StreamCases, DecodesToExpectedOutcome) {
  const StreamCase& c = GetParam();
  DecodeOutcome got = Decode(c.stream());
  EXPECT_EQ(got.result, c.result);
  EXPECT_EQ(got.output, sfxtest::ToBytes(c.output));
  EXPECT_EQ(got.crc, RunningCrcOf(got.output));
}

INSTANTIATE_TEST_SUITE_P(Hand, StreamCases, ::testing::ValuesIn(kCases),
                         ::testing::PrintToStringParamName());

// Streams cut inside a block body end with an error, not with bytes made of the
// 1-bits read past the end; a stream cut after a block's end is complete.
struct CutCase {
  const char* name;
  std::function<Bytes()> stream;
  InflateResult result;
};
void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

const CutCase kCutCases[] = {
    // A fixed block 'a', 0xF0-0xF4 (9-bit codes) ending on a byte boundary with no end
    // of block: the 1-bits past the end would read as literal 0xFF without end.
    {"FixedWithoutEnd",
     [] {
       W w;
       w.BlockHeader(true, 1).UseFixedCodes().Literal('a');
       for (int c = 0xF0; c < 0xF5; ++c) w.Literal(c);
       return Exact(w);
     },
     InflateResult::kDataError},
    // A stored block of 10 bytes with 4 present.
    {"StoredBody", [] { return W().StoredHeader(true, 10, static_cast<uint16_t>(~10)).Bits(0x04030201, 32)
                            .Finish(); },
     InflateResult::kDataError},
    // A stored block header cut after its length field 0: the complement read past the
    // end would be 0xFFFF and match.
    {"StoredHeader", [] { return W().BlockHeader(true, 0).AlignToByte().Bits(0, 16).Finish(); },
     InflateResult::kDataError},
    // A dynamic block cut inside its code lengths.
    {"DynamicHeader",
     [] {
       Bytes s = W().BlockHeader(true, 2).DynamicHeaderFor(SmallLiteralCode(), {1}).Finish();
       s.resize(s.size() / 2);
       return s;
     },
     InflateResult::kDataError},
    // A dynamic block "abba" ending on a byte boundary without its end-of-block code
    // (11): the 1-bits past the end would read as end of block.
    {"DynamicEndOfBlockPastEnd",
     [] {
       W w;
       w.BlockHeader(true, 2).DynamicHeaderFor(TinyLiteralCode(), {0});
       w.Literal('a').Literal('b').Literal('b').Literal('a');
       return Exact(w);
     },
     InflateResult::kDataError},
    // A non-final fixed block "abc" and two non-final type-3 blocks, ending exactly at
    // the end of the input: the next header, read past the end, is a final type-3 block.
    {"AfterNonFinalBlock",
     [] {
       W w;
       w.BlockHeader(false, 1).UseFixedCodes().Literal('a').Literal('b').Literal('c').EndOfBlock();
       return Exact(w.BlockHeader(false, 3).BlockHeader(false, 3));
     },
     InflateResult::kOk},
};

class CutStreams : public InflateTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutStreams, EndWithoutInventingOutput) {
  DecodeOutcome got = Decode(GetParam().stream());
  EXPECT_EQ(got.result, GetParam().result);
  EXPECT_LE(got.output.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Hand, CutStreams, ::testing::ValuesIn(kCutCases),
                         ::testing::PrintToStringParamName());

// Long outputs: window flushes, copies across the window's end and far distances.
// Matches meet the window's end after a stored prefix that fills the window to a chosen
// point.
class WindowTest : public InflateTest {};

TEST_F(WindowTest, MatchesAtTheWindowEndAreSplitWithAFlush) {
  struct Case {
    size_t prefix;                              // pattern bytes before the fixed block
    std::vector<std::pair<int, int>> matches;  // length, distance; distance 0: literal `length`
    std::vector<uint8_t> distanceLengths = {};  // a dynamic block's distance code; none: fixed codes
  };
  std::vector<Case> cases = {
      // Distance 32768 at the window's start: the byte a whole window back.
      {32768, {{5, 32768}}},
      // Matches straddling the end at several phases, sources before and behind it,
      // overlapping and not.
      {32700, {{40, 100}, {50, 3}, {258, 32768}, {200, 32000}, {258, 7}, {100, 300}}},
      // Two literals and a match of 258 that end exactly at the window's end, with
      // plenty of input after them: the position must not stand at 32,768 unflushed.
      {32508, {{'p', 0}, {'q', 0}, {258, 1000}, {'r', 0}, {'s', 0}, {200, 32000}, {100, 300}, {50, 3},
               {258, 32768}, {40, 100}, {30, 5}}},
  };
  // 20 bytes at distance 9 starting k bytes before the end: pieces of k and 20 - k.
  for (size_t k = 1; k < 20; ++k) cases.push_back({32768 - k, {{20, 9}}});
  // Far matches whose distance codes are the longest (symbols 28 and 29 in 15 bits, the
  // others 1 to 14 bits) and carry the most extra bits: 28 bits, more than a 32-bit
  // reader holds after refilling for the code.
  Case far = {32000, {}, std::vector<uint8_t>(30, 0)};
  for (uint8_t symbol = 0; symbol < 14; ++symbol) far.distanceLengths[symbol] = symbol + 1;
  far.distanceLengths[28] = far.distanceLengths[29] = 15;
  for (int i = 0; i < 16; ++i) far.matches.insert(far.matches.end(), {{82, 24577 + 511 * i}, {67, 16385 + 977 * i}});
  cases.push_back(far);
  for (const Case& c : cases) {
    Bytes expected = RandomBytes(c.prefix, static_cast<uint32_t>(c.prefix));
    W w;
    w.Stored(false, expected);
    if (c.distanceLengths.empty())
      w.BlockHeader(true, 1).UseFixedCodes();
    else
      w.BlockHeader(true, 2).DynamicHeaderFor(LongCodesLiteralLengths(), c.distanceLengths);
    for (auto [length, distance] : c.matches) {
      if (distance == 0) {
        w.Literal(length);
        expected.push_back(static_cast<uint8_t>(length));
        continue;
      }
      w.Match(length, distance);
      AppendMatch(expected, length, distance);
    }
    DecodeOutcome got = Decode(w.EndOfBlock().Finish());
    EXPECT_EQ(got.result, InflateResult::kOk) << c.prefix;
    EXPECT_TRUE(got.output == expected) << c.prefix;
    EXPECT_EQ(got.crc, RunningCrcOf(expected)) << c.prefix;
  }
}

}  // namespace
}  // namespace inflatetest
