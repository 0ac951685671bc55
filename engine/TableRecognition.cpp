// What a split table is: its size, a rate source in the first cell, currency codes in the
// header row or the first column, and a first column of dates with its separator and day
// order.
#include "TableRecognition.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "ConversionRun.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "RateFile.h"
#include "ZEPHStrUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr int ProgressCellLimit = 300;

constexpr char DateSeparators[3] = {'-', '/', '.'};
constexpr const char* DatePatterns[3] = {"dmy", "mdy", "ymd"};
constexpr std::uint8_t DateOrderNone = 1;
constexpr std::uint8_t DateOrderDmy = 2;

std::uint8_t Clamp8(int n) { return static_cast<std::uint8_t>(n > 255 ? 255 : n); }

// Position of the largest count; the first of equal counts wins.
int BestOf(const int (&counts)[3]) {
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (counts[i] > counts[best]) best = i;
    return best;
}

void RemoveKeyedWarnings(TStringList& warnings) {
    TStringList kept;
    for (const TStringList::Item& item : warnings.Items())
        if (ObjectToInt(item.obj) < 0) kept.AddObject(item.str, item.obj);
    warnings = std::move(kept);
}

}  // namespace

// ---- free helpers ----

void CheckCurrencyCode(TCurrencyConverter& converter, const std::string& code) {
    const std::string trimmed = Trim(code);
    if (trimmed.size() != 3) return;
    IEngineHost& host = converter.Host();
    int position = 0;
    if (!converter.Currencies().Find(trimmed, position))
        converter.AddWarning(FormatMessageText(host, msg::WarnUnknownCurrency, trimmed), -1);
    else if (converter.Currencies().ItemRate(position) == 0)
        converter.AddWarning(FormatMessageText(host, msg::WarnNoRate, trimmed), -1);
}

TFormatSettings* DateFormatRecord(std::uint8_t dateOrder) {
    switch (dateOrder) {
        case 2: return &DmyFormat;
        case 3: return &MdyFormat;
        case 4: return &YmdFormat;
        default: return nullptr;
    }
}

std::string DatePatternOf(std::string_view shortDateFormat) {
    std::string pattern;
    for (const char c : shortDateFormat) {
        if (!std::isalpha(static_cast<unsigned char>(c))) continue;
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (pattern.empty() || pattern.back() != lower) pattern += lower;
    }
    return pattern;
}

bool ReadsAsDate(std::string_view text, const TFormatSettings& record, TDateTime& date) {
    const char separator = record.DateSeparator;
    if (text.empty() || separator == '\0') return false;
    int separators = 0;
    bool digitBefore = false;
    for (const char c : text) {
        if (c == separator) {
            if (!digitBefore) return false;
            ++separators;
            digitBefore = false;
        } else if (c >= '0' && c <= '9') {
            digitBefore = true;
        } else {
            return false;
        }
    }
    if (!digitBefore || separators < 1 || separators > 2) return false;
    return TryStrToDate(text, date, record);
}

// ---- recognition ----

int TConversionRun::StartRow() const { return (table_.Flags & tfProviderCell) != 0 ? 1 : 0; }

bool TConversionRun::IsCurrencyCode(const std::string& text, int& position) const {
    return !text.empty() && text != emptyCell_ && conv_.Currencies().Find(text, position);
}

void TConversionRun::RecognizeTable() {
    CheckProviderCell(false);
    if (table_.RowCells.Empty()) return;
    const int cells = static_cast<int>(table_.Cells.size());
    int columns = 0;
    while (columns < cells && table_.Cells[static_cast<std::size_t>(columns)].Row == 1) ++columns;
    table_.ColumnCount = columns;
    table_.RowCount = cells / columns;
    if (table_.ColumnCount * table_.RowCount <= 1) return;
    ShowRecognitionProgress();
    if (ReadHeaderRow() > 0) table_.Flags |= tfHeaderCurrencies;

    int separatorRows[3] = {0, 0, 0};
    CountDateSeparators(separatorRows);
    ChooseDateSeparator(separatorRows);
    int currencies = 0;
    int others = 0;
    int formatCounts[3] = {0, 0, 0};
    ReadFirstColumn(currencies, others, formatCounts);
    const int dateCount = formatCounts[BestOf(formatCounts)];
    if (dateCount > 0) {
        ChooseDateOrder(formatCounts);
    } else {
        table_.DateFormat = nullptr;
    }
    if (currencies > 0 && currencies >= others && currencies > dateCount)
        table_.Flags |= tfColumnCurrencies;
    else if (dateCount > 0 && dateCount >= others)
        table_.Flags |= tfDateColumn;
}

void TConversionRun::ShowRecognitionProgress() {
    const int cells = table_.ColumnCount * table_.RowCount;
    if (cells > ProgressCellLimit) {
        if (!host_.CalcProgressOpen()) host_.ShowCalcProgress(conv_.Host().GetMessageText(msg::ProgressText));
        host_.SetCalcProgressRange(conv_.Host().GetMessageText(msg::RecognitionProgress), cells);
        host_.RevealCalcProgress();
    } else if (host_.CalcProgressOpen()) {
        host_.CloseCalcProgress();
    }
}

// The header row's texts; a positive result when currency codes are at least as many as
// the other texts.
int TConversionRun::ReadHeaderRow() {
    const TStringList& input = host_.MEINN();
    int start = 0;
    if ((table_.Flags & tfProviderCell) != 0) {
        table_.ColumnHeaders.AddObject(emptyCell_, IntToObject(-1));
        table_.Cells[0].Class = ccPlugin;
        start = 1;
    }
    int currencies = 0;
    int others = 0;
    for (int c = start; c < table_.ColumnCount; ++c) {
        std::string text = UpperCase(Trim(input[c]));
        int position = 0;
        const bool currency = IsCurrencyCode(text, position);
        table_.ColumnHeaders.AddObject(std::move(text), IntToObject(currency ? c : 0));
        if (currency) {
            CellInfo& cell = table_.Cells[static_cast<std::size_t>(c)];
            cell.Class = ccCurrency;
            cell.Value = position;
            ++currencies;
        } else {
            ++others;
        }
    }
    return currencies > 0 && currencies >= others ? currencies : 0;
}

void TConversionRun::CountDateSeparators(int (&rows)[3]) {
    const TStringList& input = host_.MEINN();
    const int start = StartRow();
    if (start == 1) {
        table_.RowHeaders.AddObject(emptyCell_, IntToObject(-1));
        table_.Cells[0].Class = ccPlugin;
    }
    table_.DateInfo.assign(static_cast<std::size_t>(start), DateRowInfo());
    for (int r = start; r < table_.RowCount; ++r) {
        const int k = r * table_.ColumnCount;
        std::string text = UpperCase(Trim(input[k]));
        DateRowInfo info;
        if (!text.empty() && text != emptyCell_) {
            const int counts[3] = {CountChar('-', text), CountChar('/', text), CountChar('.', text)};
            info.Dashes = Clamp8(counts[0]);
            info.Slashes = Clamp8(counts[1]);
            info.Points = Clamp8(counts[2]);
            for (int s = 0; s < 3; ++s) rows[s] += counts[s] == 2 ? 1 : 0;
        }
        table_.RowHeaders.AddObject(std::move(text), IntToObject(k));
        table_.DateInfo.push_back(info);
    }
}

void TConversionRun::ChooseDateSeparator(const int (&rows)[3]) {
    if (rows[0] == 0 && rows[1] == 0 && rows[2] == 0) return;
    const int best = BestOf(rows);
    const char locale = host_.LocaleDateSeparator();
    char separator = DateSeparators[best];
    if (host_.cbDateDesambiIndex() == 1) {
        if (locale != '\0') separator = locale;
    } else {
        // Automatic, and the fixed day orders: the most frequent separator, the locale's
        // on a tie.
        for (int s = 0; s < 3; ++s)
            if (s != best && rows[s] == rows[best] && DateSeparators[s] == locale) separator = locale;
    }
    table_.DateSeparator = separator;
    TCurrencyConverter::SetDateSeparators(separator);
}

void TConversionRun::ReadFirstColumn(int& currencies, int& others, int (&formatCounts)[3]) {
    const TFormatSettings* records[3] = {&DmyFormat, &MdyFormat, &YmdFormat};
    for (int r = StartRow(); r < table_.RowCount; ++r) {
        const int k = r * table_.ColumnCount;
        const std::string& text = table_.RowHeaders[r];
        int position = 0;
        if (text.empty() || text == emptyCell_) {
            ++others;
        } else if (IsCurrencyCode(text, position)) {
            CellInfo& cell = table_.Cells[static_cast<std::size_t>(k)];
            cell.Class = ccCurrency;
            cell.Value = position;
            table_.RowHeaders.SetObject(r, IntToObject(k));
            ++currencies;
        } else if (table_.DateSeparator == '#') {
            ++others;
        } else {
            DateRowInfo& info = table_.DateInfo[static_cast<std::size_t>(r)];
            TDateTime date = 0;
            info.Dmy = ReadsAsDate(text, *records[0], date);
            info.Mdy = ReadsAsDate(text, *records[1], date);
            info.Ymd = ReadsAsDate(text, *records[2], date);
            formatCounts[0] += info.Dmy ? 1 : 0;
            formatCounts[1] += info.Mdy ? 1 : 0;
            formatCounts[2] += info.Ymd ? 1 : 0;
            if (!info.Dmy && !info.Mdy && !info.Ymd) ++others;
        }
    }
}

void TConversionRun::ChooseDateOrder(const int (&formatCounts)[3]) {
    const int best = BestOf(formatCounts);
    const std::string locale = host_.LocaleDatePattern();
    const int choice = host_.cbDateDesambiIndex();
    std::uint8_t order = static_cast<std::uint8_t>(DateOrderDmy + best);
    if (choice == 1) {
        order = DateOrderNone;
        for (int f = 0; f < 3; ++f)
            if (locale == DatePatterns[f]) order = static_cast<std::uint8_t>(DateOrderDmy + f);
    } else if (choice >= 2 && choice <= 4) {
        order = static_cast<std::uint8_t>(choice);
    } else {
        for (int f = 0; f < 3; ++f)
            if (f != best && formatCounts[f] == formatCounts[best] && locale == DatePatterns[f])
                order = static_cast<std::uint8_t>(DateOrderDmy + f);
    }
    table_.DateOrder = order;
    table_.DateFormat = DateFormatRecord(order);
    MarkDateColumn();
}

void TConversionRun::MarkDateColumn() {
    ReadEmptyCellText();
    RemoveKeyedWarnings(conv_.Warnings());
    if (table_.DateFormat == nullptr) return;
    const int rows = std::min(table_.RowCount, table_.RowHeaders.Count());
    const bool mirror = table_.BaseClasses.size() == table_.Cells.size();
    for (int r = StartRow(); r < rows; ++r) {
        const int k = r * table_.ColumnCount;
        if (static_cast<std::size_t>(k) >= table_.Cells.size()) break;
        const std::string& text = table_.RowHeaders[r];
        TDateTime date = 0;
        CellInfo& cell = table_.Cells[static_cast<std::size_t>(k)];
        if (!text.empty() && text != emptyCell_ && ReadsAsDate(text, *table_.DateFormat, date)) {
            cell.Class = ccDate;
            cell.Value = static_cast<std::int32_t>(std::floor(date));
        } else {
            cell.Class = ccText;
            cell.Value = 0;
        }
        if (mirror) table_.BaseClasses[static_cast<std::size_t>(k)] = cell.Class;
        table_.RowHeaders.SetObject(r, IntToObject(k));
    }
}

// ---- headers ----

void TConversionRun::ApplyTableHeaders() {
    SingleRateDay = (table_.Flags & tfDateColumn) == 0;
    if (table_.Flags == 0) return;
    if (table_.ProviderCode.empty()) table_.ProviderCode = emptyCell_;
    if ((table_.Flags & tfProviderCell) != 0) SelectProviderSource();
    if ((table_.Flags & tfColumnCurrencies) != 0) {
        for (const TStringList::Item& item : table_.RowHeaders.Items())
            if (!item.str.empty() && item.str != emptyCell_) CheckCurrencyCode(conv_, item.str);
        table_.AtcMode = atcIn;
    }
    if ((table_.Flags & tfHeaderCurrencies) != 0) {
        for (const TStringList::Item& item : table_.ColumnHeaders.Items())
            if (!item.str.empty() && item.str != emptyCell_) CheckCurrencyCode(conv_, item.str);
        table_.AtcMode = atcIn;
    }
}

void TConversionRun::SelectProviderSource() {
    host_.SetPluginSelectedIndex(table_.ProviderIndex);
    if (!host_.HasCurrentPlugin())
        throw Exception(FormatMessageText(conv_.Host(), msg::SourceMissing, table_.ProviderCode));
    const std::string file = conv_.RateSources().LastRateFile();
    if (!FileExists(file))
        conv_.AddWarning(FormatMessageText(conv_.Host(), msg::TableSourceNoFile, ExtractFileName(file)), 0);
    else
        LoadRateFile(conv_.Currencies(), file);
}

}  // namespace vemra
