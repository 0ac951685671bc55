#pragma once
// The state a conversion run keeps on the converter between runs: the cells of the input,
// what the table recognition found, and the choices the run started with.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/FormatSettings.h"
#include "rtl/StringList.h"

namespace vemra {

enum CellClass : std::uint8_t {
    ccText = 0,
    ccNumericInt = 1,        // decimal comma
    ccNumericEnUs = 2,       // decimal point
    ccNumericAmbiguous = 3,
    ccDate = 4,
    ccCurrency = 5,
    ccPlugin = 6,
};

// One per cell of a run, a million in a long column: packed, it takes 9 bytes instead of 12.
struct __attribute__((packed)) CellInfo {
    std::uint8_t Class = ccText;
    std::int32_t Value = 0;   // currency position or day number
    std::uint16_t Width = 0;  // output width in pixels + 2
    std::uint16_t Row = 0;
};
static_assert(sizeof(CellInfo) == 9);

struct DateRowInfo {
    std::uint8_t Dashes = 0;
    std::uint8_t Slashes = 0;
    std::uint8_t Points = 0;
    bool Dmy = false;
    bool Mdy = false;
    bool Ymd = false;
    bool Found = false;  // a day rate file was found for the row's date
};

// TableFlags bits.
enum TableFlag : std::uint8_t {
    tfProviderCell = 1,     // the first cell names a rate source
    tfDateColumn = 2,       // the first column holds dates
    tfHeaderCurrencies = 4, // the header row holds currency codes
    tfColumnCurrencies = 8, // the first column holds currency codes
};

// ATC modes.
enum AtcMode : std::uint8_t { atcNone = 0, atcIn = 1, atcOut = 2 };

struct TConverterTable {
    bool AsTable = false;
    std::uint8_t Flags = 0;
    bool PairChanged = false;
    bool OneColumn = false;
    std::uint8_t AtcMode = atcNone;
    std::int32_t ColumnCount = 0;
    std::int32_t RowCount = 0;
    std::vector<CellInfo> Cells;
    TStringList RowCells;       // work list of the row being split or written
    TStringList ColumnHeaders;
    TStringList RowHeaders;
    std::vector<DateRowInfo> DateInfo;
    std::vector<std::int32_t> ColumnWidths;
    std::string LeadingBlankLines;
    std::string LineEndPadding;
    std::string RateFileName;
    std::string SavedSourceCode;
    std::string SavedTargetCode;
    std::string DefaultSourceCode;
    std::string DefaultTargetCode;
    std::int32_t RateSourceIndex = 0;
    std::int32_t OutputOrder = 0;
    std::int32_t LabelStyle = 0;
    std::uint8_t DateOrder = 0;
    char DateSeparator = '\0';
    TFormatSettings* DateFormat = nullptr;  // one of the fixed date records, or none
    bool DecimalPoint = false;
    std::string ProviderCode;
    std::string ShownProviderCode;
    std::int32_t ProviderIndex = 0;
    bool FirstCellUnexplained = false;
    std::string HeaderCurrency;
    double LastRowDate = 0;
    std::vector<std::uint8_t> BaseClasses;  // the classes recognition gave the cells; every conversion starts from them
    std::string RunStartRateFile;            // the day rate file the run's conversion began with
    std::int32_t HistoryFilesLoaded = 0;
};

}  // namespace vemra
