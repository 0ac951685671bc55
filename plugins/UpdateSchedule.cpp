// The update schedule of TPlugginMan: which day of a source's rates is published and not
// yet here. All times are compared in GMT.

#include <cmath>

#include "PlugginMan.h"
#include "TimeUtils.h"
#include "rtl/Format.h"
#include "rtl/FormatSettings.h"
#include "rtl/SysUtils.h"

namespace vemra {

bool TPlugginMan::IsUpdateDue(TDateTime day, std::string& fileName, bool& exists) {
    THTMLConverterPlugInn* source = WorkingPlugin();
    fileName.clear();
    exists = false;
    if (source == nullptr) return false;
    fileName = source->GetPluginDataFileName(day);
    exists = FileExists(fileName);
    const auto weekday = static_cast<std::size_t>(DayOfTheWeek(day));
    if (source->PublishMask.size() < weekday || source->PublishMask[weekday - 1] != '1') return false;
    const TDateTime publication = DateOf(day) + source->PublicationMinute * OneMinute;
    const TDateTime gmtNow = LocalToGMT(Now());
    const bool due = publication - source->ZoneHours * OneHour < gmtNow;
    if (host_->DetailLogEnabled() && !exists) {
        host_->LogUpdateCheck(source->Code, source->ZoneHours, gmtNow, publication, due);
    }
    return due;
}

// One source: the newest due day is downloaded when its file is missing, or recorded when
// its file is there and newer than the last update. Whether the source is the selected one
// is asked when its outcome is processed: the user may have chosen another meanwhile.
void TPlugginMan::UpdateSource(THTMLConverterPlugInn& source) {
    const auto days = static_cast<long long>(std::floor(Date())) -
                      static_cast<long long>(std::floor(source.LastPublicationTime()));
    for (long long d = 0; d <= days; ++d) {
        const TDateTime day = LocalToGMT(Now() - static_cast<double>(d));
        std::string fileName;
        bool exists = false;
        if (!IsUpdateDue(day, fileName, exists)) continue;
        if (!exists) {
            const std::uint8_t code = host_->DownloadRates(day);
            host_->ProcessRateUpdate(code, &source == CurrentPlugin(), false);
            return;
        }
        if (DateOf(day) > DateOf(source.GetLastUpdate())) {
            host_->SetDatedRateFile(fileName);
            source.SetLastUpdate(day);
            host_->ProcessRateUpdate(9, true, false);
            if (&source == CurrentPlugin()) {
                host_->ShowNotification("*", Format("%s\r\n\r\n%s", source.GetPluginValue(pvPublisher),
                                                    FormatDateTime(FormatSettings.ShortDateFormat, day)));
            }
            return;
        }
    }
}

void TPlugginMan::UpdateAllPlugins() {
    struct Restore {
        TPlugginMan& manager;
        THTMLConverterPlugInn* working;
        ~Restore() { manager.working_ = working; }
    } restore{*this, working_};
    for (int i = 0; i < plugins_.Count(); ++i) {
        THTMLConverterPlugInn* source = GetPlugin(i);
        if (source == nullptr) continue;
        working_ = source;
        UpdateSource(*source);
    }
}

}  // namespace vemra
