#include "HTMLConverterPlugInn.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>

#include "RateFile.h"
#include "StreamedIniFile.h"
#include "SysCaller.h"
#include "TimeUtils.h"
#include "ZEPHStrUtils.h"
#include "rtl/Format.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr int kLastOccurrence = 999;  // what "N" stands for
constexpr int kHistorySearchMonths = 120;

std::string AttributeText(const TTagNode* node) { return node->Params().Text(); }

// Whole days of a day number that a library handed back; 0 for what is no day number.
std::int64_t WholeDays(double day) {
    if (!std::isfinite(day) || std::fabs(day) > 1e15) return 0;
    return static_cast<std::int64_t>(day);
}

std::string FileNamePrefix(const std::string& path) { return Copy(ExtractFileName(path), 1, 10); }

// "DataItems" (tag, first occurrence, last occurrence or "N") with "ItemWalk" (the step).
struct TItemWalk {
    std::string tag;
    int first = 0;
    int last = kLastOccurrence;
    int step = 1;
};

// False when they cannot be walked: not three words, a number that is no integer, or a step
// below 1 (which would visit the same occurrence for ever).
bool ReadItemWalk(const std::string& items, const std::string& itemWalk, TItemWalk& walk) {
    TStringCutter cutter;
    cutter.Text = items;
    if (cutter.Count() != 3) return false;
    walk.tag = cutter.Word(1);
    if (!TryStrToInt(cutter.Word(2), walk.first)) return false;
    if (cutter.Word(3) != "N" && !TryStrToInt(cutter.Word(3), walk.last)) return false;
    const std::string step = Trim(itemWalk);
    if (!step.empty() && !TryStrToInt(step, walk.step)) return false;
    return walk.step >= 1;
}

}  // namespace

THTMLConverterPlugInn::THTMLConverterPlugInn(const TStringList& definition, std::string code)
    : TConverterPlugInn(definition, std::move(code)) {
    const std::string picture = JoinPath(JoinPath(PubData, Code), Code + ".bmp");
    if (FileExists(picture)) {
        try {
            ProviderBitmap.Data = ReadFileBytes(picture);
            ProviderBitmap.FileName = picture;
        } catch (const EInOutError&) {
            ProviderBitmap.Data.clear();
        }
    }
}

THTMLConverterPlugInn::~THTMLConverterPlugInn() = default;

void THTMLConverterPlugInn::UnloadPluginLibrary() {
    if (LibraryHeld()) return;  // the held download goes on with its page
    TConverterPlugInn::UnloadPluginLibrary();
    NodeList.reset();
    PageLines.reset();
    Parser.reset();
}

// ---- the page ----

void THTMLConverterPlugInn::LoadHtmlPage(const std::string& pageFile) {
    PageFile = pageFile;
    NodeList.reset();
    PageLines.reset();
    Parser.reset();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(pageFile, error);
    if (!error && size > MaxRatePageBytes) throw EInOutError("Rate page too large: " + pageFile);
    Parser = std::make_unique<THTMLParser>();
    NodeList = std::make_unique<TTagNodeList>();
    PageLines = std::make_unique<TStringList>();
    PageLines->LoadFromFile(pageFile);
    Parser->ParseHTML(PageLines->Text());
    FindAllTags(Parser->Root(), "*", NodeList.get());
    if (SetDataEntry != nullptr) SetDataEntry(VEMRA_SETDATA_NODELIST, NodeList.get());
}

void THTMLConverterPlugInn::TellPosition(const char* const* tag, const std::int32_t* index) {
    if (SetDataEntry == nullptr) return;
    SetDataEntry(VEMRA_SETDATA_TAGNAME, const_cast<const char**>(tag));
    SetDataEntry(VEMRA_SETDATA_INDEX, const_cast<std::int32_t*>(index));
}

TDateTime THTMLConverterPlugInn::GetPageDate() {
    TDateTime result = 0;
    if (NodeList == nullptr) return result;
    // A page dated further ahead would stand as the last update and stop the schedule asking.
    const double latest = std::floor(LocalToGMT(Now()) + ZoneHours * OneHour) + MaxPageDaysAhead;
    const std::string items = GetPluginValue(pvDateItem);
    std::string tag;
    const char* tagName = nullptr;
    std::int32_t index = 0;
    std::size_t from = 0;
    while (true) {
        const std::size_t bar = items.find('|', from);
        const std::string alternative = items.substr(from, bar == std::string::npos ? std::string::npos : bar - from);
        const std::size_t colon = alternative.find(':');
        tag = colon == std::string::npos ? std::string() : alternative.substr(0, colon);
        if (colon == std::string::npos || !TryStrToInt(Copy(alternative, static_cast<std::ptrdiff_t>(colon) + 2, 6), index)) {
            index = 0;
        }
        TTagNode* node = tag.empty() ? nullptr : NodeList->FindTagByIndex(tag, index);
        if (node != nullptr) {
            tagName = tag.c_str();
            TellPosition(&tagName, &index);
            const TDateTime date = GetPluginDate(Trim(GetNodeText(node)), Trim(AttributeText(node)));
            if (date > 0 && std::floor(date) <= latest && std::trunc(result) == 0) result = date;
        }
        if (bar == std::string::npos) break;
        from = bar + 1;
    }
    return result;
}

std::string THTMLConverterPlugInn::PageRateFileName() const { return ChangeFileExt(PageFile, ".vmr"); }

std::unique_ptr<TStringList> THTMLConverterPlugInn::WriteRateFileHeader(TDateTime date) {
    auto header = std::make_unique<TStringList>();
    header->Add("[VMR]");
    header->Add("PROVIDER=" + GetPluginValue(pvPublisher));
    header->Add("CODE=" + Code);
    header->Add(date == 0 ? std::string("DATE=%s") : "DATE=" + FormatDateStamp(date));
    header->Add("BASE=" + GetPluginValue(pvBaseDiv));
    header->Add("FACTOR=" + GetPluginValue(pvBaseFactor));
    header->Add("LOGIC=" + GetPluginValue(pvLogic));
    header->Add("TYPE=DATA");
    header->Add("");
    header->Add("[DATA]");
    return header;
}

std::string THTMLConverterPlugInn::RateFileHeaderText(TDateTime date) { return WriteRateFileHeader(date)->Text(); }

// Reads one occurrence: the library's answer for the node and, while it names a next node
// (status 0), for that one. A chain longer than the page has nodes must come round again,
// so it is given up and the item counted missing.
// Returns the node the occurrence ended on (nullptr when a named next node does not exist).
TTagNode* THTMLConverterPlugInn::ReadOccurrence(TTagNode* node, TStringList& header, int& count, int& linesRead) {
    const int bound = NodeList->TagListCount();
    int hops = 0;
    TTagNode* last = node;
    try {
        do {
            const std::string line = ParsePluginItem(GetNodeText(last), AttributeText(last));
            if (Status == -1) {
                ++MissingCount;
            } else if (Status == 0) {
                const std::size_t colon = line.find(':');
                const std::string tag = colon == std::string::npos ? std::string() : line.substr(0, colon);
                int next = 0;
                if (colon == std::string::npos || !TryStrToInt(line.substr(colon + 1), next)) next = 0;
                last = tag.empty() ? nullptr : NodeList->FindTagByIndex(tag, next);
            } else if (Status == 1) {
                header.Add(line);
                ++linesRead;
            }
            ++count;
            if (Status == 0 && last != nullptr && ++hops >= bound) {
                ++MissingCount;
                break;
            }
        } while (Status == 0 && last != nullptr);
    } catch (...) {
        ++MissingCount;
    }
    return last;
}

int THTMLConverterPlugInn::ExtractPageRates(TDateTime date) {
    const std::string items = GetPluginValue(pvDataItems);
    if (items.empty()) {
        // The page is a day rate file already; an older copy (read-only) is replaced.
        const std::string target = PageRateFileName();
        if (FileExists(target)) DeleteFile(target);
        CopyFileTo(PageFile, target, false);
        return ExtractAllRead;
    }
    std::unique_ptr<TStringList> header = WriteRateFileHeader(date);
    MissingCount = 0;
    TItemWalk walk;
    if (!ReadItemWalk(items, GetPluginValue(pvItemWalk), walk)) return ExtractUnusableItems;

    int count = 0;
    int linesRead = 0;
    if (NodeList != nullptr) {
        const char* tagName = walk.tag.c_str();
        std::int32_t i = walk.first;
        TTagNode* node = nullptr;
        do {
            node = NodeList->FindTagByIndex(walk.tag, i);
            if (node != nullptr) {
                TellPosition(&tagName, &i);
                node = ReadOccurrence(node, *header, count, linesRead);
            }
            if (i > std::numeric_limits<std::int32_t>::max() - walk.step) break;
            i += walk.step;
        } while (i <= walk.last && node != nullptr);
    }

    TStreamedIniFile file(RateFileKeyIndex, PageRateFileName());
    file.SetStrings(*header);
    file.UpdateFile();
    if (count == 0) return ExtractNothingRead;
    // Answers that gave neither a line nor a missing item read nothing either.
    if (MissingCount == 0) return linesRead > 0 ? ExtractAllRead : ExtractNothingRead;
    return ExtractItemsMissing;
}

void THTMLConverterPlugInn::FindMissingCheckItems(const std::string& rateFile, std::int32_t& count, std::string& list) {
    std::unique_ptr<TStreamedIniFile> file = OpenStreamedIni(RateFileKeyIndex, rateFile);
    TStringList names;
    file->ReadSection("DATA", names);
    std::string keys;
    for (int i = 0; i < names.Count(); ++i) keys += (i > 0 ? "," : "") + names[i];
    count = 0;
    list.clear();
    for (const std::string& code : SplitPluginFields(GetPluginValue(pvCheckList), ',')) {
        if (code.empty() || keys.find(code) != std::string::npos) continue;
        list += (list.empty() ? "" : ",") + code;
        ++count;
    }
}

// ---- history ----

bool THTMLConverterPlugInn::UpdateHistoryBounds(const std::string& historyFile) {
    if (!LoadPluginLibrary() || HistoryDataSetEntry == nullptr) return false;
    double first = 0;
    double last = 0;
    const bool ok = HistoryDataSetEntry(Trim(historyFile).c_str(), &first, &last) != 0;
    SetPluginValue("HistoryBounds", ok ? IntToStr(WholeDays(first)) + "-" + IntToStr(WholeDays(last)) : "0-0");
    return ok;
}

double THTMLConverterPlugInn::HistoryBound(bool last) {
    const std::string bounds = GetPluginValue(pvHistoryBounds);
    if (bounds.empty()) return 0;
    const auto dash = static_cast<std::ptrdiff_t>(Pos("-", bounds));
    const std::string text = last ? Copy(bounds, dash + 1, 6) : Copy(bounds, 1, dash - 1);
    int value = 0;
    return TryStrToInt(text, value) ? value : 0;
}

bool THTMLConverterPlugInn::GetHistoryRates(TDateTime date) {
    if (!LoadPluginLibrary() || HistoryDataGetEntry == nullptr) return false;
    const std::string header = RateFileHeaderText(0);
    return HistoryDataGetEntry(Code.c_str(), GetPluginValue(pvDataFolder).c_str(), GetHistoryFilePath().c_str(),
                               header.c_str(), date) != 0;
}

// ---- last update ----

std::string THTMLConverterPlugInn::NewestHistoryFile() {
    const std::string folder = GetPluginValue(pvDataFolder);
    if (folder.empty()) return {};
    int year = 0;
    int month = 0;
    int day = 0;
    DecodeDate(Date(), year, month, day);
    for (int n = 0; n < kHistorySearchMonths; ++n) {
        std::unique_ptr<TStringList> names = ListFiles(Format("%s/%4.4d.%2.2d.*.vmr", folder, year, month));
        if (!names->Empty()) {
            names->SetCaseSensitive(false);
            names->Sort();
            return folder + PathDelim + (*names)[names->Count() - 1];
        }
        if (--month == 0) {
            month = 12;
            --year;
        }
    }
    return {};
}

TDateTime THTMLConverterPlugInn::GetLastUpdate() {
    std::string stamp = GetPluginValue(pvLastUpdate);
    if (stamp.empty()) {
        stamp = FileNamePrefix(NewestHistoryFile());
        SetPluginValueUnmarked("LastUpdate", stamp);
    }
    TDateTime d = ParseDateTimeStamp(stamp);
    if (d == std::floor(d)) d += PublicationMinute * OneMinute;
    return d;
}

void THTMLConverterPlugInn::SetLastUpdate(TDateTime dateTime) {
    const std::string stamp = FormatDateTimeStamp(dateTime);
    if (CompareStr(stamp, GetPluginValue(pvLastUpdate)) > 0) SetPluginValue("LastUpdate", stamp);
}

TDateTime THTMLConverterPlugInn::LastPublicationTime() {
    return DateOf(GetLastUpdate()) + PublicationMinute * OneMinute;
}

TDateTime THTMLConverterPlugInn::TodayPublicationTime() {
    return Date() + PublicationMinute / 1440.0 + ZoneHours / 24.0;
}

}  // namespace vemra
