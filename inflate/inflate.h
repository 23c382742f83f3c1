// The deflate decoder (RFC 1951): decodes the current entry's compressed data into its
// output file, block by block, through the bit input and the sliding window.
#pragma once

#include <stdint.h>

#include "inflate/huffman.h"

// The values are those of the archive's EntryData, which passes them on as they are.
enum class [[nodiscard]] InflateResult : uint8_t {
  kOk = 0,           // the final block was reached (a header read past the end counts as one)
  kNoMemory = 2,     // a buffer could not be allocated
  kDataError = 3,    // the stream is damaged; only whole flushed windows were written
  kWriteFailed = 5,  // a write of the output failed or fell short
};

// Decodes CurrentEntry's compressed data, read from ArchiveHandle (at most
// RemainingCount bytes; decrypted when the entry is encrypted), into its OutputHandle,
// folding every written byte into RunningCrc. Needs the CRC table. Both buffers it
// allocates are released before it returns; the code tables live in process-wide
// arrays that every run reuses.
InflateResult Inflate();

// --- The block routines, for the driver and for tests ---------------------------------

// Decoding tables of one code: its root, and the root size in bits that the build
// returned (the decoder's first lookup takes that many).
struct CodeTable {
  HuffmanTable Root;
  int32_t Bits;
};

// The fixed codes' tables: empty at the start of a run, built by its first fixed block
// and kept for the rest of the run.
extern CodeTable FixedLiteralTable;
extern CodeTable FixedDistanceTable;

// Reads one block header and decodes the block; `final` gets the header's final bit.
// A header read past the end of the input is a final block of type 3.
InflateResult InflateBlock(int32_t& final);
InflateResult InflateStored();
InflateResult InflateFixed();
InflateResult InflateDynamic();

// Decodes symbols of a fixed or dynamic block until its end-of-block symbol.
InflateResult InflateCodes(HuffmanTable tl, HuffmanTable td, int32_t bl, int32_t bd);

// The constant lists of RFC 1951, for literal/length symbols 257 to 287 (286 and 287
// are invalid: extra-bit count kOpInvalid) and distance symbols 0 to 29.
inline constexpr uint16_t kLengthSymbols = 31;
inline constexpr uint16_t kDistanceSymbols = 30;
extern const uint16_t LengthBase[kLengthSymbols];
extern const uint8_t LengthExtra[kLengthSymbols];
extern const uint16_t DistanceBase[kDistanceSymbols];
extern const uint8_t DistanceExtra[kDistanceSymbols];
// The order in which a dynamic block sends the code-length code's lengths.
extern const uint8_t CodeLengthOrder[19];
