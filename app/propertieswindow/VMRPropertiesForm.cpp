#include "VMRPropertiesForm.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include "PngImage.h"
#include "Colors.h"
#include "CurrencyConverter.h"
#include "DownloadOperation.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "PlugginMan.h"
#include "PluginItemDelegate.h"
#include "QtCalendar.h"
#include "RateFile.h"
#include "SmallWindows.h"
#include "StreamedIniFile.h"
#include "SysCaller.h"
#include "TextFit.h"
#include "WindowSystem.h"
#include "dm.h"
#include "rtl/Format.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "ui_VMRPropertiesForm.h"
#include "vmrconsts.h"

namespace vemra {

TVMRProperties* PropertiesWindow = nullptr;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

THTMLConverterPlugInn* CurrentSource() { return PlugginMan ? PlugginMan->CurrentPlugin() : nullptr; }

void SetTextColor(QLabel* label, TColor color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, TColorToQColor(color));
    label->setPalette(palette);
}

// The value panel's lines: a selected line on 0x4080FF, the line's text at the item's top left.
class TValueLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->save();
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->fillRect(option.rect, selected ? TColorToQColor(0x4080FF) : option.palette.color(QPalette::Base));
        painter->setPen(Qt::black);
        painter->drawText(option.rect.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, index.data().toString());
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 13};
    }
};

// The code of a code=value line; "" when there is no "=".
std::string LineCode(const std::string& line) {
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string LineValue(const std::string& line) {
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

bool ReadDotNumber(const std::string& text, double& value) { return TryStrToFloat(Trim(text), value, '.'); }

}  // namespace

// ---- creation ----

// A dialog, so that the window manager learns its owner and keeps it above the options window.
TVMRProperties::TVMRProperties(QWidget* owner, IPropertiesHost& host)
    : QWidget(owner, Qt::Dialog | Qt::FramelessWindowHint), host_(host), ui_(std::make_unique<Ui::TVMRProperties>()) {
    InitSmallWindowResources();
    ui_->setupUi(this);
    setObjectName(QStringLiteral("VMRProperties"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(543, 346);
    Cal = ui_->Cal;
    cbPublisher = ui_->cbPublisher;
    pnlFile = ui_->pnlFile;
    pnBase = ui_->pnBase;
    PnlDate = ui_->PnlDate;
    lbOld = ui_->lbOld;
    pnlValues = ui_->pnlValues;
    lbNumItems = ui_->lbNumItems;
    lbPC = ui_->lbPC;
    lbCurrentInfo = ui_->lbCurrentInfo;
    pnlToday = ui_->pnlToday;
    lbToday = ui_->lbToday;
    lbHistory = ui_->lbHistory;
    btUpd = ui_->btUpd;
    btViewSrc = ui_->btViewSrc;
    btApply = ui_->btApply;
    btClose = ui_->btClose;
    lbPC->hide();
    lbHistory->hide();
    // A mid grey under the age, so that its black, navy and white texts all read.
    QPalette agePalette = lbOld->palette();
    agePalette.setColor(QPalette::Window, QColor(0x90, 0x98, 0xA8));
    lbOld->setPalette(agePalette);
    lbOld->setAutoFillBackground(false);  // until it shows an age

    ui_->VMRLogo->setPixmap(ui::LoadPng(QStringLiteral(":/vemra/vmrlogo.png"))
                                .scaled(ui_->VMRLogo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pmUpd = new QMenu(this);
    pmUpd->setObjectName(QStringLiteral("pmUpd"));
    // Aqua items in Arial 9, the selected one navy (the menu's own drawing).
    pmUpd->setStyleSheet(QStringLiteral(
        "QMenu { background: #00FFFF; font-family: Arial; font-size: 9pt; }"
        "QMenu::item { padding: 2px 10px 2px 10px; color: black; background: #00FFFF; }"
        "QMenu::item:selected { color: #000080; text-decoration: underline; }"));
    btUpdSel = pmUpd->addAction(QStringLiteral("  Update now"));
    btUpdSel->setObjectName(QStringLiteral("btUpdSel"));
    btUpdSel->setProperty("Tag", 0);
    btUpdAll = pmUpd->addAction(QStringLiteral("  Update all"));
    btUpdAll->setObjectName(QStringLiteral("btUpdAll"));
    btUpdAll->setProperty("Tag", 1);
    btUpd->setMenu(pmUpd);
    pnlValues->setItemDelegate(new TValueLineDelegate(pnlValues));
    InstallPluginItemDrawing(cbPublisher, 16);

    connect(Cal, &TQtCalendar::Change, this, [this] { CalChange(); });
    connect(Cal, &TQtCalendar::DoubleClicked, this, [this] { CalDblClick(); });
    connect(pnlFile, qOverload<int>(&QComboBox::activated), this, [this](int) { pnlFileChange(); });
    connect(pnlValues, &QListWidget::itemClicked, this, [this](QListWidgetItem*) { pnlValuesClick(); });
    connect(cbPublisher, qOverload<int>(&QComboBox::activated), this, [this](int) { cbPublisherChange(); });
    connect(btApply, &QToolButton::clicked, this, [this] { btApplyClick(); });
    connect(btUpdSel, &QAction::triggered, this, [this] { btUpdSelClick(btUpdSel); });
    connect(btUpdAll, &QAction::triggered, this, [this] { btUpdSelClick(btUpdAll); });
    connect(btViewSrc, &QToolButton::clicked, this, [this] { btViewSrcClick(); });
    connect(btClose, &QToolButton::clicked, this, [this] { btCloseClick(); });
    for (QWidget* clickable : {static_cast<QWidget*>(lbHistory), static_cast<QWidget*>(lbCurrentInfo),
                               static_cast<QWidget*>(pnlToday), static_cast<QWidget*>(lbToday)})
        clickable->installEventFilter(this);

    // 1. Rounded window, the language's texts.
    host_.Translate(this);
    FitTexts();
    // 2. The options window's source list with its selection.
    if (QComboBox* sources = host_.OptionsSourceList()) {
        for (int i = 0; i < sources->count(); ++i) {
            cbPublisher->addItem(sources->itemText(i));
            cbPublisher->setItemData(i, sources->itemData(i, PluginItemRole), PluginItemRole);
        }
        cbPublisher->setCurrentIndex(sources->currentIndex());
    } else if (PlugginMan) {
        for (int i = 0; i < PlugginMan->Plugins().Count(); ++i) {
            cbPublisher->addItem(Q(PlugginMan->Plugins()[i]));
            cbPublisher->setItemData(i, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(PlugginMan->GetPlugin(i))),
                                     PluginItemRole);
        }
        cbPublisher->setCurrentIndex(PlugginMan->SelectedIndex);
    }
    // 3. The reference date and the source's folder.
    Cal->ReferenceDate = CurrentRatesDate();
    if (THTMLConverterPlugInn* source = CurrentSource()) {
        ShownFile = source->GetPluginDataFileName(Cal->ReferenceDate);
        SourceFolder = source->GetPluginValue(pvDataFolder);
        Cal->WorkingDays = source->SecondMask;
    }
    LastShownFile.clear();
    DayValues.SetSorted(true);
    DayValues.SetDuplicates(TDuplicates::dupIgnore);
    // 4. Today's date and the first weekday by the language.
    if (host_.LanguageCode() == "ESP") {
        lbToday->setText(Q(FormatDateTime(DmyFormat.ShortDateFormat, Date(), DmyFormat)));
        Cal->setFirstDayOfWeek(Qt::Monday);
        Cal->setLocale(QLocale(QLocale::Spanish, QLocale::Spain));
    } else {
        lbToday->setText(Q(FormatDateTime(MdyFormat.ShortDateFormat, Date(), MdyFormat)));
        Cal->setFirstDayOfWeek(Qt::Sunday);
        Cal->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    // 5. No date until the first activation.
    Cal->SetDate(0);
    MarkedMonth = 0;
}

TVMRProperties::~TVMRProperties() {
    if (PropertiesWindow == this) PropertiesWindow = nullptr;
}

void TVMRProperties::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 7, 7);
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void TVMRProperties::paintEvent(QPaintEvent*) {
    // The gradient background fondo.
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, QColor(0xE8, 0xF0, 0xFF));
    gradient.setColorAt(1, QColor(0x70, 0x90, 0xC8));
    painter.fillRect(rect(), gradient);
}

bool TVMRProperties::event(QEvent* e) {
    const bool result = QWidget::event(e);
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) FormActivate();
    // A label's new text asks its parent for room: a language switch while the window shows.
    if (e->type() == QEvent::LayoutRequest) FitTexts();
    return result;
}

void TVMRProperties::FormActivate() {
    if (activated_ || Cal->Date() != 0) return;
    activated_ = true;
    const QPoint position = host_.RememberedPosition();
    move(position.x() > 0 ? position.x() : x(), position.y() > 0 ? position.y() : y());
    Cal->SetDate(CurrentRatesDate());
    ShowDayFile();
    ShowCurrentRateInfo();
}

void TVMRProperties::closeEvent(QCloseEvent* e) {
    host_.RememberPosition(x(), y());
    if (working_ > 0 && testAttribute(Qt::WA_DeleteOnClose)) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        freeAfterUpdate_ = true;
    }
    QWidget::closeEvent(e);
}

void TVMRProperties::EndWork() {
    if (--working_ == 0 && freeAfterUpdate_) deleteLater();
}

bool TVMRProperties::DragZone(int x, int y) { return x < 30 || x > 510 || y < 40 || y > 320; }

void TVMRProperties::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (e->button() == Qt::LeftButton && DragZone(p.x(), p.y()) && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(e);
}

bool TVMRProperties::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        if (watched == lbHistory) lbHistoryClick();
        else if (watched == lbCurrentInfo) lbCurrentInfoClick();
    } else if (e->type() == QEvent::MouseButtonDblClick && (watched == pnlToday || watched == lbToday)) {
        pnlTodayDblClick();
    }
    return QWidget::eventFilter(watched, e);
}

// ---- helpers ----

void TVMRProperties::FitTexts() {
    // The age stays right of the date's caption and, for the longest ages, reaches into the
    // border strip short of the rounded corner; the history mark stays left of the buttons and
    // may reach a little into the border strip.
    QLabel* dateCaption = ui_->lbDate;
    ui::FitBadge(lbOld, ui::TGrow::Leftward, dateCaption->x() + ui::TextWidth(dateCaption) + ui::kBesideGap,
                 width() - 8);
    ui::FitBadge(lbHistory, ui::TGrow::BothWays, Cal->x() - ui::kBesideGap, btUpd->x() - ui::kBesideGap - 1);
}

TDateTime TVMRProperties::CurrentRatesDate() const {
    TCurrencyConverter* converter = host_.Converter();
    return converter ? DateOf(converter->Currencies().RateDate) : 0;
}

std::string TVMRProperties::CodeOfSource() const {
    THTMLConverterPlugInn* source = CurrentSource();
    return source ? source->Code : std::string();
}

void TVMRProperties::SetHistoryColor(std::int32_t color) {
    historyColor_ = color;
    QPalette palette = lbHistory->palette();
    palette.setColor(QPalette::Window, TColorToQColor(color));
    lbHistory->setPalette(palette);
}

// ---- the calendar ----

void TVMRProperties::CalChange() {
    if (Cal->Date() <= 0) return;
    THTMLConverterPlugInn* source = CurrentSource();
    if (Cal->Month() != MarkedMonth) {
        const int y = Cal->Year();
        const int m = Cal->Month();
        MarkedMonth = m;
        MissingDays = 0;
        std::bitset<32> dataDays;
        const TDateTime first = EncodeDate(y, m, 1);
        const TDateTime today = Date();
        int n = DaysInMonth(y, m);
        if (first + n - 1 > today) n = first > today ? 0 : static_cast<int>(today - first) + 1;
        for (int d = 1; source && d <= n; ++d) {
            const TDateTime t = (first - 1) + d + source->DayLag;
            const std::size_t k = static_cast<std::size_t>(DayOfTheWeek(t) - 1);
            const char c = k < source->PublishMask.size() ? source->PublishMask[k] : '0';
            if (FileExists(DatedRateFileName(source->Code, SourceFolder, first - 1 + d)))
                dataDays.set(static_cast<std::size_t>(d));
            else if (c == '1')
                MissingDays |= 1u << d;
        }
        // The set first, so that the day move below already sees this month's marks.
        Cal->DataDays = dataDays;
        // Paging to another month lands on the reference date's day; a date chosen or set in
        // code stays where it was put.
        if (Cal->Paging() && Cal->ReferenceDate > 0) Cal->SetDay(DateTimeToQDate(Cal->ReferenceDate).day());
    }
    ListDayFiles();
    ShowDayFile();
    Cal->update();
    ShowHistoryMark();

    // The change of the chosen currency against the current rates.
    std::string v;
    if (!CompareCode.empty()) {
        for (int i = 0; i < pnlValues->count(); ++i) {
            const std::string line = pnlValues->item(i)->text().toStdString();
            if (LineCode(line) == CompareCode) v = LineValue(line);
        }
    }
    double p = 0;
    double x = 0;
    if (!v.empty() && ReadDotNumber(v, x)) {
        // A zero value would divide by zero: no percentage then.
        if (ShownFileDay > CompareDay) p = x != 0 ? (x - CompareValue) / x * 100 : 0;
        else p = CompareValue != 0 ? (CompareValue - x) / CompareValue * 100 : 0;
        lbPC->setText(Q(Format("%6.2f%s", p, "%")));
        SetTextColor(lbPC, p < 0 ? PercentDownColor : PercentUpColor);
    }
    lbPC->setVisible(p != 0);
}

void TVMRProperties::CalDblClick() {
    if (btApply->isEnabled()) btApplyClick();
}

void TVMRProperties::ListDayFiles() {
    const QDate day = DateTimeToQDate(Cal->Date());
    ShownFile = Format("%s/%4.4d.%2.2d.%2.2d*.vmr", SourceFolder, day.year(), day.month(), day.day());
    std::unique_ptr<TStringList> files = ListFiles(ShownFile);
    // By name, so that "the last one" does not depend on the file system's order.
    files->Sort();
    const QSignalBlocker block(pnlFile);
    pnlFile->clear();
    for (int i = 0; i < files->Count(); ++i) pnlFile->addItem(Q((*files)[i]));
    pnlFile->setCurrentIndex(pnlFile->count() - 1);
    pnlFileChange();
}

void TVMRProperties::pnlFileChange() {
    btApply->setEnabled(Cal->IsDataDay(Cal->Day()) && Cal->Date() != CurrentRatesDate());
    ShownFile = SourceFolder + "/" + pnlFile->currentText().toStdString();
    ShowDayFile();
}

void TVMRProperties::ShowDayFile() {
    const auto clear = [this] {
        lbPC->hide();
        pnBase->clear();
        {
            const QSignalBlocker block(pnlFile);
            pnlFile->setCurrentIndex(-1);
        }
        PnlDate->clear();
        lbOld->clear();
        lbOld->setAutoFillBackground(false);
        pnlValues->clear();
        lbNumItems->clear();
        LastShownFile.clear();
    };
    if (!Cal->IsDataDay(Cal->Day())) {
        clear();
        return;
    }
    if (ShownFile == LastShownFile) return;
    std::unique_ptr<TStreamedIniFile> ini;
    try {
        ini = OpenStreamedIni(RateFileKeyIndex, ShownFile);
    } catch (const std::exception&) {
        clear();  // gone or unreadable since the marks were made
        return;
    }
    const QString name = Q(ExtractFileName(ShownFile));
    {
        const QSignalBlocker block(pnlFile);
        const int at = pnlFile->findText(name);
        if (at >= 0) pnlFile->setCurrentIndex(at);
    }
    pnBase->setText(Q(ini->ReadString("VMR", "BASE", "")));
    const TDateTime stamp = ParseDateTimeStamp(ini->ReadString("VMR", "DATE", ""));
    if (stamp > 0) {
        ShownFileDay = static_cast<std::int32_t>(std::floor(stamp));
        PnlDate->setText(Q(FormatDateTime(FormatSettings.ShortDateFormat, stamp)));
        const int age = static_cast<int>(std::trunc(Now() - stamp));
        lbOld->setAutoFillBackground(true);
        if (age == -1) {
            lbOld->setText(Q(host_.MessageText(msg::RateFile40)));
            SetTextColor(lbOld, clBlack);
        } else if (age == 0) {
            lbOld->setText(Q(host_.MessageText(msg::RateFile39)));
            SetTextColor(lbOld, clNavy);
        } else {
            lbOld->setText(Q(FillMessage(dm, msg::RateFile38, host_.MessageText(msg::RateFile38), age)));
            SetTextColor(lbOld, clWhite);
        }
        FitTexts();
    } else {
        PnlDate->setText(Q(host_.MessageText(msg::RateFile67)));
        lbOld->clear();
        lbOld->setAutoFillBackground(false);
    }
    TStringList keys;
    ini->ReadSection("DATA", keys);
    DayValues.Clear();
    for (int i = 0; i < keys.Count(); ++i) DayValues.Add(UpperCase(keys[i]));
    pnlValues->clear();
    int compareLine = -1;
    for (int i = 0; i < DayValues.Count(); ++i) {
        pnlValues->addItem(Q(DayValues[i] + "=" + ini->ReadString("DATA", DayValues[i], "")));
        if (!CompareCode.empty() && DayValues[i] == CompareCode) compareLine = i;
    }
    lbNumItems->setText(Q(FillMessage(dm, msg::RateFile95, host_.MessageText(msg::RateFile95), pnlValues->count())));
    pnlValues->scrollToTop();
    pnlValues->setCurrentRow(compareLine);
    if (compareLine < 0) pnlValues->clearSelection();
    LastShownFile = ShownFile;
}

void TVMRProperties::pnlValuesClick() {
    QListWidgetItem* item = pnlValues->currentItem();
    if (item && item->isSelected()) {
        const std::string code = LineCode(item->text().toStdString());
        if (!code.empty()) {
            if (code == CompareCode) {
                pnlValues->clearSelection();
                pnlValues->setCurrentRow(-1);
                ClearValueCompare();
            } else {
                CompareCode = code;
            }
        }
    }
    if (ShownFileDay == static_cast<std::int32_t>(CurrentRatesDate())) {
        for (int i = 0; !CompareCode.empty() && i < pnlValues->count(); ++i) {
            const std::string line = pnlValues->item(i)->text().toStdString();
            double value = 0;
            if (LineCode(line) == CompareCode && ReadDotNumber(LineValue(line), value)) {
                CompareValue = value;
                CompareDay = ShownFileDay;
            }
        }
    } else {
        ClearValueCompare();
    }
    pnlValues->viewport()->update();
}

void TVMRProperties::btApplyClick() {
    TCurrencyConverter* converter = host_.Converter();
    bool loaded = false;
    try {
        loaded = converter && LoadRateFile(converter->Currencies(), ShownFile);
    } catch (const std::exception&) {
        loaded = false;
    }
    if (!loaded) {
        host_.ShowMessage(host_.MessageText(msg::RatesNotLoaded));
        return;
    }
    // A running download files its new day without loading it over the user's choice.
    TDownloadOperation::KeepChosenRates();
    const TDateTime ratesDate = DateOf(converter->Currencies().RateDate);
    Cal->ReferenceDate = ratesDate;
    if (Cal->Date() != ratesDate) Cal->SetDate(ratesDate);
    btApply->setEnabled(false);
    THTMLConverterPlugInn* source = CurrentSource();
    host_.ShowNotification(host_.MessageText(msg::RatesApplied),
                           Format("%s\r\n\r\n%s", source ? source->GetPluginValue(pvPublisher) : std::string(),
                                  converter->Currencies().DateText));
    ShowCurrentRateInfo();
    host_.RatesApplied();
    Cal->update();
}

void TVMRProperties::cbPublisherChange() {
    host_.SourceChosen(cbPublisher);
    THTMLConverterPlugInn* source = CurrentSource();
    Cal->WorkingDays = source ? source->SecondMask : std::string("1111100");
    SourceFolder = source ? source->GetPluginValue(pvDataFolder) : std::string();
    MarkedMonth = 0;
    LastShownFile.clear();
    ClearValueCompare();
    const TDateTime reference = CurrentRatesDate();
    Cal->ReferenceDate = reference;
    if (Cal->Date() != reference) Cal->SetDate(reference);
    ShownFile = source ? source->GetPluginDataFileName(reference) : std::string();
    CalChange();
    ShowDayFile();
    ShowCurrentRateInfo();
}

// ---- history ----

void TVMRProperties::ShowHistoryMark() {
    lbHistory->hide();
    THTMLConverterPlugInn* source = CurrentSource();
    if (!source || source->GetPluginValue(pvHistoryType).empty() || Cal->Date() >= Date() || MissingDays == 0)
        return;
    lbHistory->show();
    FitTexts();
    if (source->IsDailyHistory()) return;
    const double firstDay = source->HistoryBound(false);
    double lastDay = source->HistoryBound(true);
    // No bounds: no history file was read yet, so the click must fetch one before extracting.
    if (firstDay + lastDay <= 0) {
        SetHistoryColor(HistoryMissingColor);
        return;
    }
    // An open end (0) reaches today, as the options window shows it.
    if (lastDay == 0) lastDay = Date();
    SetHistoryColor(Cal->Date() < firstDay || Cal->Date() > lastDay ? HistoryMissingColor : HistoryPresentColor);
}

void TVMRProperties::lbHistoryClick() {
    THTMLConverterPlugInn* source = CurrentSource();
    if (!source) return;
    BeginWork();
    struct WorkOver {
        TVMRProperties& window;
        ~WorkOver() { window.EndWork(); }
    } over{*this};
    // A last update without a date (only the publication time) is no update either.
    if (DateOf(source->GetLastUpdate()) <= 0) {
        host_.ShowMessage("History not available");
        return;
    }
    if (source->IsDailyHistory()) {
        ExtractHistoryMonth(*source);
    } else if (historyColor_ == HistoryMissingColor) {
        // The question's box runs the event loop as well: a download may have started since.
        if (!host_.Ask(host_.MessageText(msg::HistoryFile110)) || host_.RefuseDownload()) return;
        // The options window fetches the history of the current source.
        if (source != CurrentSource()) return;
        if (host_.UpdateHistoryFile()) {
            SetHistoryColor(HistoryPresentColor);
            ExtractHistoryMonth(*source);
        } else {
            host_.ShowMessage(host_.MessageText(msg::HistoryFailed));
        }
    } else {
        if (host_.Ask(host_.MessageText(msg::ExtractMonthQuestion))) ExtractHistoryMonth(*source);
    }
}

void TVMRProperties::ExtractHistoryMonth() {
    if (THTMLConverterPlugInn* source = CurrentSource()) ExtractHistoryMonth(*source);
}

void TVMRProperties::ExtractHistoryMonth(THTMLConverterPlugInn& monthSource) {
    THTMLConverterPlugInn* const source = &monthSource;
    if (Cal->Date() <= 0) return;
    const int y = Cal->Year();
    const int m = Cal->Month();
    const TDateTime today = Date();
    TStringList days;
    for (int d = DaysInMonth(y, m); d >= 1; --d) {
        const TDateTime date = EncodeDate(y, m, d);
        if (date > today) continue;
        const std::size_t k = static_cast<std::size_t>(DayOfTheWeek(date + source->DayLag) - 1);
        if (!source->PluginDataFileExists(date) && k < source->PublishMask.size() && source->PublishMask[k] == '1')
            days.Add(std::to_string(static_cast<long long>(date)));
    }
    if (days.Empty()) {
        host_.ShowMessage(host_.MessageText(msg::HistoryExtraction));
    } else if (source->IsDailyHistory()) {
        // The on-demand window fetches for the current source.
        if (source != CurrentSource() || host_.RefuseDownload()) return;
        host_.RunOnDemandDownload(days);
    } else {
        bool extracted = false;
        try {
            extracted = source->GetHistoryRates(Cal->Date());
        } catch (const std::exception&) {
            extracted = false;
        }
        if (!extracted) {
            host_.ShowMessage("Error extracting files");
        } else {
            for (int i = 0; i < days.Count(); ++i) {
                const TDateTime date = std::stod(days[i]);
                const std::string file = source->GetPluginDataFileName(date);
                if (!FileExists(file)) continue;
                try {
                    // The history writes plain files; the program keeps day rate files enciphered.
                    TStreamedIniFile ini(0, file);
                    ini.Reload();
                    ini.KeyIndex = RateFileKeyIndex;
                    ini.UpdateFile();
                    const TDateTime stamp = ParseDateTimeStamp(ini.ReadString("VMR", "DATE", ""));
                    const TDateTime published = stamp + TimeOf(source->TodayPublicationTime());
                    if (stamp > 0 && published > source->LastPublicationTime()) source->SetLastUpdate(published);
                } catch (const std::exception&) {
                    // A file that cannot be re-stored stays as the history wrote it.
                }
            }
        }
    }
    SelectDate(Cal->Date());
    host_.ShowRateIndicator();
    ShowCurrentRateInfo();
}

// ---- updates, the source's page ----

void TVMRProperties::btUpdSelClick(QObject* sender) {
    if (!host_.InternetConnected() || working_ > 0 || host_.RefuseDownload() || host_.UpdateRunning()) return;
    const int tag = sender ? sender->property("Tag").toInt() : 0;
    BeginWork();
    struct UpdateOver {
        TVMRProperties& window;
        ~UpdateOver() { window.EndWork(); }
    } over{*this};
    // A fault of the run (an update log that cannot be opened, a full disk) must not leave
    // the event loop: it is logged as a timer-started run's is, and shown, since the user
    // asked for this run. The busy state is left in either case.
    try {
        if (tag == 0) {
            THTMLConverterPlugInn* updated = CurrentSource();
            host_.SetBusyState(true);
            try {
                const std::uint8_t code = host_.DownloadRates(Date());
                host_.ProcessRateUpdate(code, true, false);
                // The calendar follows the update only while it still shows that source.
                if (THTMLConverterPlugInn* source = CurrentSource(); source != nullptr && source == updated) {
                    const TDateTime last = DateOf(source->GetLastUpdate());
                    if (last > 0 && last != Cal->Date()) Cal->SetDate(last);
                }
            } catch (...) {
                host_.SetBusyState(false);
                throw;
            }
            host_.SetBusyState(false);
        } else {
            host_.UpdateAll();
        }
    } catch (const std::exception& e) {
        qWarning("vemra: update run failed: %s", e.what());
        host_.ShowMessage(e.what());
    }
    SelectDate(Cal->Date());
    host_.RepaintSourceLists();
    host_.ShowRateIndicator();
    cbPublisher->update();
}

void TVMRProperties::btViewSrcClick() {
    THTMLConverterPlugInn* source = CurrentSource();
    if (!source) return;
    std::string address;
    try {
        source->LoadPluginLibrary();
        address = source->ComposeQueryUrl(0, Date());
    } catch (const std::exception&) {
        address.clear();
    }
    source->UnloadPluginLibrary();
    if (!address.empty()) host_.OpenAddress(address);
}

void TVMRProperties::pnlTodayDblClick() { Cal->SetDate(Date()); }

void TVMRProperties::lbCurrentInfoClick() {
    const TDateTime current = CurrentRatesDate();
    if (current > 0) Cal->SetDate(current);
}

void TVMRProperties::btCloseClick() { close(); }

void TVMRProperties::SelectDate(TDateTime date) {
    Cal->SetDate(0);
    MarkedMonth = 0;
    Cal->SetDate(date);
    Cal->update();
    ShowDayFile();
    ShowCurrentRateInfo();
}

void TVMRProperties::ShowCurrentRateInfo() {
    const TDateTime current = CurrentRatesDate();
    lbCurrentInfo->setText(
        Q(FillMessage(dm, msg::CurrentRatesDate, host_.MessageText(msg::CurrentRatesDate),
                      current > 0 ? FormatDateTime(FormatSettings.ShortDateFormat, current) : std::string())));
}

void TVMRProperties::ClearValueCompare() {
    lbPC->hide();
    CompareCode.clear();
    CompareValue = 0;
    CompareDay = 0;
}

// ---- opening ----

void RefreshOpenPropertiesWindow() {
    if (PropertiesWindow) PropertiesWindow->SelectDate(PropertiesWindow->Cal->Date());
}

TVMRProperties* OpenPropertiesWindow(QWidget* owner, IPropertiesHost& host) {
    if (QWidget* open = FindVisibleFormByClass(QStringLiteral("TVMRProperties"))) {
        open->close();
        // Closing frees it later; it is no longer the program's window now.
        if (PropertiesWindow == open) PropertiesWindow = nullptr;
    }
    auto* window = new TVMRProperties(owner, host);
    PropertiesWindow = window;
    window->show();
    return window;
}

}  // namespace vemra
