// The HTML clipboard path (the "HTML Format" text to the TAB/CR LF text of its last table) on
// the shape that browsers never write but any program can: a table whose cells are never
// closed, `<meta charset="utf-8"><table>` followed by N times `<tr><td>1`. Each unclosed cell
// holds the rest of the table in a parse tree, which the path does not build. The time per run
// and the counter PeakBytesPerInputByte (the peak memory of one run, measured in a forked
// child) should stay flat from 10,000 to 200,000 cells.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "ClipboardHtml.h"
#include "PeakMemory.h"
#include "html/HTMLParser.h"

namespace {

std::string UnclosedCells(int cells) {
    std::string html = "<meta charset=\"utf-8\"><table>";
    for (int i = 0; i < cells; ++i) html += "<tr><td>1";
    return vemra::PresentAsHtmlFormat(html);
}

void BM_UnclosedCells(benchmark::State& state) {
    const std::string clip = UnclosedCells(static_cast<int>(state.range(0)));
    std::string text;
    for (auto _ : state) {
        vemra::THTMLParser parser;
        const vemra::THtmlTableResult result = vemra::HtmlTableToText(parser, clip, text);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(clip.size()));
    const std::size_t peak = vemra::bench::PeakBytes([&clip] {
        vemra::THTMLParser parser;
        std::string out;
        vemra::HtmlTableToText(parser, clip, out);
    });
    state.counters["PeakBytesPerInputByte"] = static_cast<double>(peak) / static_cast<double>(clip.size());
    state.counters["InputKB"] = static_cast<double>(clip.size()) / 1e3;
    state.counters["OutputKB"] = static_cast<double>(text.size()) / 1e3;
}

// The parse into a whole tree, for comparison: what the path saves by reading as it scans.
void BM_UnclosedCellsParseOnly(benchmark::State& state) {
    const std::string clip = UnclosedCells(static_cast<int>(state.range(0)));
    const std::string doc = vemra::ExtractHtmlFragment(clip);
    for (auto _ : state) {
        vemra::THTMLParser parser;
        parser.ParseHTML(doc);
        benchmark::DoNotOptimize(parser.Root()->ChildCount());
    }
    const std::size_t peak = vemra::bench::PeakBytes([&doc] {
        vemra::THTMLParser parser;
        parser.ParseHTML(doc);
    });
    state.counters["PeakBytesPerInputByte"] = static_cast<double>(peak) / static_cast<double>(clip.size());
}

}  // namespace

BENCHMARK(BM_UnclosedCellsParseOnly)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnclosedCells)->Arg(10000)->Arg(40000)->Arg(200000)->Unit(benchmark::kMillisecond);
