// One entry's data step, shared by the extraction loop and the package tool's verify
// command, so both judge a record's data the same way.
//
// RemainingCount starts as the bytes after the name less the encryption header; the
// stored copy and the decoder read no further. A size of 2 GiB or more cannot be
// right: the data is still run through (a created file gets what there is), but the
// entry is broken whatever the data says.
#include "archive/entry_data.h"

#include "archive/record.h"
#include "inflate/inflate.h"
#include "integrity/stored_copy.h"

namespace {
constexpr bool Same(int a, EntryData b) { return a == static_cast<int>(b); }
static_assert(Same(static_cast<int>(CopyResult::kDone), EntryData::kWhole) &&
              Same(static_cast<int>(CopyResult::kNoMemory), EntryData::kNoMemory) &&
              Same(static_cast<int>(CopyResult::kCutShort), EntryData::kBroken) &&
              Same(static_cast<int>(CopyResult::kWriteFailed), EntryData::kWriteFailed));
static_assert(Same(static_cast<int>(InflateResult::kOk), EntryData::kWhole) &&
              Same(static_cast<int>(InflateResult::kNoMemory), EntryData::kNoMemory) &&
              Same(static_cast<int>(InflateResult::kDataError), EntryData::kBroken) &&
              Same(static_cast<int>(InflateResult::kWriteFailed), EntryData::kWriteFailed));
}  // namespace

EntryData WriteEntryData() {
  const LocalRecordHeader& h = CurrentEntry.header;
  bool encrypted = (h.Flags() & kFlagEncrypted) != 0;
  CurrentEntry.RunningCrc = 0xFFFFFFFFu;
  int64_t remaining = int64_t{h.CompressedSize()} - (encrypted ? kEncryptionHeaderSize : 0);
  CurrentEntry.RemainingCount = remaining < INT32_MIN ? INT32_MIN : static_cast<int32_t>(remaining);
  EntryData data;
  if (h.Method() == kMethodStored)
    data = static_cast<EntryData>(CopyStoredEntry());
  else if (h.Method() == kMethodDeflate)
    data = static_cast<EntryData>(Inflate());
  else
    return EntryData::kUnknownMethod;
  if (data != EntryData::kWhole) return data;
  if (remaining < 0) return EntryData::kBroken;  // also every CompressedSize of 2 GiB or more
  if ((h.Flags() & kFlagCheckByteFromTime) == 0 && ~CurrentEntry.RunningCrc != h.Crc32())
    return EntryData::kCrcMismatch;
  return EntryData::kWhole;
}
