// Compressing an entry's data as a raw deflate stream (libdeflate), and its CRC-32.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace sfxpack {

using Bytes = std::vector<uint8_t>;

// Compression levels of libdeflate; level 0 means the entries are stored.
inline constexpr int kStoreLevel = 0;
inline constexpr int kMaxLevel = 12;
// A package is made once and downloaded many times, so the default is near the best
// ratio: on 300 MB of Wine DLLs and documentation (bench/create_bench.sh) level 10 gave
// a package 0.1 % larger than level 12 for 30 % less CPU time, and 1.4 % smaller than
// 7-Zip's ZIP; levels 11 and 12 cost 30 % and 45 % more CPU for 0.1 %.
inline constexpr int kDefaultLevel = 10;

// Compresses `data` whole at `level` (1 to 12) into `out`. Returns false, with `out`
// unspecified, when the deflate stream would not be smaller than the data: such an
// entry is stored instead.
bool DeflateBuffer(const Bytes& data, int level, Bytes& out);

// Decodes the raw deflate stream `data` whose content is `size` bytes into `out`. False
// when the stream is damaged or its content has another size.
bool InflateBuffer(const Bytes& data, size_t size, Bytes& out);

// The ZIP CRC-32 of `data` (the published value: preset and final complement applied).
uint32_t Crc32Of(const Bytes& data);

}  // namespace sfxpack
