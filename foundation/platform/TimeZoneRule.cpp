#include "TimeZoneRule.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

#include "rtl/DateUtils.h"

namespace vemra {

namespace {

// A zone file is a few kilobytes; anything far larger (TZ=/dev/zero) is no zone file.
constexpr std::streamsize kMaxZoneFile = 1 << 22;
constexpr int kDefaultChangeSeconds = 2 * 3600;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsQuotedNameChar(char c) { return IsDigit(c) || IsAlpha(c) || c == '+' || c == '-'; }

int MonthDays(bool leap, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// 0 = Sunday; days counted from 1970-01-01, a Thursday.
int WeekdayOf(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return ((days % 7) + 7 + 4) % 7;
}

struct RuleDate {
    enum Kind { Julian, ZeroBased, MonthRule } kind = MonthRule;
    int day = 0;  // Julian 1..365 (no Feb 29), ZeroBased 0..365
    int month = 0, week = 0, weekday = 0;
    int seconds = kDefaultChangeSeconds;  // local time of the change
};

class RuleParser {
public:
    explicit RuleParser(std::string_view s) : s_(s) {}
    bool AtEnd() const { return i_ == s_.size(); }
    bool Take(char c) {
        if (i_ >= s_.size() || s_[i_] != c) return false;
        ++i_;
        return true;
    }
    bool NextIs(bool (*test)(char)) const { return i_ < s_.size() && test(s_[i_]); }

    bool Name() {
        const bool quoted = Take('<');
        const std::size_t from = i_;
        while (NextIs(quoted ? IsQuotedNameChar : IsAlpha)) ++i_;
        return i_ - from >= 3 && (!quoted || Take('>'));
    }

    bool Number(int& out, int maxDigits, int maxValue) {
        out = 0;
        int digits = 0;
        for (; NextIs(IsDigit) && digits < maxDigits; ++digits) out = out * 10 + (s_[i_++] - '0');
        return digits > 0 && out <= maxValue;
    }

    // [+-]hh[:mm[:ss]] in seconds.
    bool Offset(int& seconds, int maxHours) {
        const bool negative = Take('-');
        if (!negative) Take('+');
        int h = 0, m = 0, s = 0;
        if (!Number(h, 3, maxHours)) return false;
        if (Take(':')) {
            if (!Number(m, 2, 59)) return false;
            if (Take(':') && !Number(s, 2, 59)) return false;
        }
        seconds = (negative ? -1 : 1) * (h * 3600 + m * 60 + s);
        return true;
    }

    bool Date(RuleDate& out) {
        if (Take('M')) {
            out.kind = RuleDate::MonthRule;
            if (!Number(out.month, 2, 12) || out.month < 1 || !Take('.') || !Number(out.week, 1, 5) ||
                out.week < 1 || !Take('.') || !Number(out.weekday, 1, 6))
                return false;
        } else if (Take('J')) {
            out.kind = RuleDate::Julian;
            if (!Number(out.day, 3, 365) || out.day < 1) return false;
        } else {
            out.kind = RuleDate::ZeroBased;
            if (!Number(out.day, 3, 365)) return false;
        }
        // Transition times may lie outside the day: -167..167 hours.
        return !Take('/') || Offset(out.seconds, 167);
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

TSystemTime ChangeTime(int seconds) {
    const int minutes = seconds / 60;
    TSystemTime t;
    t.wHour = minutes / 60;
    t.wMinute = minutes % 60;
    return t;
}

TSystemTime YearlyRule(const RuleDate& d) {
    TSystemTime t = ChangeTime(d.seconds);
    t.wMonth = d.month;
    t.wDay = d.week;
    t.wDayOfWeek = d.weekday;
    return t;
}

TSystemTime FixedDate(const RuleDate& d, int year) {
    TSystemTime t = ChangeTime(d.seconds);
    t.wYear = year;
    const bool leap = IsLeapYear(year);
    int month = 1;
    int day = 0;
    if (d.kind == RuleDate::MonthRule) {
        month = d.month;
        day = 1 + (d.weekday - WeekdayOf(year, month, 1) + 7) % 7 + 7 * (d.week - 1);
        while (day > MonthDays(leap, month)) day -= 7;
    } else {
        // Jn never counts February 29; n counts it (and its 365 is the last day at most).
        const bool countLeap = d.kind == RuleDate::ZeroBased && leap;
        int left = d.kind == RuleDate::Julian ? d.day - 1 : d.day;
        while (month < 12 && left >= MonthDays(countLeap, month)) left -= MonthDays(countLeap, month++);
        day = std::min(left + 1, MonthDays(leap, month));
    }
    t.wMonth = month;
    t.wDay = day;
    return t;
}

std::string ZoneFilePath(std::string_view name) {
    if (name.front() == '/') return std::string(name);
    const char* dir = std::getenv("TZDIR");
    const std::string base = dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo";
    return base + '/' + std::string(name);
}

int CurrentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    return ::gmtime_r(&now, &tm) != nullptr ? tm.tm_year + 1900 : 2000;
}

}  // namespace

bool ParsePosixTimeZone(std::string_view rule, int year, TTimeZoneInformation& out) {
    RuleParser p(rule);
    int stdOffset = 0;
    if (!p.Name() || !p.Offset(stdOffset, 24)) return false;
    TTimeZoneInformation tz;
    tz.Bias = stdOffset / 60;
    if (p.AtEnd()) {
        out = tz;
        return true;
    }
    if (!p.Name()) return false;
    int dstOffset = stdOffset - 3600;
    if (!p.AtEnd() && !p.NextIs([](char c) { return c == ','; }) && !p.Offset(dstOffset, 24)) return false;
    RuleDate start, end;
    start.month = 3, start.week = 2;  // the C library's default: M3.2.0,M11.1.0
    end.month = 11, end.week = 1;
    if (p.Take(',') && !(p.Date(start) && p.Take(',') && p.Date(end))) return false;
    if (!p.AtEnd()) return false;

    tz.DaylightBias = dstOffset / 60 - tz.Bias;
    if (start.kind == RuleDate::MonthRule && end.kind == RuleDate::MonthRule) {
        tz.DaylightDate = YearlyRule(start);
        tz.StandardDate = YearlyRule(end);
    } else {
        tz.DaylightDate = FixedDate(start, year);
        tz.StandardDate = FixedDate(end, year);
    }
    out = tz;
    return true;
}

std::optional<std::string> ReadTzifFooter(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxZoneFile) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return std::nullopt;
    if (data.size() < 5 || data.compare(0, 4, "TZif") != 0) return std::nullopt;
    // Version 1 files carry no rule; later ones end with "\n<rule>\n".
    if (data[4] == '\0' || data.back() != '\n') return std::string();
    const std::size_t start = data.rfind('\n', data.size() - 2);
    if (start == std::string::npos) return std::string();
    return data.substr(start + 1, data.size() - start - 2);
}

TTimeZoneInformation GetTimeZoneInformation() {
    std::string rule;
    const char* tz = std::getenv("TZ");
    if (tz == nullptr) {
        rule = ReadTzifFooter("/etc/localtime").value_or(std::string());
    } else {
        std::string_view zone = tz;
        if (!zone.empty() && zone.front() == ':') zone.remove_prefix(1);
        if (!zone.empty()) rule = ReadTzifFooter(ZoneFilePath(zone)).value_or(std::string(zone));
    }
    TTimeZoneInformation info;
    if (!ParsePosixTimeZone(rule, CurrentYear(), info)) info = TTimeZoneInformation{};
    return info;
}

}  // namespace vemra
