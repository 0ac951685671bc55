// Converts every cell of the recognised input: the rates of a row's date, the pair a
// header currency gives, the amount in the chosen output form, the detail-log line, and
// the result lines with the column widths the result balloon lays out.
#include "CellOutput.h"

#include <algorithm>
#include <cmath>

#include "ConversionRun.h"
#include "DetailLog.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "NumberCells.h"
#include "RateFile.h"
#include "rtl/Format.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr int SearchBackDays = 30;
constexpr int BalloonMaxWidth = 640;
constexpr char InvalidHeader = '!';  // the header currency of a cell that has none usable
constexpr std::string_view NoInverse = " or [1/1]";
constexpr std::string_view AmountSpec = "%.*n";

std::string WithoutNoInverse(std::string text) {
    if (text.find(NoInverse) == std::string::npos) return text;
    return StringReplace(text, NoInverse, "", rfReplaceAll);
}

// "incoming Ratio USD = ( 0.9136 or [1/1.0946] )"
std::string RatioText(const char* side, const std::string& code, double rate) {
    return Format("%s Ratio %s = ( %s or [1/%s] )", side, code, TCurrencyConverter::FormatAmount(rate, 4, ""),
                  TCurrencyConverter::FormatAmount(rate == 0 ? 0.0 : 1.0 / rate, 4, ""));
}

bool IsInvalidHeader(const std::string& code) { return code.size() == 1 && code[0] == InvalidHeader; }

std::uint16_t Clamp16(int n) { return static_cast<std::uint16_t>(std::clamp(n, 0, 65535)); }

// Items first to last - 1 joined by TAB, trimmed of characters up to blank at both ends.
std::string JoinRange(const TStringList& items, int first, int last) {
    std::size_t size = 0;
    for (int i = first; i < last; ++i) size += items[i].size() + 1;
    std::string joined;
    joined.reserve(size);
    for (int i = first; i < last; ++i) {
        if (i > first) joined += '\t';
        joined += items[i];
    }
    return Trim(joined);
}

}  // namespace

std::string JoinCells(const TStringList& cells) { return JoinRange(cells, 0, cells.Count()); }

void TConversionRun::ConvertCells() {
    ReadEmptyCellText();
    keptSource_ = conv_.SourceCode();
    keptTarget_ = conv_.TargetCode();
    table_.PairChanged = false;
    table_.LastRowDate = -1;
    table_.HistoryFilesLoaded = 0;
    missingRow_ = -1;
    foundRowDate_ = -1;
    rateTexts_.clear();
    // Start from what the recognition and the classification found, so that converting
    // the same cells again gives what a fresh run gives.
    if (table_.BaseClasses.size() == table_.Cells.size())
        for (std::size_t i = 0; i < table_.Cells.size(); ++i) table_.Cells[i].Class = table_.BaseClasses[i];
    for (DateRowInfo& info : table_.DateInfo) info.Found = false;
    RestoreRunStartRates();
    CheckProviderCell(true);

    TStringList& input = host_.MEINN();
    CellCount = input.Count();
    UnconvertedCount = 0;
    table_.ColumnWidths.clear();
    conv_.ClearOutputLines();
    host_.MEOUT().Clear();
    host_.MEOUT().SetCapacity(CellCount);
    DetailLogCommand(conv_, "*");
    DetailLogCommand(conv_, Format("* Starting conversion of %d elements", CellCount));
    DetailLogCommand(conv_, "*");

    OutputChoices choices;
    choices.order = host_.RGFormatIndex();
    choices.labelStyle = host_.cbFormatIndex();
    choices.left = host_.EdFormatLeftText();
    choices.right = host_.EdFormatRightText();
    choices.crossValue = host_.cbCrossTabSelIndex();
    choices.badDateMethod = host_.cbBadDateMethodIndex();
    conv_.BeginCellSearch();
    try {
        for (int k = 0; k < CellCount; ++k) ConvertCell(k, choices);
    } catch (...) {
        conv_.EndCellSearch();
        FinishConversion();
        throw;
    }
    conv_.EndCellSearch();
    FinishConversion();
}

// A dated table converted before leaves the last row's rates loaded; the cells are
// converted again from the rates the run started with.
void TConversionRun::RestoreRunStartRates() {
    const std::string& file = table_.RunStartRateFile;
    if (!conv_.HasDateColumn() || file.empty() || conv_.Currencies().RateFileName == file || !FileExists(file)) return;
    LoadRateFile(conv_.Currencies(), file);
    ++ratesLoaded_;
    conv_.SetFromCurrency(conv_.SourceCode());
    conv_.SetToCurrency(conv_.TargetCode());
}

void TConversionRun::FinishConversion() {
    conv_.SetFromCurrency(keptSource_);
    conv_.SetToCurrency(keptTarget_);
    // The converter's output lines are the memo's lines of this run: shared, not copied.
    conv_.SetOutputLines(host_.MEOUT());
    WriteOutputTable();
    if (host_.CalcProgressOpen()) host_.CloseCalcProgress();
    host_.MEINNChange();
}

void TConversionRun::ConvertCell(int k, const OutputChoices& choices) {
    if (host_.CalcProgressOpen()) host_.SetProgress(k);
    const int columns = std::max(1, table_.ColumnCount);
    CellInfo spare;  // a line typed after the split has no cell of its own
    CellInfo& info = static_cast<std::size_t>(k) < table_.Cells.size() ? table_.Cells[static_cast<std::size_t>(k)] : spare;

    CellWork cell;
    cell.text = host_.MEINN()[k];
    // The log line begins: 0007 = "text"
    cell.log = CellNumberText(k);
    cell.log.reserve(cell.log.size() + cell.text.size() + 40);
    cell.log.append(" = \"").append(cell.text).append("\" ");
    cell.output = cell.text;
    if (cell.text.empty() || info.Class == ccText)
        LogTextCell(cell);
    else
        ConvertClassedCell(k, k % columns, k / columns, choices, info, cell);
    host_.MEOUT().Add(cell.output);  // a copy of just the text's size: the built one has room to spare
}

void TConversionRun::LogTextCell(CellWork& cell) {
    if (cell.text == emptyCell_) {
        cell.log += "(Empty)";
    } else {
        ++UnconvertedCount;
        cell.log += "as Text";
    }
    conv_.AddLogLine(cell.log);
}

// A header cell, or a number cell converted with the rates of its row and the pair of
// its headers.
void TConversionRun::ConvertClassedCell(int k, int col, int row, const OutputChoices& choices, CellInfo& info,
                                        CellWork& cell) {
    if (info.Class != ccDate) cell.text = NormalizeNumberText(cell.text, info.Class, table_.DecimalPoint);
    table_.HeaderCurrency.clear();
    ConvertDateRow(k, col, row, cell);
    bool handled = true;
    if (info.Class == ccDate || info.Class == ccCurrency || info.Class == ccPlugin) {
        if (info.Class == ccPlugin)
            cell.log += Format("%s %s / Last File is: %s", "is Plugin", conv_.RateSources().SelectedCode(),
                               conv_.RateSources().LastRateFile());
        conv_.AddLogLine(cell.log);
    } else if (IsInvalidHeader(table_.HeaderCurrency)) {
        cell.log += Format("Invalid currency = \"%s\"", cell.text);
        conv_.AddLogLine(cell.log);
        info.Class = ccText;
    } else {
        handled = ConvertNumberCell(col, row, choices, info, cell);
    }
    if (handled) {
        if (conv_.HasDateColumn() && !RowFound(row) && choices.badDateMethod == 1) {
            info.Class = ccText;
            cell.output = cell.text;
        }
    } else if (!IsInvalidHeader(table_.HeaderCurrency)) {
        ++UnconvertedCount;
    }
}

// Rows past the last full row have no date to miss.
bool TConversionRun::RowFound(int row) const {
    return row >= table_.RowCount || static_cast<std::size_t>(row) >= table_.DateInfo.size() ||
           table_.DateInfo[static_cast<std::size_t>(row)].Found;
}

bool TConversionRun::ConvertNumberCell(int col, int row, const OutputChoices& choices, CellInfo& info, CellWork& cell) {
    if (conv_.IsCrossTable() && col > 0 && row > 0 && choices.crossValue >= 1 && choices.crossValue <= 4)
        cell.text = IntToStr(static_cast<std::int64_t>(TCurrencyConverter::IntPower(10, choices.crossValue - 1)));
    double amount = 0;
    // Most cells are plain numbers; only the others can hold a currency to take out.
    bool number = TryStrToFloat(cell.text, amount, StampFormat);
    if (!number) {
        conv_.ExtractCurrencyFromText(cell.text);
        number = TryStrToFloat(cell.text, amount, StampFormat);
    }
    if (!number) {
        cell.log += "Not convertible";
        conv_.AddLogLine(cell.log);
        info.Class = ccText;
        return false;
    }
    cell.amount = amount;
    const bool converted = conv_.ConvertAmount(amount, cell.result);
    cell.output = FormatCellResult(choices, cell);
    AddRateLogLine(cell);
    return converted;
}

// ---- rates and pair of a cell ----

void TConversionRun::ConvertDateRow(int k, int col, int row, CellWork& cell) {
    if (row >= table_.RowCount) {
        // Past the last full row there is no row header and no date: the selected pair.
        if (table_.Flags != 0) SetSelectedPair();
        return;
    }
    if (conv_.HasDateColumn() && row < table_.RowHeaders.Count()) {
        const int h = ObjectToInt(table_.RowHeaders.Objects(row));
        const bool dateCell = k == h && table_.Cells[static_cast<std::size_t>(k)].Class == ccDate;
        if (dateCell) cell.log += "ATC Date column = " + table_.RowHeaders[row];
        if (h >= 0 && static_cast<std::size_t>(h) < table_.Cells.size()) {
            const CellInfo& dateInfo = table_.Cells[static_cast<std::size_t>(h)];
            if (dateInfo.Class == ccDate && dateInfo.Value > 0) LoadRowDate(row, dateInfo.Value, dateCell, cell);
        }
    }
    if (conv_.IsCrossTable())
        SetCrossPair(col, row);
    else if (table_.Flags != 0)
        SetHeaderPair(k, col, row, cell);
}

void TConversionRun::LoadRowDate(int row, std::int32_t day, bool dateCell, CellWork& cell) {
    DateRowInfo& info = table_.DateInfo[static_cast<std::size_t>(row)];
    const TDateTime rowDate = day;
    // A row whose file was found by searching back loaded an earlier day: its other cells
    // (and rows of its date) use those rates too.
    if (rowDate == table_.LastRowDate || rowDate == foundRowDate_) {
        info.Found = true;
        return;
    }
    // The other cells of a row whose file is missing need not look again.
    if (row == missingRow_) return;
    int daysBack = 0;
    TDateTime date = rowDate;
    info.Found = LoadRatesOfDay(date, daysBack);
    const std::string rowFile = conv_.RateSources().SelectedRateFileName(rowDate);
    const std::string warning = FormatMessageText(conv_.Host(), msg::OnDemandDayFailed, ExtractFileName(rowFile));
    const auto notFound = [&] {
        return Format(" (not found) %s -> Current values from: %s", std::string(LineBreak) + cell.log.substr(0, 5),
                      conv_.Currencies().RateFileName);
    };
    if (!info.Found) {
        conv_.AddWarning(warning, date);
        if (dateCell) cell.log += notFound();
        missingRow_ = row;
        return;
    }
    if (dateCell) cell.log += " / File to load: " + rowFile;
    if (daysBack > 0) {
        conv_.AddWarning(warning, rowDate);
        if (dateCell) cell.log += notFound();
    }
    conv_.SetFromCurrency(conv_.SourceCode());
    conv_.SetToCurrency(conv_.TargetCode());
    table_.LastRowDate = date;
    foundRowDate_ = rowDate;
}

// Loads the day rate file of the date. Before any day of this conversion was loaded, the
// 30 days before it are tried too, newest first; date then ends at the day tried last.
bool TConversionRun::LoadRatesOfDay(TDateTime& date, int& daysBack) {
    ++ratesLoaded_;
    if (table_.LastRowDate >= 0) return conv_.LoadRateFileForDate(date);
    for (daysBack = 0; daysBack <= SearchBackDays; ++daysBack)
        if (conv_.LoadRateFileForDate(date - daysBack)) {
            date -= daysBack;
            return true;
        }
    date -= daysBack;
    return false;
}

// A cross table converts from the column's currency into the row's.
void TConversionRun::SetCrossPair(int col, int row) {
    const TCurrencyChangeList& list = conv_.Currencies();
    const std::size_t columns = static_cast<std::size_t>(std::max(1, table_.ColumnCount));
    int source = -1;
    int target = -1;
    const bool usable = col < table_.ColumnHeaders.Count() && row < table_.RowHeaders.Count() &&
                        list.Find(table_.ColumnHeaders[col], source) && list.Find(table_.RowHeaders[row], target) &&
                        table_.Cells[static_cast<std::size_t>(col)].Value >= 0 &&
                        table_.Cells[static_cast<std::size_t>(row) * columns].Value >= 0 &&
                        list.ItemRate(source) > 0 && list.ItemRate(target) > 0;
    if (!usable) {
        table_.HeaderCurrency.assign(1, InvalidHeader);
        return;
    }
    const std::string& from = table_.ColumnHeaders[col];
    const std::string& to = table_.RowHeaders[row];
    if (conv_.SourceCode() != from || conv_.SourceIndex() != source) conv_.SetFromCurrency(from);
    if (conv_.TargetCode() != to || conv_.TargetIndex() != target) conv_.SetToCurrency(to);
}

// The header row's or the first column's currency becomes the source (ATC-In) or the
// target (ATC-Out).
void TConversionRun::SetHeaderPair(int k, int col, int row, CellWork& cell) {
    const std::size_t columns = static_cast<std::size_t>(std::max(1, table_.ColumnCount));
    std::string code;
    int position = -1;
    if ((table_.Flags & tfColumnCurrencies) != 0) {
        if (row < table_.RowHeaders.Count()) {
            code = table_.RowHeaders[row];
            position = table_.Cells[static_cast<std::size_t>(row) * columns].Value;
        }
    } else if ((table_.Flags & tfHeaderCurrencies) != 0) {
        if (col < table_.ColumnHeaders.Count()) {
            code = table_.ColumnHeaders[col];
            position = table_.Cells[static_cast<std::size_t>(col)].Value;
        }
    }
    const TCurrencyChangeList& list = conv_.Currencies();
    int found = 0;
    if (code.empty() || !list.Find(code, found) || position < 0 || list.ItemRate(position) <= 0) {
        table_.HeaderCurrency.assign(1, InvalidHeader);
        return;
    }
    const bool currencyCell = table_.Cells[static_cast<std::size_t>(k)].Class == ccCurrency;
    if (table_.AtcMode == atcIn) {
        if (conv_.SourceCode() != code) conv_.SetFromCurrency(code);
        if (currencyCell) cell.log += Format("is %s Currency", "incoming");
    } else if (table_.AtcMode == atcOut) {
        if (conv_.TargetCode() != code) conv_.SetToCurrency(code);
        if (currencyCell) cell.log += Format("is %s Currency", "outgoing");
    }
    table_.HeaderCurrency = std::move(code);
}

void TConversionRun::SetSelectedPair() {
    if (conv_.SourceCode() != keptSource_) conv_.SetFromCurrency(keptSource_);
    if (conv_.TargetCode() != keptTarget_) conv_.SetToCurrency(keptTarget_);
}

// ---- output text ----

// One side of the output: the number in the user's locale with its label.
std::string TConversionRun::SideText(int labelStyle, bool source, double value) const {
    const int index = source ? conv_.SourceIndex() : conv_.TargetIndex();
    const TCurrencyRec* rec = index < NoCurrency ? conv_.Currencies().GetCurrency(index) : nullptr;
    const int currencyDecimals = source ? conv_.SourceDecimals() : conv_.TargetDecimals();
    const int decimals = std::trunc(value) == value ? 0 : currencyDecimals;
    std::string number = Format(AmountSpec, decimals, value);
    switch (labelStyle) {
        case 0: return rec != nullptr ? number + " " + rec->DisplayCode : number + " ";
        case 1: return rec != nullptr ? number + " " + rec->Name : number + " ";
        case 2: {
            const std::string& pattern = source ? conv_.SourcePattern() : conv_.TargetPattern();
            const std::size_t at = pattern.find(AmountSpec);
            if (at == std::string::npos) return number;
            return pattern.substr(0, at) + number + pattern.substr(at + AmountSpec.size());
        }
        default: return number + " ";
    }
}

std::string TConversionRun::FormatCellResult(const OutputChoices& choices, const CellWork& cell) const {
    switch (choices.order) {
        case 0:
            return SideText(choices.labelStyle, true, cell.amount) + choices.left +
                   SideText(choices.labelStyle, false, cell.result) + choices.right;
        case 1:
            return SideText(choices.labelStyle, false, cell.result) + choices.left +
                   SideText(choices.labelStyle, true, cell.amount) + choices.right;
        default: return SideText(choices.labelStyle, false, cell.result);
    }
}

TConversionRun::PairRateTexts& TConversionRun::RateTexts() {
    constexpr std::size_t KeptPairs = 64;
    if (rateTextsLoaded_ != ratesLoaded_ || rateTexts_.size() >= KeptPairs) {
        rateTexts_.clear();
        rateTextsLoaded_ = ratesLoaded_;
    }
    const int source = conv_.SourceIndex();
    const int target = conv_.TargetIndex();
    for (PairRateTexts& t : rateTexts_)
        if (t.source == source && t.target == target && t.sourceCode == conv_.SourceCode() &&
            t.targetCode == conv_.TargetCode())
            return t;
    const int base = conv_.Currencies().BaseIndex;
    PairRateTexts& t = rateTexts_.emplace_back();
    t.source = source;
    t.target = target;
    t.sourceCode = conv_.SourceCode();
    t.targetCode = conv_.TargetCode();
    t.ratios = WithoutNoInverse(RatioText("incoming", t.sourceCode, conv_.GetRate(source, base)) + " * " +
                                RatioText("outgoing", t.targetCode, conv_.GetRate(base, target)));
    t.pairRate = TCurrencyConverter::FormatAmount(conv_.GetRate(source, target), 4, "");
    return t;
}

// The rates of the pair against the base currency and of the pair itself, the amounts
// and the output, as the cell's detail-log line goes on:
// " = (%s) => %s %s = %s %s. RESULT => "%s"" after the ratios. Most runs' logs are never
// read: the line is made from the numbers only when it is.
void TConversionRun::AddRateLogLine(CellWork& cell) {
    PairRateTexts& t = RateTexts();
    if (t.logPair < 0 || t.logGeneration != conv_.LogPairsGeneration()) {
        t.logPair = conv_.AddLogPair(t.ratios, t.pairRate, t.sourceCode, t.targetCode);
        t.logGeneration = conv_.LogPairsGeneration();
    }
    conv_.AddRateLogLine(WithoutNoInverse(std::move(cell.log)), t.logPair, cell.amount, cell.result, cell.output);
}

// ---- result lines ----

// True when every result line would be the output memo's line of the same number: each
// row holds one cell, and no line has blanks at its ends or is empty before the last.
bool TConversionRun::ResultLinesAreOutputMemo() const {
    const TStringList& memo = host_.MEOUT();
    const int count = memo.Count();
    if (count != conv_.OutputLineCount()) return false;
    if (table_.Cells.empty()) return true;
    if (static_cast<std::size_t>(count) > table_.Cells.size()) return false;
    for (int k = 0; k < count; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        if (k > 0 && table_.Cells[i].Row == table_.Cells[i - 1].Row) return false;
        const std::string& line = memo[k];
        if (line.empty() ? k + 1 < count : IsBlankOrControl(line.front()) || IsBlankOrControl(line.back()))
            return false;
    }
    return true;
}

void TConversionRun::WriteOutputTable() {
    TStringList& result = host_.ResultLines();
    table_.RowCells.Clear();
    result.Clear();
    if (!table_.AsTable && ResultLinesAreOutputMemo()) {
        // A plain column: the result lines share the memo's lines instead of copying them.
        if (!table_.Cells.empty()) table_.ColumnWidths.assign(static_cast<std::size_t>(std::max(1, table_.ColumnCount)) + 1, 0);
        result.Assign(host_.MEOUT());
        return;
    }
    if (table_.Cells.empty()) {
        conv_.ForEachOutputLine([&](std::string_view line) { result.Add(std::string(line)); });
        return;
    }
    const int columns = std::max(1, table_.ColumnCount);
    result.SetCapacity(static_cast<int>(table_.Cells.size()) / columns + 1);
    table_.ColumnWidths.assign(static_cast<std::size_t>(columns) + 1, 0);
    std::uint16_t current = table_.Cells[0].Row;
    std::string row;  // the row's cells joined by TAB as they come
    bool rowStarted = false;
    int k = 0;
    conv_.ForEachOutputLine([&](std::string_view text) {
        const std::size_t i = static_cast<std::size_t>(k);
        const std::uint16_t rowNumber = i < table_.Cells.size() ? table_.Cells[i].Row : current;
        if (rowNumber != current) {
            std::string line = Trim(row);
            result.Add(line.empty() ? emptyCell_ : std::move(line));
            row.clear();
            rowStarted = false;
            current = rowNumber;
        }
        if (rowStarted) row += '\t';
        row.append(text);
        rowStarted = true;
        if (table_.AsTable && i < table_.Cells.size()) {
            const int width = host_.CalcHintWidth(std::string(text), BalloonMaxWidth) + 2;
            table_.Cells[i].Width = Clamp16(width);
            std::int32_t& widest = table_.ColumnWidths[static_cast<std::size_t>(k % columns)];
            widest = std::max(widest, width);
        }
        ++k;
    });
    result.Add(Trim(row));
}

}  // namespace vemra
