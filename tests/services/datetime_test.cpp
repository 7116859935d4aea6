// The date-time text of screenshot names, the calendar and the clock.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "services/conversions.h"

namespace sorvane {
namespace {

DateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return dateTimeFromCivil(CivilTime{year, month, day, hour, minute, second});
}

std::string text(DateTime value) { return dateTimeText(value).bytes(); }
std::string text(double value) { return text(DateTime{value}); }
constexpr double kSecond = 1.0 / 86400.0;

TEST(DateTimeText, LeavesOutTrailingZeroFields) {
  EXPECT_EQ(text(at(2024, 3, 5, 14, 7, 9)), "2024年3月5日14时7分9秒");
  EXPECT_EQ(text(at(2024, 3, 5, 14, 0, 9)), "2024年3月5日14时0分9秒");
  EXPECT_EQ(text(at(2024, 3, 5, 14, 7, 0)), "2024年3月5日14时7分");
  EXPECT_EQ(text(at(2024, 3, 5, 14, 0, 0)), "2024年3月5日14时");
  EXPECT_EQ(text(at(2024, 3, 5, 0, 0, 0)), "2024年3月5日");
  EXPECT_EQ(text(at(2024, 3, 5, 0, 5, 0)), "2024年3月5日0时5分");
  EXPECT_EQ(text(at(2026, 12, 7, 9, 5, 3)), "2026年12月7日9时5分3秒");
  EXPECT_EQ(toText(at(2024, 3, 5, 23, 59, 59)), Text("2024年3月5日23时59分59秒"));
}

TEST(DateTimeText, DayZeroAndTheClamps) {
  EXPECT_EQ(text(0.0), "1899年12月30日");
  EXPECT_EQ(text(2958465.0), "9999年12月31日");
  EXPECT_EQ(text(2958465.0 + 0.75), "9999年12月31日");  // the whole last day is clamped
  EXPECT_EQ(text(2958465.0 - kSecond), "9999年12月30日23时59分59秒");
  EXPECT_EQ(text(1e12), "9999年12月31日");
  EXPECT_EQ(text(std::numeric_limits<double>::infinity()), "9999年12月31日");
  EXPECT_EQ(text(-657434.0), "100年1月1日");
  EXPECT_EQ(text(-657434.5), "100年1月1日");
  EXPECT_EQ(text(-1e12), "100年1月1日");
  EXPECT_EQ(text(-657433.5), "100年1月2日12时");
  EXPECT_EQ(text(std::nan("")), "1899年12月30日");
}

TEST(DateTimeText, DatesBeforeDayZeroCountTheTimeForward) {
  EXPECT_EQ(text(-1.25), "1899年12月29日6时");
  EXPECT_EQ(text(-1.75), "1899年12月29日18时");
  EXPECT_EQ(text(-0.5), "1899年12月30日12时");
  EXPECT_EQ(text(-2.0), "1899年12月28日");
  EXPECT_EQ(at(1899, 12, 29, 6).value, -1.25);
  EXPECT_EQ(at(1899, 12, 28, 18).value, -2.75);
  EXPECT_EQ(text(-1.0 - 3661 * kSecond), "1899年12月29日1时1分1秒");
}

TEST(DateTimeText, RoundsToTheNearestSecond) {
  const double day = at(2024, 3, 5).value;
  EXPECT_EQ(text(day + 86399.6 * kSecond), "2024年3月6日");
  EXPECT_EQ(text(day + 86399.4 * kSecond), "2024年3月5日23时59分59秒");
  EXPECT_EQ(text(day + 43200.51 * kSecond), "2024年3月5日12时0分1秒");
  EXPECT_EQ(text(day + 0.4 * kSecond), "2024年3月5日");
  EXPECT_EQ(text(2958464.0 + 86399.7 * kSecond), "9999年12月31日");
  // Before day 0 the time of day rounds into the next calendar day, too:
  // 29 December 1899 at 23:59:59.6 becomes 30 December at midnight.
  EXPECT_EQ(text(-1.0 - 86399.6 * kSecond), "1899年12月30日");
  EXPECT_EQ(text(-0.0 - 86399.6 * kSecond), "1899年12月31日");
  EXPECT_EQ(text(-1.0 - 0.4 * kSecond), "1899年12月29日");
}

TEST(Calendar, ProlepticGregorianDays) {
  EXPECT_EQ(at(1899, 12, 30).value, 0.0);
  EXPECT_EQ(at(1900, 1, 1).value, 2.0);
  EXPECT_EQ(at(1900, 3, 1).value, 61.0);  // 1900 has no 29 February
  EXPECT_EQ(at(1970, 1, 1).value, 25569.0);
  EXPECT_EQ(at(2000, 1, 1).value, 36526.0);
  EXPECT_EQ(at(9999, 12, 31).value, 2958465.0);
  EXPECT_EQ(at(100, 1, 1).value, -657434.0);
  EXPECT_EQ(text(at(2000, 2, 29)), "2000年2月29日");
  EXPECT_EQ(text(at(2024, 2, 29, 12)), "2024年2月29日12时");
  // Fields out of range carry over.
  EXPECT_EQ(at(2024, 13, 1).value, at(2025, 1, 1).value);
  EXPECT_EQ(at(2024, 0, 1).value, at(2023, 12, 1).value);
  EXPECT_EQ(at(2023, 2, 29).value, at(2023, 3, 1).value);
  EXPECT_EQ(at(2024, 3, 5, 24).value, at(2024, 3, 6).value);

  // Every date in the usable range comes back as it went in.
  for (double day = -657433.0; day < 2958465.0; day += 97.0) {
    for (const int second : {0, 1, 43199, 86399}) {
      const CivilTime civil =
          civilFromDateTime(DateTime{day >= 0 ? day + second * kSecond : day - second * kSecond});
      const DateTime back = dateTimeFromCivil(civil);
      ASSERT_NEAR(back.value, day >= 0 ? day + second * kSecond : day - second * kSecond, 1e-9)
          << civil.year << "-" << civil.month << "-" << civil.day;
    }
  }
}

struct FakeClock {
  CivilTime now;
  int reads = 0;
  static CivilTime read(void* self) {
    auto* clock = static_cast<FakeClock*>(self);
    ++clock->reads;
    return clock->now;
  }
};

TEST(CurrentDateTime, ComesFromTheClockSourceInWholeSeconds) {
  FakeClock clock{CivilTime{2024, 3, 5, 14, 7, 9}};
  setLocalClockSource(&FakeClock::read, &clock);
  const DateTime first = currentDateTime();
  const DateTime second = currentDateTime();
  EXPECT_EQ(first, second);
  EXPECT_EQ(clock.reads, 2);
  EXPECT_EQ(toText(first), Text("2024年3月5日14时7分9秒"));
  clock.now.second = 10;
  EXPECT_EQ(toText(currentDateTime()), Text("2024年3月5日14时7分10秒"));

  setLocalClockSource(nullptr, nullptr);  // back to the system clock
  const DateTime now = currentDateTime();
  EXPECT_EQ(clock.reads, 3);
  EXPECT_GE(civilFromDateTime(now).year, 2024);
  const double seconds = (now.value - std::floor(now.value)) * 86400.0;
  EXPECT_NEAR(seconds, std::round(seconds), 1e-4);
}

}  // namespace
}  // namespace sorvane
