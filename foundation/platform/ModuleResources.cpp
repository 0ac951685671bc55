#include "platform/ModuleResources.h"

#include <dlfcn.h>

namespace vemra::platform {
namespace {

ResourceLookupFn LookupFunction(HMODULE module) {
    void* handle = module ? module : dlopen(nullptr, RTLD_LAZY);
    if (!handle) return nullptr;
    void* sym = dlsym(handle, kResourceLookupSymbol);
    if (!module) dlclose(handle);
    return reinterpret_cast<ResourceLookupFn>(sym);
}

}  // namespace

bool FindModuleResource(HMODULE module, const std::string& name, std::string_view& bytes) {
    ResourceLookupFn lookup = LookupFunction(module);
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!lookup || !lookup(name.c_str(), &data, &size) || (!data && size > 0)) return false;
    bytes = std::string_view(reinterpret_cast<const char*>(data), size);
    return true;
}

}  // namespace vemra::platform
