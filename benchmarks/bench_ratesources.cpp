// The shipped rate-source libraries, loaded as vemra loads them:
// - the Russian bank's pre-clean on generated pages of 1, 4 and 16 MB (its time must grow
//   linearly: compare bytes_per_second);
// - one whole update (pre-clean, parse, date, read) from the largest page that is accepted;
// - the ECB history: bounds and one month from a history of the real size (the zip and the
//   CSV unpacked from it), and the bounds of a zip whose CSV expands to 250 MB (refused).
// PeakMB is the peak memory of one run, measured as the growth of the peak resident set in a
// forked child.
#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "HTMLConverterPlugInn.h"
#include "PeakMemory.h"
#include "vemra_ratesource.h"
#include "vmrconsts.h"

namespace {

using vemra::bench::PeakBytes;

namespace fs = std::filesystem;

// ---- the libraries and the scratch folder ----

const std::string& Scratch() {
    static const std::string folder = [] {
        const fs::path path = fs::temp_directory_path() / ("vemra-bench-ratesources-" + std::to_string(getpid()));
        fs::create_directories(path);
        std::atexit([] { fs::remove_all(Scratch()); });
        return path.string();
    }();
    return folder;
}

template <class F>
F Entry(const char* library, const char* name) {
    static std::map<std::string, void*> handles;
    void*& handle = handles[library];
    if (handle == nullptr) handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", library);
        std::exit(1);
    }
    return reinterpret_cast<F>(dlsym(handle, name));
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ---- the Russian bank's pages ----

// A page of the bank's format, size bytes or just under, with as many rates as fit.
std::string CbrPage(std::size_t size) {
    std::string page =
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?><ValCurs Date=\"17.01.2024\" name=\"Foreign Currency Market\">";
    const std::string tail = "</ValCurs>";
    for (int id = 0;; ++id) {
        const std::string code = std::string(1, static_cast<char>('A' + id % 26)) + static_cast<char>('A' + id / 26 % 26) + "X";
        const std::string value = std::to_string(1 + id % 97) + "," + std::to_string(1000 + id % 9000);
        const std::string valute = "<Valute ID=\"R" + std::to_string(10000 + id) + "\"><NumCode>" +
                                   std::to_string(100 + id % 900) + "</NumCode><CharCode>" + code +
                                   "</CharCode><Nominal>1</Nominal><Name>" + code + " unit</Name><Value>" + value +
                                   "</Value><VunitRate>" + value + "</VunitRate></Valute>";
        if (page.size() + valute.size() + tail.size() > size) break;
        page += valute;
    }
    return page + tail;
}

void BM_CbrPreClean(benchmark::State& state) {
    const std::string page = CbrPage(static_cast<std::size_t>(state.range(0)) * 1000 * 1000);
    const std::string file = Scratch() + "/Data.txt";
    const auto preClean = Entry<TSubscriptionPreClean>(VEMRA_CBR_RATESOURCE, "SubscriptionPreClean");
    for (auto _ : state) {
        state.PauseTiming();
        WriteFile(file, page);
        state.ResumeTiming();
        std::int32_t status = 0;
        preClean(file.c_str(), nullptr, &status);
        if (status != VEMRA_STATUS_OK) state.SkipWithError("page rejected");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
    state.counters["PageMB"] = static_cast<double>(page.size()) / 1e6;
    state.counters["PeakMB"] =
        static_cast<double>(PeakBytes([&] { WriteFile(file, page); },
                                      [&] {
                                          std::int32_t status = 0;
                                          preClean(file.c_str(), nullptr, &status);
                                      })) / 1e6;
}

// One update as the download step runs it, from the page already fetched into Data.txt.
void UpdateFromPage(const std::string& fetched) {
    vemra::PubData = Scratch();
    fs::create_directories(Scratch() + "/CBR");
    vemra::TStringList definition;
    definition.SetText(Entry<TSubscriptionInstall>(VEMRA_CBR_RATESOURCE, "SubscriptionInstall")());
    vemra::THTMLConverterPlugInn source(definition, "CBR");
    const std::string page = Scratch() + "/CBR/Data.txt";
    fs::copy_file(fetched, page, fs::copy_options::overwrite_existing);
    if (!source.LoadPluginLibrary(VEMRA_CBR_RATESOURCE) || !source.PreCleanPluginText(page)) std::abort();
    source.LoadHtmlPage(page);
    const vemra::TDateTime date = source.GetPageDate();
    if (date <= 0 || source.ExtractPageRates(date) != vemra::ExtractAllRead) std::abort();
    source.UnloadPluginLibrary();
}

void BM_UpdateFromLargestAcceptedPage(benchmark::State& state) {
    std::string page = CbrPage(vemra::MaxRatePageBytes - 64);
    page.resize(vemra::MaxRatePageBytes, ' ');
    const std::string fetched = Scratch() + "/fetched.xml";
    WriteFile(fetched, page);
    for (auto _ : state) UpdateFromPage(fetched);
    const double peak = static_cast<double>(PeakBytes([] {}, [&] { UpdateFromPage(fetched); }));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
    state.counters["PageMB"] = static_cast<double>(page.size()) / 1e6;
    state.counters["PeakMB"] = peak / 1e6;
    state.counters["PeakPerPageByte"] = peak / static_cast<double>(page.size());
}

// ---- the ECB's history ----

const char* const kHeader =
    "Date,USD,JPY,BGN,CYP,CZK,DKK,EEK,GBP,HUF,LTL,LVL,MTL,PLN,ROL,RON,SEK,SIT,SKK,CHF,ISK,NOK,HRK,RUB,TRL,TRY,"
    "AUD,BRL,CAD,CNY,HKD,IDR,ILS,INR,KRW,MXN,MYR,NZD,PHP,SGD,THB,ZAR,\n";

// The history line of the day number.
std::string HistoryLine(long day) {
    const long z = day - 25569 + 719468;  // from 1899-12-30 to the civil date
    const long era = z / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long d = doy - (153 * mp + 2) / 5 + 1;
    const long m = mp < 10 ? mp + 3 : mp - 9;
    const long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char date[32];
    std::snprintf(date, sizeof date, "%04ld-%02ld-%02ld", y, m, d);
    return std::string(date) +
           ",1.0945,159.71,1.9558,N/A,24.677,7.4571,N/A,0.85960,385.85,N/A,N/A,N/A,4.3763,N/A,4.9739,11.2815,N/A,"
           "N/A,0.9330,150.10,11.4175,N/A,N/A,N/A,32.8460,1.6488,5.3563,1.4681,7.8689,8.5557,17007.53,4.1170,"
           "90.8235,1437.84,18.6237,5.0940,1.7642,61.132,1.4627,38.562,20.5850,\n";
}

// A history CSV of lines days back from 2024-01-17, written as a plain file and as a zip,
// streaming: the text is never held whole.
void WriteHistory(const std::string& csv, const std::string& zip, long lines) {
    std::int64_t size = static_cast<std::int64_t>(std::string(kHeader).size());
    for (long k = 0; k < lines; ++k) size += static_cast<std::int64_t>(HistoryLine(45308 - k % 40000).size());
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_set_options(a, "zip:compression=deflate");
    archive_write_open_filename(a, zip.c_str());
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, "eurofxref-hist.csv");
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, size);
    archive_write_header(a, entry);
    std::ofstream plain;
    if (!csv.empty()) plain.open(csv, std::ios::binary | std::ios::trunc);
    std::string chunk = kHeader;
    for (long k = 0; k <= lines; ++k) {
        if (k < lines) chunk += HistoryLine(45308 - k % 40000);
        if (chunk.size() >= (1 << 20) || k == lines) {
            archive_write_data(a, chunk.data(), chunk.size());
            if (plain.is_open()) plain << chunk;
            chunk.clear();
        }
    }
    archive_entry_free(entry);
    archive_write_close(a);
    archive_write_free(a);
}

enum History { kRealZip, kRealCsv, kHugeZip };

const std::string& HistoryFile(History history) {
    static std::map<History, std::string> files;
    auto it = files.find(history);
    if (it != files.end()) return it->second;
    const std::string csv = Scratch() + "/eurofxref-hist.csv";
    const std::string zip = Scratch() + "/eurofxref-hist.zip";
    const std::string huge = Scratch() + "/huge-hist.zip";
    if (history == kHugeZip) {
        WriteHistory("", huge, 250L * 1000 * 1000 / 370);  // lines of about 370 bytes
    } else {
        WriteHistory(csv, zip, 6800);  // 1999 to 2024, the ECB's own size
    }
    files[kRealZip] = zip;
    files[kRealCsv] = csv;
    if (history == kHugeZip) files[kHugeZip] = huge;
    return files[history];
}

void Report(benchmark::State& state, const std::string& file, const std::function<void()>& run) {
    state.counters["FileMB"] = static_cast<double>(fs::file_size(file)) / 1e6;
    state.counters["PeakMB"] = static_cast<double>(PeakBytes([] {}, run)) / 1e6;
}

void BM_EcbHistoryBounds(benchmark::State& state, History history) {
    const std::string& file = HistoryFile(history);
    const auto bounds = Entry<THistoryDataSet>(VEMRA_ECB_RATESOURCE, "HistoryDataSet");
    const int expected = history == kHugeZip ? 0 : 1;
    const auto run = [&] {
        double first = 0;
        double last = 0;
        if (bounds(file.c_str(), &first, &last) != expected) std::abort();
    };
    for (auto _ : state) run();
    Report(state, file, run);
}

void BM_EcbHistoryMonth(benchmark::State& state, History history) {
    const std::string& file = HistoryFile(history);
    const auto month = Entry<THistoryDataGet>(VEMRA_ECB_RATESOURCE, "HistoryDataGet");
    const std::string folder = Scratch() + "/days";
    const auto run = [&] {
        fs::remove_all(folder);
        fs::create_directories(folder);
        if (month("ECB", folder.c_str(), file.c_str(), "[VMR]\r\nDATE=%s\r\n", 45300) != 1) std::abort();
    };
    for (auto _ : state) run();
    Report(state, file, run);
}

}  // namespace

BENCHMARK(BM_CbrPreClean)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateFromLargestAcceptedPage)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EcbHistoryBounds, real_size_zip, kRealZip)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EcbHistoryBounds, real_size_csv, kRealCsv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EcbHistoryMonth, real_size_zip, kRealZip)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EcbHistoryMonth, real_size_csv, kRealCsv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EcbHistoryBounds, zip_expanding_to_250MB, kHugeZip)->Unit(benchmark::kMillisecond);
