#include "FormatSettings.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>
#include <string_view>

#include "SysUtils.h"

namespace vemra {

namespace {

// The "C" locale's record.
TFormatSettings CLocaleRecord() {
    return TFormatSettings{
        "", '.', '/', ':', "mm/dd/yy", "", "hh:nn", "hh:nn:ss",
        {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
        {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
        {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
        {"January", "February", "March", "April", "May", "June", "July", "August", "September",
         "October", "November", "December"},
        50};
}

}  // namespace

// The environment's record replaces this one during static initialisation (below). It is not
// constinit: clang's library support cannot prove a record of strings constant. No other
// static initialiser of the system reads it.
TFormatSettings FormatSettings = CLocaleRecord();

namespace {

// A locale object for one category; closes itself.
class Locale {
public:
    Locale(int mask, const std::string& name) : loc_(newlocale(mask, name.c_str(), locale_t(nullptr))) {}
    ~Locale() {
        if (loc_ != locale_t(nullptr)) freelocale(loc_);
    }
    Locale(const Locale&) = delete;
    Locale& operator=(const Locale&) = delete;
    bool ok() const { return loc_ != locale_t(nullptr); }
    std::string Item(nl_item item) const {
        const char* s = nl_langinfo_l(item, loc_);
        return s ? s : "";
    }

private:
    locale_t loc_;
};

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

bool IsUtf8Name(std::string_view codeset) {
    std::string n;
    for (char c : codeset)
        if (c != '-' && c != '_') n += c;
    return SameText(n, "UTF8");
}

// Locale data comes in the locale's own character set; the record holds UTF-8.
std::string ToUtf8(const std::string& text, const std::string& codeset) {
    if (IsAscii(text) || IsUtf8Name(codeset)) return text;
    iconv_t cd = iconv_open("UTF-8", codeset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string in = text;
    std::string out(text.size() * 4 + 8, '\0');
    char* inp = in.data();
    char* outp = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    std::size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) return {};
    out.resize(out.size() - outLeft);
    return out;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSeparatorChar(char c) {
    return c > ' ' && c < 0x7f && !IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '"' && c != '\'';
}

// One strftime conversion of a date format in the class library's pattern letters.
std::string DateField(char conv, bool unpadded) {
    switch (conv) {
    case 'd': return unpadded ? "d" : "dd";
    case 'e': return "d";
    case 'm': return unpadded ? "m" : "mm";
    case 'Y': return "yyyy";
    case 'y': return "yy";
    case 'b':
    case 'h': return "mmm";
    case 'B': return "mmmm";
    case 'a': return "ddd";
    case 'A': return "dddd";
    case 'n':
    case 't': return " ";
    case '%': return "%";
    default: return {};
    }
}

std::string ExpandComposite(char conv) {
    switch (conv) {
    case 'F': return "%Y-%m-%d";
    case 'D': return "%m/%d/%y";
    case 'x': return "%m/%d/%y";
    case 'r': return "%I:%M:%S %p";
    case 'T': return "%H:%M:%S";
    case 'R': return "%H:%M";
    default: return {};
    }
}

// Walks a strftime format: calls field(conv, unpadded) for each conversion and
// literal(c) for each other byte. Composite conversions are expanded once.
template <class Field, class Literal>
void WalkStrftime(std::string_view fmt, Field field, Literal literal, int depth = 0) {
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%') {
            literal(fmt[i]);
            continue;
        }
        bool unpadded = false;
        ++i;
        while (i < fmt.size() && std::strchr("-_0^#", fmt[i]) != nullptr) {
            if (fmt[i] == '-' || fmt[i] == '_') unpadded = true;
            ++i;
        }
        while (i < fmt.size() && ((fmt[i] >= '0' && fmt[i] <= '9') || fmt[i] == 'E' || fmt[i] == 'O')) ++i;
        if (i >= fmt.size()) break;
        std::string composite = ExpandComposite(fmt[i]);
        if (!composite.empty() && depth == 0)
            WalkStrftime(composite, field, literal, depth + 1);
        else
            field(fmt[i], unpadded);
    }
}

// "%d.%m.%Y" -> "dd.mm.yyyy" with separator '.'; literal letters are quoted.
void TranslateDateFormat(std::string_view fmt, TFormatSettings& r) {
    std::string pattern;
    char separator = '\0';
    bool inWord = false;  // the pattern ends with a quoted run of letters
    auto field = [&](char conv, bool unpadded) {
        pattern += DateField(conv, unpadded);
        inWord = false;
    };
    auto literal = [&](char c) {
        if (IsAsciiLetter(c)) {
            if (inWord)
                pattern.insert(pattern.size() - 1, 1, c);
            else
                pattern += std::string("\"") + c + '"';
            inWord = true;
            return;
        }
        inWord = false;
        if (separator == '\0' && IsSeparatorChar(c)) separator = c;
        if (c == '"' || c == '\'') {  // a quote character, quoted with the other one
            pattern += c == '"' ? "'\"'" : "\"'\"";
            return;
        }
        pattern += c;
    };
    WalkStrftime(fmt, field, literal);
    if (pattern.empty()) return;
    r.ShortDateFormat = pattern;
    r.DateSeparator = separator != '\0' ? separator : '/';
}

// "%H:%M:%S" -> "hh:nn" and "hh:nn:ss"; the separator is the first one between the fields.
void TranslateTimeFormat(std::string_view fmt, TFormatSettings& r) {
    std::string hour;
    char separator = '\0';
    auto field = [&](char conv, bool unpadded) {
        if (hour.empty() && (conv == 'H' || conv == 'I')) hour.assign(unpadded ? 1 : 2, 'h');
        if (hour.empty() && (conv == 'k' || conv == 'l')) hour.assign(1, 'h');
    };
    auto literal = [&](char c) {
        if (!hour.empty() && separator == '\0' && IsSeparatorChar(c)) separator = c;
    };
    WalkStrftime(fmt, field, literal);
    if (hour.empty()) return;
    if (separator == '\0') separator = ':';
    r.TimeSeparator = separator;
    r.ShortTimeFormat = hour + separator + "nn";
    r.LongTimeFormat = hour + separator + "nn" + separator + "ss";
}

void ReadNumeric(const std::string& name, TFormatSettings& r) {
    Locale loc(LC_NUMERIC_MASK, name);
    if (!loc.ok()) return;
    std::string codeset = loc.Item(_NL_NUMERIC_CODESET);
    std::string radix = ToUtf8(loc.Item(RADIXCHAR), codeset);
    // The record holds one byte; a radix of several bytes cannot be represented.
    r.DecimalSeparator = radix.size() == 1 ? radix[0] : '.';
    r.ThousandSeparator = ToUtf8(loc.Item(THOUSEP), codeset);
}

void ReadTime(const std::string& name, TFormatSettings& r) {
    Locale loc(LC_TIME_MASK, name);
    if (!loc.ok()) return;
    std::string codeset = loc.Item(_NL_TIME_CODESET);
    auto item = [&](nl_item it) { return ToUtf8(loc.Item(it), codeset); };
    TranslateDateFormat(item(D_FMT), r);
    TranslateTimeFormat(item(T_FMT), r);
    for (int i = 0; i < 7; ++i) {
        r.ShortDayNames[i] = item(ABDAY_1 + i);
        r.LongDayNames[i] = item(DAY_1 + i);
    }
    for (int i = 0; i < 12; ++i) {
        r.ShortMonthNames[i] = item(ABMON_1 + i);
        r.LongMonthNames[i] = item(MON_1 + i);
    }
}

[[maybe_unused]] const bool localeRead = (InitLocaleFormatSettings(), true);

}  // namespace

TFormatSettings GetLocaleFormatSettings(const std::string& localeName) {
    TFormatSettings r = CLocaleRecord();
    ReadNumeric(localeName, r);
    ReadTime(localeName, r);
    return r;
}

void InitLocaleFormatSettings() { FormatSettings = GetLocaleFormatSettings(""); }

}  // namespace vemra
