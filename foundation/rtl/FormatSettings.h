#pragma once
// TFormatSettings: the number and date conventions that formatting and parsing take instead
// of (or as) the user's locale. A separator of '\0' (or an empty thousands separator) means none.

#include <array>
#include <string>

namespace vemra {

struct TFormatSettings {
    std::string ThousandSeparator;  // may be several UTF-8 bytes (e.g. a narrow no-break space)
    char DecimalSeparator = '\0';
    char DateSeparator = '\0';
    char TimeSeparator = '\0';
    std::string ShortDateFormat;    // e.g. "dd/mm/yyyy"; "/" in it stands for DateSeparator
    std::string LongDateFormat;
    std::string ShortTimeFormat;    // e.g. "hh:nn"; ":" stands for TimeSeparator
    std::string LongTimeFormat;
    std::array<std::string, 7> ShortDayNames;  // Sunday first
    std::array<std::string, 7> LongDayNames;
    std::array<std::string, 12> ShortMonthNames;
    std::array<std::string, 12> LongMonthNames;
    int TwoDigitYearCenturyWindow = 0;
};

// The user's conventions, read once at start from the C library locale (LC_NUMERIC, LC_TIME)
// without changing the process locale. Tests may assign it.
// It starts as the "C" locale's record and is replaced by the environment's record during
// this library's static initialisation, before main.
extern TFormatSettings FormatSettings;

// Re-reads the environment's record into FormatSettings (GetLocaleFormatSettings("")).
void InitLocaleFormatSettings();

// Reads the record of a named locale ("" = the environment's, as setlocale would pick).
// Unknown names fall back to the "C" locale's conventions.
TFormatSettings GetLocaleFormatSettings(const std::string& localeName = {});

}  // namespace vemra
