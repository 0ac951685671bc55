#include "ResourceFiles.h"

#include <dlfcn.h>

#include <utility>

#include "CurrencyFiles.h"
#include "SysCaller.h"
#include "SysStrings.h"
#include "platform/FileTrust.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {
namespace {

inline constexpr auto kLibraryName = ScrambleLiteral("Resources.so");
inline constexpr auto kSkinName = ScrambleLiteral("vemra-skin.png");
inline constexpr auto kLanguageDataName = ScrambleLiteral("LANGUAGES");

inline constexpr auto kConfigResource = ScrambleLiteral("CURRENCIES");
inline constexpr auto kNamesEngResource = ScrambleLiteral("NAMES_ENG");
inline constexpr auto kNamesEspResource = ScrambleLiteral("NAMES_ESP");
inline constexpr auto kNamesEngFile = ScrambleLiteral("ENG.vcn");
inline constexpr auto kNamesEspFile = ScrambleLiteral("ESP.vcn");
inline constexpr auto kLangEngResource = ScrambleLiteral("LANG_ENG");
inline constexpr auto kLangEspResource = ScrambleLiteral("LANG_ESP");
inline constexpr auto kLangEngFile = ScrambleLiteral("ENG.lib");
inline constexpr auto kLangEspFile = ScrambleLiteral("ESP.lib");
inline constexpr auto kSkinResource = ScrambleLiteral("SKIN");

HMODULE resourceLibrary = nullptr;
std::string refusedLibrary;

// Frees the library when the extraction ends, however it ends.
struct LibraryRelease {
    ~LibraryRelease() { FreeResourceLibrary(); }
};

}  // namespace

std::string ResourceLibraryFileName() { return JoinPath(AppData, UnscrambleLiteral(kLibraryName)); }
std::string SkinFileName() { return JoinPath(AppData, UnscrambleLiteral(kSkinName)); }
std::string LanguageDataResourceName() { return UnscrambleLiteral(kLanguageDataName); }

HMODULE LoadResourceLibrary() {
    if (resourceLibrary == nullptr && !AppData.empty()) {
        // Loading runs the library's code with the user's rights: the same rule as for the
        // plug-in libraries, none from a place another user could have written.
        const std::string file = ResourceLibraryFileName();
        if (!platform::WritableByOthers(file))
            resourceLibrary = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        else if (FileExists(file))  // one that is not there is missing, not refused
            refusedLibrary = file;
    }
    return resourceLibrary;
}

std::string TakeRefusedResourceLibrary() { return std::exchange(refusedLibrary, std::string()); }

void FreeResourceLibrary() {
    if (resourceLibrary != nullptr) dlclose(resourceLibrary);
    resourceLibrary = nullptr;
}

HMODULE ResourceLibraryHandle() { return resourceLibrary; }

bool ExtractResourceFiles() {
    LibraryRelease release;
    HMODULE library = LoadResourceLibrary();
    if (library == nullptr) return false;
    // Stale files are not removed first: the six are replaced anyway, and AppData also holds
    // the plug-in store and the installed libraries, which must stay.
    const std::string config = DefaultCurrencyConfigFileName();
    if (!FileExists(config)) SaveResourceToFile(UnscrambleLiteral(kConfigResource), config, library);
    SaveResourceToFile(UnscrambleLiteral(kNamesEngResource), JoinPath(PubData, UnscrambleLiteral(kNamesEngFile)), library);
    SaveResourceToFile(UnscrambleLiteral(kNamesEspResource), JoinPath(PubData, UnscrambleLiteral(kNamesEspFile)), library);
    SaveResourceToFile(UnscrambleLiteral(kLangEngResource), JoinPath(AppData, UnscrambleLiteral(kLangEngFile)), library);
    SaveResourceToFile(UnscrambleLiteral(kLangEspResource), JoinPath(AppData, UnscrambleLiteral(kLangEspFile)), library);
    SaveResourceToFile(UnscrambleLiteral(kSkinResource), SkinFileName(), library);
    return true;
}

}  // namespace vemra
