// One entry's data step: the copy or the decoder into the open output file, then the check.
#pragma once

#include <stdint.h>

// How an entry's data came out. Every outcome but kUnknownMethod consumed the data.
enum class [[nodiscard]] EntryData : uint8_t {
  kWhole,          // written whole; the CRC-32 matches, or the record asks for no check
  kUnknownMethod,  // neither stored nor deflate: nothing was read or written
  kNoMemory,       // the copy or the decoder could not get its buffers
  kBroken,         // cut short, a damaged stream, or a size of 2 GiB or more
  kCrcMismatch,    // written whole, but the CRC-32 the record carries differs
  kWriteFailed,    // the file system did not take all of the data
};

// Copies or decodes the data of the record in CurrentEntry.header into
// CurrentEntry.OutputHandle, from the archive position after the name (and the
// encryption header, for an encrypted entry). RunningCrc is left as the copy or the
// decoder left it, so a caller may look at the CRC of a record that asks for no check.
EntryData WriteEntryData();
