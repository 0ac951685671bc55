#pragma once
// Day rate files: the rates one rate source published for one day. INI text, plain or
// enciphered (key index 5), with the header section "VMR" (TYPE, PROVIDER, CODE, DATE,
// BASE, FACTOR, LOGIC) and the section "DATA" of code=value lines.

#include <string>

#include "CurrencyList.h"
#include "rtl/DateUtils.h"

namespace vemra {

inline constexpr int RateFileKeyIndex = 5;

struct TRateFileHeader {
    std::string Provider;
    std::string ProviderCode;
    std::string DateText;
    TDateTime Date = 0;  // the full stamp, time included
};

// Sets every currency's rate from the file, the list's rate-file facts and the base
// currency, then ties the fixed references. True when a valid file with rates and a
// known BASE was loaded. Raises EConvertError for a DATE that is no date and
// Exception("Invalid factor") for an unreadable FACTOR.
bool LoadRateFile(TCurrencyChangeList& list, const std::string& fileName);
// Reads the header facts of a valid file; leaves them as given otherwise.
void ReadRateFileHeader(const std::string& fileName, TRateFileHeader& header);

}  // namespace vemra
