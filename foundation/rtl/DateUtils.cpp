#include "DateUtils.h"

#include <time.h>

#include <array>
#include <cmath>
#include <utility>

#include "SysUtils.h"

namespace vemra {

namespace {

constexpr std::int64_t MsPerDay = 86400000;
constexpr std::int64_t UnixDateDelta = 25569;  // 1970-01-01

// A date-time split into whole days and milliseconds of the day. Before 1899-12-30 the days
// count backwards while the fraction still counts the time of day forwards (-1.25 is
// 1899-12-29 06:00). The whole value is rounded to the millisecond first.
struct Split {
    std::int64_t days = 0;
    std::int64_t ms = 0;
};

Split SplitDateTime(TDateTime dt) {
    Split s;
    double a = std::fabs(dt);
    if (!std::isfinite(a) || a > 1e9) return s;  // nothing a calendar can show
    std::int64_t total = std::llround(a * MSecsPerDay);
    s.days = total / MsPerDay;
    s.ms = total % MsPerDay;
    if (dt < 0) s.days = -s.days;
    return s;
}

// Days since 1970-01-01 <-> proleptic Gregorian date (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// A date plus a time of day, the time counting forwards also before 1899-12-30.
TDateTime Combine(TDateTime date, TDateTime time) { return date >= 0 ? date + time : date - time; }

TDateTime SystemClock() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    TDateTime date = 0;
    TDateTime time = 0;
    TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
    TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                  static_cast<int>(ts.tv_nsec / 1000000), time);
    return Combine(date, time);
}

std::function<TDateTime()>& Clock() {
    static std::function<TDateTime()> clock = SystemClock;
    return clock;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) return false;
    out = static_cast<double>(DaysFromCivil(year, month, day) + UnixDateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime out = 0;
    if (!TryEncodeDate(year, month, day, out)) throw EConvertError("Invalid argument to date encode");
    return out;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) return false;
    out = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    TDateTime out = 0;
    if (!TryEncodeTime(hour, min, sec, msec, out)) throw EConvertError("Invalid argument to time encode");
    return out;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
    return Combine(EncodeDate(year, month, day), EncodeTime(hour, min, sec, msec));
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
    CivilFromDays(SplitDateTime(dt).days - UnixDateDelta, year, month, day);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
    std::int64_t ms = SplitDateTime(dt).ms;
    msec = static_cast<int>(ms % 1000);
    sec = static_cast<int>(ms / 1000 % 60);
    min = static_cast<int>(ms / 60000 % 60);
    hour = static_cast<int>(ms / 3600000);
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec) {
    DecodeDate(dt, year, month, day);
    DecodeTime(dt, hour, min, sec, msec);
}

int DayOfWeek(TDateTime dt) {
    std::int64_t r = (SplitDateTime(dt).days + 6) % 7;  // 1899-12-30 was a Saturday
    return static_cast<int>(r < 0 ? r + 7 : r) + 1;
}

int DayOfTheWeek(TDateTime dt) { return (DayOfWeek(dt) + 5) % 7 + 1; }

TDateTime DateOf(TDateTime dt) { return std::floor(dt); }

TDateTime TimeOf(TDateTime dt) { return dt - std::floor(dt); }

TDateTime IncMonth(TDateTime dt, int months) {
    int y = 0, m = 0, d = 0;
    DecodeDate(dt, y, m, d);
    std::int64_t index = static_cast<std::int64_t>(y) * 12 + (m - 1) + months;
    std::int64_t ny = index >= 0 ? index / 12 : (index - 11) / 12;
    int nm = static_cast<int>(index - ny * 12) + 1;
    if (ny < 1 || ny > 9999) throw EConvertError("Invalid argument to date encode");
    int year = static_cast<int>(ny);
    int day = d > DaysInMonth(year, nm) ? DaysInMonth(year, nm) : d;
    return Combine(EncodeDate(year, nm, day), static_cast<double>(SplitDateTime(dt).ms) / MSecsPerDay);
}

int YearOf(TDateTime dt) {
    int y = 0, m = 0, d = 0;
    DecodeDate(dt, y, m, d);
    return y;
}

TDateTime Now() { return Clock()(); }

TDateTime Date() { return DateOf(Now()); }

void SetClock(std::function<TDateTime()> clock) { Clock() = clock ? std::move(clock) : SystemClock; }

void ResetClock() { Clock() = SystemClock; }

TDateTime UnixToDateTime(std::int64_t seconds) {
    return static_cast<double>(UnixDateDelta) + static_cast<double>(seconds) / 86400.0;
}

std::int64_t DateTimeToUnix(TDateTime dt) {
    double s = std::nearbyint((dt - static_cast<double>(UnixDateDelta)) * 86400.0);
    if (!std::isfinite(s) || std::fabs(s) > 9.2e18) return 0;
    return static_cast<std::int64_t>(s);
}

// ---- FormatDateTime ----

namespace {

std::string Padded(int v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

struct DateParts {
    int year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0, dow = 1;
};

class DateFormatter {
public:
    DateFormatter(TDateTime dt, const TFormatSettings& fs) : fs_(fs) {
        DecodeDateTime(dt, p_.year, p_.month, p_.day, p_.hour, p_.min, p_.sec, p_.msec);
        p_.dow = DayOfWeek(dt);
    }

    void Append(std::string_view pattern, int depth) {
        char lastToken = '\0';
        std::size_t i = 0;
        while (i < pattern.size()) {
            char c = pattern[i];
            if (c == '\'' || c == '"') {
                std::size_t end = pattern.find(c, i + 1);
                if (end == std::string_view::npos) end = pattern.size();
                out_.append(pattern.substr(i + 1, end - i - 1));
                i = end + 1;
                continue;
            }
            char token = UpCase(c);
            std::size_t n = 1;
            if (token >= 'A' && token <= 'Z') {
                while (i + n < pattern.size() && UpCase(pattern[i + n]) == token) ++n;
                if (token == 'M' && lastToken == 'H') token = 'N';
                lastToken = token;
            }
            Token(token, c, static_cast<int>(n), depth);
            i += n;
        }
    }

    std::string Result() const { return out_; }

private:
    const TFormatSettings& fs_;
    DateParts p_;
    std::string out_;

    void Separator(char sep) {
        if (sep != '\0') out_ += sep;
    }

    void Token(char token, char original, int count, int depth) {
        switch (token) {
        case 'Y': out_ += count <= 2 ? Padded(p_.year % 100, 2) : Padded(p_.year, 4); break;
        case 'M': Month(count); break;
        case 'D': Day(count); break;
        case 'H': out_ += Padded(p_.hour, count >= 2 ? 2 : 0); break;
        case 'N': out_ += Padded(p_.min, count >= 2 ? 2 : 0); break;
        case 'S': out_ += Padded(p_.sec, count >= 2 ? 2 : 0); break;
        case 'Z': out_ += Padded(p_.msec, count == 3 ? 3 : 0); break;
        case 'C': WholeDateTime(count, depth); break;
        case '/': Separator(fs_.DateSeparator); break;
        case ':': Separator(fs_.TimeSeparator); break;
        default: out_.append(static_cast<std::size_t>(count), original);
        }
    }

    void Month(int count) {
        if (count <= 2)
            out_ += Padded(p_.month, count);
        else
            out_ += (count == 3 ? fs_.ShortMonthNames : fs_.LongMonthNames)[static_cast<std::size_t>(p_.month - 1)];
    }

    void Day(int count) {
        if (count <= 2)
            out_ += Padded(p_.day, count);
        else
            out_ += (count == 3 ? fs_.ShortDayNames : fs_.LongDayNames)[static_cast<std::size_t>(p_.dow - 1)];
    }

    // "c": the short date, and the short time unless the time is midnight.
    void WholeDateTime(int count, int depth) {
        for (int k = 0; k < count; ++k) {
            if (depth >= 2) continue;  // a pattern that names itself
            Append(fs_.ShortDateFormat, depth + 1);
            if (p_.hour != 0 || p_.min != 0 || p_.sec != 0) {
                out_ += ' ';
                Append(fs_.ShortTimeFormat, depth + 1);
            }
        }
    }
};

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime dt, const TFormatSettings& fs) {
    DateFormatter f(dt, fs);
    f.Append(pattern.empty() ? std::string_view("c") : pattern, 0);
    return f.Result();
}

// ---- StrToDate, StrToTime ----

namespace {

enum class DateOrder { MDY, DMY, YMD };

// The order of the first of y, m, d named in the short date format.
DateOrder OrderOf(std::string_view format) {
    for (char c : format) {
        switch (UpCase(c)) {
        case 'Y': return DateOrder::YMD;
        case 'M': return DateOrder::MDY;
        case 'D': return DateOrder::DMY;
        default: break;
        }
    }
    return DateOrder::MDY;
}

class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}

    bool AtEnd() const { return pos_ >= s_.size(); }

    void Blanks() {
        while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
    }

    // Up to four digits (more end the number early, and the text then fails).
    bool Number(int& value, int& length) {
        Blanks();
        std::size_t start = pos_;
        int n = 0;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9' && n < 1000) n = n * 10 + (s_[pos_++] - '0');
        if (pos_ == start) return false;
        value = n;
        length = static_cast<int>(pos_ - start);
        return true;
    }

    bool Char(char c) {
        Blanks();
        if (c == '\0' || pos_ >= s_.size() || s_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool Word(std::string_view w) {
        Blanks();
        if (s_.size() - pos_ < w.size() || !SameText(s_.substr(pos_, w.size()), w)) return false;
        pos_ += w.size();
        return true;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

int ExpandYear(int year, const TFormatSettings& fs) {
    int current = YearOf(Now());
    int base = current - fs.TwoDigitYearCenturyWindow;
    year += base / 100 * 100;
    if (fs.TwoDigitYearCenturyWindow > 0 && year < base) year += 100;
    return year;
}

bool ScanDate(Scanner& sc, TDateTime& out, const TFormatSettings& fs) {
    DateOrder order = OrderOf(fs.ShortDateFormat);
    int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
    if (!sc.Number(n1, l1) || !sc.Char(fs.DateSeparator) || !sc.Number(n2, l2)) return false;
    int y = 0, m = 0, d = 0;
    if (sc.Char(fs.DateSeparator)) {
        if (!sc.Number(n3, l3)) return false;
        int yearLength = l3;
        switch (order) {
        case DateOrder::MDY: y = n3, m = n1, d = n2; break;
        case DateOrder::DMY: y = n3, m = n2, d = n1; break;
        case DateOrder::YMD: y = n1, m = n2, d = n3, yearLength = l1; break;
        }
        if (yearLength <= 2) y = ExpandYear(y, fs);
    } else {
        y = YearOf(Now());
        if (order == DateOrder::DMY)
            d = n1, m = n2;
        else
            m = n1, d = n2;
    }
    sc.Char(fs.DateSeparator);
    sc.Blanks();
    return TryEncodeDate(y, m, d, out);
}

int ScanHalfDay(Scanner& sc) {
    if (sc.Word("AM")) return 0;
    if (sc.Word("PM")) return 12;
    return -1;
}

bool ScanTime(Scanner& sc, TDateTime& out, const TFormatSettings& fs) {
    int base = ScanHalfDay(sc);
    int hour = 0, min = 0, sec = 0, msec = 0, len = 0;
    if (!sc.Number(hour, len)) return false;
    if (sc.Char(fs.TimeSeparator)) {
        if (!sc.Number(min, len)) return false;
        if (sc.Char(fs.TimeSeparator)) {
            if (!sc.Number(sec, len)) return false;
            if (sc.Char(fs.DecimalSeparator) && !sc.Number(msec, len)) return false;
        }
    }
    if (base < 0) base = ScanHalfDay(sc);
    if (base >= 0) {
        if (hour == 0 || hour > 12) return false;
        hour = (hour == 12 ? 0 : hour) + base;
    }
    sc.Blanks();
    return TryEncodeTime(hour, min, sec, msec, out);
}

}  // namespace

bool TryStrToDate(std::string_view s, TDateTime& out, const TFormatSettings& fs) {
    Scanner sc(s);
    TDateTime v = 0;
    if (!ScanDate(sc, v, fs) || !sc.AtEnd()) return false;
    out = v;
    return true;
}

TDateTime StrToDate(std::string_view s, const TFormatSettings& fs) {
    TDateTime v = 0;
    if (!TryStrToDate(s, v, fs)) throw EConvertError("'" + std::string(s) + "' is not a valid date");
    return v;
}

bool TryStrToTime(std::string_view s, TDateTime& out, const TFormatSettings& fs) {
    Scanner sc(s);
    TDateTime v = 0;
    if (!ScanTime(sc, v, fs) || !sc.AtEnd()) return false;
    out = v;
    return true;
}

bool TryStrToDateTime(std::string_view s, TDateTime& out, const TFormatSettings& fs) {
    Scanner sc(s);
    TDateTime date = 0;
    TDateTime time = 0;
    if (ScanDate(sc, date, fs) && (sc.AtEnd() || (ScanTime(sc, time, fs) && sc.AtEnd()))) {
        out = Combine(date, time);
        return true;
    }
    return TryStrToTime(s, out, fs);
}

}  // namespace vemra
