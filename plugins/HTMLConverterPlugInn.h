#pragma once
// THTMLConverterPlugInn: the rate source that reads its rates from a downloaded page. It
// parses the page into a flat node list, finds the page's date, walks the nodes named by
// "DataItems" asking the plug-in library for one rate line each, and writes the day rate
// file beside the page. It also keeps the bounds of the source's history file and asks the
// library for the day rate files of past days.

#include <cstdint>
#include <memory>
#include <string>

#include "ConverterPlugInn.h"
#include "html/HTMLParser.h"
#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

namespace vemra {

// Results of ExtractPageRates.
inline constexpr int ExtractAllRead = 9;
inline constexpr int ExtractItemsMissing = 7;
inline constexpr int ExtractNothingRead = 5;
inline constexpr int ExtractUnusableItems = 0;

// Largest rate page that is read (real pages are a few kilobytes), and how many days after
// today in the source's zone a page may be dated (some banks publish tomorrow's rates today).
inline constexpr std::uintmax_t MaxRatePageBytes = 16u * 1024u * 1024u;
inline constexpr int MaxPageDaysAhead = 3;

// The source's picture for the source lists: PubData/<code>/<code>.bmp, drawn transparent.
// The window side decodes the bytes.
struct TProviderBitmap {
    std::string FileName;  // "" when there is no picture
    std::string Data;      // the file's bytes
    bool Transparent = true;
};

class THTMLConverterPlugInn : public TConverterPlugInn {
public:
    THTMLConverterPlugInn(const TStringList& definition, std::string code);
    ~THTMLConverterPlugInn() override;

    std::int32_t MissingCount = 0;
    std::unique_ptr<THTMLParser> Parser;
    std::unique_ptr<TTagNodeList> NodeList;
    std::unique_ptr<TStringList> PageLines;
    std::string PageFile;
    TProviderBitmap ProviderBitmap;

    // Also frees the loaded page.
    void UnloadPluginLibrary() override;
    // Parses the page file into NodeList (every node, document order). Throws EInOutError
    // when the file cannot be read or is larger than MaxRatePageBytes (looked at first).
    void LoadHtmlPage(const std::string& pageFile);
    // The first positive date of the "DateItem" alternatives that is not more than
    // MaxPageDaysAhead days after today in the source's zone; 0 when none.
    TDateTime GetPageDate();
    // Walks "DataItems" and writes the day rate file (enciphered, key index 5) beside the
    // page: ExtractAllRead, ExtractItemsMissing, ExtractNothingRead, or ExtractUnusableItems
    // (nothing written) for a "DataItems"/"ItemWalk" that cannot be used.
    int ExtractPageRates(TDateTime date);
    // The day rate file's header lines; date 0 gives the line "DATE=%s".
    std::unique_ptr<TStringList> WriteRateFileHeader(TDateTime date);
    std::string RateFileHeaderText(TDateTime date);
    const std::string& PageFileName() const { return PageFile; }
    std::string PageRateFileName() const;  // the page file with ".vmr"
    // The codes of "CheckList" that no key of the file's "DATA" section contains.
    void FindMissingCheckItems(const std::string& rateFile, std::int32_t& count, std::string& list);

    bool UpdateHistoryBounds(const std::string& historyFile) override;
    double HistoryBound(bool last) override;
    bool GetHistoryRates(TDateTime date) override;

    // ---- last update ----
    // The newest day rate file in the data folder, searching back month by month for at
    // most ten years; "" when there is none.
    std::string NewestHistoryFile();
    TDateTime GetLastUpdate();
    // Moves "LastUpdate" to the date-time only when that is later.
    void SetLastUpdate(TDateTime dateTime);
    TDateTime LastPublicationTime();
    TDateTime TodayPublicationTime();

private:
    void TellPosition(const char* const* tag, const std::int32_t* index);
    TTagNode* ReadOccurrence(TTagNode* node, TStringList& header, int& count, int& linesRead);
};

}  // namespace vemra
