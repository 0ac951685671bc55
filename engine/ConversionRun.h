#pragma once
// One conversion run: the input text of the main window is split into cells, the table is
// recognised (currency headers, a date column, a rate source in the first cell), the
// decimal separator is decided once, and every cell is converted and written out. The
// table state stays on the converter, so the same cells can be converted again with
// another pair, header mode, output form or date order.
//
// Where the parts live: the run as a whole, the split and the first cell in
// ConversionRun.cpp; the table recognition and MarkDateColumn in TableRecognition.cpp; the
// decimal-separator decision in NumberCells.cpp; ConvertCells and the output in CellOutput.cpp.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "CurrencyConverter.h"
#include "PipelineHost.h"

namespace vemra {

// The name of a cell class in the detail log; empty for a value that is no class.
std::string_view CellClassName(std::uint8_t cellClass);
// A cell's position as the detail log writes it: at least four digits, "0042".
std::string CellNumberText(int position);

class TConversionRun {
public:
    TConversionRun(TCurrencyConverter& converter, IPipelineHost& host);
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // Converts the typed text (false) or the staged clipboard table (true). An exception
    // for a rate source named in the first cell that does not exist passes to the caller.
    void DoConvert(bool asTable);
    // Makes the rate source named by the first cell the run's provider, or the selected
    // one; warn adds a warning for an unexplained three-letter first cell.
    void CheckProviderCell(bool warn);
    // Converts every cell of the current table and writes the output; also run again on
    // the same cells after the pair, header mode, output form or date order changed
    // (CellOutput.cpp).
    void ConvertCells();
    // Marks the first column's dates with the current date-format record (TableRecognition.cpp).
    void MarkDateColumn();

    int CellCount = 0;         // cells converted by the last ConvertCells; 0 without input
    int UnconvertedCount = 0;  // cells that stayed text
    bool SingleRateDay = true; // the last run's text has no date column

    // Milliseconds of a steady clock; the split opens its progress window after 500 ms.
    std::function<std::int64_t()> TickCount;

private:
    struct OutputChoices {
        int order = 0;
        int labelStyle = 0;
        std::string left;
        std::string right;
        int crossValue = 0;
        int badDateMethod = 0;
    };
    struct CellWork {
        std::string text;    // as it came, then normalised
        std::string log;
        std::string output;
        double amount = 0;
        double result = 0;
    };
    // The rate texts of a cell's log line for one pair, kept while the rates stay.
    struct PairRateTexts {
        int source = -1;
        int target = -1;
        std::string sourceCode;
        std::string targetCode;
        std::string ratios;    // "incoming ... * outgoing ..."
        std::string pairRate;
        // The converter's number of these texts for the detail log, while its generation holds.
        int logPair = -1;
        std::uint64_t logGeneration = 0;
    };

    // ---- split (ConversionRun.cpp) ----
    void ReadEmptyCellText();
    void SplitInputTable();
    void ShowSplitProgress(const std::string& format, int position, int count);
    void CutLeadingBlankLines();
    void CutLineEnds();
    void SplitRows();
    bool FirstCellUnexplained() const;
    void LogInputTable();

    // ---- recognition (TableRecognition.cpp) ----
    void RecognizeTable();
    void ApplyTableHeaders();
    void ShowRecognitionProgress();
    int ReadHeaderRow();
    void CountDateSeparators(int (&rows)[3]);
    void ChooseDateSeparator(const int (&rows)[3]);
    void ReadFirstColumn(int& currencies, int& others, int (&formatCounts)[3]);
    void ChooseDateOrder(const int (&formatCounts)[3]);
    void SelectProviderSource();
    int StartRow() const;
    bool IsCurrencyCode(const std::string& text, int& position) const;

    // ---- numbers (NumberCells.cpp) ----
    void DecideDecimalSeparator();
    void ClassifyNumberCell(int i, int choice, int (&counts)[4]);

    // ---- conversion and output (CellOutput.cpp) ----
    void ConvertCell(int k, const OutputChoices& choices);
    void LogTextCell(CellWork& cell);
    void ConvertClassedCell(int k, int col, int row, const OutputChoices& choices, CellInfo& info, CellWork& cell);
    bool RowFound(int row) const;
    bool ConvertNumberCell(int col, int row, const OutputChoices& choices, CellInfo& info, CellWork& cell);
    void ConvertDateRow(int k, int col, int row, CellWork& cell);
    void LoadRowDate(int row, std::int32_t day, bool dateCell, CellWork& cell);
    bool LoadRatesOfDay(TDateTime& date, int& daysBack);
    void SetCrossPair(int col, int row);
    void SetHeaderPair(int k, int col, int row, CellWork& cell);
    void SetSelectedPair();
    std::string SideText(int labelStyle, bool source, double value) const;
    std::string FormatCellResult(const OutputChoices& choices, const CellWork& cell) const;
    PairRateTexts& RateTexts();
    // Adds the cell's detail-log line: its head, then the pair's rates, the amounts and the
    // output, written when the log is read.
    void AddRateLogLine(CellWork& cell);
    void WriteOutputTable();
    bool ResultLinesAreOutputMemo() const;
    void RestoreRunStartRates();
    void FinishConversion();

    TCurrencyConverter& conv_;
    IPipelineHost& host_;
    TConverterTable& table_;
    std::string emptyCell_;          // the empty-cell placeholder of the current operation
    std::int64_t splitStart_ = 0;
    std::string keptSource_;          // the pair ConvertCells started with
    std::string keptTarget_;
    std::vector<PairRateTexts> rateTexts_;  // of the pairs met since the rates last changed
    std::int64_t ratesLoaded_ = 0;          // counts day rate file loads
    std::int64_t rateTextsLoaded_ = -1;     // ratesLoaded_ when rateTexts_ were made
    int missingRow_ = -1;             // the row whose day rate file was found missing last
    TDateTime foundRowDate_ = -1;     // the row date whose rates were loaded last
};

}  // namespace vemra
