#pragma once
// TPlugginMan: every rate source. It opens the plug-in store (one INI file with a section of
// definition lines per source: a plain master in PubData, an enciphered working copy in
// AppData), has the waiting plug-in packages installed, creates one THTMLConverterPlugInn
// per source, knows the selected one, writes changed definitions back, keeps "UserLast.dat"
// (each source's last day rate file) and runs the update schedule.
//
// Where the parts live: the store, the sources and UserLast in PlugginMan.cpp; the update
// schedule (UpdateAllPlugins, IsUpdateDue) in UpdateSchedule.cpp.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "EngineHost.h"
#include "HTMLConverterPlugInn.h"
#include "RateUpdateHost.h"
#include "StreamedIniFile.h"
#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

namespace vemra {

inline constexpr int PluginStoreKeyIndex = 3;

// The store's file name (the same in PubData and AppData).
std::string PluginStoreName();

class TPlugginMan {
public:
    // Sets UserDataDir (local application data + "/Vemra", made) and reads UserLast.dat.
    // The store is not opened. A UserLast.dat that cannot be read is never written in this
    // run (its values are kept in memory); UserLastFault then names it and says why.
    TPlugginMan();
    ~TPlugginMan();  // frees the sources; saves nothing
    TPlugginMan(const TPlugginMan&) = delete;
    TPlugginMan& operator=(const TPlugginMan&) = delete;

    std::unique_ptr<TStreamedIniFile> Store;
    TStringList UserLast;
    std::string UserLastFault;
    // False for a start beside a running converter: its waiting packages are left to the
    // converter that runs, which holds the plug-in store in memory and writes it back.
    bool InstallsPackages = true;
    std::string SelectedCode;
    // "CODE - Publisher", one item per source in store order, each with its source as
    // object (the sources themselves are held by the manager; nullptr once cleared).
    const TStringList& Plugins() const { return plugins_; }
    std::int32_t SelectedIndex = -1;

    // The data module; nullptr restores a stand-in that does nothing.
    void SetHost(IRateUpdateHost* host);
    IRateUpdateHost& Host() const { return *host_; }
    // The selected rate source as the conversion engine asks for it.
    IRateSourceHost& RateSourceHost() { return rateSourceHost_; }

    // Opens the store and builds the source list. Raises Exception("No plugins found") when
    // the store holds no source.
    void LoadPlugins();
    void ClearPlugins();
    // Opens the working store in AppData, made from the master copy in PubData when missing.
    // A working store that cannot be read or holds no rate source is set aside as
    // "<store>.damaged-<UTC stamp>" (KeepAside) and made again from the master;
    // StoreRecoveryNote then says so.
    void OpenPluginStore();
    std::string StoreRecoveryNote;
    // The store's sections of at most 3 characters, in store order.
    void ReadPluginSections(TStringList& list) const;
    // The section's lines, every mark 0; empty when there is no such section or no store.
    std::unique_ptr<TStringList> ReadPluginDefinition(const std::string& code) const;
    // Writes the marked lines into the section (in memory; the file is not saved).
    void WritePluginDefinition(const std::string& code, const TStringList& definition);
    void SaveCurrentPluginDefinition();
    void SavePluginDefinition(THTMLConverterPlugInn& source);
    // Adds or replaces a source from its plug-in library's definition; false on any failure.
    bool InstallPlugin(const std::string& code, const std::string& libraryPath);
    // Writes SelectedCode to "SelectedPlugin" when the user's key exists.
    // False when the settings file cannot be written (the choice holds for this run).
    bool SaveSelectedPlugin();

    // Appends a source made elsewhere (a reader of its own kind) under its list name; the
    // manager owns it from then on.
    THTMLConverterPlugInn* AdoptPlugin(std::unique_ptr<THTMLConverterPlugInn> source, const std::string& name);

    THTMLConverterPlugInn* GetPlugin(int index) const;
    THTMLConverterPlugInn* CurrentPlugin() const { return GetPlugin(SelectedIndex); }
    // The source a running download works for (set by the download and by the update walk),
    // whatever the selection does meanwhile; the current source while none is set.
    THTMLConverterPlugInn* WorkingPlugin() const { return working_ != nullptr ? working_ : CurrentPlugin(); }
    THTMLConverterPlugInn* SetWorkingPlugin(THTMLConverterPlugInn* source) { return std::exchange(working_, source); }
    int IndexOfPlugin(std::string_view code) const;  // exact comparison; -1 when none

    // ---- a source's values in UserLast ----
    std::string GetUserLastValue(const TConverterPlugInn& source, std::string_view prefix) const;
    // An empty value removes the line; UserLast.dat is saved at once.
    void SetUserLastValue(const TConverterPlugInn& source, std::string_view prefix, std::string_view value);
    // The source's last day rate file, falling back to its newest one (which is recorded).
    std::string LastRateFile(THTMLConverterPlugInn& source);
    void SetLastRateFile(const TConverterPlugInn& source, const std::string& path);

    // ---- the update schedule (UpdateSchedule.cpp) ----
    // Walks every source from today back to its last update and starts at most one
    // download per source. Each source is the working one while it is handled; the selection
    // stays the user's, also when the user changes it while a download waits.
    void UpdateAllPlugins();
    // For the working source and a GMT day: whether that day's rates are published by now.
    bool IsUpdateDue(TDateTime day, std::string& fileName, bool& exists);

private:
    class SelectedSource final : public IRateSourceHost {
    public:
        explicit SelectedSource(TPlugginMan& manager) : manager_(manager) {}
        std::string SelectedCode() override;
        std::string SelectedPublisher() override;
        int SelectedPublicationMinute() override;
        int SelectedZoneHours() override;
        std::string SelectedRateFileName(TDateTime date) override;
        std::string LastRateFile() override;
        void SetLastRateFile(const std::string& path) override;
        void SaveCurrentPluginDefinition() override;

    private:
        TPlugginMan& manager_;
    };

    void CreateSource(int index, std::string code, std::int32_t& selected);
    void UpdateSource(THTMLConverterPlugInn& source);
    std::string UserLastFileName() const;

    bool userLastKept_ = false;  // UserLast.dat could not be read: it is left as it is
    TStringList plugins_;
    std::vector<std::unique_ptr<THTMLConverterPlugInn>> sources_;  // by the position of plugins_
    NullRateUpdateHost nullHost_;
    IRateUpdateHost* host_;
    THTMLConverterPlugInn* working_ = nullptr;
    SelectedSource rateSourceHost_;
};

// The one manager of the program (created and freed by the main window).
extern TPlugginMan* PlugginMan;

}  // namespace vemra
