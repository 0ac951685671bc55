#pragma once
// Daylight-saving time of local date-times, and local time to GMT, from the zone record
// that GetTimeZoneInformation builds from the zone's POSIX rule.

#include "platform/TimeZoneRule.h"
#include "rtl/DateUtils.h"

namespace vemra {

// The zone record, read at first use and kept for the rest of the run.
const TTimeZoneInformation& TimeZoneInfo();
// Reads the zone again (after TZ changed, e.g. in tests or after the user changed the zone).
// Not safe while another thread uses the record.
void ReloadTimeZoneInfo();

// Whether the local date-time lies in daylight-saving time. For the local times of the hour
// that repeats when daylight time ends, the answer is "daylight".
bool IsDaylightTime(TDateTime local);
bool IsDaylightTime(TDateTime local, const TTimeZoneInformation& zone);
// local + the zone's bias (plus the daylight or standard bias).
TDateTime LocalToGMT(TDateTime local);
TDateTime LocalToGMT(TDateTime local, const TTimeZoneInformation& zone);

}  // namespace vemra
