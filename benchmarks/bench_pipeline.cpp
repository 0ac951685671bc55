// Conversion runs over plain texts and TAB tables of growing size, and over a dated table
// whose rows load their own day rate files. Reports cells per second; the cost per cell
// should stay flat as the input grows. The memory runs report what a run holds per cell:
// the peak RSS growth of a forked child and the peak of the heap bytes it has live.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <filesystem>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "EngineHost.h"
#include "MessageNumbers.h"
#include "PipelineHost.h"
#include "RateFile.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/FormatSettings.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

// Heap bytes live while counting is on (malloc's usable sizes, so its rounding counts).
namespace heap_count {
std::atomic<bool> on{false};
std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void Allocated(void* p) {
    if (p == nullptr || !on.load(std::memory_order_relaxed)) return;
    const long long now = live.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                          static_cast<long long>(malloc_usable_size(p));
    long long seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}
void Freed(void* p) {
    if (p != nullptr && on.load(std::memory_order_relaxed))
        live.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
}
void* Allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    Allocated(p);
    return p;
}
void Release(void* p) {
    Freed(p);
    std::free(p);
}
}  // namespace heap_count

void* operator new(std::size_t size) { return heap_count::Allocate(size); }
void* operator new[](std::size_t size) { return heap_count::Allocate(size); }
void operator delete(void* p) noexcept { heap_count::Release(p); }
void operator delete[](void* p) noexcept { heap_count::Release(p); }
void operator delete(void* p, std::size_t) noexcept { heap_count::Release(p); }
void operator delete[](void* p, std::size_t) noexcept { heap_count::Release(p); }

namespace vemra {
namespace {

constexpr int DayFiles = 250;
constexpr int DatedRows = 2000;
const char* const Codes[] = {"USD", "GBP", "JPY", "CHF", "SEK", "NOK", "DKK", "CAD", "AUD"};

class BenchHosts final : public IEngineHost, public IRateSourceHost, public IPipelineHost {
public:
    // IEngineHost
    void ShowMessageText(const std::string&) override {}
    void WriteLogLine(const std::string&, const std::string&) override {}
    std::string GetMessageText(int number) override {
        switch (number) {
            case msg::EmptyCell: return "Empty";
            case msg::ConverterOn: case msg::ConverterOff: return "%s%s %s";
            case msg::WarningCount: case msg::SplitProgress: case msg::RecognitionProgress: return "%d";
            default: return "%s";
        }
    }
    void SetTrayTip(const std::string&) override {}
    std::string LanguageName() override { return "ENG"; }
    std::string CurrencyConfigFileName() override { return {}; }
    // IRateSourceHost
    std::string SelectedCode() override { return "ECB"; }
    std::string SelectedPublisher() override { return "Bench Bank"; }
    int SelectedPublicationMinute() override { return 0; }
    int SelectedZoneHours() override { return 0; }
    std::string SelectedRateFileName(TDateTime date) override { return DatedRateFileName("ECB", Folder, date); }
    std::string LastRateFile() override { return LastFile; }
    void SetLastRateFile(const std::string& path) override { LastFile = path; }
    void SaveCurrentPluginDefinition() override {}
    // IPipelineHost
    TStringList& MEINN() override { return Input; }
    TStringList& MeClip() override { return Clip; }
    TStringList& MEOUT() override { return Output; }
    TStringList& ResultLines() override { return Result; }
    bool OutputMemoReady() override { return true; }
    void MEINNChange() override {}
    int RGFormatIndex() override { return 0; }
    int cbFormatIndex() override { return 0; }
    int cbDesambiIndex() override { return 0; }
    int cbDateDesambiIndex() override { return 0; }
    int cbBadDateMethodIndex() override { return 0; }
    int cbCrossTabSelIndex() override { return 0; }
    std::string EdFormatLeftText() override { return " ( "; }
    std::string EdFormatRightText() override { return " )"; }
    bool CalcProgressOpen() override { return progressOpen_; }
    void ShowCalcProgress(const std::string&) override { progressOpen_ = true; }
    void SetCalcProgressRange(const std::string&, int) override {}
    void SetProgress(int) override {}
    void RevealCalcProgress() override {}
    void CloseCalcProgress() override { progressOpen_ = false; }
    int CalcHintWidth(const std::string& text, int maxWidth) override {
        return std::min(6 * static_cast<int>(text.size()) + 5, maxWidth);
    }
    char LocaleDateSeparator() override { return '/'; }
    std::string LocaleDatePattern() override { return "dmy"; }
    int PluginSelectedIndex() override { return 0; }
    void SetPluginSelectedIndex(int) override {}
    bool HasCurrentPlugin() override { return true; }
    int IndexOfPlugin(const std::string& code) override { return code == "ECB" ? 0 : -1; }

    std::string Folder;
    std::string LastFile;
    TStringList Input, Clip, Output, Result;

private:
    bool progressOpen_ = false;
};

std::string RateFileText(TDateTime date, double shift) {
    std::string text = "[VMR]\nTYPE=DATA\nPROVIDER=Bench Bank\nCODE=ECB\nDATE=" + FormatDateStamp(date) +
                       "\nBASE=EUR\nFACTOR=1\nLOGIC=1XNY\n[DATA]\n";
    double rate = 1.1 + shift;
    for (const char* code : Codes) {
        text += std::string(code) + "=" + FormatFS(MdyFormat, "%.4f", rate) + "\n";
        rate *= 1.7;
    }
    return text;
}

// A converter over a temporary PubData with ten currencies, today's rates and 250 day
// rate files (2023.01.01 onwards).
class Bench {
public:
    Bench() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vemra-bench-XXXXXX").string();
        hosts.Folder = ::mkdtemp(pattern.data());
        PubData = hosts.Folder;
        FormatSettings = GetLocaleFormatSettings("C");
        FormatSettings.ThousandSeparator = ",";
        FormatSettings.DecimalSeparator = '.';
        std::string config = "[VMG]\nTYPE=CONFIG\n[CONFIG]\nEUR=EUR;E;L;2\n";
        std::string names = "[CONFIG]\nEUR=Euro\n";
        for (const char* code : Codes) {
            config += std::string(code) + "=" + code + ";" + code[0] + ";L;2\n";
            names += std::string(code) + "=Name of " + code + "\n";
        }
        WriteFileAtomic(hosts.Folder + "/currencies.vmg", config);
        WriteFileAtomic(hosts.Folder + "/ENG.vcn", names);
        for (int d = 0; d < DayFiles; ++d) {
            const TDateTime date = FirstDay() + d;
            WriteFileAtomic(DatedRateFileName("ECB", hosts.Folder, date), RateFileText(date, d * 0.001));
        }
        hosts.LastFile = DatedRateFileName("ECB", hosts.Folder, FirstDay() + DayFiles - 1);
        conv.SetHost(&hosts);
        conv.SetRateSources(&hosts);
        LoadCurrencyNames(conv.Currencies(), hosts.Folder + "/currencies.vmg");
        LoadRateFile(conv.Currencies(), hosts.LastFile);
        conv.SetFromCurrency("USD");
        conv.SetToCurrency("EUR");
    }
    ~Bench() {
        std::error_code ec;
        std::filesystem::remove_all(hosts.Folder, ec);
    }
    static TDateTime FirstDay() { return EncodeDate(2023, 1, 1); }

    BenchHosts hosts;
    TCurrencyConverter conv;
    TConversionRun run{conv, hosts};
};

Bench& Shared() {
    static Bench bench;
    return bench;
}

// Amount texts of every kind the classification tells apart, and some words.
std::string AmountText(int i) {
    switch (i % 8) {
        case 0: return Format("%d,%.2d", i % 9973, i % 100);
        case 1: return Format("%d.%.2d", i % 9973, i % 100);
        case 2: return Format("1.%.3d,50", i % 1000);
        case 3: return Format("%d", i % 100000);
        case 4: return Format("2,%.3d", i % 1000);
        case 5: return Format("%d GBP", i % 500);
        case 6: return "item";
        default: return Format("%d,5 JPY", i % 777);
    }
}

TStringList PlainInput(int cells) {
    TStringList lines;
    for (int i = 0; i < cells; ++i) lines.Add(AmountText(i));
    return lines;
}

// Ten columns: a label column and nine currencies in the header row.
TStringList TableInput(int cells) {
    constexpr int columns = 10;
    TStringList lines;
    std::string header = "Item";
    for (const char* code : Codes) header += std::string("\t") + code;
    lines.Add(header);
    for (int r = 1; r * columns < cells; ++r) {
        std::string line = "row " + std::to_string(r);
        for (int c = 1; c < columns; ++c) line.append("\t").append(AmountText(r * columns + c));
        lines.Add(line);
    }
    return lines;
}

// A date column over the 250 days (eight rows a day) and four currency columns.
TStringList DatedInput() {
    TStringList lines;
    lines.Add("DATE\tUSD\tGBP\tJPY\tCHF");
    for (int r = 0; r < DatedRows; ++r) {
        const TDateTime date = Bench::FirstDay() + r * DayFiles / DatedRows;
        std::string line = FormatDateTime("yyyy-mm-dd", date);
        for (int c = 1; c < 5; ++c) line.append("\t").append(Format("%d.%.2d", (r * 7 + c) % 5000, c * 11));
        lines.Add(line);
    }
    return lines;
}

void RunConversion(benchmark::State& state, const TStringList& input, bool asTable) {
    Bench& bench = Shared();
    for (auto _ : state) {
        state.PauseTiming();
        bench.hosts.Input = asTable ? TStringList() : input;
        bench.hosts.Clip = asTable ? input : TStringList();
        state.ResumeTiming();
        bench.run.DoConvert(asTable);
        benchmark::DoNotOptimize(bench.hosts.Result.Count());
    }
    state.SetItemsProcessed(state.iterations() * bench.run.CellCount);
    state.counters["cells"] = bench.run.CellCount;
    state.counters["unconverted"] = bench.run.UnconvertedCount;
}

void BM_PlainText(benchmark::State& state) {
    RunConversion(state, PlainInput(static_cast<int>(state.range(0))), false);
}

void BM_TabTable(benchmark::State& state) {
    RunConversion(state, TableInput(static_cast<int>(state.range(0))), true);
}

void BM_DatedTable(benchmark::State& state) {
    RunConversion(state, DatedInput(), true);
    state.counters["day files"] = Shared().conv.Table.HistoryFilesLoaded;
}

// A /proc/self/status value in bytes ("VmRSS", "VmHWM").
long long StatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0) return std::atoll(line.c_str() + key.size() + 1) * 1024;
    return 0;
}

// One run in a forked child, so that nothing the run leaves behind or the allocator keeps
// reaches the next measurement. The child starts from empty result lists.
void MeasureMemory(benchmark::State& state, const TStringList& input, bool asTable) {
    Bench& bench = Shared();
    long long result[3] = {0, 0, 0};  // RSS growth, heap peak, cells
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            bench.hosts.Input = asTable ? TStringList() : input;
            bench.hosts.Clip = asTable ? input : TStringList();
            // Fresh lists: room an earlier run left in them would hide what this one takes.
            bench.hosts.Output = TStringList();
            bench.hosts.Result = TStringList();
            bench.conv.ClearOutputLines();
            bench.conv.OutputLines() = TStringList();
            bench.conv.ClearLogBody();
            bench.conv.LogBody() = TStringList();
            bench.conv.Table.Cells = std::vector<CellInfo>();
            bench.conv.Table.BaseClasses = std::vector<std::uint8_t>();
            ::malloc_trim(0);
            std::ofstream("/proc/self/clear_refs") << "5";  // VmHWM := VmRSS
            const long long rss = StatusBytes("VmRSS");
            heap_count::on = true;
            bench.run.DoConvert(asTable);
            heap_count::on = false;
            const long long sent[3] = {StatusBytes("VmHWM") - rss, heap_count::peak.load(), bench.run.CellCount};
            const bool ok = ::write(fds[1], sent, sizeof sent) == static_cast<ssize_t>(sizeof sent);
            ::_exit(ok ? 0 : 1);
        }
        ::close(fds[1]);
        const bool ok = pid > 0 && ::read(fds[0], result, sizeof result) == static_cast<ssize_t>(sizeof result);
        ::close(fds[0]);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
        if (!ok) {
            state.SkipWithError("the measuring child failed");
            return;
        }
    }
    const double cells = result[2] > 0 ? static_cast<double>(result[2]) : 1.0;
    state.counters["cells"] = static_cast<double>(result[2]);
    state.counters["rss bytes/cell"] = static_cast<double>(result[0]) / cells;
    state.counters["heap bytes/cell"] = static_cast<double>(result[1]) / cells;
}

void BM_PlainTextMemory(benchmark::State& state) {
    MeasureMemory(state, PlainInput(static_cast<int>(state.range(0))), false);
}

void BM_TabTableMemory(benchmark::State& state) {
    MeasureMemory(state, TableInput(static_cast<int>(state.range(0))), true);
}

// 300,000 cells show the cost per cell beyond the point where a run's lists outgrow the
// processor caches (about 10,000 cells here).
BENCHMARK(BM_PlainText)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TabTable)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DatedTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTextMemory)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TabTableMemory)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vemra
