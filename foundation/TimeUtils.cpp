#include "TimeUtils.h"

namespace vemra {

namespace {

TTimeZoneInformation& ZoneRecord() {
    static TTimeZoneInformation zone = GetTimeZoneInformation();
    return zone;
}

bool ValidMonth(int m) { return m >= 1 && m <= 12; }

// DayOfWeek counts 1 = Sunday, the record 0 = Sunday.
bool IsWeekday(TDateTime d, int weekday) { return DayOfWeek(d) - 1 == weekday; }

TDateTime WithTime(TDateTime day, const TSystemTime& st) {
    return day + st.wHour * OneHour + st.wMinute * OneMinute;
}

// The change of a yearly rule in the given year.
TDateTime RuleChange(const TSystemTime& st, int year) {
    TDateTime d = EncodeDate(year, st.wMonth, 1);
    const bool weekdayOk = st.wDayOfWeek >= 0 && st.wDayOfWeek <= 6;
    if (weekdayOk && st.wDay >= 1 && st.wDay <= 4) {
        while (!IsWeekday(d, st.wDayOfWeek)) d += 1;
        return WithTime(d + 7 * (st.wDay - 1), st);
    }
    if (weekdayOk && st.wDay == 5) {
        d = st.wMonth == 12 ? EncodeDate(year + 1, 1, 1) : EncodeDate(year, st.wMonth + 1, 1);
        do d -= 1;
        while (!IsWeekday(d, st.wDayOfWeek));
        return WithTime(d, st);
    }
    return d;
}

bool FixedChange(const TSystemTime& st, TDateTime& out) {
    if (!TryEncodeDate(st.wYear, st.wMonth, st.wDay, out)) return false;
    out = WithTime(out, st);
    return true;
}

}  // namespace

const TTimeZoneInformation& TimeZoneInfo() { return ZoneRecord(); }

void ReloadTimeZoneInfo() { ZoneRecord() = GetTimeZoneInformation(); }

bool IsDaylightTime(TDateTime local, const TTimeZoneInformation& zone) {
    const TSystemTime& on = zone.DaylightDate;
    const TSystemTime& off = zone.StandardDate;
    // Month 0: no daylight time. A record with only one valid month cannot be evaluated.
    if (!ValidMonth(on.wMonth) || !ValidMonth(off.wMonth)) return false;
    TDateTime start = 0;
    TDateTime end = 0;
    if (off.wYear == 0) {
        int year = 0, month = 0, day = 0;
        DecodeDate(local, year, month, day);
        start = RuleChange(on, year);
        end = RuleChange(off, year);
    } else if (!FixedChange(on, start) || !FixedChange(off, end)) {
        return false;
    }
    if (on.wMonth < off.wMonth) return start <= local && local < end;
    return local < end || local >= start;
}

bool IsDaylightTime(TDateTime local) { return IsDaylightTime(local, TimeZoneInfo()); }

TDateTime LocalToGMT(TDateTime local, const TTimeZoneInformation& zone) {
    const int bias = zone.Bias + (IsDaylightTime(local, zone) ? zone.DaylightBias : zone.StandardBias);
    return local + bias * OneMinute;
}

TDateTime LocalToGMT(TDateTime local) { return LocalToGMT(local, TimeZoneInfo()); }

}  // namespace vemra
