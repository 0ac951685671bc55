// The data module's resource library (the work itself is in ResourceFiles).
#include "ResourceFiles.h"
#include "dm.h"

namespace vemra {

HMODULE Tdm::LoadResourceLibrary() { return vemra::LoadResourceLibrary(); }

void Tdm::FreeResourceLibrary() { vemra::FreeResourceLibrary(); }

bool Tdm::ExtractResourceFiles() { return vemra::ExtractResourceFiles(); }

}  // namespace vemra
