#include "ZEPHStrUtils.h"

#include <algorithm>

#include "rtl/SysUtils.h"

namespace vemra {

namespace {

// The scan works on 1-based positions p in a text of length L >= 1 and never passes L.
class Scanner {
public:
    Scanner(std::string_view text, const TCharSet& delims) : text_(text), delims_(delims) {}

    std::size_t Length() const { return text_.size(); }
    bool IsDelim(std::size_t p) const { return delims_[static_cast<unsigned char>(text_[p - 1])]; }

    // The first position from p whose byte is not a delimiter, or L.
    std::size_t SkipDelims(std::size_t p) const {
        while (IsDelim(p) && p < Length()) ++p;
        return p;
    }
    // The first position from p whose byte is a delimiter, or L.
    std::size_t SkipWord(std::size_t p) const {
        while (!IsDelim(p) && p < Length()) ++p;
        return p;
    }

private:
    std::string_view text_;
    const TCharSet& delims_;
};

}  // namespace

TCharSet MakeCharSet(std::string_view chars) {
    TCharSet set;
    for (char c : chars) set.set(static_cast<unsigned char>(c));
    return set;
}

TCharSet DefaultWordDelims() { return MakeCharSet(" ,-.:;"); }

TStringCutter::TStringCutter(const TCharSet& delimiters)
    : Delimiters(delimiters.none() ? DefaultWordDelims() : delimiters) {}

int TStringCutter::Count() const { return WordCount(Text, Delimiters); }

std::string TStringCutter::Word(int n) const { return ExtractWord(Text, n, Delimiters); }

int WordCount(std::string_view text, const TCharSet& delims) {
    if (text.empty()) return 0;
    const Scanner scan(text, delims);
    int count = 0;
    std::size_t p = 1;
    do {
        p = scan.SkipDelims(p);
        if (!scan.IsDelim(p)) {
            p = scan.SkipWord(p);
            ++count;
        }
    } while (p != scan.Length());
    return count;
}

std::size_t WordPosition(std::string_view text, int n, const TCharSet& delims) {
    if (text.empty() || n < 1 || n > WordCount(text, delims)) return 0;
    const Scanner scan(text, delims);
    std::size_t p = 1;
    for (int k = 1; k < n; ++k) p = scan.SkipWord(scan.SkipDelims(p));
    return scan.SkipDelims(p);
}

std::string ExtractWord(std::string_view text, int n, const TCharSet& delims) {
    const std::size_t start = WordPosition(text, n, delims);
    if (start < 1) return {};
    const Scanner scan(text, delims);
    std::size_t end = scan.SkipWord(start);
    if (scan.IsDelim(end)) --end;
    if (end < start) return {};
    return std::string(text.substr(start - 1, end - start + 1));
}

int CountChar(char c, std::string_view text) {
    return static_cast<int>(std::count(text.begin(), text.end(), c));
}

std::string AddBackslash(std::string_view text, bool add) {
    std::string r(text);
    // Built paths use the platform separator, so the "backslash" added is the path delimiter.
    if (add && !r.empty() && r.back() != PathDelim) r += PathDelim;
    return r;
}

std::string DecodeLineMarks(std::string_view text) {
    return StringReplace(StringReplace(text, "||", "\r\n", rfReplaceAll), "_", " ", rfReplaceAll);
}

}  // namespace vemra
