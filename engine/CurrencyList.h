#pragma once
// Currencies: one record per currency, the keyed list that owns them (with the state of the
// day rate file last loaded into it) and the filtered views that feed the currency lists of
// the windows. A currency is named everywhere by its position in the one list of the
// converter; NoCurrency means none.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

namespace vemra {

class TCurrencyConverter;

inline constexpr int NoCurrency = 65535;

// Integers kept in a string list's object slots (positions, rows, keys).
inline void* IntToObject(int value) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(value)); }
inline int ObjectToInt(const void* object) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(object));
}

struct TCurrencyRec {
    std::string Code;         // upper case, at most 3 characters; the key in list and files
    std::string DisplayCode;  // shown to the user and searched for in cell text
    std::string Name;         // in the user's language
    std::string Symbol;
    std::string RefCode;      // the currency this one is tied to; empty = none
    double Factor = 0;        // units of this currency per unit of the reference; 0 = not tied
    std::string FactorText;   // the factor as read; empty when it did not parse
    std::int32_t RefIndex = NoCurrency;
    double Rate = 0;          // units per unit of the loaded file's base currency; 0 = none
    std::uint8_t Decimals = 2;
    char SymbolSide = 'L';    // 'L' = symbol before the amount, anything else after it
};

// Strings: currency codes; objects: the records, held by the list. Sorted
// (case-insensitive), duplicate codes ignored. The codes are read like a string list's.
class TCurrencyChangeList {
public:
    explicit TCurrencyChangeList(TCurrencyConverter* converter = nullptr);
    virtual ~TCurrencyChangeList();
    TCurrencyChangeList(const TCurrencyChangeList&) = delete;
    TCurrencyChangeList& operator=(const TCurrencyChangeList&) = delete;

    // ---- the codes, as a string list reads them ----
    const TStringList& Codes() const { return items_; }
    int Count() const { return items_.Count(); }
    bool Empty() const { return items_.Empty(); }
    const std::string& operator[](int index) const { return items_[index]; }
    const std::string& Strings(int index) const { return items_[index]; }
    void* Objects(int index) const { return items_.Objects(index); }
    template <class T> T* ObjectAs(int index) const { return items_.ObjectAs<T>(index); }
    int IndexOf(std::string_view s) const { return items_.IndexOf(s); }
    bool Find(std::string_view s, int& index) const { return items_.Find(s, index); }
    TStringList::ItemRange Items() const { return items_.Items(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // The record of item i; nullptr when i is not a position of the list.
    virtual TCurrencyRec* GetCurrency(int i) const;
    double ItemRate(int i) const;  // 0 when i is not a position
    // Exact (case-sensitive) search over the records' codes; -1 when absent.
    int IndexOfCode(std::string_view code) const;
    // Takes the record under code (cut to 3); a code already listed keeps its record and
    // the new one is dropped. Returns the code's position.
    int AddCurrency(std::string_view code, std::unique_ptr<TCurrencyRec> record);
    // Drops the currency from the list, then from the configuration file (found or not).
    void RemoveCurrency(const std::string& code);
    // Disposes the records (not on a view) and empties the list.
    void Clear();
    // Ties every currency to its reference: rate := reference rate x factor (one pass).
    void ResolveReferenceRates();

    // The converter this list belongs to: favourites, messages, log, rate source.
    TCurrencyConverter* Converter() const { return converter_; }
    void SetConverter(TCurrencyConverter* converter) { converter_ = converter; }

    std::string ConfigFileName;  // configuration file last loaded from
    std::string RateFileName;    // day rate file last loaded
    TDateTime RateDate = 0;      // its date at the publication time; 0 = none
    float Factor = 0;            // its FACTOR
    std::string Provider;        // its PROVIDER (shortened for the tray tip)
    std::string ProviderCode;    // its CODE
    std::string BaseCode;        // its BASE
    std::string DateText;        // its DATE as written
    std::int32_t BaseIndex = NoCurrency;
    bool Modified = false;

protected:
    // A view: its items are texts with positions in another list; it holds no records.
    struct ViewTag {};
    TCurrencyChangeList(TCurrencyConverter* converter, ViewTag);
    TStringList& ViewItems() { return items_; }

private:
    TCurrencyConverter* converter_;
    TStringList items_;
    std::vector<std::unique_ptr<TCurrencyRec>> records_;  // the items' objects point into these
};

// A view onto a change list: strings are display texts, objects positions in the owner.
// Owns no records.
class TCurrencyUserList : public TCurrencyChangeList {
public:
    explicit TCurrencyUserList(TCurrencyChangeList* owner);

    TCurrencyRec* GetCurrency(int i) const override;
    // Rebuilds the view by FilterMode (0 own rates, 1 tied with their references,
    // 2 favourites) with texts in style 0 "code - name", 1 "name - code", 2 name, 3 code.
    void FillCurrencyNameList(int textStyle);

    TCurrencyChangeList* Owner() const { return owner_; }
    std::uint8_t FilterMode = 0;

private:
    TCurrencyChangeList* owner_;
};

}  // namespace vemra
