# Writes the C++ source of a resource library: every named file's bytes as an array and the
# lookup function that modules export (platform/ModuleResources.h).
#   cmake -DOUTPUT=<file.cpp> "-DRESOURCES=NAME=path;NAME=path" -P EmbedResources.cmake
if(NOT OUTPUT OR NOT RESOURCES)
  message(FATAL_ERROR "EmbedResources: OUTPUT and RESOURCES are required")
endif()

set(arrays "")
set(entries "")
set(index 0)
foreach(pair IN LISTS RESOURCES)
  string(FIND "${pair}" "=" eq)
  string(SUBSTRING "${pair}" 0 ${eq} name)
  math(EXPR from "${eq} + 1")
  string(SUBSTRING "${pair}" ${from} -1 path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "EmbedResources: ${name}: no file ${path}")
  endif()
  file(SIZE "${path}" size)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Lines of 32 bytes keep the source readable for tools.
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
  if(size EQUAL 0)
    set(bytes "0")
  endif()
  string(APPEND arrays "alignas(8) const unsigned char r${index}[] = {\n${bytes}\n};\n")
  string(APPEND entries "    {\"${name}\", r${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(source "// Generated from the files in resources/ by EmbedResources.cmake; do not edit.
#include <cstddef>
#include <strings.h>

namespace {

${arrays}
struct Entry {
    const char* name;
    const unsigned char* data;
    std::size_t size;
};

const Entry entries[] = {
${entries}};

}  // namespace

extern \"C\" __attribute__((visibility(\"default\"))) int vemra_resource_lookup(
    const char* name, const unsigned char** data, std::size_t* size) {
    if (name == nullptr || data == nullptr || size == nullptr) return 0;
    for (const Entry& entry : entries) {
        if (strcasecmp(entry.name, name) == 0) {
            *data = entry.data;
            *size = entry.size;
            return 1;
        }
    }
    return 0;
}
")
# Rewritten only when it changes, so an unchanged set of files compiles nothing.
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "${source}" @ONLY)
