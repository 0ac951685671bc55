#include "StringList.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

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

const TStringList::Store& TStringList::EmptyStore() {
    static const Store empty;
    return empty;
}

TStringList::Store& TStringList::Own() {
    if (!store_) {
        store_ = std::make_shared<Store>();
    } else if (store_.use_count() > 1) {
        store_ = std::make_shared<Store>(*store_);
    } else {
        // Pairs with the release of the last other holder, which may have run on another thread.
        std::atomic_thread_fence(std::memory_order_acquire);
    }
    return *store_;
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
}

const std::string& TStringList::operator[](int index) const {
    CheckIndex(index);
    return Strs()[static_cast<std::size_t>(index)];
}

void TStringList::SetString(int index, std::string s) {
    if (sorted_) throw Exception(kSortedListError);
    CheckIndex(index);
    Own().strs[static_cast<std::size_t>(index)] = std::move(s);
}

void* TStringList::Objects(int index) const {
    CheckIndex(index);
    const std::vector<void*>& objs = Objs();
    return objs.empty() ? nullptr : objs[static_cast<std::size_t>(index)];
}

void TStringList::SetObject(int index, void* object) {
    CheckIndex(index);
    if (object == nullptr && Objs().empty()) return;
    Store& store = Own();
    if (store.objs.empty()) store.objs.assign(store.strs.size(), nullptr);
    store.objs[static_cast<std::size_t>(index)] = object;
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
    Store& store = Own();
    const bool withObjects = object != nullptr || !store.objs.empty();
    if (withObjects && store.objs.empty()) {
        store.objs.reserve(store.strs.capacity());
        store.objs.assign(store.strs.size(), nullptr);
    }
    store.strs.insert(store.strs.begin() + index, std::move(s));
    if (withObjects) store.objs.insert(store.objs.begin() + index, object);
}

void TStringList::SetCapacity(int n) {
    const std::size_t room = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (room <= Strs().capacity()) return;
    Store& store = Own();
    store.strs.reserve(room);
    if (!store.objs.empty()) store.objs.reserve(room);
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    Store& store = Own();
    store.strs.erase(store.strs.begin() + index);
    if (!store.objs.empty()) store.objs.erase(store.objs.begin() + index);
}

void TStringList::Move(int from, int to) {
    if (from == to) return;
    if (sorted_) throw Exception(kSortedListError);
    CheckIndex(from);
    CheckIndex(to);
    Store& store = Own();
    std::string s = std::move(store.strs[static_cast<std::size_t>(from)]);
    store.strs.erase(store.strs.begin() + from);
    store.strs.insert(store.strs.begin() + to, std::move(s));
    if (!store.objs.empty()) {
        void* object = store.objs[static_cast<std::size_t>(from)];
        store.objs.erase(store.objs.begin() + from);
        store.objs.insert(store.objs.begin() + to, object);
    }
}

void TStringList::Exchange(int a, int b) {
    CheckIndex(a);
    CheckIndex(b);
    if (a == b) return;
    Store& store = Own();
    std::swap(store.strs[static_cast<std::size_t>(a)], store.strs[static_cast<std::size_t>(b)]);
    if (!store.objs.empty()) std::swap(store.objs[static_cast<std::size_t>(a)], store.objs[static_cast<std::size_t>(b)]);
}

void TStringList::Clear() {
    if (store_.use_count() > 1) {
        store_.reset();
    } else if (store_) {
        store_->strs.clear();  // the room stays for the next filling
        store_->objs.clear();
    }
}

void TStringList::Assign(const TStringList& other) {
    if (&other == this) return;
    Clear();
    AddStrings(other);
}

void TStringList::AddStrings(const TStringList& other) {
    if (!sorted_ && Empty()) {
        store_ = other.store_;  // the same items in the same order: shared until one list changes
        return;
    }
    if (!other.store_ || other.Empty()) return;
    const Store* from = other.store_.get();
    Store self;
    if (&other == this) {  // the list adds itself: read from a copy
        self = *from;
        from = &self;
    }
    if (!sorted_) {
        Store& store = Own();
        const std::size_t before = store.strs.size();
        store.strs.insert(store.strs.end(), from->strs.begin(), from->strs.end());
        if (!from->objs.empty() || !store.objs.empty()) {
            store.objs.resize(before, nullptr);
            if (from->objs.empty())
                store.objs.resize(before + from->strs.size(), nullptr);
            else
                store.objs.insert(store.objs.end(), from->objs.begin(), from->objs.end());
        }
        return;
    }
    for (std::size_t i = 0; i < from->strs.size(); ++i)
        AddObject(from->strs[i], from->objs.empty() ? nullptr : from->objs[i]);
}

int TStringList::IndexOf(std::string_view s) const {
    if (sorted_) {
        int index = 0;
        return Find(s, index) ? index : -1;
    }
    const std::vector<std::string>& strs = Strs();
    for (std::size_t i = 0; i < strs.size(); ++i)
        if (Compare(strs[i], s) == 0) return static_cast<int>(i);
    return -1;
}

int TStringList::IndexOfObject(const void* object) const {
    const std::vector<void*>& objs = Objs();
    if (objs.empty()) return object == nullptr && !Empty() ? 0 : -1;
    for (std::size_t i = 0; i < objs.size(); ++i)
        if (objs[i] == object) return static_cast<int>(i);
    return -1;
}

// Lower bound: among equal items the first one is found, and new equal items go before it.
bool TStringList::Find(std::string_view s, int& index) const {
    int lo = 0, hi = Count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (Compare(Strs()[static_cast<std::size_t>(mid)], s) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    index = lo;
    return lo < Count() && Compare(Strs()[static_cast<std::size_t>(lo)], s) == 0;
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
    if (Count() < 2) return;
    Store& store = Own();
    if (store.objs.empty()) {
        std::stable_sort(store.strs.begin(), store.strs.end(),
                         [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
        return;
    }
    // Sorted by position, so that each string keeps its object.
    std::vector<std::size_t> order(store.strs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return Compare(store.strs[a], store.strs[b]) < 0; });
    Store sorted;
    sorted.strs.reserve(order.size());
    sorted.objs.reserve(order.size());
    for (std::size_t i : order) {
        sorted.strs.push_back(std::move(store.strs[i]));
        sorted.objs.push_back(store.objs[i]);
    }
    store = std::move(sorted);
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
    const std::vector<std::string>& strs = Strs();
    for (std::size_t i = 0; i < strs.size(); ++i) {
        const std::string& s = strs[i];
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
    const std::vector<std::string>& strs = Strs();
    if (strs.size() == 1 && strs[0].empty()) return std::string(2, quote);
    std::string r;
    for (std::size_t i = 0; i < strs.size(); ++i) {
        if (i > 0) r += delimiter;
        const std::string& s = strs[i];
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
    for (const std::string& s : Strs()) total += s.size() + LineBreak.size();
    std::string r;
    r.reserve(total);
    for (const std::string& s : Strs()) r.append(s).append(LineBreak);
    return r;
}

void TStringList::SetText(std::string_view text) {
    Clear();
    for (std::string& line : SplitLines(text)) Add(std::move(line));
}

void TStringList::LoadFromFile(const std::string& path) { SetText(ReadFileBytes(path)); }

void TStringList::SaveToFile(const std::string& path) const { WriteFileAtomic(path, Text()); }

}  // namespace vemra
