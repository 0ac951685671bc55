#include "CurrencyConverter.h"

#include <climits>
#include <cmath>

#include "RateFile.h"
#include "TimeUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vemra {

namespace {

NullEngineHost nullHost;
NullRateSourceHost nullRateSources;

constexpr const char* AmountSpec = "%.*n";

int PowerOfTen(int decimals) {
    const long double power = TCurrencyConverter::IntPower(10.0L, decimals);
    return power >= static_cast<long double>(INT_MAX) ? INT_MAX : static_cast<int>(power);
}

std::uint32_t AgeColor(int age) {
    switch (age) {
        case 0: return AgeColorFixed;
        case 1: return AgeColorCurrent;
        case 2: return AgeColorOld;
        default: return AgeColorUnknown;
    }
}

// The rate of the currency rec is tied to; 0 when it has none.
double ReferenceRate(const TCurrencyChangeList& list, const TCurrencyRec& rec) {
    const TCurrencyRec* ref = list.GetCurrency(rec.RefIndex);
    return ref != nullptr ? ref->Rate : 0.0;
}

// q := n / d; a divisor of 0 is a fault.
bool Divide(double n, double d, double& q) {
    if (d == 0) return false;
    q = n / d;
    return true;
}

// The amount by the formula of kind, on the given records. A tied side goes through its
// reference's rate, which is 1 when the reference is the base currency of the loaded file.
bool ApplyPath(const TCurrencyChangeList& list, std::uint8_t kind, double a, const TCurrencyRec* s,
               const TCurrencyRec& t, double& v) {
    const bool needsSource = kind >= rpSourceTied && kind != rpTargetTied && kind != rpFromBase;
    if (needsSource && s == nullptr) return false;
    double x = 0;
    switch (kind) {
        case rpNone: v = 0; return true;
        case rpSame: v = a; return true;
        case rpSourceTied: return Divide(a, s->Factor, v);
        case rpTargetTied: v = a * t.Factor; return true;
        case rpSameRef: if (!Divide(a, s->Factor, x)) return false; v = x * t.Factor; return true;
        case rpSourceRef:
            if (!Divide(a, s->Factor * ReferenceRate(list, *s), x)) return false;
            v = x * t.Rate;
            return true;
        case rpTargetRef:
            if (!Divide(a, s->Rate, x)) return false;
            v = x * ReferenceRate(list, t) * t.Factor;
            return true;
        case rpToBase: return Divide(a, s->Rate, v);
        case rpFromBase: v = a * t.Rate; return true;
        case rpCross: if (!Divide(a, s->Rate, x)) return false; v = x * t.Rate; return true;
        default: return false;
    }
}

}  // namespace

IEngineHost& HostOf(const TCurrencyChangeList& list) {
    return list.Converter() != nullptr ? list.Converter()->Host() : nullHost;
}

IRateSourceHost& RateSourcesOf(const TCurrencyChangeList& list) {
    return list.Converter() != nullptr ? list.Converter()->RateSources() : nullRateSources;
}

TCurrencyConverter::TCurrencyConverter()
    : host_(&nullHost), rateSources_(&nullRateSources), currencies_(this), userCurrencies_(&currencies_) {
    packedLog_.SetRenderer([this](std::string_view record, std::string& line) { RenderRateLogLine(record, line); });
}

TCurrencyConverter::~TCurrencyConverter() = default;

void TCurrencyConverter::SetHost(IEngineHost* host) { host_ = host != nullptr ? host : &nullHost; }

void TCurrencyConverter::SetRateSources(IRateSourceHost* rateSources) {
    rateSources_ = rateSources != nullptr ? rateSources : &nullRateSources;
}

// ---- the pair ----

TCurrencyConverter::SideData TCurrencyConverter::SideOf(int position) const {
    const TCurrencyRec* rec = currencies_.GetCurrency(position);
    if (rec == nullptr) return {AmountSpec, NoCurrency, 2, 100};
    std::string pattern = rec->SymbolSide == 'L' ? rec->Symbol + AmountSpec : AmountSpec + rec->Symbol;
    return {std::move(pattern), rec->RefIndex, rec->Decimals, PowerOfTen(rec->Decimals)};
}

int TCurrencyConverter::PositionOf(const std::string& code) const {
    int index = 0;
    return currencies_.Find(code, index) ? index : NoCurrency;
}

// An unknown code clears the side but leaves the code last set.
void TCurrencyConverter::SetFromCurrency(const std::string& code) {
    const int index = PositionOf(code);
    SetFromIndex(index);
    if (index != NoCurrency) sourceCode_ = code;
}

void TCurrencyConverter::SetToCurrency(const std::string& code) {
    const int index = PositionOf(code);
    SetToIndex(index);
    if (index != NoCurrency) targetCode_ = code;
}

void TCurrencyConverter::SetFromIndex(int position) {
    sourceIndex_ = position;
    source_ = SideOf(position);
    UpdatePair();
}

void TCurrencyConverter::SetToIndex(int position) {
    targetIndex_ = position;
    target_ = SideOf(position);
    UpdatePair();
}

void TCurrencyConverter::UpdatePair() {
    pathKind_ = RatePath(sourceIndex_, targetIndex_);
    indicatorColor_ = RateAgeColor(sourceIndex_, targetIndex_);
}

std::string TCurrencyConverter::PairLabel() const { return sourceCode_ + " > " + targetCode_; }

// ---- arithmetic ----

std::uint8_t TCurrencyConverter::RatePath(int source, int target) const {
    if (source >= NoCurrency || target >= NoCurrency) return rpNone;
    if (source == target) return rpSame;
    const TCurrencyRec* s = currencies_.GetCurrency(source);
    const TCurrencyRec* t = currencies_.GetCurrency(target);
    if (s == nullptr || t == nullptr) return rpNone;
    if (s->RefIndex == t->RefIndex) {
        if (s->RefIndex != NoCurrency) return rpSameRef;
        if (target == currencies_.BaseIndex) return rpToBase;
        if (source == currencies_.BaseIndex) return rpFromBase;
        return rpCross;
    }
    if (s->RefIndex == target) return rpSourceTied;
    if (t->RefIndex == source) return rpTargetTied;
    if (s->RefIndex != NoCurrency) return rpSourceRef;
    return rpTargetRef;
}

bool TCurrencyConverter::ConvertAmount(double amount, double& result, std::uint8_t kind) const {
    if (kind == rpNone) kind = pathKind_;
    result = 0;
    const TCurrencyRec* target = currencies_.GetCurrency(targetIndex_);
    if (target == nullptr) return false;
    const TCurrencyRec* source = currencies_.GetCurrency(sourceIndex_);
    double value = 0;
    if (!ApplyPath(currencies_, kind, amount, source, *target, value) || !std::isfinite(value)) return false;
    result = value;
    return true;
}

double TCurrencyConverter::GetRate(int source, int target) const {
    double rate = 0;
    return ConvertAmount(1.0, rate, RatePath(source, target)) ? rate : 1.0;
}

int TCurrencyConverter::RateAge(const TCurrencyChangeList& list, int position) const {
    if (list.RateDate <= 0) return 3;
    const TCurrencyRec* rec = list.GetCurrency(position);
    if (rec == nullptr) return 3;
    if (rec->RefIndex != NoCurrency) return 0;
    const TDateTime published = list.RateDate - rateSources_->SelectedZoneHours() * OneHour;
    // Whole milliseconds, so that exactly one or two days compare as such.
    const double ageMs = std::round((LocalToGMT(Now()) - published) * MSecsPerDay);
    if (ageMs <= MSecsPerDay) return 1;
    if (ageMs < 2 * MSecsPerDay) return 2;
    return 3;
}

int TCurrencyConverter::PairRateAge(int source, int target) const {
    switch (pathKind_) {
        case rpSame: case rpSourceTied: case rpTargetTied: case rpSameRef: return 0;
        case rpSourceRef: case rpFromBase: return RateAge(currencies_, target);
        case rpTargetRef: case rpToBase: return RateAge(currencies_, source);
        case rpCross: {
            const int s = RateAge(currencies_, source);
            const int t = RateAge(currencies_, target);
            if (s == 3 || t == 3) return 3;
            return s == 1 && t == 1 ? 1 : 2;
        }
        default: return 3;  // no path: nothing to trust
    }
}

std::uint32_t TCurrencyConverter::RateAgeColor(int source, int target) const {
    return AgeColor(PairRateAge(source, target));
}

std::string TCurrencyConverter::FormatAmount(double value, int maxDecimals, std::string_view format) {
    return FormatAmount(value, maxDecimals, format, FormatSettings);
}

std::string TCurrencyConverter::FormatAmount(double value, int maxDecimals, std::string_view format,
                                             const TFormatSettings& settings) {
    const std::string general = FloatToStrF(value, TFloatFormat::ffGeneral, 7, 0, settings);
    const std::size_t sep = general.find(settings.DecimalSeparator);
    int decimals = sep == std::string::npos ? 0 : static_cast<int>(general.size() - sep - 1);
    // Round once, at the tighter limit: the capped decimals, unless the value is too large
    // for 7 significant digits to reach the separator (1.0049996 with 2 decimals is 1.00).
    int precision = 7;
    if (decimals > maxDecimals && maxDecimals > 0) {
        decimals = maxDecimals;
        if (std::fabs(value) < 1e7) precision = 15;
    }
    std::string number = FloatToStrF(value, TFloatFormat::ffNumber, precision, decimals, settings);
    if (format.empty()) return number;
    // The number goes in place of the "%s" as plain text: the rest of the pattern holds a
    // currency symbol from a file the user may edit, and a "%" there is no format.
    const std::size_t at = format.find("%s");
    if (at == std::string_view::npos) return std::string(format);
    std::string text;
    text.reserve(format.size() + number.size());
    text.append(format.substr(0, at)).append(number).append(format.substr(at + 2));
    return text;
}

long double TCurrencyConverter::IntPower(long double base, int exponent) {
    unsigned long long n = exponent < 0 ? -static_cast<long long>(exponent) : exponent;
    long double result = 1.0L;
    while (n != 0) {
        if (n & 1U) result *= base;
        base *= base;
        n >>= 1U;
    }
    return exponent < 0 ? 1.0L / result : result;
}

TCurrencyRec* TCurrencyConverter::UserCurrency(int position) const { return userCurrencies_.GetCurrency(position); }

int TCurrencyConverter::ListItemObject(const TStringList& list, int position) {
    if (position < 0 || position >= list.Count()) return 0;
    return ObjectToInt(list.Objects(position));
}

bool TCurrencyConverter::LoadRateFileForDate(TDateTime date) {
    const std::string file = rateSources_->SelectedRateFileName(date);
    if (file.empty() || !FileExists(file)) return false;
    const bool loaded = LoadRateFile(currencies_, file);
    ++Table.HistoryFilesLoaded;
    return loaded;
}

}  // namespace vemra
