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
// The best ratio by default: a package is made once and downloaded many times.
inline constexpr int kDefaultLevel = 12;

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
