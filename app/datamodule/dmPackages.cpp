// The data module's plug-in packages: archive extraction and the installation of the
// packages waiting in PubData (the work itself is in ArchiveExtract and PackageInstall).
#include "ArchiveExtract.h"
#include "PackageInstall.h"
#include "PlugginMan.h"
#include "dm.h"

namespace vemra {
namespace {

TPackageInstallHost PackageHost(Tdm& module) {
    TPackageInstallHost host;
    host.ExtractArchive = [&module](const std::string& archive, const std::string& folder, bool* refused) {
        return module.ExtractArchive(archive, folder, refused);
    };
    host.ShowMessage = [&module](const std::string& text) { module.ShowMessageText(text); };
    host.Messages = &module;
    return host;
}

}  // namespace

bool Tdm::ExtractArchive(const std::string& archive, const std::string& folder, bool* refused) {
    return ExtractArchiveByExtension(archive, folder, ExtractedNames, refused);
}

bool Tdm::InstallPluginFile(const std::string& packagePath, const std::string& packageName, const std::string& code,
                            const std::string& folder) {
    if (PlugginMan == nullptr) {
        ShowMessageText("Error installing: " + packagePath);
        return false;
    }
    return InstallPluginPackage(*PlugginMan, PackageHost(*this), packagePath, packageName, code, folder);
}

void Tdm::InstallPendingPlugins(TStringList& files, const std::string& folder) {
    if (PlugginMan == nullptr) {
        // Nothing can register a source: the packages wait for a start that has a manager.
        files.Clear();
        return;
    }
    InstallPendingPackages(*PlugginMan, PackageHost(*this), files, folder);
}

}  // namespace vemra
