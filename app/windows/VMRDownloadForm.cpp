#include "VMRDownloadForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "NetUtils.h"
#include "DownloadOperation.h"
#include "SmallWindows.h"
#include "dm.h"
#include "ZEPHStrUtils.h"
#include "rtl/SysUtils.h"

namespace vemra {

namespace {

// The target's old copy stays aside until the new one has arrived, so that a failed
// download (no network, a broken transfer) neither loses it nor leaves half a file.
class TargetBackup {
public:
    explicit TargetBackup(std::string target) : target_(std::move(target)) {
        if (!FileExists(target_)) return;
        backup_ = target_ + ".vmrold";
        DeleteFile(backup_);
        if (!RenameFile(target_, backup_)) {
            backup_.clear();
            DeleteFile(target_);
        }
    }
    // Not fetched: what a broken transfer left goes, and the old copy comes back.
    void Finish(bool fetched) {
        if (fetched) {
            if (!backup_.empty()) DeleteFile(backup_);
            return;
        }
        if (!target_.empty()) DeleteFile(target_);
        if (!backup_.empty()) RenameFile(backup_, target_);
    }

private:
    std::string target_;
    std::string backup_;
};

}  // namespace

TVMRDownload::TVMRDownload(QWidget* parent) : TVMRProgress(parent) {
    setObjectName(QStringLiteral("VMRDownload"));
    Tim = new QTimer(this);
    Tim->setObjectName(QStringLiteral("Tim"));
    Tim->setInterval(250);
    Tim->setSingleShot(true);
    connect(Tim, &QTimer::timeout, btOk, &QPushButton::click);
}

TVMRDownload::~TVMRDownload() = default;

void TVMRDownload::DoWork() {
    if (Addresses.Empty()) return;
    if (CountFiles) FBar->setMaximum(Addresses.Count());
    SetGaugePosition(FBar, 0);
    Fetched = 0;
    Cancelled = false;
    // RunDownloadList's operation holds the session already; a session opened elsewhere is
    // closed here only if opened here.
    const bool ownSession = InetSession() == nullptr;
    InetOpenSession();
    for (int i = 0; i < Addresses.Count() && !Cancelled; ++i) {
        const std::string& target = Files[i];
        lbFile->setText(QString::fromStdString(ExtractFileName(target)));
        lbFile->repaint();
        TargetBackup backup(target);
        bool fetched = false;
        try {
            // The list carries history files, with their larger bounds.
            if (CountFiles) {
                fetched = InetDownloadToFile(Addresses[i], target, nullptr, kHistoryLimits);
                if (fetched) SetGaugePosition(FBar, FBar->value() + 1);
            } else {
                SetGaugePosition(FBar, 0);
                fetched = InetDownloadToFile(Addresses[i], target,
                                             [this](int total, int done) { DownloadProgress(total, done); },
                                             kHistoryLimits);
            }
        } catch (const std::exception&) {
            // A target that cannot be written (or an empty target name) is a file not fetched.
        }
        backup.Finish(fetched);
        if (fetched) ++Fetched;
        LetEventsRun();
    }
    if (ownSession) InetCloseSession();
    SetGaugePosition(FBar, 100);
    Tim->start();
}

void TVMRDownload::DownloadProgress(int total, int done) {
    const int maximum = total < 1 ? (done / 20 + 1) * 20 : total;
    if (FBar->maximum() != maximum) FBar->setMaximum(maximum);
    SetGaugePosition(FBar, done);
    LetEventsRun();
}

int RunDownloadList(const TStringList& lines, bool countFiles) {
    const TDownloadOperation operation(TDownloadKind::History);
    if (!operation.Started()) {
        if (dm != nullptr) dm->RefuseDownload();
        return 0;
    }
    std::unique_ptr<TVMRDownload> window(TVMRMsg::Create<TVMRDownload>());
    window->lbMsg->hide();
    window->CountFiles = countFiles;
    TStringCutter cutter(MakeCharSet("|"));
    for (const auto& line : lines.Items()) {
        cutter.Text = line.str;
        window->Addresses.Add(cutter.Word(4));
        window->Files.Add(cutter.Word(5));
    }
    window->exec();
    return window->Fetched;
}

}  // namespace vemra
