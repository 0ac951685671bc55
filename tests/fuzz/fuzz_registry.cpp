// Any bytes as a registry hive: read, written, read again. Writing what was read must give
// a text that reads back to itself, every key must stay within the key bounds, and the
// tree answers lookups and edits on the paths it holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryHive.h"

namespace {

using namespace vemra;

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

void Require(bool condition) {
    if (!condition) std::abort();
}

// Every key path below path, depth first, at most limit of them.
void CollectPaths(const TRegHive& hive, const std::string& path, std::vector<std::string>& out, std::size_t limit) {
    for (const std::string& name : hive.SubkeyNames(path)) {
        if (out.size() >= limit) return;
        const std::string child = path.empty() ? name : path + "\\" + name;
        Require(KeyPathWithinBounds(child) && hive.Find(child) != nullptr);
        out.push_back(child);
        CollectPaths(hive, child, out, limit);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    THiveReadReport report;
    TRegHive hive = ParseHive(text, kRoot, &report);
    const std::string written = FormatHive(hive, kRoot);
    const std::string again = FormatHive(ParseHive(written, kRoot), kRoot);
    Require(again == written);
    // Linear: what is written is never much more than what was read (a string written in
    // hex form takes three characters a byte).
    Require(written.size() <= 3 * size + 64);

    std::vector<std::string> paths;
    CollectPaths(hive, "", paths, 64);
    for (const std::string& path : paths) {
        TRegHiveKey* key = hive.Find(path);
        Require(key != nullptr && hive.Ensure(path) == key);
        for (const TRegHiveValue& value : std::vector<TRegHiveValue>(key->Values())) Require(key->Find(value.name) != nullptr);
    }
    if (!paths.empty()) {
        const std::string& victim = paths[size % paths.size()];
        Require(hive.Erase(victim) && hive.Find(victim) == nullptr);
        TRegHiveKey* made = hive.Ensure(victim + "\\New");
        Require(made != nullptr || !KeyPathWithinBounds(victim + "\\New"));
        FormatHive(hive, kRoot);
    }
    return 0;
}
