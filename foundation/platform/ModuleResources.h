#pragma once
// Resources carried by a module. A module is a shared object (or the program itself) that
// exports one C function:
//
//   extern "C" int vemra_resource_lookup(const char* name, const unsigned char** data,
//                                        size_t* size);
//
// It returns non-zero and points data/size at the resource's bytes when it holds a resource
// of that name (names compare without regard to ASCII case), zero otherwise. The bytes stay
// valid while the module is loaded. A program that carries resources of its own must export
// the function from its executable (ENABLE_EXPORTS / -rdynamic).

#include <cstddef>
#include <string>
#include <string_view>

namespace vemra {

// A loaded module: the handle dlopen returned; nullptr stands for the program itself.
using HMODULE = void*;

}  // namespace vemra

namespace vemra::platform {

inline constexpr const char* kResourceLookupSymbol = "vemra_resource_lookup";
using ResourceLookupFn = int (*)(const char* name, const unsigned char** data, std::size_t* size);

// True and the bytes when the module holds the resource.
bool FindModuleResource(HMODULE module, const std::string& name, std::string_view& bytes);

}  // namespace vemra::platform
