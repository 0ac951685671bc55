// The options window's currencies page: the filtered currency list with its drawing and
// favourites, the detail fields with add, edit/save and delete/cancel, and the import and
// export of currency definition files. Every change is written to the configuration file at once.

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "RateFile.h"
#include "TextFit.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "rtl/Format.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr int kItemHeight = 13;
constexpr int kBalloonMs = 1500;
constexpr int kPositionRole = Qt::UserRole;

std::string Message(int number) { return dm != nullptr ? dm->GetMessageText(number) : std::string(); }
void ShowText(const std::string& text) {
    if (dm != nullptr) dm->ShowMessageText(text);
}
std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

TCurrencyChangeList* Currencies() { return CurrencyConverter != nullptr ? &CurrencyConverter->Currencies() : nullptr; }

bool IsFavorite(const std::string& code) {
    return CurrencyConverter != nullptr && CurrencyConverter->Favorites().IndexOf(code) >= 0;
}

// The configuration file the settings name (the list's own when none is set).
std::string ConfigFile(const TCurrencyChangeList& list) {
    std::string path = VMRConverter != nullptr ? VMRConverter->CurrencyConfigFileName() : std::string();
    return path.empty() ? list.ConfigFileName : path;
}

// Loads the list's day rate file again so new, changed or merged currencies get their rates.
void ReloadRates(TCurrencyChangeList& list, const std::string& rateFile) {
    try {
        if (!rateFile.empty() && FileExists(rateFile))
            LoadRateFile(list, rateFile);
        else
            list.ResolveReferenceRates();
    } catch (const std::exception& e) {
        ShowText(e.what());
    }
    if (CurrencyConverter != nullptr) CurrencyConverter->SetFavorites(CurrencyConverter->Favorites().CommaText());
}

void RefillMainLists() {
    if (VMRConverter != nullptr && CurrencyConverter != nullptr)
        VMRConverter->FillCurrencyCombos(CurrencyConverter->SourceCode(), CurrencyConverter->TargetCode());
}

void SetFontColor(QLineEdit* edit, const QColor& color) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, color);
    edit->setPalette(palette);
}

// The currency list's entries: the tick box as the style draws it, the rest by the window.
class TCurrencyItemDelegate final : public QStyledItemDelegate {
public:
    TCurrencyItemDelegate(TVMRConfig& window, QObject* parent) : QStyledItemDelegate(parent), window_(window) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        const QRect check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
        painter->save();
        painter->fillRect(QRect(opt.rect.left(), opt.rect.top(), check.right() + 2 - opt.rect.left(), opt.rect.height()),
                          opt.palette.base());
        QStyleOptionViewItem box(opt);
        box.rect = check;
        box.state = (box.state & ~QStyle::State_HasFocus) |
                    (opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
        QRect text(opt.rect);
        text.setLeft(check.right() + 2);
        window_.ChListDrawItem(painter, index.row(), text, (opt.state & QStyle::State_Selected) != 0);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        // The fixed height, unless the font needs more to stay readable.
        size.setHeight(std::max(kItemHeight, option.fontMetrics.height() + 1));
        return size;
    }

private:
    TVMRConfig& window_;
};

// Keys and hover on the list, leaving the code field.
class TCurrencyEvents final : public QObject {
public:
    explicit TCurrencyEvents(TVMRConfig& window) : QObject(&window), window_(window), frame_(&window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        // The window's children still send events while QWidget destroys them, when the window's
        // own part is gone and its members may no longer be read; its dynamic type tells.
        if (qobject_cast<TVMRConfig*>(frame_) == nullptr || !window_.ui) return false;
        const Ui::TVMRConfig& ui = *window_.ui;
        if (watched == ui.ChList && event->type() == QEvent::KeyPress) {
            const QString key = static_cast<QKeyEvent*>(event)->text();
            // Space stays the list's own: it ticks the current entry. The jump keeps the key: the
            // list's own search starts after the current row, so passing it on would move past
            // the first label with that letter to the next one.
            if (!key.isEmpty() && key.at(0).isPrint() && key.at(0) != QChar(' ')) return window_.ChListKeyPress(key);
        } else if (watched == ui.ChList->viewport() && event->type() == QEvent::MouseMove) {
            window_.ChListMouseMove();
        } else if (watched == ui.EDivCode && event->type() == QEvent::FocusOut && !checking_) {
            // Leaving the field, not the window (a message box or another program taking
            // the focus leaves the field's focus where it is).
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                checking_ = true;
                window_.EDivCodeExit();
                checking_ = false;
            }
        }
        return false;
    }

private:
    TVMRConfig& window_;
    QWidget* frame_;  // the window as the QWidget that outlives its TVMRConfig part
    bool checking_ = false;
};

}  // namespace

std::function<std::string(bool)> TVMRConfig::ChooseDefinitionFile = [](bool save) {
    // Qt adds no pattern of its own: the type's name and its pattern once, in the user's language.
    const QString type = VMRConfig != nullptr ? VMRConfig->DefinitionFilesText : QString();
    const QString filter =
        (type.isEmpty() ? QStringLiteral("Vemra currency definition files") : type) + QStringLiteral(" (*.vcd)");
    QFileDialog dialog(VMRConfig, QString(), QString(), filter);
    // The non-native dialog, so that its titles, labels and buttons take the language's texts:
    // import title, export title, look in, file name, file type, open, save, cancel.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList texts =
        VMRConfig != nullptr ? VMRConfig->DefinitionDialogTexts.split(QLatin1Char('\n')) : QStringList();
    if (texts.size() >= 8) {
        dialog.setWindowTitle(texts[save ? 1 : 0]);
        dialog.setLabelText(QFileDialog::LookIn, texts[2]);
        dialog.setLabelText(QFileDialog::FileName, texts[3]);
        dialog.setLabelText(QFileDialog::FileType, texts[4]);
        dialog.setLabelText(QFileDialog::Accept, texts[save ? 6 : 5]);
        dialog.setLabelText(QFileDialog::Reject, texts[7]);
    }
    dialog.setDefaultSuffix(QStringLiteral("vcd"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
    return dialog.selectedFiles().first().toStdString();
};

void TVMRConfig::ConnectCurrencyHandlers() {
    Ui::TVMRConfig& c = *ui;
    c.ChList->setItemDelegate(new TCurrencyItemDelegate(*this, c.ChList));
    c.ChList->setUniformItemSizes(true);
    c.ChList->setSelectionMode(QAbstractItemView::SingleSelection);
    c.ChList->viewport()->setMouseTracking(true);
    auto* events = new TCurrencyEvents(*this);
    c.ChList->installEventFilter(events);
    c.ChList->viewport()->installEventFilter(events);
    c.EDivCode->installEventFilter(events);
    if (c.cbWhatShow->currentIndex() < 0 && c.cbWhatShow->count() > 0) c.cbWhatShow->setCurrentIndex(0);
    c.ESymPos->clear();
    c.ESymPos->addItems({QStringLiteral("? (x)"), QStringLiteral("(x) ?")});

    connect(c.cbWhatShow, &QComboBox::activated, this, [this](int) { cbWhatShowChange(ui->cbWhatShow); });
    connect(c.ChList, &QListWidget::currentRowChanged, this, [this](int) { ChListClick(ui->ChList); });
    connect(c.ChList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        ChListClickCheck(ui->ChList->row(item));
    });
    connect(c.btDivAdd, &QPushButton::clicked, this, [this] { btDivAddClick(); });
    connect(c.btDivEdit, &QPushButton::clicked, this, [this] { btDivEditClick(); });
    connect(c.btDivDel, &QPushButton::clicked, this, [this] { btDivDelClick(); });
    connect(c.EDivCode, &QLineEdit::textChanged, this, [this] { EDivCodeChange(ui->EDivCode); });
    connect(c.EDivIso, &QLineEdit::textChanged, this, [this] { EDivCodeChange(ui->EDivIso); });
    connect(c.EDivSymbol, &QLineEdit::textChanged, this, [this] { EDivSymbolChange(); });
    connect(c.EDivTriCode, &QComboBox::activated, this, [this](int) { EDivTriCodeChange(); });
    connect(c.btImportVmg, &QPushButton::clicked, this, [this] { btImportVmgClick(); });
    connect(c.btExportVmg, &QPushButton::clicked, this, [this] { btExportVmgClick(); });

    // The rate line is never edited; like the other detail fields it starts disabled.
    c.EDivValue->setEnabled(false);
    SetCurrencyEditing(false, false);
}

// The balloon: an information icon beside a bold title and the text. Made at its first
// showing: the icon comes from the style's theme lookup, a cost the start-up need not pay.
QWidget* TVMRConfig::FavoriteBalloon() {
    if (HintBalloon != nullptr) return HintBalloon;
    auto* balloon = new QFrame(this, Qt::ToolTip | Qt::FramelessWindowHint);
    balloon->setObjectName(QStringLiteral("HintBalloon"));
    balloon->setStyleSheet(QStringLiteral("QFrame#HintBalloon{background:#ffffe1;border:1px solid #767676;}"));
    auto* layout = new QHBoxLayout(balloon);
    layout->setContentsMargins(8, 6, 8, 6);
    auto* icon = new QLabel(balloon);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(balloon);
    text->setObjectName(QStringLiteral("HintBalloonText"));
    text->setWordWrap(true);
    layout->addWidget(icon);
    layout->addWidget(text, 1);
    balloon->setFixedWidth(200);
    balloon->hide();
    HintBalloon = balloon;
    return HintBalloon;
}

void TVMRConfig::FitCurrencyCaptions() {
    // The least widths still show a decimal digit, a currency code and a factor.
    ui::FitCaptionRow({{ui->lbEDivNumDec, ui->EDivNumDec, 48},
                       {ui->lbEDivTriCode, ui->EDivTriCode, 70},
                       {ui->lbEDivTriRatio, ui->EDivTriRatio, 60}});
}

void TVMRConfig::cbWhatShowChange(QObject*) {
    QListWidget* list = ui->ChList;
    int entries = 0;
    {
        const QSignalBlocker block(list);
        list->setUpdatesEnabled(false);
        list->clear();
        if (TCurrencyChangeList* currencies = Currencies()) {
            struct Entry {
                QString label;
                int position;
                bool favourite;
            };
            std::vector<Entry> taken;
            const int filter = ui->cbWhatShow->currentIndex();
            const int labeling = ui->cbLabeling->currentIndex();
            for (int i = 0; i < currencies->Count(); ++i) {
                const TCurrencyRec* rec = currencies->GetCurrency(i);
                if (rec == nullptr) continue;
                const bool favourite = IsFavorite(rec->Code);
                bool take = false;
                switch (filter) {
                    case 0: take = rec->Rate > 0 && rec->Factor == 0; break;
                    case 1: take = rec->Factor > 0; break;
                    case 2: take = favourite; break;
                    case 3: take = rec->Rate == 0; break;
                    case 4: take = true; break;
                    default: break;
                }
                if (!take) continue;
                std::string label;
                switch (labeling) {
                    case 0: label = rec->DisplayCode + " - " + rec->Name; break;
                    case 1: label = rec->Name + " - " + rec->DisplayCode; break;
                    case 2: label = rec->Name; break;
                    case 3: label = rec->DisplayCode; break;
                    default: break;
                }
                taken.push_back({QString::fromStdString(label), i, favourite});
            }
            std::stable_sort(taken.begin(), taken.end(), [](const Entry& a, const Entry& b) {
                return QString::compare(a.label, b.label, Qt::CaseInsensitive) < 0;
            });
            for (const Entry& e : taken) {
                auto* item = new QListWidgetItem(e.label);
                item->setData(kPositionRole, e.position);
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
                item->setCheckState(e.favourite ? Qt::Checked : Qt::Unchecked);
                list->addItem(item);
            }
        }
        list->setCurrentRow(-1);
        list->setUpdatesEnabled(true);
        entries = list->count();
    }
    const TCurrencyChangeList* currencies = Currencies();
    ui->lbNumDiv->setText(QString::fromStdString(
        FillMessage(dm, msg::CurrencyCount, Message(msg::CurrencyCount), entries,
                    currencies != nullptr ? currencies->ProviderCode : std::string(), std::string())));
    if (entries > 0)
        list->setCurrentRow(0);  // shown through the selection change
    else
        SetCurrencyEditing(false, true);
    ConfigChanged = true;
}

void TVMRConfig::ChListDrawItem(QPainter* painter, int index, const QRect& rect, bool selected) {
    const QListWidgetItem* item = ui->ChList->item(index);
    if (item == nullptr) return;
    const TCurrencyChangeList* currencies = Currencies();
    const TCurrencyRec* rec =
        currencies != nullptr ? currencies->GetCurrency(item->data(kPositionRole).toInt()) : nullptr;
    QColor background = ui->ChList->palette().color(QPalette::Base);
    if (rec != nullptr && rec->Rate == 0)
        background = QColor(0xC0, 0xC0, 0xC0);
    else if (item->checkState() == Qt::Checked)
        background = QColor(0xFF, 0xFF, 0xA8);
    painter->fillRect(rect, background);
    QFont font = ui->ChList->font();
    font.setBold(selected);
    painter->setFont(font);
    painter->setPen(Qt::black);
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item->text());
}

void TVMRConfig::ChListClick(QObject*) {
    Ui::TVMRConfig& c = *ui;
    if (c.EDivCode->isEnabled()) {
        // Another entry chosen while editing abandons the edit.
        SetCurrencyEditButtons(false);
        SetCurrencyEditing(false, false);
        return;  // that showed the selected currency
    }
    const QListWidgetItem* item = c.ChList->currentItem();
    const TCurrencyChangeList* currencies = Currencies();
    if (item == nullptr || currencies == nullptr) return;
    EditedCurrency = item->data(kPositionRole).toInt();
    const TCurrencyRec* rec = currencies->GetCurrency(EditedCurrency);
    if (rec == nullptr) return;
    c.EDivCode->setText(QString::fromStdString(rec->Code));
    c.EDivIso->setText(QString::fromStdString(rec->DisplayCode));
    c.EDivName->setText(QString::fromStdString(rec->Name));
    c.EDivSymbol->setText(QString::fromStdString(rec->Symbol));
    c.ESymPos->setCurrentIndex(rec->SymbolSide == 'L' ? 0 : rec->SymbolSide == 'R' ? 1 : -1);
    c.EDivNumDec->setValue(rec->Decimals);
    SetFontColor(c.EDivCode, Qt::black);
    const int reference = rec->RefCode.empty() ? -1 : c.EDivTriCode->findText(QString::fromStdString(rec->RefCode));
    if (reference > 0) {
        c.EDivTriCode->setCurrentIndex(reference);
        // In the user's number format, so that saving it unchanged reads it back.
        c.EDivTriRatio->setText(QString::fromStdString(
            FloatToStrF(rec->Factor, TFloatFormat::ffGeneral, 15, 0, LocaleFormat)));
    } else {
        c.EDivTriCode->setCurrentIndex(c.EDivTriCode->count() > 0 ? 0 : -1);
        c.EDivTriRatio->clear();
    }
    if (rec->Rate <= 0) {
        c.EDivValue->setText(QStringLiteral("0"));
    } else {
        // Without a known base the line shows the bare rate.
        const std::string pattern = currencies->BaseCode.empty()
                                        ? "%s " + Text(c.EDivSymbol)
                                        : "1 " + currencies->BaseCode + " = %s " + Text(c.EDivSymbol);
        c.EDivValue->setText(QString::fromStdString(TCurrencyConverter::FormatAmount(rec->Rate, 6, pattern)));
    }
}

void TVMRConfig::ChListClickCheck(int index) {
    QListWidgetItem* item = ui->ChList->item(index);
    const TCurrencyChangeList* currencies = Currencies();
    if (item == nullptr || currencies == nullptr || CurrencyConverter == nullptr) return;
    const TCurrencyRec* rec = currencies->GetCurrency(item->data(kPositionRole).toInt());
    if (rec == nullptr) return;
    if (item->checkState() != Qt::Checked) {
        CurrencyConverter->RemoveFavorite(rec->Code);
        return;
    }
    const TStringList& favourites = CurrencyConverter->Favorites();
    for (int i = 0; i < favourites.Count(); ++i) {
        if (favourites[i] == rec->Code) continue;
        const TCurrencyRec* other = currencies->GetCurrency(currencies->IndexOfCode(favourites[i]));
        if (other != nullptr && other->Symbol == rec->Symbol) {
            {
                const QSignalBlocker block(ui->ChList);
                item->setCheckState(Qt::Unchecked);
            }
            ui->ChList->viewport()->update();
            ShowText(Message(msg::FavoriteSameSymbol));
            return;
        }
    }
    CurrencyConverter->AddFavorite(rec->Code);
    FavoriteBalloon();
    if (auto* text = HintBalloon->findChild<QLabel*>(QStringLiteral("HintBalloonText")))
        text->setText(QStringLiteral("<b>Favorites</b><br>") +
                      QString::fromStdString("Currency " + rec->Code + " added to favorites").toHtmlEscaped());
    HintBalloon->adjustSize();
    HintBalloon->move(ui->ChList->mapToGlobal(QPoint(54, 80)));
    HintBalloon->show();
    HintBalloon->raise();
    QTimer::singleShot(kBalloonMs, HintBalloon, [balloon = HintBalloon] { balloon->hide(); });
}

bool TVMRConfig::ChListKeyPress(const QString& key) {
    QListWidget* list = ui->ChList;
    if (list->count() == 0) return false;
    const QChar typed = key.at(0).toUpper();
    for (int i = 0; i < list->count(); ++i) {
        const QString label = list->item(i)->text();
        if (!label.isEmpty() && label.at(0).toUpper() >= typed) {
            list->setCurrentRow(i);
            break;
        }
    }
    return true;
}

void TVMRConfig::ChListMouseMove() {
    if (!ui->ChList->hasFocus()) ui->ChList->setFocus();
}

void TVMRConfig::SetCurrencyEditing(bool enable, bool clear) {
    Ui::TVMRConfig& c = *ui;
    for (QLineEdit* edit : {c.EDivCode, c.EDivIso, c.EDivName, c.EDivSymbol}) {
        edit->setEnabled(enable);
        edit->setReadOnly(!enable);
    }
    c.EDivNumDec->setEnabled(enable);
    c.ESymPos->setEnabled(enable);
    c.EDivTriCode->setEnabled(enable);
    const bool ratio = c.EDivTriCode->isEnabled() && c.EDivTriCode->currentIndex() > 0;
    c.EDivTriRatio->setEnabled(ratio);
    c.EDivTriRatio->setReadOnly(!ratio);
    if (!enable) ChListClick(c.ChList);
    if (clear) {
        c.EDivCode->clear();
        c.EDivIso->clear();
        c.EDivName->clear();
        c.EDivNumDec->setValue(2);
        c.EDivSymbol->setText(QStringLiteral("?"));
        c.EDivValue->clear();
        c.EDivTriRatio->clear();
    }
}

void TVMRConfig::SetCurrencyEditButtons(bool editing) {
    ui->btDivEdit->setText(QString::fromStdString(Message(editing ? msg::SaveCaption : msg::EditCaption)));
    ui->btDivDel->setText(QString::fromStdString(Message(editing ? msg::CancelCaption : msg::DeleteCaption)));
    ui->btDivAdd->setEnabled(!editing);
    CurrencyEditing = editing;
}

void TVMRConfig::btDivAddClick() {
    ui->EDivTriCode->setCurrentIndex(ui->EDivTriCode->count() > 0 ? 0 : -1);
    SetCurrencyEditing(true, true);
    SetCurrencyEditButtons(true);
    EditedCurrency = -1;
    SetFontColor(ui->EDivCode, Qt::black);
    ui->EDivCode->setFocus();
}

void TVMRConfig::btDivEditClick() {
    Ui::TVMRConfig& c = *ui;
    TCurrencyChangeList* currencies = Currencies();
    if (currencies == nullptr) return;
    if (!CurrencyEditing) {
        SetCurrencyEditing(true, false);
        SetCurrencyEditButtons(true);
        c.EDivName->setFocus();
        return;
    }

    const std::string code = Trim(Text(c.EDivCode));
    const std::string iso = Trim(Text(c.EDivIso));
    const std::string name = Trim(Text(c.EDivName));
    const std::string symbol = Trim(Text(c.EDivSymbol));
    if (code.size() != 3 || iso.size() != 3) return ShowText(Message(msg::CodeLength));
    if (name.size() < 4) return ShowText(Message(msg::NameTooShort));
    if (symbol.empty()) return ShowText(Message(msg::SymbolMissing));
    const bool linked = c.EDivTriCode->currentIndex() >= 1;
    double factor = 0;
    if (linked) {
        std::string ratio = Text(c.EDivTriRatio);
        if (!LocaleFormat.ThousandSeparator.empty())
            ratio = StringReplace(ratio, LocaleFormat.ThousandSeparator, "", rfReplaceAll);
        c.EDivTriRatio->setText(QString::fromStdString(ratio));
        // A tie needs a positive factor: 0 or less would give the currency no usable rate.
        if (!TryStrToFloat(Trim(ratio), factor, LocaleFormat) || !(factor > 0))
            return ShowText(Message(msg::InvalidFactor));
    }
    // A code that another currency holds would be dropped by the list: nothing is saved.
    const int holder = currencies->IndexOfCode(code);
    if (holder >= 0 && holder != EditedCurrency) {
        SetFontColor(c.EDivCode, Qt::red);
        return ShowText(FillMessage(dm, msg::CurrencyCodeCheck, Message(msg::CurrencyCodeCheck), code));
    }

    TCurrencyRec* rec = EditedCurrency >= 0 ? currencies->GetCurrency(EditedCurrency) : nullptr;
    std::unique_ptr<TCurrencyRec> added;
    if (rec != nullptr && rec->Code != code) {
        // A changed code moves the currency: the old key leaves list and file, ties and
        // favourite follow it.
        const std::string oldCode = rec->Code;
        added = std::make_unique<TCurrencyRec>(*rec);
        const bool favourite = IsFavorite(oldCode);
        currencies->RemoveCurrency(oldCode);
        for (int i = 0; i < currencies->Count(); ++i)
            if (TCurrencyRec* other = currencies->GetCurrency(i); other != nullptr && other->RefCode == oldCode)
                other->RefCode = code;
        if (favourite && CurrencyConverter != nullptr) {
            CurrencyConverter->RemoveFavorite(oldCode);
            CurrencyConverter->Favorites().Add(code);
        }
        rec = added.get();
    } else if (rec == nullptr) {
        added = std::make_unique<TCurrencyRec>();
        rec = added.get();
    }
    rec->Code = code;
    rec->DisplayCode = iso;
    rec->Name = name;
    rec->Symbol = symbol;
    rec->SymbolSide = c.ESymPos->currentIndex() == 1 ? 'R' : 'L';
    rec->Decimals = static_cast<std::uint8_t>(c.EDivNumDec->value());
    if (linked) {
        rec->RefCode = c.EDivTriCode->currentText().toStdString();
        rec->FactorText = FloatToStrF(factor, TFloatFormat::ffGeneral, 15, 0, MdyFormat);
    } else {
        rec->RefCode.clear();
        rec->FactorText.clear();
        rec->RefIndex = NoCurrency;
    }
    rec->Factor = factor;
    if (added) currencies->AddCurrency(code, std::move(added));
    currencies->Modified = true;

    const std::string config = ConfigFile(*currencies);
    if (!SaveCurrencyConfig(*currencies, config)) ShowText("The currency configuration could not be written to " + config);
    ReloadRates(*currencies, currencies->RateFileName);
    RefillMainLists();
    c.EDivCode->setEnabled(false);
    SetCurrencyEditButtons(false);
    SetCurrencyEditing(false, false);

    const int position = currencies->IndexOfCode(code);
    const TCurrencyRec* saved = currencies->GetCurrency(position);
    int filter = 4;
    if (saved == nullptr)
        filter = 4;
    else if (saved->Rate > 0 && saved->Factor == 0)
        filter = 0;
    else if (saved->Factor > 0)
        filter = 1;
    else if (saved->Rate == 0)
        filter = 3;
    ui->cbWhatShow->setCurrentIndex(filter);
    cbWhatShowChange(nullptr);
    int row = -1;
    for (int i = 0; i < c.ChList->count() && row < 0; ++i) {
        const TCurrencyRec* entry = currencies->GetCurrency(c.ChList->item(i)->data(kPositionRole).toInt());
        if (entry != nullptr && entry->Code >= code) row = i;
    }
    c.ChList->setCurrentRow(row);
}

void TVMRConfig::btDivDelClick() {
    Ui::TVMRConfig& c = *ui;
    TCurrencyChangeList* currencies = Currencies();
    if (EditedCurrency < 0 || CurrencyEditing || currencies == nullptr) {
        SetCurrencyEditing(false, false);
        SetCurrencyEditButtons(false);
        ChListClick(c.ChList);
        return;
    }
    const std::string code = Text(c.EDivCode);
    if (code.empty()) return;
    int linked = 0;
    for (int i = 0; i < currencies->Count(); ++i)
        if (const TCurrencyRec* rec = currencies->GetCurrency(i); rec != nullptr && rec->RefCode == code) ++linked;
    if (linked > 0) return ShowText(FillMessage(dm, msg::DeleteCurrency, Message(msg::DeleteCurrency), code, linked));
    if (dm == nullptr || !dm->AskMessageText(Message(msg::DeleteCurrencyLinked), true)) return;
    currencies->RemoveCurrency(code);
    // A deleted currency is no favourite any more; the others' positions move up.
    if (CurrencyConverter != nullptr) {
        CurrencyConverter->RemoveFavorite(code);
        CurrencyConverter->SetFavorites(CurrencyConverter->Favorites().CommaText());
    }
    currencies->ResolveReferenceRates();
    RefillMainLists();

    c.EDivCode->setEnabled(false);
    cbWhatShowChange(nullptr);
    SetCurrencyEditButtons(false);
    SetCurrencyEditing(false, false);
    int row = -1;
    for (int i = 0; i < c.ChList->count() && row < 0; ++i) {
        const TCurrencyRec* entry = currencies->GetCurrency(c.ChList->item(i)->data(kPositionRole).toInt());
        if (entry != nullptr && entry->Code >= code) row = i;
    }
    c.ChList->setCurrentRow(row);
}

void TVMRConfig::EDivCodeChange(QObject* sender) {
    auto* edit = qobject_cast<QLineEdit*>(sender);
    if (edit == nullptr || !ui->EDivCode->isEnabled()) return;
    const QString text = QString::fromStdString(UpperCase(Trim(Text(edit))));
    if (text != edit->text()) edit->setText(text);
}

void TVMRConfig::EDivCodeExit() {
    Ui::TVMRConfig& c = *ui;
    if (!c.EDivCode->isEnabled()) return;
    const std::string code = Text(c.EDivCode);
    if (code.size() != 3) {
        SetFontColor(c.EDivCode, Qt::red);
        return;
    }
    const TCurrencyChangeList* currencies = Currencies();
    const int position = currencies != nullptr ? currencies->IndexOfCode(code) : -1;
    if (position >= 0 && position != EditedCurrency) {
        SetFontColor(c.EDivCode, Qt::red);
        ShowText(FillMessage(dm, msg::CurrencyCodeCheck, Message(msg::CurrencyCodeCheck), code));
        return;
    }
    if (c.EDivIso->text().isEmpty()) c.EDivIso->setText(QString::fromStdString(code));
    SetFontColor(c.EDivCode, Qt::black);
}

void TVMRConfig::EDivSymbolChange() {
    QComboBox* side = ui->ESymPos;
    const int index = side->currentIndex();
    const QString symbol = ui->EDivSymbol->text();
    const QSignalBlocker block(side);
    side->clear();
    side->addItems({symbol + QStringLiteral(" (x)"), QStringLiteral("(x) ") + symbol});
    side->setCurrentIndex(index);
}

void TVMRConfig::EDivTriCodeChange() {
    const bool on = ui->EDivTriCode->currentIndex() >= 1;
    ui->EDivTriRatio->setEnabled(on);
    ui->EDivTriRatio->setReadOnly(!on);
    if (!on) ui->EDivTriRatio->clear();
}

void TVMRConfig::btImportVmgClick() {
    TCurrencyChangeList* currencies = Currencies();
    if (currencies == nullptr || !ChooseDefinitionFile) return;
    const std::string file = ChooseDefinitionFile(false);
    if (file.empty()) return;
    std::string result;
    int replaced = 0;
    int added = 0;
    const bool merged = ImportCurrencyDefinitions(*currencies, file, result, replaced, added);
    if (merged) {
        const std::string rateFile = currencies->RateFileName;
        if (LoadCurrencyNames(*currencies, ConfigFile(*currencies))) {
            // The names load without rates: the day rate file gives them back.
            ReloadRates(*currencies, rateFile);
            RefillMainLists();
            cbWhatShowChange(nullptr);
        }
    }
    ShowText(result);
}

void TVMRConfig::btExportVmgClick() {
    const TCurrencyChangeList* currencies = Currencies();
    if (currencies == nullptr || !ChooseDefinitionFile) return;
    const std::string file = ChooseDefinitionFile(true);
    if (file.empty()) return;
    std::error_code error;
    const std::filesystem::path source = ConfigFile(*currencies);
    const std::filesystem::path target = file;
    bool done = false;
    if (std::filesystem::exists(target, error) && std::filesystem::equivalent(source, target, error))
        done = true;  // the file is already there
    else
        done = std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error) &&
               !error;
    ShowText(Message(done ? msg::ExportDone : msg::ExportFailed));
}

}  // namespace vemra
