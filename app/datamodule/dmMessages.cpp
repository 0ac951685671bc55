// The data module's message boxes, notification popups, web addresses and tour timer.

#include <QTimer>

#include "AppWindows.h"
#include "MessageNumbers.h"
#include "SysStrings.h"
#include "VMRInfoForm.h"
#include "VMRMessageForm.h"
#include "dm.h"

namespace vemra {

namespace {

inline constexpr auto kWebsiteBase = ScrambleLiteral("https://vemra.example.org");
inline constexpr auto kServiceBase = ScrambleLiteral("https://service.vemra.example.org");

// The newest message wins: a box still open closes first, with its default answer.
TVMRMsg* OpenNewBox() {
    if (MsgBox) MsgBox->CloseBox();
    auto* box = TVMRMsg::Create<TVMRMsg>();
    MsgBox = box;
    return box;
}

}  // namespace

void Tdm::ShowMessageText(const std::string& text) {
    TVMRMsg* box = OpenNewBox();
    box->CloseWithNo = false;
    box->Execute(box->InLanguage(QString::fromStdString(text)), false);
}

bool Tdm::AskMessageText(const std::string& text, bool closeWithNo) {
    TVMRMsg* box = OpenNewBox();
    box->CloseWithNo = closeWithNo;
    return box->Execute(QString::fromStdString(text), true);
}

void Tdm::ShowNotification(const std::string& title, const std::string& text) {
    auto* popup = new TVMRInfo();
    if (title == "*") {
        popup->SetTitle(QString::fromStdString(GetMessageText(msg::NotificationTitle)));
    } else {
        popup->Gradient->SetColors(0xFFFF00, 0x804000);
        popup->SetTitle(QString::fromStdString(title));
    }
    popup->SetText(QString::fromStdString(text));
    if (windows_ && windows_->AudioOn()) PlayEventSound("Notify");
    popup->show();
    popup->repaint();
    popup->InfoTimer->start();
}

std::string Tdm::WebsiteUrl(const std::string& suffix) { return UnscrambleLiteral(kWebsiteBase) + suffix; }

namespace {
// The tests' own server in place of the service; empty: the built-in address.
std::string& ServiceBaseForTests() {
    static std::string base;
    return base;
}
}  // namespace

std::string Tdm::ServiceUrl(const std::string& suffix) {
    const std::string& base = ServiceBaseForTests();
    return (base.empty() ? UnscrambleLiteral(kServiceBase) : base) + suffix;
}

void Tdm::SetServiceBaseForTests(const std::string& base) { ServiceBaseForTests() = base; }

void Tdm::TourTimer() {
    Tour->stop();
    if (windows_) windows_->RunTour();
}

void Tdm::SetTrayTip(const std::string& tip) {
    if (windows_) windows_->SetTrayTip(tip);
}

std::string Tdm::CurrencyConfigFileName() { return windows_ ? windows_->CurrencyConfigFileName() : std::string(); }

bool Tdm::DetailLogEnabled() { return windows_ && windows_->DetailLogEnabled(); }

}  // namespace vemra
