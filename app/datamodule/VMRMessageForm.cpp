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

QString TVMRMsg::InLanguage(const QString& text) const {
    for (const QString& line : FixedTexts.split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq) == text) return line.mid(eq + 1);
    }
    return text;
}

}  // namespace vemra
