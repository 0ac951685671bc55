#include "LanguageId.h"

#include <cstdlib>
#include <string>

#include "rtl/SysUtils.h"

namespace vemra {

namespace {

struct PrimaryLanguage {
    const char* code;
    std::uint16_t primary;
};

// ISO 639-1 code -> Windows primary language number.
constexpr PrimaryLanguage kPrimary[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"nn", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"bs", 0x1A},
    {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20},
    {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26},
    {"lt", 0x27}, {"tg", 0x28}, {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B}, {"az", 0x2C},
    {"eu", 0x2D}, {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39},
    {"mt", 0x3A}, {"ga", 0x3C}, {"ms", 0x3E}, {"kk", 0x3F}, {"sw", 0x41}, {"bn", 0x45},
    {"ta", 0x49}, {"gl", 0x56}, {"cy", 0x52},
};

struct SubLanguage {
    std::uint16_t primary;
    const char* country;
    std::uint16_t sub;
};

// The countries whose sub-language is not the default one (1).
constexpr SubLanguage kSub[] = {
    {0x01, "IQ", 2},  {0x01, "EG", 3},  {0x01, "MA", 6},  {0x01, "AE", 14},
    {0x04, "TW", 1},  {0x04, "CN", 2},  {0x04, "HK", 3},  {0x04, "SG", 4},
    {0x07, "CH", 2},  {0x07, "AT", 3},  {0x07, "LU", 4},  {0x07, "LI", 5},
    {0x09, "US", 1},  {0x09, "GB", 2},  {0x09, "AU", 3},  {0x09, "CA", 4},
    {0x09, "NZ", 5},  {0x09, "IE", 6},  {0x09, "ZA", 7},  {0x09, "JM", 8},
    {0x09, "BZ", 10}, {0x09, "TT", 11}, {0x09, "ZW", 12}, {0x09, "PH", 13},
    {0x09, "IN", 16}, {0x09, "MY", 17}, {0x09, "SG", 18},
    {0x0A, "ES", 3},  {0x0A, "MX", 2},  {0x0A, "GT", 4},  {0x0A, "CR", 5},
    {0x0A, "PA", 6},  {0x0A, "DO", 7},  {0x0A, "VE", 8},  {0x0A, "CO", 9},
    {0x0A, "PE", 10}, {0x0A, "AR", 11}, {0x0A, "EC", 12}, {0x0A, "CL", 13},
    {0x0A, "UY", 14}, {0x0A, "PY", 15}, {0x0A, "BO", 16}, {0x0A, "SV", 17},
    {0x0A, "HN", 18}, {0x0A, "NI", 19}, {0x0A, "PR", 20}, {0x0A, "US", 21},
    {0x0C, "BE", 2},  {0x0C, "CA", 3},  {0x0C, "CH", 4},  {0x0C, "LU", 5},
    {0x0C, "MC", 6},  {0x10, "CH", 2},  {0x13, "BE", 2},  {0x16, "BR", 1},
    {0x16, "PT", 2},  {0x1D, "FI", 2},  {0x1A, "RS", 3},  {0x1A, "BA", 4},
};

}  // namespace

std::uint16_t LanguageIdFromLocale(std::string_view locale) {
    const std::size_t end = locale.find_first_of(".@");
    const std::string name(locale.substr(0, end));
    if (name.empty() || name == "C" || name == "POSIX") return 0x0409;
    const std::size_t sep = name.find_first_of("_-");
    const std::string language = LowerCase(name.substr(0, sep));
    const std::string country = sep == std::string::npos ? std::string() : UpperCase(name.substr(sep + 1));
    std::uint16_t primary = 0;
    for (const auto& entry : kPrimary) {
        if (language == entry.code) {
            primary = entry.primary;
            break;
        }
    }
    if (primary == 0) return 0;
    std::uint16_t sub = 1;
    for (const auto& entry : kSub) {
        if (entry.primary == primary && country == entry.country) {
            sub = entry.sub;
            break;
        }
    }
    return static_cast<std::uint16_t>(sub << 10 | primary);
}

std::uint16_t UserDefaultLangID() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return LanguageIdFromLocale(value);
    }
    return LanguageIdFromLocale({});
}

}  // namespace vemra
