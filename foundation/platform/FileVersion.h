#pragma once
// File version records. Our own executables and libraries carry, in a section of their own,
// the bytes "VEMRA-FILE-VERSION:" followed by four dotted numbers (each 0..65535) and a NUL;
// the build places them (cmake/FileVersion.cmake, vemra_file_version(<target>)). Any other
// file has no record.

#include <string>
#include <string_view>

namespace vemra::platform {

inline constexpr std::string_view kFileVersionMarker = "VEMRA-FILE-VERSION:";

// The record's numbers as "%d.%d.%d.%d"; "" when the file has none or cannot be read.
// Only the first 256 MiB of a file are searched.
std::string ReadFileVersionRecord(const std::string& path);

}  // namespace vemra::platform
