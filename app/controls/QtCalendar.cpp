#include "QtCalendar.h"

#include <QPainter>

namespace vemra {

QDate DateTimeToQDate(TDateTime date) {
    int y = 0, m = 0, d = 0;
    DecodeDate(date, y, m, d);
    return QDate(y, m, d);
}

TDateTime QDateToDateTime(const QDate& date) {
    if (!date.isValid()) return 0;
    return EncodeDate(date.year(), date.month(), date.day());
}

TQtCalendar::TQtCalendar(QWidget* parent) : QCalendarWidget(parent) {
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    setGridVisible(false);
    connect(this, &QCalendarWidget::selectionChanged, this, [this] { FollowSelection(); });
    connect(this, &QCalendarWidget::currentPageChanged, this, [this](int y, int m) { FollowPage(y, m); });
    connect(this, &QCalendarWidget::activated, this, [this](QDate) { emit DoubleClicked(); });
}

void TQtCalendar::SetDate(TDateTime date) {
    date = DateOf(date);
    if (date == date_) return;
    date_ = date;
    if (date_ > 0) {
        const QDate shown = DateTimeToQDate(date_);
        settingDate_ = true;
        setSelectedDate(shown);
        setCurrentPage(shown.year(), shown.month());
        settingDate_ = false;
    }
    update();
    emit Change();
}

int TQtCalendar::Year() const { return date_ > 0 ? DateTimeToQDate(date_).year() : 0; }
int TQtCalendar::Month() const { return date_ > 0 ? DateTimeToQDate(date_).month() : 0; }
int TQtCalendar::Day() const { return date_ > 0 ? DateTimeToQDate(date_).day() : 0; }

void TQtCalendar::SetDay(int day) {
    if (date_ <= 0) return;
    const QDate current = DateTimeToQDate(date_);
    if (day == current.day() || day < 1 || day > current.daysInMonth()) return;
    SetDate(EncodeDate(current.year(), current.month(), day));
}

bool TQtCalendar::IsWorkingDay(const QDate& date) const {
    const std::size_t k = static_cast<std::size_t>(date.dayOfWeek() - 1);  // Monday = 0
    return k < WorkingDays.size() && WorkingDays[k] == '1';
}

void TQtCalendar::FollowSelection() {
    if (settingDate_) return;
    SetDate(QDateToDateTime(selectedDate()));
}

void TQtCalendar::FollowPage(int year, int month) {
    if (settingDate_ || date_ <= 0) return;
    const QDate current = DateTimeToQDate(date_);
    if (current.year() == year && current.month() == month) return;
    // Paging the month moves the date with it, keeping the day where the month has it.
    const QDate first(year, month, 1);
    paging_ = true;
    SetDate(QDateToDateTime(QDate(year, month, std::min(current.day(), first.daysInMonth()))));
    paging_ = false;
}

void TQtCalendar::paintCell(QPainter* painter, const QRect& rect, QDate date) const {
    if (date.year() != yearShown() || date.month() != monthShown()) {
        QCalendarWidget::paintCell(painter, rect, date);
        return;
    }
    painter->save();
    const bool selected = date_ > 0 && date == DateTimeToQDate(date_);
    QColor text = IsWorkingDay(date) ? QColor(Qt::black) : TColorToQColor(NoWorkColor);
    if (selected) {
        painter->fillRect(rect, palette().color(QPalette::Highlight));
        text = palette().color(QPalette::HighlightedText);
    } else if (IsDataDay(date.day())) {
        painter->fillRect(rect, TColorToQColor(DataDaysColor));
    } else {
        painter->fillRect(rect, palette().color(QPalette::Base));
    }
    if (IsDataDay(date.day())) {
        QFont bold = painter->font();
        bold.setBold(true);
        painter->setFont(bold);
    }
    painter->setPen(text);
    painter->drawText(rect, Qt::AlignCenter, QString::number(date.day()));
    if (ReferenceDate > 0 && date == DateTimeToQDate(ReferenceDate)) {
        painter->setPen(QPen(TColorToQColor(ReferenceColor), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(1, 1, -2, -2));
    }
    painter->restore();
}

}  // namespace vemra
