// Date-times as floats: days since 30 December 1899 at midnight, the fraction the time
// of day. Negative values count days back, with the time of day read forward from the
// start of that day (the fraction's absolute value).
#pragma once
#include <cstdint>
#include <optional>

#include "common/types.h"

namespace kest {

struct TDateParts {
  int32_t Year = 0, Month = 0, Day = 0;
};
struct TTimeParts {
  int32_t Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

bool IsLeapYear(int32_t year);
int32_t DaysInMonth(int32_t year, int32_t month);

// That day at midnight; none for an impossible date (years 1..9999).
std::optional<Float> EncodeDate(int32_t year, int32_t month, int32_t day);
// The fraction of a day; none for an impossible time.
std::optional<Float> EncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t ms = 0);

// The value is rounded to the millisecond before it is split into day and time, so
// 23:59:59.9996 belongs to the next day. None for NaN, infinities and dates outside the
// years 1..9999.
std::optional<TDateParts> DecodeDate(Float dateTime);
std::optional<TTimeParts> DecodeTime(Float dateTime);
// 1 = Sunday ... 7 = Saturday.
std::optional<int32_t> DayOfWeek(Float dateTime);

// The local date and time now as a date-time (for the date system variables).
Float NowAsDateTime();

}  // namespace kest
