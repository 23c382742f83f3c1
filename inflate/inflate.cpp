// The inflate driver and the block routines: headers, stored, fixed and dynamic blocks.
//
// Inflate sets up the bit input and the window, then decodes block after block until
// the block marked final. A stored block is copied byte for byte; a fixed block uses the
// codes RFC 1951 defines, built once per run; a dynamic block first sends its code-length
// code, then with it the lengths of its literal/length and distance codes. The symbols
// of both compressed kinds are decoded by InflateCodes.
//
// A decoding error ends the run at once: no further block is read and the window is
// not flushed, so the output holds only the windows already written. Every table and
// buffer is released on every path.
#include "inflate/inflate.h"

#include <string.h>

#include "archive/record.h"
#include "inflate/bits.h"
#include "platform/platform.h"

CodeTable FixedLiteralTable = {nullptr, nullptr, 0};
CodeTable FixedDistanceTable = {nullptr, nullptr, 0};

const uint16_t LengthBase[kLengthSymbols] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0, 0};
const uint8_t LengthExtra[kLengthSymbols] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, kOpInvalid, kOpInvalid};
const uint16_t DistanceBase[kDistanceSymbols] = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DistanceExtra[kDistanceSymbols] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

namespace {

constexpr uint16_t kLiteralSymbols = 288;     // largest literal/length code (nl)
constexpr uint16_t kMaxDistanceCodes = 32;    // largest distance code (nd)
constexpr uint16_t kCodeLengthSymbols = 19;
constexpr uint16_t kFirstLengthSymbol = 257;  // symbols below are literals and end of block
constexpr int32_t kLiteralRootBits = 9;
constexpr int32_t kDistanceRootBits = 6;
constexpr int32_t kCodeLengthRootBits = 7;
constexpr int32_t kFixedLiteralRootBits = 7;
constexpr int32_t kFixedDistanceRootBits = 5;

constexpr SymbolLists kLengthLists = {LengthBase, LengthExtra, kLengthSymbols};
constexpr SymbolLists kDistanceLists = {DistanceBase, DistanceExtra, kDistanceSymbols};

void ReleaseCodeTable(CodeTable& table) {
  FreeHuffmanTable(table.Chain);
  table.Root = nullptr;
  table.Bits = 0;
}

// A code table owned by one block routine, released when the routine returns.
struct ScopedCodeTable : CodeTable {
  ScopedCodeTable() : CodeTable{nullptr, nullptr, 0} {}
  ScopedCodeTable(const ScopedCodeTable&) = delete;
  ScopedCodeTable& operator=(const ScopedCodeTable&) = delete;
  ~ScopedCodeTable() { ReleaseCodeTable(*this); }
};

// Builds `table` asking for a root of `rootBits`; `accept` is the worst result the
// caller takes. A refused result releases what was built.
InflateResult BuildCode(const uint16_t* lengths, uint16_t n, uint16_t s, const SymbolLists* lists,
                        int32_t rootBits, BuildResult accept, CodeTable& table) {
  table.Bits = rootBits;
  BuildResult built = BuildHuffmanTable(lengths, n, s, lists, table.Root, table.Chain, table.Bits);
  if (built == BuildResult::kNoMemory) return InflateResult::kNoMemory;
  if (static_cast<uint8_t>(built) > static_cast<uint8_t>(accept)) {
    ReleaseCodeTable(table);
    return InflateResult::kDataError;
  }
  return InflateResult::kOk;
}

// Reads n code lengths of a dynamic block with its code-length code. Symbols 0 to 15
// are lengths; 16 repeats the previous length (0 before any) 3 to 6 times, 17 and 18
// give 3 to 10 and 11 to 138 zero lengths. A repeat may not run past n. The entry's
// Op is not looked at: with a single one-bit code both patterns read as its symbol.
InflateResult ReadCodeLengths(const CodeTable& lengthCode, uint32_t n, uint16_t* lengths,
                              uint32_t& b, uint16_t& k) {
  const uint16_t mask = MaskBits[lengthCode.Bits];
  const uint16_t rootBits = static_cast<uint16_t>(lengthCode.Bits);
  uint32_t i = 0;
  uint16_t previous = 0;
  while (i < n) {
    NeedBits(rootBits, b, k);
    const HuffmanEntry& e = lengthCode.Root[b & mask];
    DumpBits(e.Bits, b, k);
    uint16_t symbol = e.Value;
    if (symbol < 16) {
      lengths[i++] = symbol;
      previous = symbol;
      continue;
    }
    uint32_t repeat;
    if (symbol == 16) {
      repeat = 3 + TakeBits(2, b, k);
    } else {
      repeat = symbol == 17 ? 3 + TakeBits(3, b, k) : 11 + TakeBits(7, b, k);
      previous = 0;
    }
    if (i + repeat > n) return InflateResult::kDataError;
    while (repeat-- != 0) lengths[i++] = previous;
  }
  return InflateResult::kOk;
}

}  // namespace

InflateResult InflateBlock(int32_t& final) {
  uint32_t b = BitBuffer;
  uint16_t k = BitCount;
  final = static_cast<int32_t>(TakeBits(1, b, k));
  uint32_t type = TakeBits(2, b, k);
  BitBuffer = b;
  BitCount = k;
  switch (type) {
    case 0: return InflateStored();
    case 1: return InflateFixed();
    case 2: return InflateDynamic();
    default: return InflateResult::kOk;  // type 3: no body
  }
}

// A stored block: from the next byte boundary, a 16-bit length, its one's complement,
// then that many bytes. The bytes pass through the bit buffer; once the buffer is empty
// they are copied straight from the input buffer, as far as it, the block and the
// window's room go, which gives the same bytes in the same order.
InflateResult InflateStored() {
  uint32_t b = BitBuffer;
  uint16_t k = BitCount;
  uint16_t w = WindowPos;
  DumpBits(k & 7, b, k);
  uint32_t length = TakeBits(16, b, k);
  uint32_t complement = TakeBits(16, b, k);
  if (length != (~complement & 0xFFFF) || ConsumedPastEnd(k)) return InflateResult::kDataError;
  while (length > 0) {
    int32_t buffered = InputFill - static_cast<int32_t>(InputPos);
    if (k == 0 && buffered > 0) {
      uint32_t n = length;
      if (n > static_cast<uint32_t>(buffered)) n = static_cast<uint32_t>(buffered);
      if (n > kWindowSize - w) n = kWindowSize - w;
      memcpy(SlideWindow + w, InputBuffer + InputPos, n);
      InputPos = static_cast<uint16_t>(InputPos + n);
      CurrentEntry.RemainingCount -= static_cast<int32_t>(n);
      length -= n;
      AdvanceWindow(n, w);
      continue;
    }
    uint8_t byte = static_cast<uint8_t>(TakeBits(8, b, k));
    if (ConsumedPastEnd(k)) return InflateResult::kDataError;
    PutWindowByte(byte, w);
    --length;
  }
  BitBuffer = b;
  BitCount = k;
  WindowPos = w;
  return InflateResult::kOk;
}

// A fixed block. Its tables are built at the run's first fixed block and kept for the
// rest of the run: lengths 8, 9, 7, 8 for literal/length symbols 0-143, 144-255,
// 256-279, 280-287, and 5 for all 30 distance symbols (the build reports that code
// incomplete; the patterns of 30 and 31 are invalid).
InflateResult InflateFixed() {
  if (!FixedLiteralTable.Root) {
    uint16_t lengths[kLiteralSymbols];
    for (uint32_t i = 0; i < kLiteralSymbols; ++i)
      lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    InflateResult r = BuildCode(lengths, kLiteralSymbols, kFirstLengthSymbol, &kLengthLists,
                                kFixedLiteralRootBits, BuildResult::kComplete, FixedLiteralTable);
    if (r != InflateResult::kOk) return r;
    for (uint32_t i = 0; i < kDistanceSymbols; ++i) lengths[i] = 5;
    r = BuildCode(lengths, kDistanceSymbols, 0, &kDistanceLists, kFixedDistanceRootBits,
                  BuildResult::kIncomplete, FixedDistanceTable);
    if (r != InflateResult::kOk) {
      ReleaseCodeTable(FixedLiteralTable);
      return r;
    }
  }
  return InflateCodes(FixedLiteralTable.Root, FixedDistanceTable.Root, FixedLiteralTable.Bits,
                      FixedDistanceTable.Bits);
}

// A dynamic block: the counts nl (257-288), nd (1-32) and nb (4-19), nb 3-bit lengths of
// the code-length code in CodeLengthOrder, then nl + nd code lengths in that code. The
// literal/length code must be complete; an incomplete distance code is used as built.
InflateResult InflateDynamic() {
  uint32_t b = BitBuffer;
  uint16_t k = BitCount;
  uint32_t nl = kFirstLengthSymbol + TakeBits(5, b, k);
  uint32_t nd = 1 + TakeBits(5, b, k);
  uint32_t nb = 4 + TakeBits(4, b, k);
  uint16_t lengths[kLiteralSymbols + kMaxDistanceCodes];
  for (uint32_t j = 0; j < kCodeLengthSymbols; ++j)
    lengths[CodeLengthOrder[j]] = static_cast<uint16_t>(j < nb ? TakeBits(3, b, k) : 0);
  {
    ScopedCodeTable lengthCode;
    InflateResult r = BuildCode(lengths, kCodeLengthSymbols, kCodeLengthSymbols, nullptr,
                                kCodeLengthRootBits, BuildResult::kComplete, lengthCode);
    if (r != InflateResult::kOk) return r;
    if (!lengthCode.Root) return InflateResult::kDataError;
    r = ReadCodeLengths(lengthCode, nl + nd, lengths, b, k);
    if (r != InflateResult::kOk) return r;
  }
  if (ConsumedPastEnd(k)) return InflateResult::kDataError;
  BitBuffer = b;
  BitCount = k;

  ScopedCodeTable literalCode;
  ScopedCodeTable distanceCode;
  InflateResult r = BuildCode(lengths, static_cast<uint16_t>(nl), kFirstLengthSymbol, &kLengthLists,
                              kLiteralRootBits, BuildResult::kComplete, literalCode);
  if (r != InflateResult::kOk) return r;
  r = BuildCode(lengths + nl, static_cast<uint16_t>(nd), 0, &kDistanceLists, kDistanceRootBits,
                BuildResult::kIncomplete, distanceCode);
  if (r != InflateResult::kOk) return r;
  return InflateCodes(literalCode.Root, distanceCode.Root, literalCode.Bits, distanceCode.Bits);
}

InflateResult Inflate() {
  InputPos = 0;
  InputFill = 0;
  WindowPos = 0;
  WindowWriteFailed = false;
  BitCount = 0;
  BitBuffer = 0;
  PastEndBits = 0;
  InputBuffer = static_cast<uint8_t*>(plat::Allocate(kInputChunkSize + kBufferSpare));
  SlideWindow = static_cast<uint8_t*>(plat::Allocate(kWindowSize + kBufferSpare));
  InflateResult result = InflateResult::kNoMemory;
  if (InputBuffer && SlideWindow) {
    FixedLiteralTable = {nullptr, nullptr, 0};
    FixedDistanceTable = {nullptr, nullptr, 0};
    int32_t final = 0;
    do {
      result = InflateBlock(final);
    } while (result == InflateResult::kOk && final == 0);
    if (result == InflateResult::kOk && WindowPos > 0) {
      FlushWindow(WindowPos);
      WindowPos = 0;
    }
    ReleaseCodeTable(FixedLiteralTable);
    ReleaseCodeTable(FixedDistanceTable);
    // The disk's failure comes first: the data may be fine, the file is not.
    if (WindowWriteFailed) result = InflateResult::kWriteFailed;
  }
  plat::Release(SlideWindow);
  plat::Release(InputBuffer);
  SlideWindow = nullptr;
  InputBuffer = nullptr;
  return result;
}
