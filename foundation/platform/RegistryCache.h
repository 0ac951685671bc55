#pragma once
// The hive files this process has read or written, kept parsed, so that a start reads each
// hive once however many keys it opens. An entry stands while the file is still the one it
// was: the same inode (held open, so that a file renamed into its place cannot be given that
// number), size, change and modification times. A file changed less than a second before it
// was read is not kept, since file times are coarse: a second change of the same size within
// that time would look the same.

#include <optional>
#include <string>
#include <string_view>

#include "RegistryHive.h"

namespace vemra {

struct TCachedHive {
    TRegHive hive;
    bool readable = true;  // as THiveReadReport says: false for a file that is no hive at all
};

// The hive at path read with rootName; an empty hive when there is no file; nothing when it
// exists but cannot be read. fresh reads the file whatever the cache holds (a writer under
// the hive's lock), and keeps what it read.
std::optional<TCachedHive> ReadHiveFile(const std::string& path, std::string_view rootName, bool fresh);

// After this process replaced the file at path with the text of hive.
void RememberWrittenHive(const std::string& path, std::string_view rootName, const TRegHive& hive);

// Test hook: called with the path each time a hive file is read from the disk.
using THiveReadHook = void (*)(const std::string& path);
void SetHiveReadHook(THiveReadHook hook);

}  // namespace vemra
