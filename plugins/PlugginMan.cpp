#include "PlugginMan.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "MessageNumbers.h"
#include "RegistryEx.h"
#include "SysCaller.h"
#include "SysStrings.h"
#include "platform/KeepAside.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

TPlugginMan* PlugginMan = nullptr;

namespace {

inline constexpr auto kStoreName = ScrambleLiteral("plugins.dat");
constexpr std::string_view kUserLastName = "UserLast.dat";
constexpr std::size_t kMaxCodeLength = 3;

// Why the file cannot be read, as the system says it.
std::string UnreadableReason(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    char byte = 0;
    const ssize_t got = ::read(fd, &byte, 1);
    const int error = errno;
    ::close(fd);
    return got < 0 ? std::strerror(error) : "it cannot be read";
}

std::string FileNamePrefix(const std::string& path) { return Copy(ExtractFileName(path), 1, 10); }

// A day rate file's name tells only the day; the update takes the current time of day.
void SetLastUpdateFromFile(THTMLConverterPlugInn& source, const std::string& rateFile) {
    source.SetLastUpdate(ParseDateTimeStamp(FileNamePrefix(rateFile)) + TimeOf(Now()));
}

}  // namespace

std::string PluginStoreName() { return UnscrambleLiteral(kStoreName); }

TPlugginMan::TPlugginMan() : host_(&nullHost_), rateSourceHost_(*this) {
    UserDataDir = JoinPath(GetSpecialFolder(2), "Vemra");
    ForceDirectories(UserDataDir);
    const std::string file = UserLastFileName();
    if (!FileExists(file)) return;
    try {
        UserLast.LoadFromFile(file);
    } catch (const std::exception&) {
        // Replaced by this run's few values, the file would lose every other source's record.
        userLastKept_ = true;
        UserLastFault = Format(
            "Vemra could not read %s (%s). It starts at each rate source's newest day rate file, and leaves the "
            "file as it is until it can be read.",
            file, UnreadableReason(file));
    }
}

TPlugginMan::~TPlugginMan() { ClearPlugins(); }

void TPlugginMan::SetHost(IRateUpdateHost* host) { host_ = host != nullptr ? host : &nullHost_; }

std::string TPlugginMan::UserLastFileName() const { return JoinPath(UserDataDir, kUserLastName); }

// ---- the store ----

void TPlugginMan::OpenPluginStore() {
    StoreRecoveryNote.clear();
    const std::string working = JoinPath(AppData, PluginStoreName());
    const std::string master = JoinPath(PubData, PluginStoreName());
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(working, error))) {
        std::string fault;
        try {
            Store = std::make_unique<TStreamedIniFile>(0, working);
            Store->Reload();
            if (Store->ReadString("ECB", "Settings", "").empty()) {
                Store->KeyIndex = PluginStoreKeyIndex;
                Store->Reload();
            }
            TStringList sections;
            Store->ReadSections(sections);
            if (!sections.Empty()) return;
            fault = "it holds no rate source";
        } catch (const std::exception& e) {
            fault = e.what();
        }
        // A damaged working store would stop every start ("No plugins found"): it is kept
        // aside, for what it may still hold, and made again from the master copy. Each damaged
        // copy keeps a name of its own.
        if (!FileExists(master)) {
            if (Store == nullptr) Store = std::make_unique<TStreamedIniFile>(PluginStoreKeyIndex, working);
            return;
        }
        const std::string aside = KeepAside(working);
        if (aside.empty()) throw EInOutError("Cannot set aside the damaged " + working);
        StoreRecoveryNote = "The rate sources file " + working + " was damaged (" + fault + "). It was set aside as " +
                            aside + " and made again from the installed copy.";
    }
    Store = std::make_unique<TStreamedIniFile>(0, master);
    Store->Reload();
    Store->SetFileName(working);
    Store->KeyIndex = PluginStoreKeyIndex;
    // Without a master there is nothing to copy; an empty working copy would hide the master
    // from every later start.
    if (FileExists(master)) Store->UpdateFile();
}

void TPlugginMan::ReadPluginSections(TStringList& list) const {
    list.Clear();
    if (Store == nullptr) return;
    TStringList sections;
    Store->ReadSections(sections);
    for (int i = 0; i < sections.Count(); ++i) {
        if (sections[i].size() <= kMaxCodeLength) list.Add(sections[i]);
    }
}

std::unique_ptr<TStringList> TPlugginMan::ReadPluginDefinition(const std::string& code) const {
    auto definition = std::make_unique<TStringList>();
    if (Store != nullptr) Store->ReadSectionValues(code, *definition);
    for (int i = 0; i < definition->Count(); ++i) SetDefinitionMark(*definition, i, 0);
    return definition;
}

void TPlugginMan::WritePluginDefinition(const std::string& code, const TStringList& definition) {
    if (Store == nullptr) return;
    for (int i = 0; i < definition.Count(); ++i) {
        if (DefinitionMark(definition, i) == 0) continue;
        const std::string name = definition.Names(i);
        if (name.empty()) continue;
        Store->WriteString(code, name, definition.Values(name));
    }
}

void TPlugginMan::SaveCurrentPluginDefinition() {
    if (THTMLConverterPlugInn* source = CurrentPlugin()) SavePluginDefinition(*source);
}

void TPlugginMan::SavePluginDefinition(THTMLConverterPlugInn& source) {
    if (!source.Modified) return;
    WritePluginDefinition(source.Code, *source.CopyPluginDefinition());
    if (Store != nullptr) Store->UpdateFile();
    source.ClearModifiedMarks();
}

// ---- the source list ----

void TPlugginMan::ClearPlugins() {
    for (int i = 0; i < plugins_.Count(); ++i) plugins_.SetObject(i, nullptr);
    working_ = nullptr;
    sources_.clear();
}

void TPlugginMan::LoadPlugins() {
    ClearPlugins();
    OpenPluginStore();
    if (InstallsPackages) {
        std::unique_ptr<TStringList> packages = ListFiles(JoinPath(PubData, "*.vpl"));
        host_->InstallPendingPlugins(*packages, PubData);
    }
    ReadPluginSections(plugins_);
    if (plugins_.Empty()) SelectedCode.clear();
    if (SelectedCode.empty()) {
        SelectedCode = "ECB";
        SaveSelectedPlugin();
    }
    if (plugins_.Empty()) {
        SelectedIndex = -1;
        throw Exception("No plugins found");
    }
    std::int32_t selected = 0;
    sources_.resize(static_cast<std::size_t>(plugins_.Count()));
    for (int i = 0; i < plugins_.Count(); ++i) CreateSource(i, plugins_[i], selected);
    SelectedIndex = selected;
}

THTMLConverterPlugInn* TPlugginMan::AdoptPlugin(std::unique_ptr<THTMLConverterPlugInn> source, const std::string& name) {
    THTMLConverterPlugInn* adopted = source.get();
    sources_.resize(static_cast<std::size_t>(plugins_.Count()));  // kept by the list's positions
    sources_.push_back(std::move(source));
    plugins_.AddObject(name, adopted);
    return adopted;
}

void TPlugginMan::CreateSource(int index, std::string code, std::int32_t& selected) {
    std::unique_ptr<TStringList> definition = ReadPluginDefinition(code);
    sources_[static_cast<std::size_t>(index)] = std::make_unique<THTMLConverterPlugInn>(*definition, code);
    THTMLConverterPlugInn* source = sources_[static_cast<std::size_t>(index)].get();
    plugins_.SetObject(index, source);
    if (code == SelectedCode) selected = index;
    plugins_.SetString(index, source->Code + " - " + source->GetPluginValue(pvPublisher));
    // A history not fetched yet (the shipped definition names the file to come) has no bounds.
    if (!source->GetPluginValue(pvHistoryFile).empty() && source->HistoryBound(false) * source->HistoryBound(true) == 0 &&
        FileExists(source->GetHistoryFilePath())) {
        SelectedIndex = index;
        if (source->UpdateHistoryBounds(source->GetHistoryFilePath())) {
            SaveCurrentPluginDefinition();
        } else {
            host_->ShowMessageNumber(msg::HistoryFailed);
        }
    }
}

bool TPlugginMan::InstallPlugin(const std::string& code, const std::string& libraryPath) {
    try {
        std::unique_ptr<TStringList> definition = ReadPluginDefinition(code);
        {
            TConverterPlugInn binder(TStringList(), code);
            if (!binder.InstallPluginLibrary(*definition, libraryPath)) return false;
        }
        WritePluginDefinition(code, *definition);
        THTMLConverterPlugInn source(*definition, code);
        SetLastUpdateFromFile(source, LastRateFile(source));
        WritePluginDefinition(code, source.Definition);
        // Saved now whether or not the last update moved: the package is filed away as
        // installed, so a definition left unsaved could be lost for good.
        if (Store != nullptr) Store->UpdateFile();
        return true;
    } catch (...) {
        return false;
    }
}

bool TPlugginMan::SaveSelectedPlugin() {
    TRegistryEx registry(true);
    if (!registry.OpenKey("Software\\Vemra", false)) return true;  // no key: nothing is saved, as for every setting
    try {
        registry.WriteString("SelectedPlugin", SelectedCode);
        return true;
    } catch (const ERegistryException&) {
        return false;
    }
}

THTMLConverterPlugInn* TPlugginMan::GetPlugin(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= sources_.size()) return nullptr;
    return sources_[static_cast<std::size_t>(index)].get();
}

int TPlugginMan::IndexOfPlugin(std::string_view code) const {
    for (int i = 0; i < plugins_.Count(); ++i) {
        const THTMLConverterPlugInn* source = GetPlugin(i);
        if (source != nullptr && source->Code == code) return i;
    }
    return -1;
}

// ---- UserLast ----

std::string TPlugginMan::GetUserLastValue(const TConverterPlugInn& source, std::string_view prefix) const {
    return UserLast.Values(std::string(prefix) + source.Code);
}

void TPlugginMan::SetUserLastValue(const TConverterPlugInn& source, std::string_view prefix, std::string_view value) {
    UserLast.SetValue(std::string(prefix) + source.Code, value);
    if (!userLastKept_) UserLast.SaveToFile(UserLastFileName());
}

std::string TPlugginMan::LastRateFile(THTMLConverterPlugInn& source) {
    const std::string recorded = GetUserLastValue(source, "Last");
    if (!recorded.empty() && FileExists(recorded)) return recorded;
    const std::string newest = source.NewestHistoryFile();
    SetLastRateFile(source, newest);
    if (source.GetPluginValue(pvLastUpdate).empty()) SetLastUpdateFromFile(source, newest);
    return newest;
}

void TPlugginMan::SetLastRateFile(const TConverterPlugInn& source, const std::string& path) {
    if (path != GetUserLastValue(source, "Last")) SetUserLastValue(source, "Last", path);
}

// ---- the engine's view of the selected source ----

std::string TPlugginMan::SelectedSource::SelectedCode() {
    const THTMLConverterPlugInn* source = manager_.CurrentPlugin();
    return source != nullptr ? source->Code : std::string();
}

std::string TPlugginMan::SelectedSource::SelectedPublisher() {
    const THTMLConverterPlugInn* source = manager_.CurrentPlugin();
    return source != nullptr ? source->GetPluginValue(pvPublisher) : std::string();
}

int TPlugginMan::SelectedSource::SelectedPublicationMinute() {
    const THTMLConverterPlugInn* source = manager_.CurrentPlugin();
    return source != nullptr ? source->PublicationMinute : 0;
}

int TPlugginMan::SelectedSource::SelectedZoneHours() {
    const THTMLConverterPlugInn* source = manager_.CurrentPlugin();
    return source != nullptr ? source->ZoneHours : 0;
}

std::string TPlugginMan::SelectedSource::SelectedRateFileName(TDateTime date) {
    const THTMLConverterPlugInn* source = manager_.CurrentPlugin();
    return source != nullptr ? source->GetPluginDataFileName(date) : std::string();
}

std::string TPlugginMan::SelectedSource::LastRateFile() {
    THTMLConverterPlugInn* source = manager_.CurrentPlugin();
    return source != nullptr ? manager_.LastRateFile(*source) : std::string();
}

void TPlugginMan::SelectedSource::SetLastRateFile(const std::string& path) {
    const THTMLConverterPlugInn* source = manager_.CurrentPlugin();
    if (source != nullptr) manager_.SetLastRateFile(*source, path);
}

void TPlugginMan::SelectedSource::SaveCurrentPluginDefinition() { manager_.SaveCurrentPluginDefinition(); }

}  // namespace vemra
