// ParseHTML against libxml2's HTML parser on three generated pages: a 2 MB exchange-rate
// page (navigation, scripts, a 40-row rate table), a 20 MB page with one table of 200,000
// rows by 5 cells, and 5 MB of messy HTML. Each benchmark parses and frees the page; the
// counter PeakBytesPerInputByte is the peak memory of one parse and free, measured as the
// growth of the peak resident set in a forked child.
#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "PeakMemory.h"
#include "html/HTMLParser.h"

namespace {

using vemra::bench::PeakBytes;

// ---- inputs ----

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
    template <class T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(static_cast<int>(N))];
    }

private:
    std::uint64_t state_;
};

const char* const kWords[] = {"exchange", "rate", "euro", "reference", "market", "daily", "central", "bank",
                              "currency", "value", "change", "statistics", "data", "policy", "press", "release",
                              "annual", "report", "monetary", "payments", "figures", "latest", "update", "the",
                              "of", "and", "for", "in", "on", "with"};
const char* const kCodes[] = {"USD", "JPY", "BGN", "CZK", "DKK", "GBP", "HUF", "PLN", "RON", "SEK",
                              "CHF", "ISK", "NOK", "TRY", "AUD", "BRL", "CAD", "CNY", "HKD", "IDR"};

std::string Words(Random& r, int count) {
    std::string out;
    for (int k = 0; k < count; ++k) {
        if (k) out += ' ';
        out += r.Pick(kWords);
    }
    return out;
}

std::string Number(Random& r, int whole, int decimals) {
    std::string out = std::to_string(r.Below(whole)) + '.';
    for (int k = 0; k < decimals; ++k) out += static_cast<char>('0' + r.Below(10));
    return out;
}

void AppendScript(std::string& out, Random& r) {
    out += "<script type=\"text/javascript\">\r\n";
    for (int k = 0; k < 30; ++k) {
        out += "  var item" + std::to_string(k) + " = document.getElementById(\"nav-" + std::to_string(r.Below(500)) +
               "\");\r\n";
        out += "  if (item" + std::to_string(k) + " && width < " + std::to_string(r.Below(1200)) +
               ") { item" + std::to_string(k) + ".className = \"collapsed\"; }\r\n";
        out += "  for (var i = 0; i < list.length; i++) { total += list[i] > 0 ? list[i] : 0; }\r\n";
    }
    out += "</script>\r\n";
}

void AppendNavigation(std::string& out, Random& r, int sections) {
    out += "<nav class=\"main-navigation\" role=\"navigation\">\r\n<ul class=\"menu level-1\">\r\n";
    for (int s = 0; s < sections; ++s) {
        out += "<li class=\"menu-item has-children\"><a href=\"/section/" + std::to_string(s) +
               "/index.en.html\" title=\"" + Words(r, 3) + "\">" + Words(r, 2) + "</a>\r\n";
        out += "<ul class=\"menu level-2\">\r\n";
        for (int k = 0; k < 12; ++k)
            out += "<li class=\"menu-item\"><a href=\"/section/" + std::to_string(s) + "/page-" + std::to_string(k) +
                   ".en.html\">" + Words(r, 3) + "</a></li>\r\n";
        out += "</ul></li>\r\n";
    }
    out += "</ul>\r\n</nav>\r\n";
}

void AppendTeasers(std::string& out, Random& r, int count) {
    for (int k = 0; k < count; ++k) {
        out += "<div class=\"teaser\">\r\n<h3><a href=\"/press/pr/date/2024/html/pr" + std::to_string(k) + ".en.html\">" +
               Words(r, 5) + "</a></h3>\r\n<p class=\"date\">" + std::to_string(1 + r.Below(28)) +
               "&nbsp;March&nbsp;2024</p>\r\n<p>" + Words(r, 40) + " <b>" + Words(r, 2) + "</b> " + Words(r, 20) +
               "</p>\r\n</div>\r\n";
    }
}

void AppendRateTable(std::string& out, Random& r) {
    out += "<table class=\"forextable\">\r\n<thead><tr><th>Currency</th><th>Name</th><th>Spot</th><th>Change</th></tr>"
           "</thead>\r\n<tbody>\r\n";
    for (int k = 0; k < 40; ++k) {
        const char* code = kCodes[k % 20];
        out += "<tr>\r\n<td id=\"" + std::string(code) + "\" class=\"currency\"><a href=\"/stats/eurofxref/" + code +
               ".en.html\">" + code + "</a></td>\r\n<td class=\"alignLeft\">" + Words(r, 2) +
               "</td>\r\n<td class=\"spot number\"><a href=\"/stats/eurofxref/" + code + ".en.html\"><span class=\"rate\">" +
               Number(r, 100, 4) + "</span></a></td>\r\n<td><img src=\"/shared/img/" +
               (r.Below(2) ? "up" : "down") + ".gif\" alt=\"\"></td>\r\n</tr>\r\n";
    }
    out += "</tbody>\r\n</table>\r\n";
}

std::string RatePage() {
    Random r(1);
    std::string out;
    out.reserve(2'200'000);
    out += "<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\r\n"
           "<title>Euro foreign exchange reference rates</title>\r\n"
           "<link rel=\"stylesheet\" href=\"/shared/css/main.css?v=2024\">\r\n";
    for (int k = 0; k < 10; ++k) AppendScript(out, r);
    out += "</head>\r\n<body class=\"page rates\">\r\n<header>\r\n";
    AppendNavigation(out, r, 400);
    out += "</header>\r\n<main>\r\n<h1>Euro foreign exchange reference rates</h1>\r\n";
    AppendTeasers(out, r, 800);
    AppendRateTable(out, r);
    AppendTeasers(out, r, 800);
    out += "</main>\r\n<footer>\r\n";
    AppendNavigation(out, r, 200);
    while (out.size() < 2'080'000) AppendScript(out, r);
    out += "</footer>\r\n</body>\r\n</html>\r\n";
    return out;
}

std::string BigTable() {
    Random r(2);
    std::string out;
    out.reserve(21'000'000);
    out += "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>Rate history</title>\r\n</head>\r\n"
           "<body>\r\n<table class=\"history\">\r\n";
    char row[160];
    for (int k = 0; k < 200'000; ++k) {
        std::snprintf(row, sizeof row,
                      "<tr><td>%06d</td><td>20%02d-%02d-%02d</td><td>%s</td><td class=\"r\">%s</td><td>%s</td></tr>\r\n",
                      k, 10 + r.Below(15), 1 + r.Below(12), 1 + r.Below(28), r.Pick(kCodes), Number(r, 10, 6).c_str(),
                      Number(r, 10, 4).c_str());
        out += row;
    }
    out += "</table>\r\n</body>\r\n</html>\r\n";
    return out;
}

// Tag soup that both parsers must recover from, without nesting that grows with the size:
// unclosed p, li, td and tr, stray "<" and ">", stray end tags, misnested inline
// elements, unquoted attributes, upper-case tags, comments and CDATA sections.
std::string MessyHtml() {
    Random r(3);
    std::string out;
    out.reserve(5'400'000);
    out += "<html><head><meta charset=\"utf-8\"><title>Messy</title></head><body>\r\n";
    while (out.size() < 5'200'000) {
        switch (r.Below(10)) {
            case 0:
                out += "<p>" + Words(r, 12) + " > " + Words(r, 3) + " if a < b then " + Words(r, 8) + "\r\n";
                break;
            case 1:
                out += "<ul><li>" + Words(r, 3) + "<li>" + Words(r, 2) + "<LI>" + Words(r, 4) + "</ul>\r\n";
                break;
            case 2:
                out += "<table border=1><tr><td>" + Number(r, 1000, 2) + "<td>" + Words(r, 2) + "<tr><TD>" +
                       Number(r, 1000, 2) + "<td>&nbsp;</table>\r\n";
                break;
            case 3:
                out += "<!-- " + Words(r, 6) + " <b>old</b> markup > kept -->\r\n";
                break;
            case 4:
                out += "<![CDATA[ " + Words(r, 5) + " & raw data ]]>\r\n";
                break;
            case 5:
                out += "</span></font>" + Words(r, 4) + "</div>\r\n";
                break;
            case 6:
                out += "<FONT COLOR=red SIZE=2>" + Words(r, 5) + "<img src=pic" + std::to_string(r.Below(99)) +
                       ".png alt='a b'><br/></FONT>\r\n";
                break;
            case 7:
                out += "<div class='box'><span>" + Words(r, 3) + "<b>" + Words(r, 2) + "<i>" + Words(r, 2) +
                       "</b></i></span></div>\r\n";
                break;
            case 8:
                out += "<p>" + Words(r, 6) + " &amp; " + Words(r, 3) + " &copy; 2024 &euro; " + Number(r, 100, 2) +
                       "<p>" + Words(r, 10) + "\r\n";
                break;
            default:
                out += Words(r, 15) + " 3 >> 2 > 1\r\n";
                break;
        }
    }
    out += "</body></html>\r\n";
    return out;
}

enum Page { kRatePage, kBigTable, kMessy };

const std::string& Input(Page page) {
    static const std::string pages[] = {RatePage(), BigTable(), MessyHtml()};
    return pages[page];
}

// ---- peak memory ----


double PeakPerByte(const char* parser, Page page, const std::function<void()>& work) {
    static std::map<std::pair<std::string, int>, double> measured;
    const auto key = std::make_pair(std::string(parser), static_cast<int>(page));
    auto it = measured.find(key);
    if (it == measured.end())
        it = measured.emplace(key, static_cast<double>(PeakBytes(work)) / static_cast<double>(Input(page).size())).first;
    return it->second;
}

// ---- the parsers ----

void ParseOurs(const std::string& text) {
    vemra::THTMLParser parser;
    parser.ParseHTML(text);
    benchmark::DoNotOptimize(parser.Root()->ChildCount());
}

void ParseLibXml2(const std::string& text) {
    htmlDocPtr doc = htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                    HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
    benchmark::DoNotOptimize(doc);
    xmlFreeDoc(doc);
}

void Report(benchmark::State& state, const std::string& text, double peak) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["PeakBytesPerInputByte"] = peak;
    state.counters["InputMB"] = static_cast<double>(text.size()) / 1e6;
}

void BM_ParseHTML(benchmark::State& state, Page page) {
    const std::string& text = Input(page);
    for (auto _ : state) ParseOurs(text);
    Report(state, text, PeakPerByte("ours", page, [&] { ParseOurs(text); }));
}

void BM_LibXml2(benchmark::State& state, Page page) {
    xmlInitParser();
    const std::string& text = Input(page);
    for (auto _ : state) ParseLibXml2(text);
    Report(state, text, PeakPerByte("libxml2", page, [&] { ParseLibXml2(text); }));
}

}  // namespace

BENCHMARK_CAPTURE(BM_ParseHTML, rate_page_2MB, kRatePage)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibXml2, rate_page_2MB, kRatePage)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseHTML, table_20MB, kBigTable)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibXml2, table_20MB, kBigTable)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseHTML, messy_5MB, kMessy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibXml2, messy_5MB, kMessy)->Unit(benchmark::kMillisecond);
