#pragma once
// The time-zone record the time helpers work from, filled from the zone's POSIX rule
// ("CET-1CEST,M3.5.0,M10.5.0/3"): TZ when set, else the rule at the end of /etc/localtime.

#include <optional>
#include <string>
#include <string_view>

namespace vemra {

// One yearly change. With wYear 0 it is a rule: the wDay-th (5 = last) weekday wDayOfWeek
// (0 = Sunday) of wMonth. With wYear set it is the fixed date wYear-wMonth-wDay.
// wHour:wMinute is the local time of the change, counted from midnight of that day; POSIX
// allows it outside 0..24 hours (e.g. -1 = 23:00 the day before), so both fields are signed
// and carry the same sign.
struct TSystemTime {
    int wYear = 0;
    int wMonth = 0;  // 0 = no change
    int wDayOfWeek = 0;
    int wDay = 0;
    int wHour = 0;
    int wMinute = 0;
    bool operator==(const TSystemTime&) const = default;
};

// Biases in minutes, UTC = local time + bias (+ the standard or daylight bias).
struct TTimeZoneInformation {
    int Bias = 0;
    int StandardBias = 0;
    int DaylightBias = 0;
    TSystemTime StandardDate;  // daylight time ends (local daylight time)
    TSystemTime DaylightDate;  // daylight time starts (local standard time); wMonth 0: no DST
    bool operator==(const TTimeZoneInformation&) const = default;
};

// Parses a POSIX TZ rule: std offset [dst [offset] [,start[/time],end[/time]]], names
// alphabetic or quoted ("<+0330>"), offsets and times [+-]hh[:mm[:ss]] (seconds dropped).
// A daylight name without dates takes the C library's default M3.2.0,M11.1.0. The day
// forms Jn and n have no yearly-rule counterpart in the record: they become fixed dates of
// `year` (both dates then fixed). False when the text is not such a rule.
bool ParsePosixTimeZone(std::string_view rule, int year, TTimeZoneInformation& out);

// The rule line at the end of a TZif file (version 2 and later): "" when the file is a
// TZif file without one, nothing when it is no TZif file or cannot be read.
std::optional<std::string> ReadTzifFooter(const std::string& path);

// This process's zone, looked up as the C library does: TZ unset -> /etc/localtime; TZ
// empty -> UTC; otherwise TZ (a leading ":" dropped) names a zone file (absolute, or below
// $TZDIR or /usr/share/zoneinfo) or is itself a POSIX rule. UTC when nothing gives a rule.
TTimeZoneInformation GetTimeZoneInformation();

}  // namespace vemra
