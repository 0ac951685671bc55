#include "VMROnDemandForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include "DownloadOperation.h"
#include "PngImage.h"
#include "MessageNumbers.h"
#include "PlugginMan.h"
#include "SmallWindows.h"
#include "dm.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "ui_VMROnDemandForm.h"

namespace vemra {

namespace {

class DataModuleRates final : public IOnDemandRates {
public:
    std::string DayRateFileName(TDateTime day) override {
        THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->WorkingPlugin() : nullptr;
        return source != nullptr ? source->GetPluginDataFileName(day) : std::string();
    }
    std::uint8_t DownloadRates(TDateTime day) override { return dm != nullptr ? dm->DownloadRates(day) : 4; }
    void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) override {
        if (dm != nullptr) dm->ProcessRateUpdate(code, isSelected, quiet);
    }
};

constexpr std::uint8_t kFileWritten = 9;

}  // namespace

IOnDemandRates& DataModuleOnDemandRates() {
    static DataModuleRates rates;
    return rates;
}

TVMROnDemand::TVMROnDemand(const TStringList& dates, IOnDemandRates& rates, QWidget* parent)
    : TVMRProgress(parent), rates_(rates), ui_(std::make_unique<Ui::TVMROnDemand>()) {
    InitSmallWindowResources();
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMROnDemand"));
    lvItems = ui_->lvItems;
    iml = {ui::LoadPngIcon(QStringLiteral(":/vemra/dayfailed.png")), ui::LoadPngIcon(QStringLiteral(":/vemra/dayfetched.png"))};
    Dates.Assign(dates);

    // The inherited components take this window's places.
    setFixedSize(461, 251);
    fondo->setGeometry(rect());
    lbMsg->setGeometry(144, 8, 301, 33);
    lbFile->setGeometry(16, 176, 429, 17);
    FBar->setGeometry(16, 196, 429, 16);
    btOk->setGeometry(252, 218, 89, 25);
    btKo->setGeometry(356, 218, 89, 25);
    FBar->setMaximum(std::max(Dates.Count(), 1));
}

TVMROnDemand::~TVMROnDemand() = default;

QString TVMROnDemand::ColumnCaption() const { return lvItems->headerItem()->text(0); }
void TVMROnDemand::SetColumnCaption(const QString& caption) { lvItems->headerItem()->setText(0, caption); }

void TVMROnDemand::DoWork() {
    lvItems->setColumnWidth(0, 333);
    Cancelled = false;
    Fetched = 0;
    Failed = 0;
    for (int i = 0; i < Dates.Count(); ++i) {
        const TDateTime day = StrToInt(Dates[i]);
        const QString name = QString::fromStdString(ExtractFileName(rates_.DayRateFileName(day)));
        lbFile->setText(MessageText(msg::OnDemandFetching) + name);
        if (Cancelled) break;
        const std::uint8_t code = rates_.DownloadRates(day);
        auto* item = new QTreeWidgetItem(QStringList(lbFile->text()));
        lvItems->insertTopLevelItem(0, item);
        const std::string fileName = name.toStdString();
        if (code != kFileWritten) {
            item->setText(0, FormatMessage(msg::OnDemandDayFailed, {fileName}));
            item->setIcon(0, iml[0]);
            ++Failed;
        } else {
            rates_.ProcessRateUpdate(kFileWritten, true, true);
            item->setText(0, FormatMessage(msg::OnDemandDayFetched, {fileName}));
            item->setIcon(0, iml[1]);
            ++Fetched;
        }
        SetGaugePosition(FBar, i + 1);
        FBar->repaint();
        lvItems->repaint();
        LetEventsRun();
    }
    if (!Cancelled) {
        lbFile->setText(FormatMessage(msg::OnDemandSummary, {Fetched, Failed}));
        btKo->hide();
    } else {
        lbFile->clear();
    }
}

void RunOnDemandDownload(const TStringList& dates) { RunOnDemandDownload(dates, DataModuleOnDemandRates()); }

void RunOnDemandDownload(const TStringList& dates, IOnDemandRates& rates) {
    // The operation opens the session and keeps the source of the days.
    const TDownloadOperation operation(TDownloadKind::OnDemand);
    if (!operation.Started()) {
        if (dm != nullptr) dm->RefuseDownload();
        return;
    }
    std::unique_ptr<TVMROnDemand> window(TVMRMsg::Create<TVMROnDemand>(dates, rates));
    window->exec();
}

}  // namespace vemra
