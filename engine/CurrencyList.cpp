#include "CurrencyList.h"

#include <algorithm>
#include <vector>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "rtl/SysUtils.h"

namespace vemra {

namespace {

std::string CutCode(std::string_view code) { return std::string(code.substr(0, 3)); }

std::string ItemText(const TCurrencyRec& rec, int textStyle) {
    switch (textStyle) {
        case 0: return rec.DisplayCode + " - " + rec.Name;
        case 1: return rec.Name + " - " + rec.DisplayCode;
        case 2: return rec.Name;
        case 3: return rec.DisplayCode;
        default: return {};
    }
}

bool TakenByMode(const TCurrencyRec& rec, std::uint8_t mode, const TStringList* favorites) {
    switch (mode) {
        case 0: return rec.Factor == 0;
        case 1: return rec.Factor != 0;
        case 2: return favorites != nullptr && favorites->IndexOf(rec.Code) >= 0;
        default: return false;
    }
}

}  // namespace

// ---- TCurrencyChangeList ----

TCurrencyChangeList::TCurrencyChangeList(TCurrencyConverter* converter) : converter_(converter) {
    items_.SetDuplicates(TDuplicates::dupIgnore);
    items_.SetSorted(true);
}

TCurrencyChangeList::TCurrencyChangeList(TCurrencyConverter* converter, ViewTag) : converter_(converter) {
    BaseIndex = -1;
}

TCurrencyChangeList::~TCurrencyChangeList() = default;

TCurrencyRec* TCurrencyChangeList::GetCurrency(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return static_cast<TCurrencyRec*>(items_.Objects(i));
}

double TCurrencyChangeList::ItemRate(int i) const {
    const TCurrencyRec* rec = GetCurrency(i);
    return rec != nullptr ? rec->Rate : 0.0;
}

int TCurrencyChangeList::IndexOfCode(std::string_view code) const {
    const std::string_view key = code.substr(0, 3);
    for (int i = 0; i < Count(); ++i) {
        const TCurrencyRec* rec = GetCurrency(i);
        if (rec != nullptr && rec->Code == key) return i;
    }
    return -1;
}

int TCurrencyChangeList::AddCurrency(std::string_view code, std::unique_ptr<TCurrencyRec> record) {
    const int index = items_.AddObject(CutCode(code), record.get());
    if (items_.Objects(index) == record.get()) records_.push_back(std::move(record));
    Modified = true;
    return index;
}

void TCurrencyChangeList::RemoveCurrency(const std::string& code) {
    int index = 0;
    if (items_.Find(code, index)) {
        const void* rec = items_.Objects(index);
        items_.Delete(index);
        std::erase_if(records_, [rec](const std::unique_ptr<TCurrencyRec>& r) { return r.get() == rec; });
        Modified = true;
    }
    RemoveCurrencyFromConfig(*this, code);
}

void TCurrencyChangeList::Clear() {
    items_.Clear();
    records_.clear();
}

void TCurrencyChangeList::ResolveReferenceRates() {
    if (Empty()) {
        if (converter_ != nullptr) converter_->Host().ShowMessageText("No currencies on file");
        return;
    }
    for (int i = 0; i < Count(); ++i) {
        TCurrencyRec* rec = GetCurrency(i);
        int ref = 0;
        if (rec == nullptr || rec->RefCode.empty() || !Find(rec->RefCode, ref)) continue;
        rec->RefIndex = ref;
        rec->Rate = GetCurrency(ref)->Rate * rec->Factor;
    }
}

// ---- TCurrencyUserList ----

TCurrencyUserList::TCurrencyUserList(TCurrencyChangeList* owner)
    : TCurrencyChangeList(owner->Converter(), ViewTag{}), owner_(owner) {}

TCurrencyRec* TCurrencyUserList::GetCurrency(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return owner_->GetCurrency(ObjectToInt(Objects(i)));
}

void TCurrencyUserList::FillCurrencyNameList(int textStyle) {
    Clear();
    const TCurrencyConverter* converter = owner_->Converter();
    const TStringList* favorites = converter != nullptr ? &converter->Favorites() : nullptr;
    std::vector<std::string> refCodes;
    for (int i = 0; i < owner_->Count(); ++i) {
        const TCurrencyRec* rec = owner_->GetCurrency(i);
        if (rec == nullptr || !(rec->Rate > 0) || !TakenByMode(*rec, FilterMode, favorites)) continue;
        ViewItems().AddObject(ItemText(*rec, textStyle), IntToObject(i));
        if (std::find(refCodes.begin(), refCodes.end(), rec->RefCode) == refCodes.end())
            refCodes.push_back(rec->RefCode);
    }
    if (FilterMode != 1 || Empty()) return;
    for (const std::string& refCode : refCodes) {
        int ref = 0;
        if (owner_->Find(refCode, ref))
            ViewItems().AddObject(ItemText(*owner_->GetCurrency(ref), textStyle), IntToObject(ref));
    }
    ViewItems().Sort();
}

}  // namespace vemra
