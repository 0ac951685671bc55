// Loading a currency configuration of 170 currencies and a day rate file of 160 rates,
// plain and enciphered, and converting one amount. Allocations are counted by a replaced
// global operator new and reported per iteration.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "RateFile.h"
#include "StreamedIniFile.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace {

std::atomic<long long> allocations{0};

}  // namespace

// GCC takes the free() below for a mismatch with the operator new it can see inline.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using namespace vemra;

constexpr int CurrencyCount = 170;
constexpr int RateCount = 160;

std::string CodeOf(int i) {
    return {static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26), static_cast<char>('A' + i / 7 % 26)};
}

// A folder with the configuration, its names, and the day rate file in both forms.
struct Files {
    std::string folder;
    std::string config;
    std::string plainRates;
    std::string encipheredRates;

    Files() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vemra-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        PubData = folder;
        config = folder + "/currencies.vmg";
        std::string cfg = "[VMG]\r\nTYPE=CONFIG\r\n\r\n[CONFIG]\r\n";
        std::string names = "[CONFIG]\r\n";
        std::string data;
        for (int i = 0; i < CurrencyCount; ++i) {
            const std::string code = CodeOf(i);
            const std::string tie = i % 17 == 5 ? ";" + CodeOf(0) + ";1.95583" : "";  // some fixed links
            cfg += code + "=" + code + ";s" + std::to_string(i) + ";L;2" + tie + "\r\n";
            names += code + "=Currency number " + std::to_string(i) + "\r\n";
            if (i < RateCount) data += code + "=" + std::to_string(1.0 + i * 0.731) + "\r\n";
        }
        WriteFileAtomic(config, cfg);
        WriteFileAtomic(folder + "/ENG.vcn", names);
        const std::string header = "[VMR]\r\nTYPE=DATA\r\nPROVIDER=Benchmark Bank\r\nCODE=BBK\r\nDATE=2024.01.15\r\n";
        const std::string rates = header + "BASE=" + CodeOf(0) + "\r\nFACTOR=1\r\nLOGIC=1XNY\r\n\r\n[DATA]\r\n" + data;
        plainRates = folder + "/2024.01.15-BBK.vmr";
        WriteFileAtomic(plainRates, rates);
        std::filesystem::create_directory(folder + "/enc");
        encipheredRates = folder + "/enc/2024.01.15-BBK.vmr";
        StreamKeyProc = [](int index, std::string& key) { key = index == RateFileKeyIndex ? "bench-key" : ""; };
        TStreamedIniFile ini(RateFileKeyIndex, encipheredRates);
        ini.SetText(rates);
        ini.UpdateFile();
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

const Files& TheFiles() {
    static const Files files;
    return files;
}

class EnglishHost : public IEngineHost {
public:
    void ShowMessageText(const std::string&) override {}
    void WriteLogLine(const std::string&, const std::string&) override {}
    std::string GetMessageText(int) override { return "Vemra - %s%s %s"; }
    void SetTrayTip(const std::string&) override {}
    std::string LanguageName() override { return "ENG"; }
    std::string CurrencyConfigFileName() override { return TheFiles().config; }
};

void ReportAllocations(benchmark::State& state, long long before) {
    state.counters["allocs/iter"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
}

void BM_LoadCurrencyNames(benchmark::State& state) {
    EnglishHost host;
    TCurrencyConverter conv;
    conv.SetHost(&host);
    const long long before = allocations.load();
    for (auto _ : state) {
        const bool loaded = LoadCurrencyNames(conv.Currencies(), TheFiles().config);
        benchmark::DoNotOptimize(loaded);
    }
    ReportAllocations(state, before);
    if (conv.Currencies().Count() != CurrencyCount) state.SkipWithError("wrong currency count");
}
BENCHMARK(BM_LoadCurrencyNames)->Unit(benchmark::kMicrosecond);

void LoadRates(benchmark::State& state, const std::string& file) {
    EnglishHost host;
    TCurrencyConverter conv;
    conv.SetHost(&host);
    LoadCurrencyNames(conv.Currencies(), TheFiles().config);
    const long long before = allocations.load();
    for (auto _ : state) {
        const bool loaded = LoadRateFile(conv.Currencies(), file);
        benchmark::DoNotOptimize(loaded);
    }
    ReportAllocations(state, before);
    int withRate = 0;
    for (int i = 0; i < conv.Currencies().Count(); ++i) withRate += conv.Currencies().ItemRate(i) > 0;
    if (withRate < RateCount) state.SkipWithError("rates missing");
}

void BM_LoadRateFilePlain(benchmark::State& state) { LoadRates(state, TheFiles().plainRates); }
BENCHMARK(BM_LoadRateFilePlain)->Unit(benchmark::kMicrosecond);

void BM_LoadRateFileEnciphered(benchmark::State& state) { LoadRates(state, TheFiles().encipheredRates); }
BENCHMARK(BM_LoadRateFileEnciphered)->Unit(benchmark::kMicrosecond);

void BM_ConvertAmount(benchmark::State& state) {
    EnglishHost host;
    TCurrencyConverter conv;
    conv.SetHost(&host);
    LoadCurrencyNames(conv.Currencies(), TheFiles().config);
    LoadRateFile(conv.Currencies(), TheFiles().plainRates);
    conv.SetFromCurrency(CodeOf(41));
    conv.SetToCurrency(CodeOf(91));
    double amount = 100;
    const long long before = allocations.load();
    for (auto _ : state) {
        double result = 0;
        benchmark::DoNotOptimize(amount);
        const bool ok = conv.ConvertAmount(amount, result);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(result);
    }
    ReportAllocations(state, before);
    if (conv.PathKind() != rpCross) state.SkipWithError("not a cross path");
}
BENCHMARK(BM_ConvertAmount);

}  // namespace
