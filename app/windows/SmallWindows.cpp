#include "SmallWindows.h"

#include <QProgressBar>
#include <algorithm>
#include <vector>

#include "MessageFormat.h"
#include "dm.h"
#include "rtl/SysUtils.h"

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterSmallWindowResources() { Q_INIT_RESOURCE(SmallWindows); }

namespace vemra {

namespace {
std::function<std::string(int)>& MessageSource() {
    static std::function<std::string(int)> source;
    return source;
}
}  // namespace

QString MessageText(int number) {
    if (MessageSource()) return QString::fromStdString(MessageSource()(number));
    return dm != nullptr ? QString::fromStdString(dm->GetMessageText(number)) : QString();
}

QString FormatText(const std::string& pattern, std::initializer_list<FormatArg> args) {
    try {
        return QString::fromStdString(FormatV(pattern, std::vector<FormatArg>(args), FormatSettings));
    } catch (const EConvertError&) {
        return QString::fromStdString(pattern);
    }
}

QString FormatMessage(int number, std::initializer_list<FormatArg> args) {
    return QString::fromStdString(
        FillMessageV(dm, number, MessageText(number).toStdString(), std::vector<FormatArg>(args)));
}

void TranslateWindow(QWidget* window) {
    if (dm != nullptr) dm->TranslateForm(window);
}

void SetMessageSourceForTesting(std::function<std::string(int)> source) { MessageSource() = std::move(source); }

void SetGaugePosition(QProgressBar* gauge, int position) {
    gauge->setValue(std::clamp(position, gauge->minimum(), std::max(gauge->minimum(), gauge->maximum())));
}

void InitSmallWindowResources() {
    static const bool registered = (RegisterSmallWindowResources(), true);
    (void)registered;
}

}  // namespace vemra
