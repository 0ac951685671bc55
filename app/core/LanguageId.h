#pragma once
// The user's language as a Windows language identifier (sub-language << 10 | primary
// language), so that the language index keys ("0C0A", "XX0A") keep their meaning.

#include <cstdint>
#include <string_view>

namespace vemra {

// From a locale name such as "es_AR.UTF-8" or "en_GB@euro". An unknown language gives
// 0x0000 (neutral); "C", "POSIX" and "" give English (United States), 0x0409. An unknown
// country gives the language's default sub-language (1).
std::uint16_t LanguageIdFromLocale(std::string_view locale);
// The first of LC_ALL, LC_MESSAGES and LANG that is set and not empty.
std::uint16_t UserDefaultLangID();

}  // namespace vemra
