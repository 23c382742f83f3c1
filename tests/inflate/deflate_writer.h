// A small deflate writer for hand-built test streams: raw bit fields, canonical Huffman
// codes from code lengths, and block headers, with no compression logic of its own.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace inflatetest {

using Bytes = std::vector<uint8_t>;

// A Huffman code as RFC 1951 numbers it: `length` bits, sent most significant first.
struct HuffCode {
  uint32_t bits = 0;
  int length = 0;  // 0: the symbol has no code
};

// The canonical codes of RFC 1951 (3.2.2) for the given code lengths.
std::vector<HuffCode> CanonicalCodes(const std::vector<uint8_t>& lengths);

// A complete literal/length code (nl = 286) with codes of 3 to 12 bits: literals 8 and
// 9 bits, end of block 3, lengths 7 to 12, so that the longest codes need sub-tables.
std::vector<uint8_t> LongCodesLiteralLengths();

// One code-length symbol of a dynamic header (0-18) with the value of its extra bits.
struct LengthItem {
  int symbol;
  int extra = 0;
};

class DeflateWriter {
 public:
  // The n low bits of value, first bit least significant (header fields, extra bits).
  DeflateWriter& Bits(uint32_t value, int n);
  // A Huffman code, most significant bit first.
  DeflateWriter& Code(const HuffCode& code);
  DeflateWriter& AlignToByte();

  DeflateWriter& BlockHeader(bool final, int type);
  // A stored block: header, alignment, LEN, NLEN (the complement unless given), data.
  DeflateWriter& Stored(bool final, const Bytes& data);
  DeflateWriter& StoredHeader(bool final, uint16_t len, uint16_t nlen);

  // Symbols with the current literal/length and distance codes (fixed after
  // UseFixedCodes, or those of the last DynamicHeader).
  DeflateWriter& UseFixedCodes();
  DeflateWriter& Literal(int symbol);           // any literal/length symbol, 0-287
  DeflateWriter& EndOfBlock() { return Literal(256); }
  DeflateWriter& Match(int length, int distance);  // 3-258, 1-32768
  DeflateWriter& DistanceSymbol(int symbol, int extra = 0, int extraBits = 0);

  // A dynamic block header given exactly: nl, nd, the 19 code-length code lengths (by
  // symbol), and the code-length symbols that follow. `litLengths`/`distLengths` are
  // the lengths those items describe; symbols after the header use them.
  DeflateWriter& DynamicHeader(int nl, int nd, const std::vector<uint8_t>& codeLengthLengths,
                               const std::vector<LengthItem>& items,
                               const std::vector<uint8_t>& litLengths,
                               const std::vector<uint8_t>& distLengths);
  // A dynamic block header for the given lengths (nl = litLengths.size(), nd =
  // distLengths.size()), each length sent as itself with a 4-bit code-length code.
  DeflateWriter& DynamicHeaderFor(const std::vector<uint8_t>& litLengths,
                                  const std::vector<uint8_t>& distLengths);

  // The bytes written so far, the last one padded with 0 bits.
  Bytes Finish() const;
  size_t BitLength() const { return bitLength_; }

 private:
  Bytes bytes_;
  size_t bitLength_ = 0;
  std::vector<HuffCode> lit_;
  std::vector<HuffCode> dist_;
};

}  // namespace inflatetest
