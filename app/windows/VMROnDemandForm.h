#pragma once
// TVMROnDemand: fetches the day rate files of the current rate source for a list of days,
// one download attempt per day, and lists each day's outcome, the newest attempt first.

#include <QIcon>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "VMRProgressForm.h"
#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

class QTreeWidget;

namespace Ui {
class TVMROnDemand;
}

namespace vemra {

// What the window asks for each day: the data module's download attempt and its processing,
// and the current rate source's day rate file name.
class IOnDemandRates {
public:
    virtual ~IOnDemandRates() = default;
    virtual std::string DayRateFileName(TDateTime day) = 0;
    virtual std::uint8_t DownloadRates(TDateTime day) = 0;  // result codes 1-9; 9: file written
    virtual void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) = 0;
};

// The program's own: dm's download attempt and the plug-in manager's current source.
IOnDemandRates& DataModuleOnDemandRates();

class TVMROnDemand : public TVMRProgress {
    Q_OBJECT
    // The list's column header, from the language file's section of this window.
    Q_PROPERTY(QString ColumnCaption READ ColumnCaption WRITE SetColumnCaption)
public:
    // dates: whole day numbers as text (copied).
    TVMROnDemand(const TStringList& dates, IOnDemandRates& rates, QWidget* parent = nullptr);
    ~TVMROnDemand() override;

    void DoWork() override;

    QString ColumnCaption() const;
    void SetColumnCaption(const QString& caption);

    QTreeWidget* lvItems;
    std::array<QIcon, 2> iml;  // 0: day failed, 1: day fetched
    TStringList Dates;
    int Fetched = 0;
    int Failed = 0;

private:
    IOnDemandRates& rates_;
    std::unique_ptr<Ui::TVMROnDemand> ui_;
};

// Runs the window modally inside an open internet session (closed afterwards).
void RunOnDemandDownload(const TStringList& dates);
void RunOnDemandDownload(const TStringList& dates, IOnDemandRates& rates);

}  // namespace vemra
