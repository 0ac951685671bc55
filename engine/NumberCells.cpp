// Classifies every cell by the separators of its number text and decides once per run how
// an ambiguous number is read.
#include "NumberCells.h"

#include <algorithm>

#include "ConversionRun.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"

namespace vemra {

namespace {

constexpr int ChoiceAutomatic = 0;
constexpr int ChoiceLocale = 1;
constexpr int ChoiceComma = 2;
constexpr int ChoicePoint = 3;

std::uint8_t ClassifyAutomatic(std::string_view text) {
    std::size_t points = 0;
    std::size_t commas = 0;
    std::size_t lastPoint = 0;  // 1-based, 0 = none
    std::size_t lastComma = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.') {
            ++points;
            lastPoint = i + 1;
        } else if (text[i] == ',') {
            ++commas;
            lastComma = i + 1;
        }
    }
    const std::size_t n = text.size();
    if (points == 0 || commas == 0) {
        if (commas > 0) return n - lastComma == 3 ? ccNumericAmbiguous : ccNumericInt;
        if (points > 0) return n - lastPoint == 3 ? ccNumericAmbiguous : ccNumericEnUs;
        int value = 0;
        return TryStrToInt(text, value) ? ccNumericAmbiguous : ccText;
    }
    if (commas > points) return ccNumericEnUs;
    return lastPoint > lastComma ? ccNumericEnUs : ccNumericInt;
}

std::string WithoutChar(std::string_view text, char c) {
    std::string out;
    out.reserve(text.size());
    for (const char x : text)
        if (x != c) out += x;
    return out;
}

}  // namespace

std::uint8_t ClassifyDecimalSeparator(std::string_view text, int choice, char localeDecimal) {
    switch (choice) {
        case ChoiceAutomatic: return ClassifyAutomatic(text);
        case ChoiceLocale: return localeDecimal == '.' ? ccNumericEnUs : ccNumericInt;
        case ChoiceComma: return ccNumericInt;
        case ChoicePoint: return ccNumericEnUs;
        default: return ClassifyAutomatic(text);
    }
}

std::string NormalizeNumberText(std::string_view text, std::uint8_t cellClass, bool decimalPoint) {
    if (cellClass == ccNumericEnUs || (cellClass == ccNumericAmbiguous && decimalPoint)) {
        std::string out;
        out.reserve(text.size());
        for (const char c : text) {
            if (c == ',') continue;
            out += c == '.' ? ',' : c;
        }
        return out;
    }
    return WithoutChar(text, '.');
}

void TConversionRun::ClassifyNumberCell(int i, int choice, int (&counts)[4]) {
    const std::string text = Trim(host_.MEINN()[i]);
    CellInfo& cell = table_.Cells[static_cast<std::size_t>(i)];
    if (text.empty() || text == emptyCell_)
        cell.Class = ccText;
    else if (cell.Class != ccDate && cell.Class != ccCurrency && cell.Class != ccPlugin)
        cell.Class = ClassifyDecimalSeparator(text, choice, FormatSettings.DecimalSeparator);
    if (cell.Class >= ccNumericInt && cell.Class <= ccNumericAmbiguous) ++counts[cell.Class];
}

void TConversionRun::DecideDecimalSeparator() {
    int counts[4] = {0, 0, 0, 0};
    const int choice = host_.cbDesambiIndex();
    const int lines = std::min(host_.MEINN().Count(), static_cast<int>(table_.Cells.size()));
    for (int i = 0; i < lines; ++i) ClassifyNumberCell(i, choice, counts);
    switch (choice) {
        case ChoiceLocale: table_.DecimalPoint = FormatSettings.DecimalSeparator == '.'; break;
        case ChoiceComma: table_.DecimalPoint = false; break;
        case ChoicePoint: table_.DecimalPoint = true; break;
        default:
            if (counts[ccNumericAmbiguous] > 0 || (counts[ccNumericInt] > 0 && counts[ccNumericEnUs] > 0))
                table_.DecimalPoint = counts[ccNumericEnUs] > counts[ccNumericInt];
            else
                table_.DecimalPoint = counts[ccNumericEnUs] > 0;
            break;
    }
    // The classes every later conversion of these cells starts from.
    table_.BaseClasses.resize(table_.Cells.size());
    for (std::size_t i = 0; i < table_.Cells.size(); ++i) table_.BaseClasses[i] = table_.Cells[i].Class;
    LogInputTable();
}

}  // namespace vemra
