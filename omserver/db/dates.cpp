#include "db/dates.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

namespace omserver::db {
namespace {

struct Moment {
  int64_t year, month, day, hour, minute, second;
};

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Reads "YYYY-MM-DD", optionally followed by " HH:MM", ":SS" and ".fff" (or 'T' for the blank).
bool ParseMoment(std::string_view text, Moment& m) {
  m = {};
  int used = 0;
  std::string copy(text);
  int year, month, day, hour = 0, minute = 0, second = 0;
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3) return false;
  size_t at = static_cast<size_t>(used);
  if (at < copy.size() && (copy[at] == ' ' || copy[at] == 'T')) {
    int more = 0;
    if (std::sscanf(copy.c_str() + at + 1, "%2d:%2d%n", &hour, &minute, &more) != 2) return false;
    at += 1 + static_cast<size_t>(more);
    if (at < copy.size() && copy[at] == ':') {
      if (std::sscanf(copy.c_str() + at + 1, "%2d%n", &second, &more) != 1) return false;
      at += 1 + static_cast<size_t>(more);
      if (at < copy.size() && copy[at] == '.') {
        ++at;
        while (at < copy.size() && copy[at] >= '0' && copy[at] <= '9') ++at;
      }
    }
  }
  if (at != copy.size()) return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
  m = {year, month, day, hour, minute, second};
  return true;
}

int64_t Seconds(const Moment& m) {
  return DaysFromCivil(m.year, m.month, m.day) * 86400 + m.hour * 3600 + m.minute * 60 + m.second;
}

enum class Part { Year, Month, Day, Hour, Minute, Second, Unknown };

Part PartOf(const char* name) {
  std::string_view n = name ? name : "";
  if (n == "yy" || n == "yyyy" || n == "year") return Part::Year;
  if (n == "mm" || n == "m" || n == "month") return Part::Month;
  if (n == "dd" || n == "d" || n == "day") return Part::Day;
  if (n == "hh" || n == "hour") return Part::Hour;
  if (n == "mi" || n == "n" || n == "minute") return Part::Minute;
  if (n == "ss" || n == "s" || n == "second") return Part::Second;
  return Part::Unknown;
}

// Reads argument i as a moment; false (with the error set, or NULL given) when it is none.
bool Argument(sqlite3_context* context, sqlite3_value** argv, int i, Moment& m) {
  if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return false;
  }
  const unsigned char* text = sqlite3_value_text(argv[i]);
  std::string_view view(text ? reinterpret_cast<const char*>(text) : "");
  if (!ParseMoment(view, m)) {
    std::string message = "conversion failed when converting \"" + std::string(view) + "\" to a date";
    sqlite3_result_error(context, message.c_str(), -1);
    return false;
  }
  return true;
}

void DateDiff(sqlite3_context* context, int, sqlite3_value** argv) {
  Part part = PartOf(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
  Moment a, b;
  if (!Argument(context, argv, 1, a) || !Argument(context, argv, 2, b)) return;
  int64_t sa = Seconds(a), sb = Seconds(b);
  int64_t result = 0;
  switch (part) {
    case Part::Year: result = b.year - a.year; break;
    case Part::Month: result = (b.year * 12 + b.month) - (a.year * 12 + a.month); break;
    case Part::Day: result = FloorDiv(sb, 86400) - FloorDiv(sa, 86400); break;
    case Part::Hour: result = FloorDiv(sb, 3600) - FloorDiv(sa, 3600); break;
    case Part::Minute: result = FloorDiv(sb, 60) - FloorDiv(sa, 60); break;
    case Part::Second: result = sb - sa; break;
    case Part::Unknown: sqlite3_result_error(context, "unknown date part", -1); return;
  }
  sqlite3_result_int64(context, result);
}

void DatePart(sqlite3_context* context, int, sqlite3_value** argv) {
  Part part = PartOf(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
  Moment m;
  if (!Argument(context, argv, 1, m)) return;
  int64_t result = 0;
  switch (part) {
    case Part::Year: result = m.year; break;
    case Part::Month: result = m.month; break;
    case Part::Day: result = m.day; break;
    case Part::Hour: result = m.hour; break;
    case Part::Minute: result = m.minute; break;
    case Part::Second: result = m.second; break;
    case Part::Unknown: sqlite3_result_error(context, "unknown date part", -1); return;
  }
  sqlite3_result_int64(context, result);
}

}  // namespace

std::string DateText(int64_t epochSeconds) {
  std::time_t t = static_cast<std::time_t>(epochSeconds);
  std::tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

void RegisterDateFunctions(sqlite3* db) {
  sqlite3_create_function(db, "om_datediff", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, DateDiff, nullptr, nullptr);
  sqlite3_create_function(db, "om_datepart", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, DatePart, nullptr, nullptr);
}

}  // namespace omserver::db
