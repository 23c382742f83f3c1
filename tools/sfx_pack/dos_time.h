// File times as DOS date and time, the way ZIP tools store them, and back as text.
#pragma once

#include <stdint.h>

#include <ctime>
#include <string>

namespace sfxpack {

struct DosDateTime {
  uint16_t date;  // bits 15-9 year - 1980, 8-5 month 1-12, 4-0 day 1-31
  uint16_t time;  // bits 15-11 hour, 10-5 minute, 4-0 second / 2
};

// The oldest and the newest moment a DOS date and time can hold.
inline constexpr DosDateTime kDosTimeFirst = {0x0021, 0x0000};  // 1980-01-01 00:00:00
inline constexpr DosDateTime kDosTimeLast = {0xFF9F, 0xBF7D};   // 2107-12-31 23:59:58

// A file time in the local time zone, as ZIP tools record it. DOS time counts seconds
// in steps of two; an odd second is rounded up to the next even one, as Info-ZIP does.
// Times before 1980 or after 2107 are clamped to the first or last DOS moment.
DosDateTime ToDosDateTime(std::time_t t);

// "YYYY-MM-DD HH:MM:SS" from the fields as they are, impossible values included
// (a damaged record may hold month 0 or hour 31).
std::string FormatDosDateTime(uint16_t date, uint16_t time);

}  // namespace sfxpack
