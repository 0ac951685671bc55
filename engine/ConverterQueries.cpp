// The converter's favourites, the currency search in cell text, the warnings, the date
// separators of the fixed records and the queries on the table state.
#include <algorithm>

#include "CurrencyConverter.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "rtl/Format.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

// The symbol a favourite is recognised by; an unknown currency gets none, which never matches.
std::string FavoriteSymbol(const TCurrencyChangeList& list, int position) {
    const TCurrencyRec* rec = list.GetCurrency(position);
    return rec != nullptr ? UpperCase(rec->Symbol) : std::string();
}

bool ReadsAsNumber(std::string_view text) {
    double value = 0;
    return TryStrToFloat(text, value, StampFormat);
}

// Deletes the first occurrence of what (searched in upper) from text.
bool CutFirst(std::string& text, const std::string& upper, const std::string& what) {
    if (what.empty()) return false;
    const std::size_t at = upper.find(what);
    if (at == std::string::npos) return false;
    text.erase(at, what.size());
    return true;
}

}  // namespace

// ---- favourites ----

void TCurrencyConverter::SetFavorites(std::string_view commaText) {
    favorites_.SetCommaText(commaText);
    // Rebuilt whatever the lists hold, so the symbols always stand beside their favourites.
    favoriteSymbols_.Clear();
    for (int i = 0; i < favorites_.Count(); ++i) {
        const int position = currencies_.IndexOfCode(favorites_[i]);
        favorites_.SetObject(i, IntToObject(position));
        favoriteSymbols_.AddObject(FavoriteSymbol(currencies_, position), IntToObject(position));
    }
}

void TCurrencyConverter::AddFavorite(const std::string& code) {
    if (favorites_.IndexOf(code) >= 0) return;
    const int position = currencies_.IndexOfCode(code);
    favorites_.AddObject(code, IntToObject(position));
    favoriteSymbols_.AddObject(FavoriteSymbol(currencies_, position), IntToObject(position));
}

void TCurrencyConverter::RemoveFavorite(const std::string& code) {
    const int i = favorites_.IndexOf(code);
    if (i < 0) return;
    favorites_.Delete(i);
    favoriteSymbols_.Delete(i);
}

// ---- currencies in cell text ----

bool TCurrencyConverter::ExtractFavoriteSymbol(std::string& text, const std::string& upper, int& position) const {
    for (int i = 0; i < favoriteSymbols_.Count(); ++i) {
        if (CutFirst(text, upper, favoriteSymbols_[i])) {
            position = ObjectToInt(favoriteSymbols_.Objects(i));
            return true;
        }
    }
    return false;
}

void TCurrencyConverter::BeginCellSearch() {
    codeIndex_ = DisplayCodeIndex();
    for (int i = 0; i < currencies_.Count(); ++i) {
        const std::string& code = currencies_.GetCurrency(i)->DisplayCode;
        if (code.empty()) continue;         // an empty code is found nowhere
        codeIndex_.first.emplace(code, i);  // a code listed twice is found at its first place
        if (std::find(codeIndex_.lengths.begin(), codeIndex_.lengths.end(), code.size()) == codeIndex_.lengths.end())
            codeIndex_.lengths.push_back(code.size());
    }
    std::sort(codeIndex_.lengths.begin(), codeIndex_.lengths.end());
    codeIndex_.listCount = currencies_.Count();
}

void TCurrencyConverter::EndCellSearch() { codeIndex_ = DisplayCodeIndex(); }

// The currency the list search would take: of all the codes found anywhere in upper, the one
// listed first.
bool TCurrencyConverter::FindIndexedDisplayCode(const std::string& upper, int& position) const {
    int best = -1;
    const std::string_view text(upper);
    for (std::size_t at = 0; at < text.size() && best != 0; ++at) {
        for (const std::size_t length : codeIndex_.lengths) {
            if (at + length > text.size()) break;
            const auto found = codeIndex_.first.find(text.substr(at, length));
            if (found != codeIndex_.first.end() && (best < 0 || found->second < best)) best = found->second;
        }
    }
    position = best;
    return best >= 0;
}

bool TCurrencyConverter::ExtractDisplayCode(std::string& text, const std::string& upper, int& position) const {
    if (codeIndex_.listCount >= 0 && codeIndex_.listCount == currencies_.Count()) {
        int found = -1;
        if (!FindIndexedDisplayCode(upper, found)) return false;
        const std::string& code = currencies_.GetCurrency(found)->DisplayCode;
        CutFirst(text, upper, code);
        position = found;
        return true;
    }
    for (int i = 0; i < currencies_.Count(); ++i) {
        if (CutFirst(text, upper, currencies_.GetCurrency(i)->DisplayCode)) {
            position = i;
            return true;
        }
    }
    return false;
}

void TCurrencyConverter::ExtractCurrencyFromText(std::string& text) {
    if (ReadsAsNumber(text)) return;
    const std::string upper = UpperCase(text);
    const std::string original = text;
    int position = -1;
    const bool taken = ExtractFavoriteSymbol(text, upper, position) || ExtractDisplayCode(text, upper, position);
    const TCurrencyRec* rec = taken ? currencies_.GetCurrency(position) : nullptr;
    if (rec == nullptr || !ReadsAsNumber(text)) {
        text = original;
        return;
    }
    if (!Table.PairChanged && rec->Code != sourceCode_) Table.PairChanged = true;
    const std::string code = rec->Code;
    if (IsPlainText() || Table.AtcMode == atcIn)
        SetFromCurrency(code);
    else if (Table.AtcMode == atcOut)
        SetToCurrency(code);
    text = Trim(text);
}

// ---- warnings ----

void TCurrencyConverter::AddWarning(const std::string& text, double key) {
    if (key == -1) {
        warnings_.AddObject(text, IntToObject(-1));
        return;
    }
    const int row = static_cast<int>(key);
    if (warnings_.IndexOfObject(IntToObject(row)) >= 0) return;
    warnings_.AddObject(text, IntToObject(row));
}

std::string TCurrencyConverter::WarningCountText() const {
    return FormatMessageText(*host_, msg::WarningCount, warnings_.Count());
}

// ---- date separators ----

void TCurrencyConverter::SetDateSeparator(TFormatSettings& record, char separator) {
    std::replace(record.ShortDateFormat.begin(), record.ShortDateFormat.end(), record.DateSeparator, separator);
    record.DateSeparator = separator;
}

void TCurrencyConverter::SetDateSeparators(char separator) {
    SetDateSeparator(MdyFormat, separator);
    SetDateSeparator(DmyFormat, separator);
    SetDateSeparator(YmdFormat, separator);
}

// ---- table state ----

void TCurrencyConverter::ResetConverter() {
    Table.Flags = 0;
    Table.AtcMode = atcNone;
    Table.OneColumn = false;
    Table.ProviderCode.clear();
    Table.LeadingBlankLines.clear();
    Table.LineEndPadding.clear();
    Table.Cells.clear();
    Table.DateInfo.clear();
    Table.ColumnWidths.clear();
    warnings_.Clear();
    ClearOutputLines();
    Table.ColumnHeaders.Clear();
    Table.RowHeaders.Clear();
}

bool TCurrencyConverter::IsCrossTable() const {
    return (Table.Flags & tfHeaderCurrencies) != 0 && (Table.Flags & tfColumnCurrencies) != 0;
}

bool TCurrencyConverter::HasDateColumn() const { return (Table.Flags & tfDateColumn) != 0; }

bool TCurrencyConverter::IsPlainText() const { return Table.Flags == 0; }

bool TCurrencyConverter::HasColumnRates() const {
    return (Table.Flags & (tfDateColumn | tfHeaderCurrencies)) != 0;
}

std::string TCurrencyConverter::ConversionModeName() const {
    if (IsCrossTable()) return "CrossTab";
    switch (Table.AtcMode) {
        case atcIn: return "ATC-In";
        case atcOut: return "ATC-Out";
        default: return {};
    }
}

int TCurrencyConverter::MaxIndex(std::span<const int> values) {
    if (values.size() < 2) return 0;
    return static_cast<int>(std::max_element(values.begin(), values.end()) - values.begin());
}

int TCurrencyConverter::ArrayElement(std::span<const int> values, int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= values.size()) return 0;
    return values[static_cast<std::size_t>(position)];
}

// ---- output lines ----

TStringList& TCurrencyConverter::OutputLines() {
    if (!packedOutput_.Empty()) packedOutput_.MoveTo(outputLines_);
    return outputLines_;
}

void TCurrencyConverter::ClearOutputLines() {
    outputLines_.Clear();
    packedOutput_.Clear();
}

void TCurrencyConverter::SetOutputLines(const TStringList& lines) {
    packedOutput_.Clear();
    outputLines_.Assign(lines);
}

void TCurrencyConverter::ForEachOutputLine(const std::function<void(std::string_view)>& f) const {
    for (const TStringList::Item& item : outputLines_.Items()) f(item.str);
    packedOutput_.ForEach(f);
}

}  // namespace vemra
