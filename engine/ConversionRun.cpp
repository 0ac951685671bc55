// The conversion run as a whole: the split of the input into cells, the check of the
// first cell for a rate source, and the dump of the input into the detail log.
#include "ConversionRun.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "DetailLog.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vemra {

namespace {

constexpr std::int64_t SplitProgressDelayMs = 500;

std::int64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IsBlank(std::string_view line) { return std::all_of(line.begin(), line.end(), IsBlankOrControl); }

// Length of the run of characters up to blank at the end of the line.
std::size_t TrailingBlanks(std::string_view line) {
    std::size_t n = 0;
    while (n < line.size() && IsBlankOrControl(line[line.size() - 1 - n])) ++n;
    return n;
}

bool HasWarning(const TStringList& warnings, const std::string& text) {
    for (const TStringList::Item& item : warnings.Items())
        if (item.str == text && ObjectToInt(item.obj) == -1) return true;
    return false;
}

}  // namespace

std::string_view CellClassName(std::uint8_t cellClass) {
    switch (cellClass) {
        case ccText: return "Text";
        case ccNumericInt: return "Numeric (int)";
        case ccNumericEnUs: return "Numeric (en/us)";
        case ccNumericAmbiguous: return "Numeric (ambigous)";
        case ccDate: return "Date";
        case ccCurrency: return "Currency";
        case ccPlugin: return "Plugin";
        default: return {};
    }
}

std::string CellNumberText(int position) {
    std::string text = std::to_string(position);
    if (position >= 0 && text.size() < 4) text.insert(0, 4 - text.size(), '0');
    return text;
}

TConversionRun::TConversionRun(TCurrencyConverter& converter, IPipelineHost& host)
    : TickCount(SteadyMilliseconds), conv_(converter), host_(host), table_(converter.Table) {}

// Every entry point reads it anew: the language may have changed since the last run.
void TConversionRun::ReadEmptyCellText() { emptyCell_ = UpperCase(conv_.Host().GetMessageText(msg::EmptyCell)); }

void TConversionRun::DoConvert(bool asTable) {
    ReadEmptyCellText();
    table_.RateFileName = conv_.RateSources().LastRateFile();
    table_.RateSourceIndex = host_.PluginSelectedIndex();
    table_.SavedSourceCode = conv_.SourceCode();
    table_.SavedTargetCode = conv_.TargetCode();
    table_.OutputOrder = host_.RGFormatIndex();
    table_.LabelStyle = host_.cbFormatIndex();
    table_.DateOrder = 0;
    table_.DateSeparator = '#';
    table_.AsTable = asTable;
    SingleRateDay = true;
    DetailLogCommand(conv_, "/O");
    SplitInputTable();
    TStringList& input = host_.MEINN();
    if (asTable) {
        RecognizeTable();
        ApplyTableHeaders();
    } else {
        host_.MeClip().Assign(input);
        table_.RowCount = input.Count();
        table_.ColumnCount = 1;
    }
    // The rates a fresh conversion starts from; converting again starts from them too.
    table_.RunStartRateFile = conv_.Currencies().RateFileName;
    if (input.Count() >= 1 && host_.OutputMemoReady()) {
        DecideDecimalSeparator();
        ConvertCells();
    } else {
        CellCount = 0;
    }
}

// ---- split ----

void TConversionRun::SplitInputTable() {
    conv_.ResetConverter();
    table_.ColumnCount = 0;
    table_.RowCount = 0;
    table_.RowCells.Clear();
    table_.BaseClasses.clear();
    TStringList& input = host_.MEINN();
    if (!table_.AsTable) {
        table_.Cells.assign(static_cast<std::size_t>(input.Count()), CellInfo());
        for (std::size_t i = 0; i < table_.Cells.size(); ++i) table_.Cells[i].Row = static_cast<std::uint16_t>(i);
        return;
    }
    splitStart_ = TickCount();
    input.Clear();
    CutLeadingBlankLines();
    CutLineEnds();
    SplitRows();
}

void TConversionRun::CutLeadingBlankLines() {
    TStringList& clip = host_.MeClip();
    int blank = 0;
    while (blank < clip.Count() && IsBlank(clip[blank])) {
        if (blank > 0) table_.LeadingBlankLines += LineBreak;
        table_.LeadingBlankLines += clip[blank];
        ++blank;
    }
    if (blank == 0) return;
    // One rebuild instead of deleting the first line again and again.
    TStringList rest;
    for (int i = blank; i < clip.Count(); ++i) rest.AddObject(clip[i], clip.Objects(i));
    clip = std::move(rest);
}

void TConversionRun::CutLineEnds() {
    TStringList& clip = host_.MeClip();
    const int count = clip.Count();
    const std::string format = conv_.Host().GetMessageText(msg::SplitProgress);
    for (int i = 0; i < count; ++i) {
        if (host_.CalcProgressOpen())
            host_.SetProgress(i);
        else
            ShowSplitProgress(format, i, count);
        const std::string& line = clip[i];
        const std::size_t cut = TrailingBlanks(line);
        if (cut == 0 && table_.LineEndPadding.empty()) continue;
        if (cut != table_.LineEndPadding.size()) table_.LineEndPadding = line.substr(line.size() - cut);
        if (cut > 0) clip.SetString(i, line.substr(0, line.size() - cut));
    }
}

void TConversionRun::SplitRows() {
    TStringList& clip = host_.MeClip();
    TStringList& input = host_.MEINN();
    TStringList& rowCells = table_.RowCells;
    std::size_t cells = 0;  // counted first: the cell array and the input grow once
    for (const TStringList::Item& line : clip.Items())
        cells += 1 + static_cast<std::size_t>(std::count(line.str.begin(), line.str.end(), '\t'));
    table_.Cells.reserve(cells);
    input.SetCapacity(static_cast<int>(std::min<std::size_t>(cells, INT_MAX)));
    for (int r = 0; r < clip.Count(); ++r) {
        rowCells.Clear();
        std::string_view rest = clip[r];
        for (;;) {
            const std::size_t tab = rest.find('\t');
            if (tab == std::string_view::npos) {
                rowCells.Add(rest.empty() ? emptyCell_ : std::string(rest));
                break;
            }
            const std::string_view cell = rest.substr(0, tab);
            rowCells.Add(IsBlank(cell) ? emptyCell_ : std::string(cell));
            rest.remove_prefix(tab + 1);
        }
        CellInfo info;
        info.Row = static_cast<std::uint16_t>(r + 1);
        for (const TStringList::Item& item : rowCells.Items()) {
            table_.Cells.push_back(info);
            input.Add(item.str);
        }
    }
}

void TConversionRun::ShowSplitProgress(const std::string& format, int position, int count) {
    const std::int64_t tick = TickCount();
    if (host_.CalcProgressOpen() || tick - splitStart_ <= SplitProgressDelayMs) return;
    host_.ShowCalcProgress(conv_.Host().GetMessageText(msg::ProgressText));
    host_.SetCalcProgressRange(format, count);
    host_.SetProgress(position);
    host_.RevealCalcProgress();
}

// ---- the first cell ----

void TConversionRun::CheckProviderCell(bool warn) {
    ReadEmptyCellText();
    const TStringList& input = host_.MEINN();
    const std::string code = input.Empty() ? std::string() : UpperCase(Trim(input[0]));
    const int source = code.empty() ? -1 : host_.IndexOfPlugin(code);
    if (source >= 0) {
        table_.Flags |= tfProviderCell;
        table_.FirstCellUnexplained = false;
        table_.ShownProviderCode = table_.ProviderCode;
        table_.ProviderIndex = source;
        table_.ProviderCode = code;
        return;
    }
    table_.FirstCellUnexplained = !code.empty() && code != emptyCell_ && table_.Flags != 0 && FirstCellUnexplained();
    if (table_.FirstCellUnexplained && warn && code.size() == 3) {
        // Converting the same table again must not repeat the warning.
        const std::string text = FormatMessageText(conv_.Host(), msg::WarnProviderCode, code);
        if (!HasWarning(conv_.Warnings(), text)) conv_.AddWarning(text, -1);
    }
    table_.ProviderIndex = host_.PluginSelectedIndex();
    table_.ProviderCode = conv_.RateSources().SelectedCode();
    table_.ShownProviderCode = table_.ProviderCode;
}

// True when the table's first column or header row gives the first cell no meaning.
bool TConversionRun::FirstCellUnexplained() const {
    const TStringList* headers = nullptr;
    bool wantDate = false;
    if ((table_.Flags & tfDateColumn) != 0) {
        headers = &table_.RowHeaders;
        wantDate = true;
    } else if ((table_.Flags & tfHeaderCurrencies) != 0) {
        headers = &table_.RowHeaders;
    } else if ((table_.Flags & tfColumnCurrencies) != 0) {
        headers = &table_.ColumnHeaders;
    } else {
        return false;
    }
    if (headers->Empty()) return true;
    const int k = ObjectToInt(headers->Objects(0));
    if (k < 0 || static_cast<std::size_t>(k) >= table_.Cells.size()) return true;
    const CellInfo& cell = table_.Cells[static_cast<std::size_t>(k)];
    if (wantDate) return !(cell.Class == ccDate && cell.Value > 0);
    return !(cell.Class == ccCurrency && cell.Value >= 0);
}

// ---- detail log ----

void TConversionRun::LogInputTable() {
    conv_.AddLogLine("* String to convert:");
    DetailLogCommand(conv_, "**");
    conv_.AddLogLine(host_.MeClip().Text());
    DetailLogCommand(conv_, "**");
    conv_.AddLogLine("* Converter array:");
    DetailLogCommand(conv_, "**");
    const TStringList& input = host_.MEINN();
    const std::size_t count = std::min(table_.Cells.size(), static_cast<std::size_t>(input.Count()));
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view name = CellClassName(table_.Cells[i].Class);
        if (name.empty()) continue;
        // "%.*d : "%s" as %s", appended piece by piece: this runs once per cell.
        const std::string& text = input[static_cast<int>(i)];
        std::string line = CellNumberText(static_cast<int>(i));
        line.reserve(line.size() + text.size() + name.size() + 10);
        line.append(" : \"").append(text).append("\" as ").append(name);
        conv_.AddLogLine(line);
    }
}

}  // namespace vemra
