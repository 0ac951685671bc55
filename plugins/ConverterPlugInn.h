#pragma once
// TConverterPlugInn: one rate source in memory. Its definition (key=value lines, each with a
// modified mark), the schedule parsed from "Settings", and the binding of its optional
// plug-in library, whose functions are reached through wrappers; the wrappers of GetDate,
// ParseItem and PreClean turn anything the library throws into their neutral answer.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/DateUtils.h"
#include "rtl/StringList.h"
#include "vemra_ratesource.h"

namespace vemra {

// Definition selectors of GetPluginValue.
enum TPluginValue : int {
    pvPublisher = 1,
    pvPluginDll = 2,
    pvDataSite = 3,
    pvDataUrl = 4,
    pvDataItems = 6,
    pvDateItem = 7,
    pvSettings = 8,
    pvDataFolder = 9,  // no key: PubData/<code>
    pvBaseDiv = 10,
    pvHistoryUrl = 11,
    pvLastUpdate = 12,
    pvDataUrlHuman = 13,
    pvHistoryFile = 14,
    pvHistoryBounds = 15,
    pvBaseFactor = 16,
    pvLogic = 17,
    pvHistoryUrlExt = 18,
    pvItemWalk = 19,
    pvEnabled = 20,
    pvCheckList = 21,
    pvHistoryType = 22,
    pvVersion = 23,
};

// The key a selector names; "" for 5, 9 and selectors outside 1..23.
std::string_view PluginValueKey(int selector);

// A definition line's modified mark, kept in the line's object slot: 0 = as read from the
// store, 1 = set or added since the last save.
int DefinitionMark(const TStringList& definition, int index);
void SetDefinitionMark(TStringList& definition, int index, int mark);

// Splits a list of fields: blanks and control characters before a field are skipped; a field
// that starts with a double quote runs to its closing quote (a doubled quote is one); any
// other runs up to the separator or the next blank/control character; a separator at the
// very end adds an empty last field.
std::vector<std::string> SplitPluginFields(std::string_view text, char separator);

class TConverterPlugInn {
public:
    // Copies the lines and marks of definition (which stays the caller's) and parses
    // "Settings". The library is not bound.
    TConverterPlugInn(const TStringList& definition, std::string code);
    // Unbinds a library that is still bound.
    virtual ~TConverterPlugInn();
    TConverterPlugInn(const TConverterPlugInn&) = delete;
    TConverterPlugInn& operator=(const TConverterPlugInn&) = delete;

    // ---- entry points, nullptr when absent ----
    TSubscriptionPreClean PreCleanEntry = nullptr;
    TSubscriptionGetDate GetDateEntry = nullptr;
    TSubscriptionComposeQuery ComposeQueryEntry = nullptr;
    TSubscriptionParseItem ParseItemEntry = nullptr;
    TSubscriptionSetData SetDataEntry = nullptr;
    THistoryDataSet HistoryDataSetEntry = nullptr;
    THistoryDataGet HistoryDataGetEntry = nullptr;

    TStringList Definition;
    bool Modified = false;
    std::int32_t DayLag = 0;
    std::string Code;
    std::string PublishMask;
    std::string SecondMask;
    std::string PublicationTimeText;
    std::int32_t PublicationMinute = 0;
    std::int8_t ZoneHours = 0;
    std::int32_t Status = 0;  // handed to the library by address; keeps its last value

    // ---- virtual operations ----
    virtual double HistoryBound(bool last);  // 0 here
    virtual bool IsDailyHistory();           // "HistoryType" is exactly "D"
    virtual void UnloadPluginLibrary();
    virtual bool UpdateHistoryBounds(const std::string& historyFile);  // false here
    virtual bool GetHistoryRates(TDateTime date);                      // false here

    // ---- definition ----
    std::string GetPluginValue(int selector) const;
    void SetPluginValue(std::string_view key, std::string_view value);
    void AddPluginValue(std::string_view key, std::string_view value);
    // Sets the line (or appends it) leaving its mark and Modified as they are.
    void SetPluginValueUnmarked(std::string_view key, std::string_view value);
    void SetLastUpdateText(std::string_view text);
    void SetHistoryFile(std::string_view path);
    bool IsPluginEnabled() const;
    std::string GetHistoryFilePath() const;
    std::string GetPluginDataFileName(TDateTime date) const;
    bool PluginDataFileExists(TDateTime date) const;
    std::string PluginLibraryPath() const;  // AppData/<code>.so
    int SourceZoneMinutes() const;
    std::unique_ptr<TStringList> CopyPluginDefinition() const;
    void ClearModifiedMarks();

    // ---- the library ----
    void* LibraryHandle() const { return library_.get(); }  // nullptr while none is bound
    // A download that waits for its page keeps the library (and what it read with it) bound:
    // while held, UnloadPluginLibrary leaves it as it is. Holds nest.
    void HoldLibrary() { ++libraryHolds_; }
    void ReleaseLibrary() { libraryHolds_ = libraryHolds_ > 0 ? libraryHolds_ - 1 : 0; }
    bool LibraryHeld() const { return libraryHolds_ > 0; }
    // True when bound after the call; an empty path takes AppData/<code>.so when it exists,
    // else PubData/<code>/<code>.so. A bound library is kept (the path is then ignored).
    bool LoadPluginLibrary(const std::string& path = {});
    // The file the last load attempt refused because other users can change it or its
    // folder; empty when that attempt refused none.
    const std::string& RefusedLibrary() const { return refusedLibrary_; }
    // Makes definition the library's own definition text, keeping the list's "LastUpdate",
    // "HistoryBounds" and "HistoryFile", setting "Version" and "Enabled" and marking every
    // line. Binds and unbinds the library by itself; what SubscriptionInstall throws passes.
    bool InstallPluginLibrary(TStringList& definition, const std::string& libraryPath);

    // ---- guarded calls ----
    // Mode 0 DataUrlHuman, 1 DataUrl, 2 HistoryUrl; the library composes addresses that
    // hold "%". Not guarded: what the library throws passes.
    std::string ComposeQueryUrl(int mode, TDateTime date);
    TDateTime GetPluginDate(const std::string& nodeText, const std::string& attributeText);
    std::string ParsePluginItem(const std::string& nodeText, const std::string& attributeText);
    bool PreCleanPluginText(const std::string& pageFile);

private:
    void ParseSettings();
    void UnbindLibrary();

    struct LibraryCloser {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, LibraryCloser> library_;  // the bound library, closed when it goes
    std::string libraryFile_;  // the file the bound library was loaded from
    int libraryHolds_ = 0;
    std::string refusedLibrary_;
    int IndexOfKey(std::string_view key) const;
};

}  // namespace vemra
