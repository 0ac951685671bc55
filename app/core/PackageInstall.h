#pragma once
// Installing plug-in packages: a package (<CODE>[.<suffix>].vpl in PubData) is unpacked into
// PubData/<CODE>, its library moves to AppData/<CODE>.so, the plug-in manager registers the
// source from it, and the package is filed as PubData/Installed/<NAME>-<yyyy.mm.dd>.vpl.
// A package that does not install stays where it is, so the next start tries it again; one
// that is refused (others can change it, or its extraction refused what it holds) is moved
// to PubData/Refused and told once.

#include <functional>
#include <string>

#include "rtl/StringList.h"

namespace vemra {

class IEngineHost;
class TPlugginMan;

// The parts of the data module a package installation uses.
struct TPackageInstallHost {
    // Unpacks an archive into a folder (the data module's ExtractArchive); refused is set when
    // the archive itself was refused (ExtractArchiveByExtension).
    std::function<bool(const std::string& archive, const std::string& folder, bool* refused)> ExtractArchive;
    // A message box text.
    std::function<void(const std::string& text)> ShowMessage;
    // The language's texts of the refusals; none: the built-in English ones.
    IEngineHost* Messages = nullptr;
};

// "ECB.V2" for ".../ecb.v2.vpl": the file name without folder and extension, upper-cased.
std::string PackageName(const std::string& packagePath);
// The rate-source code of a package name: up to its first ".".
std::string PackageCode(const std::string& packageName);
// PubData/Installed.
std::string InstalledPackagesFolder();
// PubData/Installed/<package name>-<date stamp of today>.vpl.
std::string InstalledPackageFileName(const std::string& packageName);
// PubData/Refused/<package name>-<date stamp of today>.vpl; a package refused when a copy
// refused earlier today holds that name goes to "...-2.vpl", "...-3.vpl" and so on.
std::string RefusedPackageFileName(const std::string& packageName);

// Installs one package (folder: where it is unpacked, PubData/<code>). True when the source
// was registered; a failure shows "Error installing: " + the package path, a refusal adds
// why and where the package went. A folder the extraction made for nothing is taken away.
bool InstallPluginPackage(TPlugginMan& manager, const TPackageInstallHost& host, const std::string& packagePath,
                          const std::string& packageName, const std::string& code, const std::string& folder);
// Installs every package named in files (names relative to folder), in list order, emptying
// the list.
void InstallPendingPackages(TPlugginMan& manager, const TPackageInstallHost& host, TStringList& files,
                            const std::string& folder);

}  // namespace vemra
