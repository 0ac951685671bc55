// The handlers of the main window's controls: the currency lists and their drawing, the
// favourites and swap buttons, the format options with their keyboard shortcuts, the
// rate-age indicator, the status line and the small handlers.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStatusTipEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <exception>
#include <utility>

#include "Colors.h"
#include "ConversionRun.h"
#include "CurrencyConverter.h"
#include "DetailLog.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "PluginItemDelegate.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "rtl/Format.h"
#include "ui_VMRConfigForm.h"

namespace vemra {

namespace {

constexpr TColor kComboBackground = 0xC3A30F;
constexpr TColor kComboDroppedFavorite = 0xF2D753;
constexpr TColor kComboFavoriteText = 0x800000;

QString Message(int number) {
    return dm != nullptr ? QString::fromStdString(dm->GetMessageText(number)) : QString();
}

void SetComboTag(QComboBox* combo, int value) { combo->setProperty("Tag", value); }

// Selects an entry without running the list's change handler (a program's selection).
void SelectQuietly(QComboBox* combo, int index) {
    if (combo == nullptr) return;
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(index);
}

void ShowError(const std::exception& error) {
    if (dm != nullptr) dm->ShowMessageText(error.what());
}

// The entries of the currency combos are drawn by the window's own draw handler.
class TComboMoneyDelegate : public QStyledItemDelegate {
public:
    TComboMoneyDelegate(TVMRConverter* window, QComboBox* combo)
        : QStyledItemDelegate(combo), window_(window), combo_(combo) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        window_->ComboMoneyDrawItem(combo_, index.row(), option.rect, combo_->view()->isVisible(), *painter);
    }

private:
    TVMRConverter* window_;
    QComboBox* combo_;
};

// The closed currency lists are narrower than many names (the Spanish ones above all): the
// shown name is cut with an ellipsis instead of being clipped mid-letter.
class TComboElidedLabel : public QObject {
public:
    explicit TComboElidedLabel(QComboBox* combo) : QObject(combo) { combo->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* combo = qobject_cast<QComboBox*>(watched);
        if (combo == nullptr || event->type() != QEvent::Paint || combo->isEditable()) return false;
        // initStyleOption is protected; a member pointer taken through a derived class reaches it.
        struct Access : QComboBox {
            using QComboBox::initStyleOption;
        };
        QStyleOptionComboBox option;
        (combo->*(&Access::initStyleOption))(&option);
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        option.currentText = combo->fontMetrics().elidedText(option.currentText, Qt::ElideRight, field.width() - 2);
        QStylePainter painter(combo);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
        return true;
    }
};

// The open list is as wide as its longest name (favourites are drawn bold), however narrow the
// closed list is.
void WidenDropDownToLongestName(QComboBox* combo) {
    if (combo == nullptr) return;
    QFont bold = combo->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int longest = 0;
    for (int i = 0; i < combo->count(); ++i) longest = std::max(longest, metrics.horizontalAdvance(combo->itemText(i)));
    QAbstractItemView* view = combo->view();
    const int chrome = 2 * view->frameWidth() + view->verticalScrollBar()->sizeHint().width() + 8;
    view->setMinimumWidth(longest + chrome);
}

}  // namespace

// Previews the window's keys (key up, as the shortcuts fire on release), carries the status
// tips to the status line and shows the rate-source list over the status panel.
class TControlEvents : public QObject {
public:
    explicit TControlEvents(TVMRConverter* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != window_) return false;
        switch (event->type()) {
            case QEvent::KeyPress:
                if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) escapePressedHere_ = true;
                return false;
            case QEvent::KeyRelease: {
                auto* key = static_cast<QKeyEvent*>(event);
                if (key->isAutoRepeat()) return false;
                // The press of an Esc that closed an open list (or a box) went to that window:
                // its release alone must not hide this one.
                if (key->key() == Qt::Key_Escape && !std::exchange(escapePressedHere_, false)) return false;
                return window_->HandleKeyUp(key->key(), key->modifiers());
            }
            case QEvent::WindowActivate:
                if (watched == window_) window_->FormActivate();
                return false;
            case QEvent::StatusTip:
                window_->DisplayHint(static_cast<QStatusTipEvent*>(event)->tip());
                return false;
            case QEvent::MouseMove:
                if (watched == window_->Mask) window_->MaskMouseMove();
                if (watched == window_->lbMessage) window_->lbMessageMouseMove();
                return false;
            default:
                return false;
        }
    }

private:
    TVMRConverter* window_;
    bool escapePressedHere_ = false;
};

void TVMRConverter::ConnectControls() {
    if (controlEvents_ != nullptr) return;
    controlEvents_ = new TControlEvents(this);
    qApp->installEventFilter(controlEvents_);
    Mask->setMouseTracking(true);
    lbMessage->setMouseTracking(true);

    for (QComboBox* combo : {CBINN, CBOUT}) {
        combo->setItemDelegate(new TComboMoneyDelegate(this, combo));
        new TComboElidedLabel(combo);
        SetStyleSheetWhenShown(combo, QStringLiteral("QComboBox{background:%1;color:#ffffff;}")
                                      .arg(TColorToQColor(kComboBackground).name()));
        connect(combo, &QComboBox::activated, this, [this, combo](int) { ComboMoneyChange(combo); });
    }
    InstallPluginItemDrawing(cbSubs);
    connect(cbSubs, &QComboBox::activated, this, [this](int) { cbSubsChange(cbSubs); });

    connect(btFavorites, &QPushButton::clicked, this, [this] { btFavoritesClick(btFavorites); });
    connect(btIntCh, &QPushButton::clicked, this, [this] { btIntChClick(btIntCh); });
    connect(btCR, &QPushButton::clicked, this, [this] { btCRClick(btCR); });
    connect(btInfo, &QPushButton::clicked, this, [this] { mniProClick(btInfo); });
    connect(btGoDefault, &QPushButton::clicked, this, [this] { btGoDefaultClick(btGoDefault); });
    connect(btGoNoText, &QPushButton::clicked, this, [this] { btGoNoTextClick(btGoNoText); });
    connect(btConfig, &QPushButton::clicked, this, [this] { BtConfigClick(btConfig); });
    connect(btConvert, &QPushButton::clicked, this, [this] { BtConvertClick(btConvert); });
    connect(btPaste, &QPushButton::clicked, this, [this] { BtPasteClick(btPaste); });
    connect(btClear, &QPushButton::clicked, this, [this] { btClearClick(btClear); });
    connect(btClose, &QPushButton::clicked, this, [this] { BtCloseClick(btClose); });
    connect(btX, &QPushButton::clicked, this, [this] { BtCloseClick(btX); });
    connect(btGoCnv, &QPushButton::clicked, this, [this] { btGoCnvClick(btGoCnv); });

    // Only the user's own changes run the format handler: the settings, the default buttons
    // and the balloon's commands set these controls too, and must neither convert once per
    // control nor mark the format page as changed.
    connect(RGFormatGroup, &QButtonGroup::idClicked, this, [this](int) { RGFormatClick(RGFormat); });
    connect(EdFormatLeft, &QLineEdit::textEdited, this, [this] { RGFormatClick(EdFormatLeft); });
    connect(EdFormatRight, &QLineEdit::textEdited, this, [this] { RGFormatClick(EdFormatRight); });
    for (QComboBox* list : {cbFormat, cbDesambi, cbDateDesambi})
        connect(list, &QComboBox::activated, this, [this, list](int) { RGFormatClick(list); });

    connect(MEINNMemo, &QPlainTextEdit::textChanged, this, [this] {
        meinnStale_ = false;  // a text typed or set in its place is what it shows now
        ShowLineCount(MEINNMemo->document()->isEmpty() ? 0 : MEINNMemo->document()->blockCount());
    });
}

void TVMRConverter::FillCurrencyCombos(const std::string& from, const std::string& to) {
    if (CurrencyConverter == nullptr) return;
    TCurrencyUserList& users = CurrencyConverter->UserCurrencies();
    const int labeling = VMRConfig != nullptr ? VMRConfig->ui->cbLabeling->currentIndex() : 0;
    users.FillCurrencyNameList(std::max(0, labeling));

    QComboBox* userLists[] = {CBINN, CBOUT, VMRConfig ? VMRConfig->ui->EDivIn : nullptr,
                              VMRConfig ? VMRConfig->ui->EDivOut : nullptr};
    for (QComboBox* list : userLists) {
        if (list == nullptr) continue;
        const QSignalBlocker block(list);
        list->clear();
        for (int i = 0; i < users.Count(); ++i)
            list->addItem(QString::fromStdString(users[i]), ObjectToInt(users.Objects(i)));
    }
    // Measuring every name shapes it with the fonts: a hidden window does it when it first shows.
    for (QComboBox* combo : {CBINN, CBOUT})
        WhenPolished(combo, "widen", [combo] { WidenDropDownToLongestName(combo); });
    if (VMRConfig != nullptr) {
        QComboBox* reference = VMRConfig->ui->EDivTriCode;
        const QSignalBlocker block(reference);
        // The currency page reads its tie from this list when it saves: a refill (the update
        // run's reload, the favourites button) keeps the currency it shows.
        const QString tie = reference->currentText();
        reference->clear();
        reference->addItem(QStringLiteral("---"));
        const TCurrencyChangeList& all = CurrencyConverter->Currencies();
        for (int i = 0; i < all.Count(); ++i) reference->addItem(QString::fromStdString(all[i]));
        reference->setCurrentIndex(std::max(0, tie.isEmpty() ? 0 : reference->findText(tie)));
    }

    SelectCurrencyInCombo(from, to);

    static constexpr int kCountMessages[] = {msg::GroupOwnRate, msg::GroupLinked, msg::GroupFavorites};
    const TCurrencyChangeList& rates = CurrencyConverter->Currencies();
    const int countMessage = kCountMessages[std::min<int>(users.FilterMode, 2)];
    const std::string format = dm != nullptr ? dm->GetMessageText(countMessage) : "";
    lbNumDiv->setText(QString::fromStdString(
        FillMessage(dm, countMessage, format, users.Count(), rates.ProviderCode, rates.DateText)));
    ShowRateIndicator();
}

void TVMRConverter::SelectCurrencyInCombo(std::string from, std::string to) {
    if (CurrencyConverter == nullptr) return;
    TCurrencyUserList& users = CurrencyConverter->UserCurrencies();
    QComboBox* divIn = VMRConfig ? VMRConfig->ui->EDivIn : nullptr;
    QComboBox* divOut = VMRConfig ? VMRConfig->ui->EDivOut : nullptr;
    SelectQuietly(CBINN, -1);
    SelectQuietly(CBOUT, -1);
    for (int i = 0; i < users.Count(); ++i) {
        const TCurrencyRec* currency = users.GetCurrency(i);
        if (currency == nullptr) continue;
        if (currency->Code == from) {
            SelectQuietly(CBINN, i);
            SetComboTag(CBINN, i);
            SelectQuietly(divIn, i);
        }
        if (currency->Code == to) {
            SelectQuietly(CBOUT, i);
            SetComboTag(CBOUT, i);
            SelectQuietly(divOut, i);
        }
    }
    // A pair the list does not hold falls back to the list's first entry.
    const TCurrencyRec* first = users.GetCurrency(0);
    if (CBINN->currentIndex() < 0 && first != nullptr) {
        from = first->Code;
        SelectQuietly(CBINN, 0);
        SetComboTag(CBINN, 0);
    }
    if (CBOUT->currentIndex() < 0 && first != nullptr) {
        to = first->Code;
        SelectQuietly(CBOUT, 0);
        SetComboTag(CBOUT, 0);
    }
    CurrencyConverter->SetFromCurrency(from);
    CurrencyConverter->SetToCurrency(to);
}

std::string TVMRConverter::ComboCurrencyCode(const QComboBox* combo) const {
    if (CurrencyConverter == nullptr || combo->currentIndex() < 0) return {};
    const TCurrencyRec* currency = CurrencyConverter->Currencies().GetCurrency(combo->currentData().toInt());
    return currency != nullptr ? currency->Code : std::string();
}

void TVMRConverter::ComboMoneyChange(QObject* sender) {
    if (CurrencyConverter == nullptr) return;
    if (sender == CBINN) {
        CurrencyConverter->SetFromCurrency(ComboCurrencyCode(CBINN));
        SetComboTag(CBINN, CBINN->currentIndex());
    } else {
        CurrencyConverter->SetToCurrency(ComboCurrencyCode(CBOUT));
        SetComboTag(CBOUT, CBOUT->currentIndex());
    }
    if (sender == nullptr) return;
    if (WindowMode == 2) FormActivate();
    SaveSettings(8);
    ShowRateIndicator();
    BtConvertClick(sender);
}

void TVMRConverter::ComboMoneyDrawItem(QComboBox* control, int index, const QRect& rect, bool droppedDown,
                                       QPainter& painter) {
    for (QComboBox* combo : {CBINN, CBOUT})
        if (combo->currentIndex() < 0 && combo->count() > 0) SelectQuietly(combo, 0);
    QColor background = TColorToQColor(kComboBackground);
    QColor text = Qt::white;
    QFont font = control->font();
    font.setBold(false);
    const int position = control->itemData(index).toInt();
    const TCurrencyRec* currency =
        CurrencyConverter != nullptr ? CurrencyConverter->Currencies().GetCurrency(position) : nullptr;
    if (currency != nullptr) {
        const bool favorite = CurrencyConverter->Favorites().IndexOf(currency->Code) >= 0;
        const bool base = CurrencyConverter->Currencies().BaseIndex == position;
        if (favorite || base) {
            font.setBold(true);
            text = TColorToQColor(kComboFavoriteText);
            if (droppedDown) background = TColorToQColor(kComboDroppedFavorite);
        }
    }
    painter.save();
    painter.fillRect(rect, background);
    painter.setPen(text);
    painter.setFont(font);
    const QRect textRect = rect.adjusted(2, 0, 0, 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop,
                     QFontMetrics(font).elidedText(control->itemText(index), Qt::ElideRight, textRect.width()));
    painter.restore();
}

void TVMRConverter::btFavoritesClick(QObject*) {
    if (CurrencyConverter == nullptr) return;
    TCurrencyUserList& users = CurrencyConverter->UserCurrencies();
    std::uint8_t mode = users.FilterMode;
    if (IsCtrlDown()) {
        mode = mode == 0 ? 2 : 0;
    } else if (mode == 0) {
        mode = 1;
    } else if (mode == 1) {
        mode = 2;
        if (CurrencyConverter->Favorites().Count() == 0) {
            if (dm != nullptr) dm->ShowMessageNumber(msg::FavoritesButton);
            mode = 0;
        }
    } else {
        mode = 0;
    }
    users.FilterMode = mode;
    FillCurrencyCombos(CurrencyConverter->SourceCode(), CurrencyConverter->TargetCode());
    CBINN->update();
    CBOUT->update();
    BtConvertClick(nullptr);
}

void TVMRConverter::btIntChClick(QObject*) {
    if (CurrencyConverter == nullptr) return;
    if (IsCtrlDown()) {
        const TConverterTable& table = CurrencyConverter->Table;
        FillCurrencyCombos(table.DefaultSourceCode, table.DefaultTargetCode);
    } else {
        FillCurrencyCombos(CurrencyConverter->TargetCode(), CurrencyConverter->SourceCode());
    }
    SaveSettings(8);
    BtConvertClick(nullptr);
}

void TVMRConverter::ShowRateIndicator() {
    if (CurrencyConverter == nullptr) return;
    const int source = CurrencyConverter->SourceIndex();
    const int target = CurrencyConverter->TargetIndex();
    const std::uint32_t color = CurrencyConverter->RateAgeColor(source, target);
    const int base = CurrencyConverter->Currencies().BaseIndex;
    const bool touchesBase = base == source || base == target;
    const int radius = std::min(pnIndicator->width(), pnIndicator->height()) / 2;
    SetStyleSheetWhenShown(pnIndicator, QStringLiteral("QFrame{background:%1;border:1px solid %2;border-radius:%3px;}")
                                        .arg(TColorToQColor(TColor(color)).name(),
                                             touchesBase ? QStringLiteral("#000000") : QStringLiteral("#ffffff"))
                                        .arg(radius));
    pnIndicator->setProperty("IndicatorColor", static_cast<uint>(color));
    QString hint = Message(msg::RateAgeHint56).replace(QLatin1Char('_'), QLatin1Char(' '));
    switch (color) {
        case AgeColorCurrent: hint += Message(msg::RateAgeHint57); break;
        case AgeColorOld: hint += Message(msg::RateAgeHint58); break;
        case AgeColorUnknown: hint += Message(msg::RateAgeHint59); break;
        case AgeColorFixed: hint += Message(msg::RateAgeHint60); break;
        default: break;
    }
    btInfo->setToolTip(hint);
    btInfo->setStatusTip(hint);
}

void TVMRConverter::RGFormatClick(QObject* sender) {
    if (sender == nullptr || CurrencyConverter == nullptr || CurrencyConverter->Table.AsTable) return;
    if (OutputTarget != nullptr) BtConvertClick(sender);
    if (Tag == 0) nbPages->setProperty("Tag", 1);
}

void TVMRConverter::btGoDefaultClick(QObject*) {
    if (!IsCtrlDown()) {
        cbDesambi->setCurrentIndex(0);
        cbDateDesambi->setCurrentIndex(0);
        EdFormatLeft->setText(QStringLiteral(" ( "));
        EdFormatRight->setText(QStringLiteral(" ) "));
    }
    cbFormat->setCurrentIndex(2);
    SetRGFormatIndex(1);
}

void TVMRConverter::btGoNoTextClick(QObject*) {
    cbFormat->setCurrentIndex(3);
    SetRGFormatIndex(2);
}

void TVMRConverter::BtConfigClick(QObject*) {
    if (IsCtrlDown()) {
        if (RGFormatIndex() != 2)
            btGoNoText->click();
        else
            btGoDefault->click();
        return;
    }
    const int page = nbPages->currentIndex() == 0 ? 1 : 0;
    nbPages->setCurrentIndex(page);
    if (page == 0) MEINNMemo->setFocus();
    btConfig->setText(Message(page == 0 ? msg::OptionsButton54 : msg::OptionsButton55));
}

bool TVMRConverter::HandleKeyUp(int key, Qt::KeyboardModifiers shift) {
    shift &= Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key == Qt::Key_Escape) {
        FormKeyUp(key, shift);
        return true;
    }
    if (shift != Qt::ControlModifier) return false;
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_F:
        case Qt::Key_L:
        case Qt::Key_T:
            FormKeyUp(key, shift);
            return true;
        default:
            return false;
    }
}

void TVMRConverter::FormKeyUp(int key, Qt::KeyboardModifiers shift) {
    if (key == Qt::Key_Escape) {
        BtCloseClick(nullptr);
        return;
    }
    if (shift != Qt::ControlModifier) return;
    switch (key) {
        case Qt::Key_Left:
            btIntChClick(btIntCh);
            break;
        case Qt::Key_Right:
            BtConvertClick(btConvert);
            break;
        case Qt::Key_F:
            btFavoritesClick(btFavorites);
            break;
        case Qt::Key_L:
            if (cbFormat->count() > 0) cbFormat->setCurrentIndex((cbFormat->currentIndex() + 1) % cbFormat->count());
            // The user asked for the next labelling: it shows at once, as Ctrl+T's order does.
            RGFormatClick(cbFormat);
            break;
        case Qt::Key_T: {
            const int next = RGFormatIndex() >= 2 || RGFormatIndex() < 0 ? 0 : RGFormatIndex() + 1;
            SetRGFormatIndex(next);
            RGFormatClick(nullptr);
            break;
        }
        default:
            break;
    }
}

void TVMRConverter::MEINNChange() { ShowLineCount(meinnLines_.Count()); }

void TVMRConverter::ShowLineCount(int lines) {
    if (lines >= 1) {
        lbNumLines->setText(QString::fromStdString(
            FillMessage(dm, msg::InputLineCount, Message(msg::InputLineCount).toStdString(), lines)));
        lbNumLines->show();
    } else {
        lbNumLines->hide();
    }
}

void TVMRConverter::btClearClick(QObject*) {
    if (ClipboardMethod() == 0) {
        SetClipboardWatch(false);
        SetClipboardWatch(true);
    }
    lbNumLines->hide();
    meClipLines_.Clear();
    meinnLines_.Clear();
    meoutLines_.Clear();
    meinnStale_ = meoutStale_ = false;
    const QSignalBlocker block(MEINNMemo);
    MeClipMemo->clear();
    MEINNMemo->clear();
    MEOUTMemo->clear();
}

void TVMRConverter::DisplayHint(const QString& hint) {
    if (!hintAttached_) return;
    lbMessage->setText(hint.section(QLatin1Char('|'), 0, 0));
}

void TVMRConverter::FormActivate() {
    if (nbPages->currentIndex() == 0) MEINNMemo->setFocus();
}

void TVMRConverter::BtConvertClick(QObject*) {
    try {
        RunConversion(false);
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

void TVMRConverter::btCRClick(QObject*) {
    if (CurrencyConverter != nullptr) {
        try {
            DetailLogCommand(*CurrencyConverter, "/C");
        } catch (const std::exception& error) {
            ShowError(error);
        }
    }
    if (VMRConfig != nullptr) VMRConfig->btOpenCRLogClick();
}

void TVMRConverter::btGoCnvClick(QObject*) {
    hintAttached_ = false;
    btShowConfigClick(mniConfig);
    hintAttached_ = true;
}

void TVMRConverter::MaskMouseMove() {
    if (cbSubs->isVisible()) cbSubs->hide();
}

void TVMRConverter::lbMessageMouseMove() {
    if (!cbSubs->isVisible() && cbSubs->property("Tag").toInt() == 0) {
        cbSubs->show();
        cbSubs->raise();
    }
}

void TVMRConverter::cbSubsChange(QObject*) {
    if (VMRConfig != nullptr) VMRConfig->cbSubscriptionsChange(cbSubs);
}

QObject* EventsObject(TControlEvents* events) { return events; }

}  // namespace vemra
