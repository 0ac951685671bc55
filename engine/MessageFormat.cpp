#include "MessageFormat.h"

#include <mutex>
#include <set>

#include "rtl/SysUtils.h"

namespace vemra {

namespace {

std::mutex& FaultsLock() {
    static std::mutex lock;
    return lock;
}

std::set<int>& LoggedFaults() {
    static std::set<int> numbers;
    return numbers;
}

}  // namespace

std::string FillMessageV(IEngineHost* logTo, int number, std::string_view text, const std::vector<FormatArg>& args) {
    try {
        return FormatV(text, args, FormatSettings);
    } catch (const std::exception&) {
        bool first = false;
        {
            const std::lock_guard<std::mutex> hold(FaultsLock());
            first = LoggedFaults().insert(number).second;
        }
        if (first && logTo != nullptr) {
            try {
                logTo->WriteLogLine("UPD",
                                    Format("LANGUAGE FILE: message %d does not fit its arguments: %s", number, text));
            } catch (...) {
                // A log that cannot be written must not turn a shown text into a fault.
            }
        }
        return std::string(text);
    }
}

void ForgetMessageFaultsForTesting() {
    const std::lock_guard<std::mutex> hold(FaultsLock());
    LoggedFaults().clear();
}

}  // namespace vemra
