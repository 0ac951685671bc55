#pragma once
// TCurrencyConverter: the currencies and their view, the current pair of source and target
// currency with the path an amount takes between them, the per-side output data, the
// favourites and warnings, and the table state of the last conversion run.
//
// Where the parts live: the pair, the arithmetic and the amount texts in
// CurrencyConverter.cpp; favourites, currencies in cell text, warnings and the table
// queries and the output lines in ConverterQueries.cpp; the detail-log body in DetailLog.cpp.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "CurrencyList.h"
#include "EngineHost.h"
#include "PackedLines.h"
#include "TableState.h"
#include "rtl/FormatSettings.h"
#include "rtl/StringList.h"

namespace vemra {

// How an amount travels from the source to the target currency.
enum TRatePathKind : std::uint8_t {
    rpNone = 0,          // an index is none: 0
    rpSame = 1,          // a
    rpSourceTied = 2,    // the source is tied to the target: a / source factor
    rpTargetTied = 3,    // the target is tied to the source: a * target factor
    rpSameRef = 4,       // both tied to one reference: a / source factor * target factor
    rpSourceRef = 5,     // a / source factor * target rate
    rpTargetRef = 6,     // a / source rate * target factor
    rpToBase = 7,        // a / source rate
    rpFromBase = 8,      // a * target rate
    rpCross = 9,         // a / source rate * target rate
};

// Rate-age indicator colours (blue-green-red, red in the low byte).
inline constexpr std::uint32_t AgeColorFixed = 0xFF0000;    // blue
inline constexpr std::uint32_t AgeColorCurrent = 0x008000;  // green
inline constexpr std::uint32_t AgeColorOld = 0x0080FF;      // orange
inline constexpr std::uint32_t AgeColorUnknown = 0x0000FF;  // red

class TCurrencyConverter {
public:
    TCurrencyConverter();
    virtual ~TCurrencyConverter();
    TCurrencyConverter(const TCurrencyConverter&) = delete;
    TCurrencyConverter& operator=(const TCurrencyConverter&) = delete;

    // The layers above; nullptr restores the silent stand-ins.
    void SetHost(IEngineHost* host);
    void SetRateSources(IRateSourceHost* rateSources);
    IEngineHost& Host() const { return *host_; }
    IRateSourceHost& RateSources() const { return *rateSources_; }

    TCurrencyChangeList& Currencies() { return currencies_; }
    const TCurrencyChangeList& Currencies() const { return currencies_; }
    TCurrencyUserList& UserCurrencies() { return userCurrencies_; }

    // ---- the pair ----
    void SetFromCurrency(const std::string& code);
    void SetToCurrency(const std::string& code);
    void SetFromIndex(int position);
    void SetToIndex(int position);
    void UpdatePair();

    std::uint8_t PathKind() const { return pathKind_; }
    const std::string& SourceCode() const { return sourceCode_; }
    const std::string& TargetCode() const { return targetCode_; }
    int SourceIndex() const { return sourceIndex_; }
    int TargetIndex() const { return targetIndex_; }
    int SourceRefIndex() const { return source_.refIndex; }
    int TargetRefIndex() const { return target_.refIndex; }
    std::uint32_t IndicatorColor() const { return indicatorColor_; }
    int SourcePower() const { return source_.power; }
    int TargetPower() const { return target_.power; }
    int SourceDecimals() const { return source_.decimals; }
    int TargetDecimals() const { return target_.decimals; }
    const std::string& SourcePattern() const { return source_.pattern; }
    const std::string& TargetPattern() const { return target_.pattern; }
    bool SwitchedOn() const { return switchedOn_; }
    void SetSwitchedOn(bool on) { switchedOn_ = on; }

    // ---- arithmetic ----
    std::uint8_t RatePath(int source, int target) const;
    // Converts with the formula of kind (0 = the current path kind), always on the records
    // of the current pair. False, with result 0, on any fault; allocates nothing.
    bool ConvertAmount(double amount, double& result, std::uint8_t kind = 0) const;
    double GetRate(int source, int target) const;  // 1.0 when the conversion fails
    // 0 fixed, 1 current, 2 old, 3 unknown.
    int RateAge(const TCurrencyChangeList& list, int position) const;
    int PairRateAge(int source, int target) const;
    std::uint32_t RateAgeColor(int source, int target) const;
    // The value with as many decimals as its 7-digit general form shows (at most
    // maxDecimals when that is above 0), grouped, in the user's locale; put into format's
    // one "%s" when format is not empty.
    static std::string FormatAmount(double value, int maxDecimals, std::string_view format);
    static std::string FormatAmount(double value, int maxDecimals, std::string_view format,
                                    const TFormatSettings& settings);
    static long double IntPower(long double base, int exponent);
    virtual TCurrencyRec* UserCurrency(int position) const;
    std::string PairLabel() const;
    static int ListItemObject(const TStringList& list, int position);  // 0 when not valid
    // Loads the selected rate source's day rate file of that day, when it exists.
    bool LoadRateFileForDate(TDateTime date);

    // ---- favourites, cell text, warnings (ConverterQueries.cpp) ----
    TStringList& Favorites() { return favorites_; }
    const TStringList& Favorites() const { return favorites_; }
    const TStringList& FavoriteSymbols() const { return favoriteSymbols_; }
    void SetFavorites(std::string_view commaText);
    void AddFavorite(const std::string& code);
    void RemoveFavorite(const std::string& code);
    // Finds a favourite's symbol or a currency's display code in the text; when the rest
    // is a number, makes that currency the source (or the target, by ATC mode) and leaves
    // the number alone in the text.
    void ExtractCurrencyFromText(std::string& text);
    // While a run converts its cells the list of currencies stays as it is: between these
    // two, the display codes in cell text are found through an index of the codes instead
    // of a search for every currency of the list in every cell.
    void BeginCellSearch();
    void EndCellSearch();

    TStringList& Warnings() { return warnings_; }
    // key: a row, a date or 0 merge equal keys; -1 never merges.
    void AddWarning(const std::string& text, double key);
    std::string WarningCountText() const;

    static void SetDateSeparator(TFormatSettings& record, char separator);
    static void SetDateSeparators(char separator);  // the m/d/y, d/m/y and y/m/d records

    // ---- table state (ConverterQueries.cpp) ----
    void ResetConverter();
    bool IsCrossTable() const;
    bool HasDateColumn() const;
    bool IsPlainText() const;
    bool HasColumnRates() const;
    std::string ConversionModeName() const;
    static int MaxIndex(std::span<const int> values);
    static int ArrayElement(std::span<const int> values, int position);  // 0 when not valid

    // The output text of each cell of the last run (ConverterQueries.cpp); lines added by
    // AddOutputLine are unpacked into the list first.
    TStringList& OutputLines();
    void AddOutputLine(std::string_view line) { packedOutput_.Add(line); }
    void ClearOutputLines();
    // The output lines become lines, shared with it until either list changes.
    void SetOutputLines(const TStringList& lines);
    int OutputLineCount() const { return outputLines_.Count() + packedOutput_.Count(); }
    // Every output line in order, unpacking nothing into the list.
    void ForEachOutputLine(const std::function<void(std::string_view)>& f) const;
    TConverterTable Table;

    // ---- detail log (DetailLog.cpp) ----
    TStringList& LogHeader() { return logHeader_; }
    // The body as a list; lines added by AddLogLine are unpacked into it first.
    TStringList& LogBody();
    // Adds a body line that stays packed until the body is read.
    void AddLogLine(std::string_view line) { packedLog_.Add(line); }
    // A converted cell's line, written only when the body is read:
    // head + ratios + " = (" + pair rate + ") => " + amount + " " + source code + " = " +
    // result + " " + target code + ". RESULT => \"" + output + "\"", the amounts as
    // FormatAmount writes them with 3 decimals in the number format the pair was added with.
    void AddRateLogLine(std::string_view head, int pair, double amount, double result, std::string_view output);
    // The pair texts of AddRateLogLine lines; the number stays valid until the body is cleared
    // (LogPairsGeneration changes then).
    int AddLogPair(std::string ratios, std::string pairRate, std::string sourceCode, std::string targetCode);
    std::uint64_t LogPairsGeneration() const { return logPairsGeneration_; }
    void ClearLogBody();
    std::string LogBodyText() const;  // the body's lines, each followed by CR LF
    TStringList& LogReport() { return logReport_; }
    double SelfCheckAmount = 0;

private:
    // What the output needs of one side of the pair.
    struct SideData {
        std::string pattern;
        int refIndex = 0;
        int decimals = 0;
        int power = 0;
    };
    SideData SideOf(int position) const;
    int PositionOf(const std::string& code) const;  // NoCurrency when not listed
    bool ExtractFavoriteSymbol(std::string& text, const std::string& upper, int& position) const;
    bool ExtractDisplayCode(std::string& text, const std::string& upper, int& position) const;

    // The first position of each display code, and the codes' lengths (ascending).
    struct StringHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct DisplayCodeIndex {
        std::unordered_map<std::string, int, StringHash, std::equal_to<>> first;
        std::vector<std::size_t> lengths;
        int listCount = -1;  // -1: no index, search the list
    };
    bool FindIndexedDisplayCode(const std::string& upper, int& position) const;

    IEngineHost* host_;
    IRateSourceHost* rateSources_;
    DisplayCodeIndex codeIndex_;

    std::uint8_t pathKind_ = rpNone;
    std::string sourceCode_;
    std::string targetCode_;
    int sourceIndex_ = 0;
    int targetIndex_ = 0;
    TCurrencyChangeList currencies_;
    TCurrencyUserList userCurrencies_;
    TStringList favorites_;
    TStringList favoriteSymbols_;
    TStringList warnings_;
    TStringList outputLines_;  // then the lines of packedOutput_
    TPackedLines packedOutput_;
    TStringList logHeader_;
    TStringList logBody_;    // then the lines of packedLog_
    TPackedLines packedLog_;
    struct LogPair {
        std::string ratios;
        std::string pairRate;
        std::string sourceCode;
        std::string targetCode;
        TFormatSettings format;
    };
    void RenderRateLogLine(std::string_view record, std::string& line) const;
    std::vector<LogPair> logPairs_;
    std::uint64_t logPairsGeneration_ = 0;
    std::string logRecord_;  // the record being made, reused
    TStringList logReport_;
    std::uint32_t indicatorColor_ = 0;
    SideData source_;
    SideData target_;
    bool switchedOn_ = false;
};

// The layers above the converter that a list belongs to; the silent stand-ins for a list
// of no converter.
IEngineHost& HostOf(const TCurrencyChangeList& list);
IRateSourceHost& RateSourcesOf(const TCurrencyChangeList& list);

}  // namespace vemra
