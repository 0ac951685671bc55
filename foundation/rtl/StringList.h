#pragma once
// TStringList: the class library's string list. An ordered list of strings, each with an
// untyped object pointer; optionally kept sorted (then Add inserts in order and duplicates
// are handled by Duplicates); name=value access; comma text; line text.
// Comparisons fold ASCII letters only when CaseSensitive is false (the default).

#include <atomic>
#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vemra {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
public:
    TStringList() = default;
    virtual ~TStringList() = default;
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList&) = default;
    TStringList(TStringList&&) noexcept = default;
    TStringList& operator=(TStringList&&) noexcept = default;

    int Count() const { return static_cast<int>(Strs().size()); }
    bool Empty() const { return Strs().empty(); }
    const std::string& operator[](int index) const;  // throws std::out_of_range ("List index out of bounds (%d)")
    const std::string& Strings(int index) const { return (*this)[index]; }
    void SetString(int index, std::string s);  // not allowed on a sorted list (throws Exception)
    void* Objects(int index) const;
    void SetObject(int index, void* object);
    template <class T> T* ObjectAs(int index) const { return static_cast<T*>(Objects(index)); }

    // Add returns the new index; on a sorted list with dupIgnore a duplicate returns the
    // existing index and adds nothing; with dupError it throws Exception("String list does not allow duplicates").
    int Add(std::string s);
    int AddObject(std::string s, void* object);
    void Insert(int index, std::string s, void* object = nullptr);  // not allowed on a sorted list
    void Delete(int index);
    void Move(int from, int to);
    void Exchange(int a, int b);
    void Clear();
    // Room for n items, so that filling a long list does not move it again and again.
    void SetCapacity(int n);
    void Assign(const TStringList& other);  // strings and objects; keeps this list's options
    void AddStrings(const TStringList& other);

    int IndexOf(std::string_view s) const;   // -1 when absent; binary search when sorted
    int IndexOfObject(const void* object) const;
    // Sorted lists: true when found, index = its position; else index = insertion point.
    bool Find(std::string_view s, int& index) const;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);  // sorting a list sorts it at once (stable)
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool v);  // re-sorts a sorted list
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    void Sort();
    int Compare(std::string_view a, std::string_view b) const;  // by the list's case rule

    // name=value access: the name is the text before the first '=', the value after it.
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    std::string Values(std::string_view name) const;  // "" when absent
    void SetValue(std::string_view name, std::string_view value);  // empty value deletes the line
    int IndexOfName(std::string_view name) const;     // by the list's case rule

    // Comma text: items separated by ','; an item holding a blank, ',', '"' or a control byte
    // is double-quoted with inner quotes doubled. Reading also splits at blanks outside quotes.
    std::string CommaText() const;
    void SetCommaText(std::string_view text);
    // Delimited text with a chosen delimiter and quote (StrictDelimiter: only the delimiter splits).
    std::string DelimitedText(char delimiter, char quote = '"') const;
    void SetDelimitedText(std::string_view text, char delimiter, char quote = '"', bool strict = false);

    // Every line followed by CR LF. Setting splits at CR LF, LF or CR.
    std::string Text() const;
    void SetText(std::string_view text);
    void LoadFromFile(const std::string& path);  // throws EInOutError when unreadable
    void SaveToFile(const std::string& path) const;  // atomic replace; throws EInOutError

    // An item as read: its string and its object.
    struct Item {
        const std::string& str;
        void* obj = nullptr;
    };
    class ItemRange {
    public:
        class iterator {
        public:
            using iterator_category = std::random_access_iterator_tag;
            using value_type = Item;
            using difference_type = std::ptrdiff_t;
            using reference = Item;
            using pointer = void;
            iterator() = default;
            iterator(const ItemRange& range, std::size_t i) : strs_(range.strs_), objs_(range.objs_), i_(i) {}
            Item operator*() const { return At(i_); }
            Item operator[](difference_type n) const { return At(i_ + static_cast<std::size_t>(n)); }
            iterator& operator++() { ++i_; return *this; }
            iterator operator++(int) { iterator t = *this; ++i_; return t; }
            iterator& operator--() { --i_; return *this; }
            iterator operator--(int) { iterator t = *this; --i_; return t; }
            iterator& operator+=(difference_type n) { i_ += static_cast<std::size_t>(n); return *this; }
            iterator& operator-=(difference_type n) { i_ -= static_cast<std::size_t>(n); return *this; }
            friend iterator operator+(iterator it, difference_type n) { return it += n; }
            friend iterator operator+(difference_type n, iterator it) { return it += n; }
            friend iterator operator-(iterator it, difference_type n) { return it -= n; }
            friend difference_type operator-(const iterator& a, const iterator& b) {
                return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
            }
            friend bool operator==(const iterator& a, const iterator& b) { return a.i_ == b.i_; }
            friend auto operator<=>(const iterator& a, const iterator& b) { return a.i_ <=> b.i_; }
        private:
            Item At(std::size_t i) const { return Item{(*strs_)[i], objs_->empty() ? nullptr : (*objs_)[i]}; }
            const std::vector<std::string>* strs_ = nullptr;
            const std::vector<void*>* objs_ = nullptr;
            std::size_t i_ = 0;
        };
        ItemRange(const std::vector<std::string>& strs, const std::vector<void*>& objs) : strs_(&strs), objs_(&objs) {}
        std::size_t size() const { return strs_->size(); }
        bool empty() const { return strs_->empty(); }
        Item operator[](std::size_t i) const { return Item{(*strs_)[i], objs_->empty() ? nullptr : (*objs_)[i]}; }
        iterator begin() const { return iterator(*this, 0); }
        iterator end() const { return iterator(*this, size()); }
    private:
        const std::vector<std::string>* strs_;
        const std::vector<void*>* objs_;
    };
    // Valid while the list is not changed; iterate it as a named value or straight in a for.
    ItemRange Items() const { return ItemRange(Strs(), Objs()); }
    ItemRange::iterator begin() const { return Items().begin(); }
    ItemRange::iterator end() const { return Items().end(); }

private:
    // The items, shared between copies of a list until one of them changes: handing a long
    // list to another holder costs nothing. Objects are kept only once one is set.
    struct Store {
        std::vector<std::string> strs;
        std::vector<void*> objs;  // empty while every object is nullptr, else one per string
    };
    const std::vector<std::string>& Strs() const { return store_ ? store_->strs : EmptyStore().strs; }
    const std::vector<void*>& Objs() const { return store_ ? store_->objs : EmptyStore().objs; }
    static const Store& EmptyStore();
    Store& Own();  // this list's own store, copied first when shared
    void InsertItem(int index, std::string s, void* object);
    void CheckIndex(int index) const;

    std::shared_ptr<Store> store_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

}  // namespace vemra
