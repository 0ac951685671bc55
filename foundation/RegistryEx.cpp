#include "RegistryEx.h"

namespace vemra {

TRegistryEx::TRegistryEx(bool forWriting) : TRegistry(forWriting ? KEY_ALL_ACCESS : KEY_READ) {
    SetRootKey(HKEY_CURRENT_USER);
    LazyWrite = false;
}

bool TRegistryEx::ReadBoolDef(std::string_view name, bool def) const {
    return ValueExists(name) ? ReadBool(name) : def;
}

int TRegistryEx::ReadIntegerDef(std::string_view name, int def) const {
    return ValueExists(name) ? ReadInteger(name) : def;
}

std::string TRegistryEx::ReadStringDef(std::string_view name, std::string_view def) const {
    return ValueExists(name) ? ReadString(name) : std::string(def);
}

}  // namespace vemra
