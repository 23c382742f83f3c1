// File times as DOS date and time, and DOS date and time as text.
#include "tools/sfx_pack/dos_time.h"

#include <cstdio>

namespace sfxpack {

DosDateTime ToDosDateTime(std::time_t t) {
  std::time_t even = t + (t & 1);
  std::tm local{};
  if (localtime_r(&even, &local) == nullptr) return t < 0 ? kDosTimeFirst : kDosTimeLast;
  int year = local.tm_year + 1900;
  if (year < 1980) return kDosTimeFirst;
  if (year > 2107) return kDosTimeLast;
  DosDateTime dos;
  dos.date = static_cast<uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  // A leap second (tm_sec 60) becomes 30 two-second steps, which the five bits still hold.
  dos.time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return dos;
}

std::string FormatDosDateTime(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", 1980 + (date >> 9),
                (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F,
                (time & 0x1F) * 2);
  return text;
}

}  // namespace sfxpack
