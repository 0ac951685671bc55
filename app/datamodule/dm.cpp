#include "dm.h"

#include <QTimer>

#include "AppWindows.h"
#include "StreamKeys.h"
#include "vmrconsts.h"

namespace vemra {

Tdm* dm = nullptr;

Tdm::Tdm(QObject* parent)
    : QObject(parent), languageIni_(std::make_unique<TStreamedIniFile>(kLanguageKeyIndex, std::string())) {
    StreamKeyProc = StreamKey;
    if (ProgramVersion.empty()) ProgramVersion = VEMRA_VERSION_TEXT;
    Tour = new QTimer(this);
    Tour->setObjectName(QStringLiteral("Tour"));
    Tour->setSingleShot(true);
    Tour->setInterval(3000);
    connect(Tour, &QTimer::timeout, this, &Tdm::TourTimer);
    CreateUpdater();
}

Tdm::~Tdm() {
    FreeSoundContext();
    if (dm == this) dm = nullptr;
}

}  // namespace vemra
