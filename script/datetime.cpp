#include "script/datetime.h"

#include <cmath>
#include <ctime>

#include "common/numeric.h"

namespace kest {

namespace {
constexpr int64_t kMsPerDay = 86400000;
// Day number of 30 December 1899 counted from 1 January 0001 as day 1.
constexpr int64_t kDateDelta = 693594;
// Day numbers of 1 January 0001 and 31 December 9999.
constexpr int64_t kMinDay = 1;
constexpr int64_t kMaxDay = 3652059;

// Milliseconds of the whole value, rounded half to even; none when out of range.
std::optional<int64_t> TotalMs(Float v) {
  if (!std::isfinite(v)) return std::nullopt;
  if (std::fabs(v) > Float(kMaxDay + 1)) return std::nullopt;
  return TryRound(v * Float(kMsPerDay));
}

// (day number since 0001-01-01 as 1, ms of the day)
std::optional<std::pair<int64_t, int64_t>> Split(Float v) {
  const auto ms = TotalMs(v);
  if (!ms) return std::nullopt;
  const int64_t day = kDateDelta + *ms / kMsPerDay;  // truncates toward zero
  const int64_t time = (*ms < 0 ? -*ms : *ms) % kMsPerDay;
  if (day < kMinDay || day > kMaxDay) return std::nullopt;
  return std::make_pair(day, time);
}
}  // namespace

bool IsLeapYear(int32_t y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

int32_t DaysInMonth(int32_t year, int32_t month) {
  static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

std::optional<Float> EncodeDate(int32_t year, int32_t month, int32_t day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  int64_t n = day;
  for (int32_t m = 1; m < month; ++m) n += DaysInMonth(year, m);
  const int64_t y = year - 1;
  n += y * 365 + y / 4 - y / 100 + y / 400;
  return Float(n - kDateDelta);
}

std::optional<Float> EncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t ms) {
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 || ms < 0 || ms >= 1000)
    return std::nullopt;
  const int64_t total = ((int64_t(hour) * 60 + minute) * 60 + second) * 1000 + ms;
  return Float(total) / Float(kMsPerDay);
}

std::optional<TDateParts> DecodeDate(Float v) {
  const auto s = Split(v);
  if (!s) return std::nullopt;
  // Count back whole 400-, 100-, 4- and 1-year cycles from day 1 of year 1.
  int64_t d = s->first - 1;
  int64_t y = 1;
  y += 400 * (d / 146097);
  d %= 146097;
  int64_t c = d / 36524;
  if (c == 4) c = 3;  // the last day of a 400-year cycle
  y += 100 * c;
  d -= c * 36524;
  y += 4 * (d / 1461);
  d %= 1461;
  int64_t k = d / 365;
  if (k == 4) k = 3;  // the last day of a leap year
  y += k;
  d -= k * 365;
  TDateParts p;
  p.Year = int32_t(y);
  int32_t m = 1;
  while (d >= DaysInMonth(p.Year, m)) {
    d -= DaysInMonth(p.Year, m);
    ++m;
  }
  p.Month = m;
  p.Day = int32_t(d + 1);
  return p;
}

std::optional<TTimeParts> DecodeTime(Float v) {
  const auto s = Split(v);
  if (!s) return std::nullopt;
  int64_t t = s->second;
  TTimeParts p;
  p.MilliSecond = int32_t(t % 1000);
  t /= 1000;
  p.Second = int32_t(t % 60);
  t /= 60;
  p.Minute = int32_t(t % 60);
  p.Hour = int32_t(t / 60);
  return p;
}

std::optional<int32_t> DayOfWeek(Float v) {
  const auto s = Split(v);
  if (!s) return std::nullopt;
  return int32_t(s->first % 7 + 1);
}

Float NowAsDateTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  const time_t t = ts.tv_sec;
  localtime_r(&t, &tm);
  const auto d = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  const auto tt = EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec, int32_t(ts.tv_nsec / 1000000));
  return d.value_or(0) + tt.value_or(0);
}

}  // namespace kest
