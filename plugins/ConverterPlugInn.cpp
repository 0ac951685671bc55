#include "ConverterPlugInn.h"

#include <dlfcn.h>

#include <array>
#include <cstdint>

#include "SysWinCore.h"
#include "platform/FileTrust.h"
#include "rtl/Format.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr std::array<std::string_view, 24> kValueKeys = {
    "",           "Publisher",  "PluginDll",    "DataSite",      "DataUrl",      "",
    "DataItems",  "DateItem",   "Settings",     "",              "BaseDiv",      "HistoryUrl",
    "LastUpdate", "DataUrlHuman", "HistoryFile", "HistoryBounds", "BaseFactor", "Logic",
    "HistoryUrlExt", "ItemWalk", "Enabled",     "CheckList",     "HistoryType",  "Version",
};

constexpr const char* kDefaultMask = "1111100";
constexpr int kDefaultMinute = 540;

// The field splitter reads its text like a C string: a NUL ends it and is no blank.
bool IsBlankBeforeEnd(char c) { return c != '\0' && IsBlankOrControl(c); }

template <class F>
F LookUp(void* handle, const char* name) {
    return reinterpret_cast<F>(::dlsym(handle, name));
}

// Replaces the line named key, or appends it.
void PutValue(TStringList& list, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value);
    const int i = list.IndexOfName(key);
    if (i < 0) {
        list.Add(std::move(line));
    } else {
        list.SetString(i, std::move(line));
    }
}

// A quoted field starting at text[p] (the quote); p ends after the closing quote.
std::string ReadQuotedField(std::string_view text, std::size_t& p) {
    std::string field;
    ++p;
    while (p < text.size() && text[p] != '\0') {
        if (text[p] == '"') {
            if (p + 1 < text.size() && text[p + 1] == '"') {
                field += '"';
                p += 2;
                continue;
            }
            ++p;
            break;
        }
        field += text[p++];
    }
    return field;
}

}  // namespace

std::string_view PluginValueKey(int selector) {
    if (selector < 1 || selector >= static_cast<int>(kValueKeys.size())) return {};
    return kValueKeys[static_cast<std::size_t>(selector)];
}

int DefinitionMark(const TStringList& definition, int index) {
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(definition.Objects(index)));
}

void SetDefinitionMark(TStringList& definition, int index, int mark) {
    definition.SetObject(index, reinterpret_cast<void*>(static_cast<std::uintptr_t>(mark)));
}

std::vector<std::string> SplitPluginFields(std::string_view text, char separator) {
    std::vector<std::string> fields;
    const auto at = [&](std::size_t i) { return i < text.size() ? text[i] : '\0'; };
    std::size_t p = 0;
    while (IsBlankBeforeEnd(at(p))) ++p;
    while (at(p) != '\0') {
        if (at(p) == '"') {
            fields.push_back(ReadQuotedField(text, p));
        } else {
            const std::size_t start = p;
            while (at(p) != '\0' && at(p) != separator && !IsBlankBeforeEnd(at(p))) ++p;
            fields.emplace_back(text.substr(start, p - start));
        }
        while (IsBlankBeforeEnd(at(p))) ++p;
        if (at(p) == separator) {
            if (at(p + 1) == '\0') fields.emplace_back();
            do {
                ++p;
            } while (IsBlankBeforeEnd(at(p)));
        }
    }
    return fields;
}

// ---- TConverterPlugInn ----

TConverterPlugInn::TConverterPlugInn(const TStringList& definition, std::string code)
    : Code(std::move(code)) {
    Definition.Assign(definition);
    ParseSettings();
}

TConverterPlugInn::~TConverterPlugInn() { UnbindLibrary(); }

void TConverterPlugInn::ParseSettings() {
    bool ok = false;
    const std::vector<std::string> f = SplitPluginFields(GetPluginValue(pvSettings), ':');
    if (f.size() >= 5) {
        PublishMask = f[0];
        SecondMask = f[1];
        int count = 0;
        int minute = 0;
        int zone = 0;
        if (!f[2].empty() && TryStrToInt(f[3], count)) {
            if (f[2][0] == 'D' && count >= 2) DayLag = count - 1;
            ok = TryStrToInt(f[4], minute) && (f.size() < 6 || TryStrToInt(f[5], zone));
        }
        if (ok) {
            PublicationMinute = minute;
            ZoneHours = static_cast<std::int8_t>(static_cast<std::uint8_t>(zone & 0xFF));
        }
    }
    if (!ok) {
        PublishMask = kDefaultMask;
        SecondMask = kDefaultMask;
        PublicationMinute = kDefaultMinute;
        ZoneHours = 0;
    }
    PublicationTimeText = Format("%2.2d:%2.2d GMT", PublicationMinute / 60, PublicationMinute % 60);
}

double TConverterPlugInn::HistoryBound(bool) { return 0; }

bool TConverterPlugInn::IsDailyHistory() { return GetPluginValue(pvHistoryType) == "D"; }

void TConverterPlugInn::UnloadPluginLibrary() {
    if (!LibraryHeld()) UnbindLibrary();
}

bool TConverterPlugInn::UpdateHistoryBounds(const std::string&) { return false; }

bool TConverterPlugInn::GetHistoryRates(TDateTime) { return false; }

void TConverterPlugInn::LibraryCloser::operator()(void* handle) const { ::dlclose(handle); }

void TConverterPlugInn::UnbindLibrary() {
    library_.reset();
    libraryFile_.clear();
    PreCleanEntry = nullptr;
    GetDateEntry = nullptr;
    ComposeQueryEntry = nullptr;
    ParseItemEntry = nullptr;
    SetDataEntry = nullptr;
    HistoryDataSetEntry = nullptr;
    HistoryDataGetEntry = nullptr;
}

// ---- definition ----

int TConverterPlugInn::IndexOfKey(std::string_view key) const { return Definition.IndexOfName(key); }

std::string TConverterPlugInn::GetPluginValue(int selector) const {
    if (selector == pvDataFolder) return PubData.empty() ? std::string() : JoinPath(PubData, Code);
    const std::string_view key = PluginValueKey(selector);
    if (key.empty()) return {};
    const int i = IndexOfKey(key);
    return i < 0 ? std::string() : Definition.ValueFromIndex(i);
}

void TConverterPlugInn::SetPluginValue(std::string_view key, std::string_view value) {
    const int i = IndexOfKey(key);
    if (i < 0) {
        AddPluginValue(key, value);
    } else {
        Definition.SetString(i, std::string(key) + "=" + std::string(value));
        SetDefinitionMark(Definition, i, 1);
    }
    Modified = true;
}

void TConverterPlugInn::AddPluginValue(std::string_view key, std::string_view value) {
    const int i = Definition.Add(std::string(key) + "=" + std::string(value));
    SetDefinitionMark(Definition, i, 1);
    Modified = true;
}

void TConverterPlugInn::SetPluginValueUnmarked(std::string_view key, std::string_view value) {
    PutValue(Definition, key, value);
}

void TConverterPlugInn::SetLastUpdateText(std::string_view text) { SetPluginValue("LastUpdate", text); }

void TConverterPlugInn::SetHistoryFile(std::string_view path) {
    SetPluginValue("HistoryFile", ExtractFileName(Trim(path)));
}

bool TConverterPlugInn::IsPluginEnabled() const { return GetPluginValue(pvEnabled) == "1"; }

std::string TConverterPlugInn::GetHistoryFilePath() const {
    return GetPluginValue(pvDataFolder) + PathDelim + GetPluginValue(pvHistoryFile);
}

std::string TConverterPlugInn::GetPluginDataFileName(TDateTime date) const {
    return DatedRateFileName(Code, GetPluginValue(pvDataFolder), date);
}

bool TConverterPlugInn::PluginDataFileExists(TDateTime date) const {
    return FileExists(GetPluginDataFileName(date));
}

std::string TConverterPlugInn::PluginLibraryPath() const { return JoinPath(AppData, Code + ".so"); }

int TConverterPlugInn::SourceZoneMinutes() const { return ZoneHours * 60; }

std::unique_ptr<TStringList> TConverterPlugInn::CopyPluginDefinition() const {
    auto copy = std::make_unique<TStringList>();
    copy->Assign(Definition);
    return copy;
}

void TConverterPlugInn::ClearModifiedMarks() {
    for (int i = 0; i < Definition.Count(); ++i) SetDefinitionMark(Definition, i, 0);
    Modified = false;
}

// ---- the library ----

bool TConverterPlugInn::LoadPluginLibrary(const std::string& path) {
    if (library_ != nullptr) return true;
    refusedLibrary_.clear();
    try {
        std::string file = path;
        if (file.empty()) {
            file = PluginLibraryPath();
            if (!FileExists(file)) file = JoinPath(JoinPath(PubData, Code), Code + ".so");
        }
        // Its code runs with the user's rights: never from a place another user can write.
        if (platform::WritableByOthers(file)) {
            // A file that is not there is missing, not refused.
            if (FileExists(file)) refusedLibrary_ = file;
            return false;
        }
        library_.reset(::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
        if (library_ == nullptr) return false;
        void* const handle = library_.get();
        libraryFile_ = file;
        PreCleanEntry = LookUp<TSubscriptionPreClean>(handle, "SubscriptionPreClean");
        GetDateEntry = LookUp<TSubscriptionGetDate>(handle, "SubscriptionGetDate");
        ComposeQueryEntry = LookUp<TSubscriptionComposeQuery>(handle, "SubscriptionComposeQuery");
        ParseItemEntry = LookUp<TSubscriptionParseItem>(handle, "SubscriptionParseItem");
        SetDataEntry = LookUp<TSubscriptionSetData>(handle, "SubscriptionSetData");
        HistoryDataSetEntry = LookUp<THistoryDataSet>(handle, "HistoryDataSet");
        HistoryDataGetEntry = LookUp<THistoryDataGet>(handle, "HistoryDataGet");
        return true;
    } catch (...) {
        return false;
    }
}

bool TConverterPlugInn::InstallPluginLibrary(TStringList& definition, const std::string& libraryPath) {
    if (!LoadPluginLibrary(libraryPath)) return false;
    struct Unbind {
        TConverterPlugInn* self;
        ~Unbind() { self->UnloadPluginLibrary(); }
    } unbind{this};

    static constexpr std::array<std::string_view, 3> kKept = {"LastUpdate", "HistoryBounds", "HistoryFile"};
    std::array<std::string, 3> kept;
    for (std::size_t k = 0; k < kKept.size(); ++k) kept[k] = definition.Values(kKept[k]);

    const auto install = LookUp<TSubscriptionInstall>(library_.get(), "SubscriptionInstall");
    if (install == nullptr) return false;
    const char* answer = install();
    definition.SetText(Trim(answer != nullptr ? std::string_view(answer) : std::string_view()));
    if (definition.Count() < 1) return false;

    for (std::size_t k = 0; k < kKept.size(); ++k) {
        if (!kept[k].empty()) PutValue(definition, kKept[k], kept[k]);
    }
    definition.SetValue("Version", GetFileVersionText(libraryFile_));
    PutValue(definition, "Enabled", "1");
    for (int i = 0; i < definition.Count(); ++i) SetDefinitionMark(definition, i, 1);
    return true;
}

// ---- guarded calls ----

std::string TConverterPlugInn::ComposeQueryUrl(int mode, TDateTime date) {
    std::string url;
    switch (mode) {
        case 0: url = GetPluginValue(pvDataUrlHuman); break;
        case 1: url = GetPluginValue(pvDataUrl); break;
        case 2: url = GetPluginValue(pvHistoryUrl); break;
        default: return {};
    }
    if (url.empty() || url.find('%') == std::string::npos || ComposeQueryEntry == nullptr) return url;
    Status = 0;
    const std::string day = IntToStr(static_cast<std::int64_t>(date));
    const char* answer = ComposeQueryEntry(url.c_str(), day.c_str(), &Status);
    return answer != nullptr ? std::string(answer) : std::string();
}

TDateTime TConverterPlugInn::GetPluginDate(const std::string& nodeText, const std::string& attributeText) {
    Status = 0;
    if (GetDateEntry == nullptr) return 0;
    try {
        const char* answer = GetDateEntry(nodeText.c_str(), attributeText.c_str(), &Status);
        const std::string text = answer != nullptr ? std::string(answer) : std::string();
        if (Status != 1) return 0;
        return StrToDateFmt(text, "yyyy/mm/dd", '/');
    } catch (...) {
        return 0;
    }
}

std::string TConverterPlugInn::ParsePluginItem(const std::string& nodeText, const std::string& attributeText) {
    Status = -1;
    if (ParseItemEntry == nullptr) return {};
    try {
        const char* answer = ParseItemEntry(nodeText.c_str(), attributeText.c_str(), &Status);
        return answer != nullptr ? std::string(answer) : std::string();
    } catch (...) {
        return {};
    }
}

bool TConverterPlugInn::PreCleanPluginText(const std::string& pageFile) {
    if (PreCleanEntry == nullptr) return true;
    try {
        PreCleanEntry(pageFile.c_str(), nullptr, &Status);
    } catch (...) {
        return false;
    }
    return Status != -1;
}

}  // namespace vemra
