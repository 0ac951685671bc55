#pragma once
// Date-times as the files and the registry store them: days since 1899-12-30, the fraction
// being the time of day. Gregorian calendar throughout.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "FormatSettings.h"

namespace vemra {

using TDateTime = double;

inline constexpr double MSecsPerDay = 86400000.0;
inline constexpr double OneHour = 1.0 / 24.0;
inline constexpr double OneMinute = 1.0 / 1440.0;
inline constexpr double OneSecond = 1.0 / 86400.0;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
TDateTime EncodeDate(int year, int month, int day);  // EConvertError on an invalid date
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
// Decoding rounds to the nearest millisecond first, so 07:08:09.9996 is 07:08:10.000.
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime dt);   // 1 = Sunday .. 7 = Saturday
int DayOfTheWeek(TDateTime dt);  // ISO: 1 = Monday .. 7 = Sunday
TDateTime DateOf(TDateTime dt);  // the date part (whole days, toward minus infinity)
TDateTime TimeOf(TDateTime dt);
TDateTime IncMonth(TDateTime dt, int months);
int YearOf(TDateTime dt);

// The clock: local wall time. Tests replace it with SetClock and restore it with ResetClock.
TDateTime Now();
TDateTime Date();  // today at midnight
void SetClock(std::function<TDateTime()> clock);
void ResetClock();
// Unix seconds (UTC) <-> date-time, for clocks and file times.
TDateTime UnixToDateTime(std::int64_t seconds);
std::int64_t DateTimeToUnix(TDateTime dt);

// FormatDateTime patterns: y/yy (two-digit year), yyyy, m/mm (month), mmm/mmmm (month names),
// d/dd, ddd (short day name), dddd (long day name), h/hh, n/nn (minutes), s/ss, z/zzz,
// "/" = date separator, ":" = time separator, 'text' and "text" literal; c = short date +
// short time. Any other character is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime dt, const TFormatSettings& fs = FormatSettings);

// StrToDate: two or three numbers separated by the record's DateSeparator, in the order of
// its ShortDateFormat (the first of y, m, d that it names); two numbers take the current
// year; a year of one or two digits gets the century by TwoDigitYearCenturyWindow (0 = the
// current century). Blanks around the text are allowed.
bool TryStrToDate(std::string_view s, TDateTime& out, const TFormatSettings& fs = FormatSettings);
TDateTime StrToDate(std::string_view s, const TFormatSettings& fs = FormatSettings);  // EConvertError "'%s' is not a valid date"
// StrToTime: h[:m[:s]] with the record's TimeSeparator, optional AM/PM.
bool TryStrToTime(std::string_view s, TDateTime& out, const TFormatSettings& fs = FormatSettings);
bool TryStrToDateTime(std::string_view s, TDateTime& out, const TFormatSettings& fs = FormatSettings);

}  // namespace vemra
