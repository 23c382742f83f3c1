// The test streams' writer: bit packing and canonical codes per RFC 1951.
#include "tests/inflate/deflate_writer.h"

#include <stdexcept>

namespace inflatetest {

namespace {

const int kLengthBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                           193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097,
                           6145, 8193, 12289, 16385, 24577};
const int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Symbol and extra bits of a match length or a distance (in range): the last base at or below
// `value` among `count` bases, counted from `firstSymbol`.
struct SymbolAndExtra {
  int symbol;
  int extra;
  int extraBits;
};

SymbolAndExtra SymbolFor(int value, const int* base, const int* extraBits, int count, int firstSymbol) {
  int i = count - 1;
  while (value < base[i]) --i;
  return {firstSymbol + i, value - base[i], extraBits[i]};
}

}  // namespace

std::vector<HuffCode> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  int count[17] = {};
  for (uint8_t l : lengths) count[l]++;
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int bits = 1; bits <= 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<HuffCode> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] == 0) continue;
    codes[s].length = lengths[s];
    codes[s].bits = next[lengths[s]]++;
  }
  return codes;
}

std::vector<uint8_t> LongCodesLiteralLengths() {
  std::vector<uint8_t> l(286, 0);
  for (int c = 0; c < 256; ++c) l[static_cast<size_t>(c)] = c < 128 ? 8 : 9;  // 1/2 + 1/4
  l[256] = 3;                                                                  // 1/8
  for (int s = 257; s < 271; ++s) l[static_cast<size_t>(s)] = 7;               // 14/128
  const uint8_t tail[] = {7, 8, 9, 10, 11, 12, 12};                            // 1/64 in all
  for (int i = 0; i < 7; ++i) l[static_cast<size_t>(271 + i)] = tail[i];
  return l;
}

DeflateWriter& DeflateWriter::Bits(uint32_t value, int n) {
  for (int i = 0; i < n; ++i) {
    if (bitLength_ % 8 == 0) bytes_.push_back(0);
    if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(1u << (bitLength_ % 8));
    ++bitLength_;
  }
  return *this;
}

DeflateWriter& DeflateWriter::Code(const HuffCode& code) {
  if (code.length == 0) throw std::invalid_argument("symbol without a code");
  for (int i = code.length - 1; i >= 0; --i) Bits((code.bits >> i) & 1, 1);
  return *this;
}

DeflateWriter& DeflateWriter::AlignToByte() {
  while (bitLength_ % 8 != 0) Bits(0, 1);
  return *this;
}

DeflateWriter& DeflateWriter::BlockHeader(bool final, int type) {
  Bits(final ? 1 : 0, 1);
  return Bits(static_cast<uint32_t>(type), 2);
}

DeflateWriter& DeflateWriter::StoredHeader(bool final, uint16_t len, uint16_t nlen) {
  BlockHeader(final, 0);
  AlignToByte();
  Bits(len, 16);
  return Bits(nlen, 16);
}

DeflateWriter& DeflateWriter::Stored(bool final, const Bytes& data) {
  StoredHeader(final, static_cast<uint16_t>(data.size()), static_cast<uint16_t>(~data.size()));
  for (uint8_t b : data) Bits(b, 8);
  return *this;
}

DeflateWriter& DeflateWriter::UseFixedCodes() {
  // The fixed literal/length code lengths of RFC 1951 (3.2.6).
  std::vector<uint8_t> l(288);
  for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  lit_ = CanonicalCodes(l);
  std::vector<uint8_t> d(32, 5);  // symbols 30 and 31 have codes in the fixed code
  dist_ = CanonicalCodes(d);
  return *this;
}

DeflateWriter& DeflateWriter::Literal(int symbol) { return Code(lit_.at(static_cast<size_t>(symbol))); }

DeflateWriter& DeflateWriter::DistanceSymbol(int symbol, int extra, int extraBits) {
  Code(dist_.at(static_cast<size_t>(symbol)));
  return Bits(static_cast<uint32_t>(extra), extraBits);
}

DeflateWriter& DeflateWriter::Match(int length, int distance) {
  // 258 has a symbol of its own (285); 284 with its 5 extra bits stops at 257.
  SymbolAndExtra l =
      length == 258 ? SymbolAndExtra{285, 0, 0} : SymbolFor(length, kLengthBase, kLengthExtra, 28, 257);
  Literal(l.symbol);
  Bits(static_cast<uint32_t>(l.extra), l.extraBits);
  SymbolAndExtra d = SymbolFor(distance, kDistBase, kDistExtra, 30, 0);
  return DistanceSymbol(d.symbol, d.extra, d.extraBits);
}

DeflateWriter& DeflateWriter::DynamicHeader(int nl, int nd, const std::vector<uint8_t>& codeLengthLengths,
                                            const std::vector<LengthItem>& items,
                                            const std::vector<uint8_t>& litLengths,
                                            const std::vector<uint8_t>& distLengths) {
  int nb = 19;
  while (nb > 4 && codeLengthLengths.at(static_cast<size_t>(kCodeLengthOrder[nb - 1])) == 0) --nb;
  Bits(static_cast<uint32_t>(nl - 257), 5);
  Bits(static_cast<uint32_t>(nd - 1), 5);
  Bits(static_cast<uint32_t>(nb - 4), 4);
  for (int j = 0; j < nb; ++j) Bits(codeLengthLengths[static_cast<size_t>(kCodeLengthOrder[j])], 3);
  std::vector<HuffCode> clCodes = CanonicalCodes(codeLengthLengths);
  for (const LengthItem& item : items) {
    Code(clCodes.at(static_cast<size_t>(item.symbol)));
    const int kRepeatExtraBits[3] = {2, 3, 7};  // of symbols 16, 17 and 18
    if (item.symbol >= 16) Bits(static_cast<uint32_t>(item.extra), kRepeatExtraBits[item.symbol - 16]);
  }
  lit_ = CanonicalCodes(litLengths);
  dist_ = CanonicalCodes(distLengths);
  return *this;
}

DeflateWriter& DeflateWriter::DynamicHeaderFor(const std::vector<uint8_t>& litLengths,
                                               const std::vector<uint8_t>& distLengths) {
  std::vector<uint8_t> cl(19, 0);
  for (int s = 0; s < 16; ++s) cl[static_cast<size_t>(s)] = 4;  // 16 codes of 4 bits: complete
  std::vector<LengthItem> items;
  for (uint8_t l : litLengths) items.push_back({l});
  for (uint8_t l : distLengths) items.push_back({l});
  return DynamicHeader(static_cast<int>(litLengths.size()), static_cast<int>(distLengths.size()), cl,
                       items, litLengths, distLengths);
}

Bytes DeflateWriter::Finish() const { return bytes_; }

}  // namespace inflatetest
