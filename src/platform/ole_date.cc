#include "platform/ole_date.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include <fmt/format.h>

namespace qvfax {

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

constexpr long kEpochOffsetDays = 25569;  // 1899-12-30 to 1970-01-01

struct Civil {
  int year, month, day, hour, minute, second;
};

Civil ToCivil(double days) {
  // Whole seconds, as the clock reads them; the small margin absorbs the
  // binary fraction of times such as 09:30:00 stored as 09:29:59.99999.
  const double whole_seconds = std::floor(days * 86400.0 + 1e-4);
  long long total = static_cast<long long>(whole_seconds);
  long long day_number = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
  long long secs = total - day_number * 86400;
  long z = static_cast<long>(day_number - kEpochOffsetDays) + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int y = static_cast<int>(yoe) + static_cast<int>(era) * 400 + (m <= 2);
  return {y, static_cast<int>(m), static_cast<int>(d), static_cast<int>(secs / 3600),
          static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60)};
}

}  // namespace

OleDate OleDate::FromLocal(int year, int month, int day, int hour, int minute, int second) {
  const long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                    kEpochOffsetDays;
  return OleDate{static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0};
}

OleDate OleDate::FromSystemTime(std::chrono::system_clock::time_point when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
  std::time_t t = static_cast<std::time_t>(ms.count() / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  OleDate date = FromLocal(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec);
  return date.PlusMilliseconds(static_cast<double>(ms.count() % 1000));
}

OleDate OleDate::PlusMilliseconds(double ms) const { return OleDate{days + ms / 86400000.0}; }

std::string OleDate::LogText() const {
  const Civil c = ToCivil(days);
  return fmt::format("{:02}/{:02}/{:04} {:02}.{:02}.{:02}", c.day, c.month, c.year, c.hour,
                     c.minute, c.second);
}

std::string OleDate::DocumentText() const {
  if (days == 0.0) return "0";
  // printf follows LC_NUMERIC, so the separator is the user's locale's.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", days);
  return buf;
}

}  // namespace qvfax
