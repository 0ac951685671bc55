#pragma once
// TRegistryEx: registry access under HKEY_CURRENT_USER with reads that fall back to a
// default when the value is missing (the user settings).

#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace vemra {

class TRegistryEx : public TRegistry {
public:
    // Root HKEY_CURRENT_USER; KEY_ALL_ACCESS for writing, else KEY_READ; no lazy write.
    explicit TRegistryEx(bool forWriting);

    // The value of the open key when one of that name exists, else the default. A value of
    // another type raises the typed read's ERegistryException.
    bool ReadBoolDef(std::string_view name, bool def) const;
    int ReadIntegerDef(std::string_view name, int def) const;
    std::string ReadStringDef(std::string_view name, std::string_view def) const;
};

}  // namespace vemra
