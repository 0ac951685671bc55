#include "VMRMessageForm.h"

#include <QIcon>
#include <QPushButton>

#include "AppWindows.h"
#include "MessageNumbers.h"
#include "VMRInfoForm.h"
#include "dm.h"

namespace vemra {

TVMRMsg::TVMRMsg(QWidget* parent) : TFrmMsgBase(parent) {
    setObjectName(QStringLiteral("VMRMsg"));
    const QPixmap logo = VMRLogoPixmap();
    VMRLogo->setIcon(QIcon(logo));
    VMRLogo->setIconSize(logo.size());
}

void TVMRMsg::GetOkCaption(QString& caption) {
    caption = dm ? QString::fromStdString(dm->GetMessageText(msg::OkCaption)) : QString();
    // A language file without message 26 must not leave the only button blank.
    if (caption.isEmpty()) TFrmMsgBase::GetOkCaption(caption);
}

void TVMRMsg::FinishCreation() {
    if (!dm) return;
    dm->TranslateForm(this);
    if (dm->AppWindows() && dm->AppWindows()->AudioOn()) dm->PlayEventSound("Notify");
}

}  // namespace vemra
