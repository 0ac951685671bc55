#pragma once
// The texts that say why a file was refused. They come from the language file; where it gives
// none (a refused resource library may be the very reason no language file exists yet) a
// built-in English text stands in.

#include <string>

namespace vemra {

class IEngineHost;

// Why a plug-in package was not installed and set aside.
enum class TPackageRefusal {
    Untrusted,  // other users can change the package or its folder
    Unpacked,   // its extraction refused it: damaged, links, paths outside, too large
};

// "The library <file> was not loaded because other users can change it or its folder."
// host may be nullptr (no language loaded).
std::string LibraryRefusedText(IEngineHost* host, const std::string& file);

// The reason a package was refused, and where it went (movedTo empty: it stayed).
std::string PackageRefusedText(IEngineHost* host, TPackageRefusal why, const std::string& movedTo);

}  // namespace vemra
