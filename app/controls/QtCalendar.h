#pragma once
// TQtCalendar: the month calendar of the rate-source properties window. Besides the month
// view it holds a date that may be "none" (0), a set of data days drawn in the data-days
// colour, a working-day mask that tells working days from the others, and a reference date
// drawn with a frame.

#include <QCalendarWidget>

#include <bitset>
#include <string>

#include "Colors.h"
#include "rtl/DateUtils.h"

namespace vemra {

// The date part of a date-time as a QDate, and back (0 for an invalid QDate).
QDate DateTimeToQDate(TDateTime date);
TDateTime QDateToDateTime(const QDate& date);

class TQtCalendar : public QCalendarWidget {
    Q_OBJECT
public:
    explicit TQtCalendar(QWidget* parent = nullptr);

    // 0 = no date. Setting a different date shows its month and fires Change.
    TDateTime Date() const { return date_; }
    void SetDate(TDateTime date);
    // The parts of Date (0 while there is none).
    int Year() const;
    int Month() const;
    int Day() const;
    // Moves to that day of the shown month; ignored when the month is shorter or it is the
    // day already.
    void SetDay(int day);

    // Day numbers 0..31 of the shown month that have data.
    std::bitset<32> DataDays;
    bool IsDataDay(int day) const { return day >= 0 && day < 32 && DataDays.test(static_cast<std::size_t>(day)); }
    // Seven "0"/"1" characters, Monday first; "1" marks a working day.
    std::string WorkingDays = "1111100";
    TDateTime ReferenceDate = 0;
    TColor DataDaysColor = 0x80FF80;  // light green background of a data day
    TColor NoWorkColor = clRed;       // text of a day off by the mask
    TColor ReferenceColor = clNavy;   // frame of the reference date

    bool IsWorkingDay(const QDate& date) const;
    // True while a date change comes from paging the month (the navigation bar).
    bool Paging() const { return paging_; }

signals:
    // The date changed, by code or by the user.
    void Change();
    void DoubleClicked();

protected:
    void paintCell(QPainter* painter, const QRect& rect, QDate date) const override;

private:
    void FollowSelection();
    void FollowPage(int year, int month);
    TDateTime date_ = 0;
    bool settingDate_ = false;
    bool paging_ = false;
};

}  // namespace vemra
