// The main window's clipboard side: watching the clipboard while Ctrl is held, reading the
// copied text or the tables of copied HTML, converting it and placing the result balloon at
// the mouse; the paste-back into the other program.
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>

#include <exception>

#include "ClipboardHtml.h"
#include "ColorHint.h"
#include "ConversionRun.h"
#include "CurrencyConverter.h"
#include "PlugginMan.h"
#include "RateFile.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRWarningsForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "html/HTMLParser.h"
#include "platform/ShellOpen.h"
#include "ui_VMRConfigForm.h"

namespace vemra {

namespace {

QClipboard* Clipboard() { return QGuiApplication::clipboard(); }

std::string ToStd(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The available geometry of the screen that holds the point (the nearest screen's when none
// does, as at the edge between two screens).
QRect AvailableScreenAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (screen == nullptr) {
        qint64 best = -1;
        for (QScreen* each : QGuiApplication::screens()) {
            const QPoint d = each->geometry().center() - point;
            const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
            if (best < 0 || distance < best) {
                best = distance;
                screen = each;
            }
        }
    }
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

bool EndsWithLineBreak(const std::string& text) {
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

// The copied text up to its first NUL, as a zero-terminated text is read.
std::string CutAtNul(std::string text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

}  // namespace

void TVMRConverter::CreateColorHint() {
    ColorHint = new TColorHint(this);
    connect(ColorHint->HintTimer, &QTimer::timeout, this, [this] { HintTimerTick(); });
    ColorHint->PostCommand = [this](int command, std::uint32_t argument) {
        // After the balloon's own press handling, as a posted message runs.
        QMetaObject::invokeMethod(this, [this, command, argument] { WMVmrCommand(command, argument); },
                                  Qt::QueuedConnection);
    };
    ColorHint->OnDismiss = [this](bool followUp) {
        WindowMode = 0;
        if (followUp) SyncFormWithConverter();
    };
    ColorHint->OpenWebsite = [] { platform::OpenWithDesktop(Tdm::WebsiteUrl(""), ""); };
    ColorHint->ShowWarnings = [this] {
        if (CurrencyConverter == nullptr) return;
        auto* box = TVMRMsg::Create<TVMRConvertWarning>(this);
        box->Execute(QString::fromStdString(CurrencyConverter->Warnings().Text()), false);
    };
}

int TVMRConverter::ClipboardMethod() const {
    if (VMRConfig == nullptr) return 0;
    return std::max(0, VMRConfig->ui->cbClipTech->currentIndex());
}

int TVMRConverter::CalcHintWidth(const std::string& text, int maxWidth) {
    return ColorHint != nullptr ? ColorHint->CalcHintRect(maxWidth, text, 0).width() : 0;
}

// ---- watching ----

void TVMRConverter::SetClipboardWatch(bool on) {
    // Listener and viewer chain both watch the clipboard's own notices; only the selection
    // (what a half-finished mouse selection produces) is never watched.
    if (on) {
        IgnoreClipboard = true;
        QClipboard* clipboard = Clipboard();
        if (clipboard == nullptr) throw std::runtime_error("The clipboard cannot be watched");
        if (!clipWatching_) {
            connect(clipboard, &QClipboard::dataChanged, this, &TVMRConverter::ClipboardChanged, Qt::UniqueConnection);
            clipWatching_ = true;
        }
        IgnoreClipboard = false;
    } else {
        if (clipWatching_ && Clipboard() != nullptr)
            disconnect(Clipboard(), &QClipboard::dataChanged, this, &TVMRConverter::ClipboardChanged);
        clipWatching_ = false;
    }
}

void TVMRConverter::ClipboardChanged() {
    int count = 0;
    if (IsCtrlDown() && !IgnoreClipboard && CurrencyConverter != nullptr && CurrencyConverter->SwitchedOn()) {
        const QMimeData* data = Clipboard()->mimeData(QClipboard::Clipboard);
        plainClipText_.clear();
        htmlClipText_.clear();
        // The notice of the program's own copy comes late on X11, after IgnoreClipboard is
        // clear again: an own (empty) read counts for nothing, so it never empties the window.
        if (data != nullptr && data->hasText()) {
            plainClipText_ = ReadClipboardText(QStringLiteral("text/plain"));
            if (!plainClipText_.empty()) ++count;
        }
        if (plainClipText_.empty() && data != nullptr && data->hasHtml()) {
            htmlClipText_ = ReadClipboardText(QStringLiteral("text/html"));
            if (!htmlClipText_.empty()) ++count;
        }
    }
    // The viewer chain has no next viewer to pass the notice to here.
    if (count > 0) ConvertClipboard();
}

std::string TVMRConverter::ReadClipboardText(const QString& format) {
    clipTooLarge_ = 0;
    const QMimeData* data = Clipboard()->mimeData(QClipboard::Clipboard);
    if (data == nullptr) return {};
    if (OwnClipboardHandle != 0 && data->hasFormat(QLatin1String(OwnClipboardFormat)) &&
        data->data(QLatin1String(OwnClipboardFormat)).toULongLong() == OwnClipboardHandle)
        return {};
    if (format == QLatin1String("text/html")) {
        const QString html = data->html();
        if (static_cast<std::size_t>(html.size()) > MaxClipboardHtml) {
            clipTooLarge_ = MaxClipboardHtml;
            return "-";  // stands for the copy; its conversion is refused
        }
        return PresentAsHtmlFormat(CutAtNul(ToStd(html)));
    }
    const QString text = data->text();
    if (static_cast<std::size_t>(text.size()) > MaxClipboardText) {
        clipTooLarge_ = MaxClipboardText;
        return "-";
    }
    return CutAtNul(ToStd(text));
}

// ---- conversion ----

void TVMRConverter::ShowTooLargeNotice(std::size_t limit) {
    if (dm == nullptr || ColorHint == nullptr) return;
    dm->ShowNotification("*", ToStd(ColorHint->TooLargeText.arg(limit / 1024)));
}

int TVMRConverter::ConvertClipboard() {
    try {
        if (WindowMode == 1) {
            // Read, not converted, while the balloon shows.
            plainClipText_.clear();
            htmlClipText_.clear();
            return 0;
        }
        const std::size_t tooLarge = clipTooLarge_;
        clipTooLarge_ = 0;
        if (tooLarge > 0) {
            plainClipText_.clear();
            htmlClipText_.clear();
            ShowTooLargeNotice(tooLarge);
            return 0;
        }
        HtmlClipToText();
        if (clipAbandoned_) return 0;
        if (clipResultText_.size() > MaxClipboardText) {
            clipResultText_.clear();
            ShowTooLargeNotice(MaxClipboardText);
            return 0;
        }
        meClipLines_.SetText(clipResultText_);
        inputEndsWithLineBreak_ = EndsWithLineBreak(clipResultText_);
        clipResultText_.clear();
        if (WindowMode == 0) {
            if (meClipLines_.Count() >= 1) {
                RunConversion(true);
                const QPoint at = QCursor::pos();
                ShowResultHint(at.x(), at.y());
            }
        } else if (WindowMode == 2) {
            RunConversion(true);
            ForceForegroundWindow(this);
        }
    } catch (...) {
        // A failed conversion shows no balloon; the next copy starts afresh.
    }
    return 0;
}

void TVMRConverter::HtmlClipToText() {
    clipAbandoned_ = false;
    if (htmlClipText_.empty() || HtmlParser == nullptr) {
        clipResultText_ = plainClipText_;
    } else {
        std::string text;
        switch (HtmlTableToText(*HtmlParser, htmlClipText_, text)) {
            case THtmlTableResult::Table: clipResultText_ = std::move(text); break;
            case THtmlTableResult::NoTable: clipResultText_ = plainClipText_; break;
            case THtmlTableResult::Abandoned:
                clipResultText_.clear();
                clipAbandoned_ = true;
                break;
        }
    }
    htmlClipText_.clear();
    htmlClipText_.shrink_to_fit();
    plainClipText_.clear();
    plainClipText_.shrink_to_fit();
}

// ---- the balloon ----

void TVMRConverter::ShowResultHint(int x, int y) {
    CellCount = run_->CellCount;
    UnconvertedCount = run_->UnconvertedCount;
    const int half = CellCount / 2;
    if (half < CellCount && UnconvertedCount < half && ColorHint != nullptr && CurrencyConverter != nullptr) {
        TCurrencyConverter& conv = *CurrencyConverter;
        if (dm != nullptr && hintLanguage_ != LanguageFileName) {
            dm->TranslateForm(ColorHint);
            hintLanguage_ = LanguageFileName;
        }
        if (VMRConfig != nullptr) {
            const Ui::TVMRConfig& c = *VMRConfig->ui;
            ColorHint->Colors = {TVMRConfig::PanelColor(c.pnHintColor1), TVMRConfig::PanelColor(c.pnHintColor2),
                                 TVMRConfig::PanelColor(c.pnHintColorText), TVMRConfig::PanelColor(c.pnATCColorCurrency),
                                 TVMRConfig::PanelColor(c.pnATCColorDate), TVMRConfig::PanelColor(c.pnATCColorPlugin)};
        }
        ColorHint->Anchor = QPoint(x, y);
        ColorHint->Converter = &conv;
        ColorHint->SingleRateDay = run_->SingleRateDay;

        TResultHintInput in;
        in.X = x;
        in.Y = y;
        in.PairWidth = ColorHint->CalcHintRect(480, conv.PairLabel(), 7).width();
        in.ModeWidth = ColorHint->CalcHintRect(480, conv.ConversionModeName(), 7).width();
        in.SourceWidth = ColorHint->CalcHintRect(640, conv.Table.ShownProviderCode, 7).width() + 12;
        in.DateColumn = conv.Table.DateOrder != 1;
        const int columns = std::max(1, conv.Table.ColumnCount);
        for (int c = 0; c < columns && c < static_cast<int>(conv.Table.ColumnWidths.size()); ++c)
            in.ColumnsWidth += conv.Table.ColumnWidths[static_cast<std::size_t>(c)] + 3;
        in.Rows = conv.Table.RowCount;
        if (!conv.Warnings().Empty()) in.WarningWidth = ColorHint->CalcHintRect(480, conv.WarningCountText(), 7).width();

        THintLayout layout;
        BalloonRect = CalcResultHintRect(in, AvailableScreenAt(QPoint(x, y)), layout);
        ColorHint->Layout = layout;
        ColorHint->StartHint(BalloonRect, true);
        WindowMode = 1;
    } else {
        WindowMode = 0;
        meClipLines_.Clear();
        meinnLines_.Clear();
        meoutLines_.Clear();
        meinnStale_ = meoutStale_ = false;
        if (MeClipMemo != nullptr) MeClipMemo->clear();
        if (MEINNMemo != nullptr) {
            const QSignalBlocker block(MEINNMemo);
            MEINNMemo->clear();
        }
        if (MEOUTMemo != nullptr) MEOUTMemo->clear();
    }
    if (CurrencyConverter != nullptr) CurrencyConverter->SetSwitchedOn(true);
}

void TVMRConverter::HintTimerTick() {
    if (ColorHint == nullptr) return;
    if (ColorHint->HintTimer->interval() > 100) ColorHint->HintTimer->setInterval(100);
    if (!IsCtrlDown()) ColorHint->Dismiss(true);
}

void TVMRConverter::SyncFormWithConverter() {
    if (CurrencyConverter == nullptr) return;
    TCurrencyConverter& conv = *CurrencyConverter;
    TConverterTable& table = conv.Table;
    if (PlugginMan != nullptr && table.RateSourceIndex != PluginSelectedIndex()) SetPluginSelectedIndex(table.RateSourceIndex);
    if (!table.RateFileName.empty() && conv.Currencies().RateFileName != table.RateFileName) {
        try {
            LoadRateFile(conv.Currencies(), table.RateFileName);
        } catch (const std::exception& error) {
            // Run from the balloon's timer: the fault is told here, and the form still follows.
            if (dm != nullptr) dm->ShowMessageText(error.what());
        }
    }
    for (QComboBox* combo : {CBINN, CBOUT}) {
        if (combo == nullptr) continue;
        const int tag = combo->property("Tag").toInt();
        if (combo->currentIndex() != tag && tag < combo->count()) {
            const QSignalBlocker block(combo);
            combo->setCurrentIndex(tag);
        }
    }
    if (!table.SavedSourceCode.empty() && conv.SourceCode() != table.SavedSourceCode) conv.SetFromCurrency(table.SavedSourceCode);
    if (!table.SavedTargetCode.empty() && conv.TargetCode() != table.SavedTargetCode) conv.SetToCurrency(table.SavedTargetCode);
    if (RGFormatGroup != nullptr && RGFormatIndex() != table.OutputOrder) SetRGFormatIndex(table.OutputOrder);
    if (cbFormat != nullptr && cbFormat->currentIndex() != table.LabelStyle) cbFormat->setCurrentIndex(table.LabelStyle);
    table.AsTable = false;
    ShowRateIndicator();
    if (ClipboardMethod() == 2) {
        SetClipboardWatch(false);
        SetClipboardWatch(true);
    }
}

// ---- paste-back ----

void TVMRConverter::BtPasteClick(QObject* sender) {
    IgnoreClipboard = true;
    const TConverterTable* table = CurrencyConverter != nullptr ? &CurrencyConverter->Table : nullptr;
    const std::string text = BuildPasteText(
        Results != nullptr ? Results->Text() : std::string(), dm != nullptr ? dm->EmptyCellText : std::string(),
        table != nullptr ? table->LineEndPadding : std::string(),
        table != nullptr ? table->LeadingBlankLines : std::string(), inputEndsWithLineBreak_);
    // The staged lines are the list; the hidden MeClip widget is not filled with them: nobody
    // sees or reads it, and a memo takes seconds for the lines of a large table.
    meClipLines_.SetText(text);
    static std::uint64_t serial = 0;
    auto* data = new QMimeData();
    data->setText(QString::fromStdString(text));
    data->setData(QLatin1String(OwnClipboardFormat), QByteArray::number(static_cast<qulonglong>(++serial)));
    OwnClipboardHandle = serial;
    Clipboard()->setMimeData(data, QClipboard::Clipboard);
    if (CalcProgressOpen()) CloseCalcProgress();
    if (sender == nullptr) SendPasteKeys();
    IgnoreClipboard = false;
}

void TVMRConverter::SendPasteKeys() {
    const bool held = IsCtrlDown();
    if (!held) KeyDown(VK_CONTROL);
    PressKey('V');
    KeyUp(VK_CONTROL);
    if (held) KeyDown(VK_CONTROL);  // the user's Ctrl stays down
}

}  // namespace vemra
