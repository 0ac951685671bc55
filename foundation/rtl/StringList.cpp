#include "StringList.h"

#include <algorithm>
#include <stdexcept>

#include "SysUtils.h"

namespace vemra {

namespace {

constexpr const char* kSortedListError = "Operation not allowed on sorted list";

[[noreturn]] void IndexError(int index) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

bool NeedsQuotes(std::string_view s, char delimiter, char quote) {
    return std::any_of(s.begin(), s.end(),
                       [&](char c) { return IsBlankOrControl(c) || c == quote || c == delimiter; });
}

std::string Quoted(std::string_view s, char quote) {
    std::string r(1, quote);
    for (char c : s) {
        r += c;
        if (c == quote) r += quote;
    }
    r += quote;
    return r;
}

// Reads a quoted item starting at the opening quote; doubled quotes stand for one. An item
// without its closing quote takes the rest of the text.
std::string ExtractQuoted(std::string_view text, std::size_t& i, char quote) {
    std::string r;
    ++i;
    while (i < text.size()) {
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                r += quote;
                i += 2;
                continue;
            }
            ++i;
            return r;
        }
        r += text[i++];
    }
    return r;
}

}  // namespace

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
}

const std::string& TStringList::operator[](int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].str;
}

void TStringList::SetString(int index, std::string s) {
    if (sorted_) throw Exception(kSortedListError);
    CheckIndex(index);
    items_[static_cast<std::size_t>(index)].str = std::move(s);
}

void* TStringList::Objects(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].obj;
}

void TStringList::SetObject(int index, void* object) {
    CheckIndex(index);
    items_[static_cast<std::size_t>(index)].obj = object;
}

int TStringList::Add(std::string s) { return AddObject(std::move(s), nullptr); }

int TStringList::AddObject(std::string s, void* object) {
    int index = Count();
    if (sorted_ && Find(s, index)) {
        if (duplicates_ == TDuplicates::dupIgnore) return index;
        if (duplicates_ == TDuplicates::dupError) throw Exception("String list does not allow duplicates");
    }
    InsertItem(index, std::move(s), object);
    return index;
}

void TStringList::Insert(int index, std::string s, void* object) {
    if (sorted_) throw Exception(kSortedListError);
    if (index < 0 || index > Count()) IndexError(index);
    InsertItem(index, std::move(s), object);
}

void TStringList::InsertItem(int index, std::string s, void* object) {
    items_.insert(items_.begin() + index, Item{std::move(s), object});
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    items_.erase(items_.begin() + index);
}

void TStringList::Move(int from, int to) {
    if (from == to) return;
    if (sorted_) throw Exception(kSortedListError);
    CheckIndex(from);
    CheckIndex(to);
    Item item = std::move(items_[static_cast<std::size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
}

void TStringList::Exchange(int a, int b) {
    CheckIndex(a);
    CheckIndex(b);
    std::swap(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]);
}

void TStringList::Clear() { items_.clear(); }

void TStringList::Assign(const TStringList& other) {
    if (&other == this) return;
    Clear();
    AddStrings(other);
}

void TStringList::AddStrings(const TStringList& other) {
    const std::vector<Item> copy = other.items_;  // other may be this list
    if (!sorted_) {
        items_.insert(items_.end(), copy.begin(), copy.end());
        return;
    }
    for (const Item& item : copy) AddObject(item.str, item.obj);
}

int TStringList::IndexOf(std::string_view s) const {
    if (sorted_) {
        int index = 0;
        return Find(s, index) ? index : -1;
    }
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (Compare(items_[i].str, s) == 0) return static_cast<int>(i);
    return -1;
}

int TStringList::IndexOfObject(const void* object) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].obj == object) return static_cast<int>(i);
    return -1;
}

// Lower bound: among equal items the first one is found, and new equal items go before it.
bool TStringList::Find(std::string_view s, int& index) const {
    int lo = 0, hi = Count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (Compare(items_[static_cast<std::size_t>(mid)].str, s) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    index = lo;
    return lo < Count() && Compare(items_[static_cast<std::size_t>(lo)].str, s) == 0;
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !sorted_) Sort();
    sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool v) {
    if (v == caseSensitive_) return;
    caseSensitive_ = v;
    if (sorted_) Sort();
}

void TStringList::Sort() {
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const Item& a, const Item& b) { return Compare(a.str, b.str) < 0; });
}

int TStringList::Compare(std::string_view a, std::string_view b) const {
    return caseSensitive_ ? CompareStr(a, b) : CompareText(a, b);
}

std::string TStringList::Names(int index) const {
    const std::string& s = (*this)[index];
    const std::size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
    const std::string& s = (*this)[index];
    const std::size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

std::string TStringList::Values(std::string_view name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
        return;
    }
    std::string line = std::string(name).append("=").append(value);
    if (i < 0) {
        Add(std::move(line));
    } else if (sorted_) {  // the new line may belong elsewhere in the order
        Delete(i);
        Add(std::move(line));
    } else {
        SetString(i, std::move(line));
    }
}

int TStringList::IndexOfName(std::string_view name) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const std::string& s = items_[i].str;
        if (s.size() <= name.size() || s[name.size()] != '=') continue;
        const std::string_view head(s.data(), name.size());
        if (head.find('=') == std::string_view::npos && Compare(head, name) == 0) return static_cast<int>(i);
    }
    return -1;
}

std::string TStringList::CommaText() const { return DelimitedText(',', '"'); }

void TStringList::SetCommaText(std::string_view text) { SetDelimitedText(text, ',', '"', false); }

std::string TStringList::DelimitedText(char delimiter, char quote) const {
    // A single empty item must still read back as one item.
    if (items_.size() == 1 && items_[0].str.empty()) return std::string(2, quote);
    std::string r;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) r += delimiter;
        const std::string& s = items_[i].str;
        r += NeedsQuotes(s, delimiter, quote) ? Quoted(s, quote) : s;
    }
    return r;
}

void TStringList::SetDelimitedText(std::string_view text, char delimiter, char quote, bool strict) {
    Clear();
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (!strict && i < text.size() && IsBlankOrControl(text[i])) ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        if (text[i] == quote) {
            Add(ExtractQuoted(text, i, quote));
        } else {
            const std::size_t start = i;
            while (i < text.size() && text[i] != delimiter && (strict || !IsBlankOrControl(text[i]))) ++i;
            Add(std::string(text.substr(start, i - start)));
        }
        skipBlanks();
        if (i < text.size() && text[i] == delimiter) {
            ++i;
            if (i == text.size()) Add(std::string());  // a trailing delimiter ends with an empty item
            skipBlanks();
        }
    }
}

std::string TStringList::Text() const {
    std::size_t total = 0;
    for (const Item& item : items_) total += item.str.size() + LineBreak.size();
    std::string r;
    r.reserve(total);
    for (const Item& item : items_) r.append(item.str).append(LineBreak);
    return r;
}

void TStringList::SetText(std::string_view text) {
    Clear();
    for (std::string& line : SplitLines(text)) Add(std::move(line));
}

void TStringList::LoadFromFile(const std::string& path) { SetText(ReadFileBytes(path)); }

void TStringList::SaveToFile(const std::string& path) const { WriteFileAtomic(path, Text()); }

}  // namespace vemra
