#pragma once
// The keys of the program's enciphered files, one per key index. Free of Qt so that the
// build-time tools that encipher the shipped files can link it on their own.

#include <string>

namespace vemra {

// Key index 1: language files; 3: the plug-in store; 5: day rate files.
inline constexpr int kLanguageKeyIndex = 1;
inline constexpr int kPluginStoreKeyIndex = 3;
inline constexpr int kDayRateKeyIndex = 5;

// Sets key to the fixed key of index; any other index (0 included) gives "" (stored plain).
void StreamKey(int index, std::string& key);

}  // namespace vemra
