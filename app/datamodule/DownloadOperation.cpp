#include "DownloadOperation.h"

#include "NetUtils.h"
#include "PlugginMan.h"
#include "dm.h"

namespace vemra {

namespace {

TDownloadKind g_running = TDownloadKind::None;
bool g_keepRates = false;

}  // namespace

TDownloadOperation::TDownloadOperation(TDownloadKind kind) {
    if (g_running != TDownloadKind::None || kind == TDownloadKind::None) return;
    started_ = true;
    g_running = kind;
    g_keepRates = false;
    manager_ = PlugginMan;
    if (manager_ != nullptr) savedWorking_ = manager_->SetWorkingPlugin(manager_->CurrentPlugin());
    ownSession_ = InetSession() == nullptr;
    InetOpenSession();
}

TDownloadOperation::~TDownloadOperation() {
    if (!started_) return;
    if (manager_ != nullptr && manager_ == PlugginMan) manager_->SetWorkingPlugin(savedWorking_);
    const TDownloadKind kind = g_running;
    g_running = TDownloadKind::None;
    g_keepRates = false;
    if (ownSession_) InetCloseSession();
    if (dm != nullptr) dm->DownloadEnded(kind);
}

TDownloadKind TDownloadOperation::Running() { return g_running; }

void TDownloadOperation::KeepChosenRates() {
    if (g_running != TDownloadKind::None) g_keepRates = true;
}

bool TDownloadOperation::MayReplaceRates() { return !g_keepRates; }

}  // namespace vemra
