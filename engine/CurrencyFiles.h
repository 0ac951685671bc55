#pragma once
// The currency configuration file (which currencies exist and how each is written), the
// currency-name files (names per language) and currency definition files (".vcd", dated
// copies of the configuration made before each removal and import). Every call that
// changes a file writes it whole, once, by an atomic replace.

#include <string>

#include "CurrencyList.h"

namespace vemra {

// PubData/<default configuration name>: the default of the setting "VMRConfigFile".
std::string DefaultCurrencyConfigFileName();
// PubData/<default names>: the names file of a language that has none of its own.
std::string DefaultCurrencyNamesFileName();
// PubData/<language>.vcn, or the default names file when that does not exist.
std::string CurrencyNameFileName(const std::string& languageName);
// "<configuration file> - copy - yymmdd.vcd" of today, in the configuration file's folder.
std::string DefinitionCopyName(const std::string& configFileName);

// Rebuilds the list from the configuration file and the current language's names. True
// when the file's VMG TYPE is "CONFIG".
bool LoadCurrencyNames(TCurrencyChangeList& list, const std::string& fileName);
// Writes the list (and the favourites) to the configuration file (empty name = the list's
// own) and the names to the currency-name file. False when a file could not be written.
bool SaveCurrencyConfig(TCurrencyChangeList& list, const std::string& fileName = {});
// The file side of removing a currency: the dated copy, then the code's lines go from the
// configuration file. False when the file could not be written.
bool RemoveCurrencyFromConfig(TCurrencyChangeList& list, const std::string& code);
// Merges the currency lines of another configuration file into the configuration file.
// True when merged; message then holds the counts (message 48), else the reason.
bool ImportCurrencyDefinitions(TCurrencyChangeList& list, const std::string& fileName, std::string& message,
                               int& replaced, int& added);

}  // namespace vemra
