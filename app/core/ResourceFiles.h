#pragma once
// The resource library: a shared object in AppData, installed with the program, that holds
// the language index "INDEX", the language data and the program's six data files. It is
// loaded only for one use at a time and freed after it.
//
// The data files, in the order they are written:
//   PubData/<currency configuration>  only when missing: the user edits it
//   PubData/ENG.vcn, PubData/ESP.vcn  currency names of each language
//   AppData/ENG.lib, AppData/ESP.lib  language files (enciphered with key index 1)
//   AppData/<skin>                    the main window's background picture

#include <string>

#include "platform/ModuleResources.h"

namespace vemra {

// The resource "INDEX": lines entry=LLLL<one character>basename.
inline constexpr const char* kLanguageIndexResource = "INDEX";

// AppData/<resource library>: also the reference file whose date tells a stale skin.
std::string ResourceLibraryFileName();
// AppData/<skin picture>.
std::string SkinFileName();
// The resource of the language data (its lines enciphered with key index 1).
std::string LanguageDataResourceName();

// The library's handle, loading it on first use; nullptr when it cannot be loaded. A library
// file that other users can change (it or its folder) is refused and noted.
HMODULE LoadResourceLibrary();
// The library file refused since the last call, and forgets it; empty when none was.
std::string TakeRefusedResourceLibrary();
// Frees it; the next LoadResourceLibrary loads it again.
void FreeResourceLibrary();
// The handle while loaded, nullptr otherwise.
HMODULE ResourceLibraryHandle();

// Writes the six data files out of the library (folders made, old files replaced, the first
// kept where it exists). False, touching no file, when the library cannot be loaded; a
// resource missing from it or a file that cannot be written raises Exception/EInOutError.
// The library is freed afterwards in every case.
bool ExtractResourceFiles();

}  // namespace vemra
