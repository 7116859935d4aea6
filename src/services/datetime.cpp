// The date-time text and the clock. Dates are OLE Automation dates: days from
// 30 December 1899, the time of day as the fraction. For dates before day 0 the
// fraction still counts forward from midnight (-1.25 is 29 December 1899 at
// 06:00), so the day and the time of day are taken apart separately.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "services/conversions.h"
#include "services/own_text.h"

namespace sorvane {

namespace {

constexpr double kLatest = 2958465.0;      // 31 December 9999, 00:00:00
constexpr double kEarliest = -657434.0;    // 1 January 100, 00:00:00
constexpr std::int64_t kDayZero = -25569;  // 30 December 1899, counted from 1 January 1970
constexpr std::int64_t kSecondsPerDay = 86400;

// Days from 1 January 1970 on the proleptic Gregorian calendar (month 1..12).
std::int64_t daysFromCivil(std::int64_t year, int month, std::int64_t day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468 + (day - 1);
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

CivilTime systemLocalTime(void*) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  CivilTime civil;
  civil.year = local.tm_year + 1900;
  civil.month = local.tm_mon + 1;
  civil.day = local.tm_mday;
  civil.hour = local.tm_hour;
  civil.minute = local.tm_min;
  // A leap second (tm_sec 60) is shown as the last second of its minute.
  civil.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return civil;
}

LocalClockSource clockSource = systemLocalTime;
void* clockContext = nullptr;

}  // namespace

CivilTime civilFromDateTime(DateTime value) {
  double v = value.value;
  if (std::isnan(v)) v = 0.0;
  v = std::clamp(v, kEarliest, kLatest);

  // Round to the nearest second on the clock face: the time of day rounds up
  // into the next calendar day when it reaches midnight, for dates before
  // day 0 as well (there, moving the raw value by half a second would step
  // across the day boundary the wrong way and lose two days).
  std::int64_t day = static_cast<std::int64_t>(std::trunc(v));
  std::int64_t second =
      static_cast<std::int64_t>(std::fabs(v - static_cast<double>(day)) * kSecondsPerDay + 0.5);
  if (second >= kSecondsPerDay) {
    second -= kSecondsPerDay;
    ++day;
  }

  CivilTime civil;
  civilFromDays(day + kDayZero, civil.year, civil.month, civil.day);
  civil.hour = static_cast<int>(second / 3600);
  civil.minute = static_cast<int>(second / 60 % 60);
  civil.second = static_cast<int>(second % 60);
  return civil;
}

DateTime dateTimeFromCivil(const CivilTime& civil) {
  // Months outside 1..12 and the other fields outside their ranges carry over,
  // as mktime does.
  const std::int64_t monthIndex = civil.month - 1;
  const std::int64_t yearCarry = monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12;
  const int month = static_cast<int>(monthIndex - yearCarry * 12 + 1);
  const std::int64_t seconds =
      (daysFromCivil(civil.year + yearCarry, month, civil.day) - kDayZero) * kSecondsPerDay +
      std::int64_t{civil.hour} * 3600 + std::int64_t{civil.minute} * 60 + civil.second;
  std::int64_t day = seconds / kSecondsPerDay;
  std::int64_t second = seconds % kSecondsPerDay;
  if (second < 0) {
    second += kSecondsPerDay;
    --day;
  }
  const double fraction = static_cast<double>(second) / kSecondsPerDay;
  const double whole = static_cast<double>(day);
  return DateTime{day >= 0 ? whole + fraction : whole - fraction};
}

Text dateTimeText(DateTime value) {
  const CivilTime c = civilFromDateTime(value);
  auto number = [](int n) { return Text(std::to_string(n)); };
  Text out = number(c.year) + ownText("年") + number(c.month) + ownText("月") + number(c.day) +
             ownText("日");
  // Trailing zero fields are left out: seconds first, then minutes, then the hour.
  if (c.second != 0 || c.minute != 0 || c.hour != 0) out += number(c.hour) + ownText("时");
  if (c.second != 0 || c.minute != 0) out += number(c.minute) + ownText("分");
  if (c.second != 0) out += number(c.second) + ownText("秒");
  return out;
}

Text toText(DateTime value) { return dateTimeText(value); }

DateTime currentDateTime() { return dateTimeFromCivil(clockSource(clockContext)); }

void setLocalClockSource(LocalClockSource source, void* context) {
  clockSource = source ? source : systemLocalTime;
  clockContext = source ? context : nullptr;
}

}  // namespace sorvane
