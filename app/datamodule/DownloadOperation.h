#pragma once
// The program's one download operation at a time: an update run, a history download or an
// on-demand download. Downloads wait for their helper in a local event loop, so windows,
// timers and commands run meanwhile; the operation is what they all can see. It holds the
// shared internet session (closed at its end only when it opened it) and the rate source it
// works for (the selection may change meanwhile), and knows whether the user has chosen the
// converter's rates meanwhile, which it then leaves in place.

#include <cstdint>

namespace vemra {

class THTMLConverterPlugInn;
class TPlugginMan;

enum class TDownloadKind : std::uint8_t { None, Update, History, OnDemand };

class TDownloadOperation {
public:
    // Starts an operation unless one runs; Started() then says false and nothing changed.
    explicit TDownloadOperation(TDownloadKind kind);
    ~TDownloadOperation();
    TDownloadOperation(const TDownloadOperation&) = delete;
    TDownloadOperation& operator=(const TDownloadOperation&) = delete;

    bool Started() const { return started_; }

    // The kind of the operation running now; None when none runs.
    static TDownloadKind Running();
    // A day's rates applied by the user while an operation runs stay loaded: its new rates
    // are then filed and told, not loaded over them.
    static void KeepChosenRates();
    static bool MayReplaceRates();

private:
    bool started_ = false;
    bool ownSession_ = false;
    TPlugginMan* manager_ = nullptr;
    THTMLConverterPlugInn* savedWorking_ = nullptr;
};

}  // namespace vemra
