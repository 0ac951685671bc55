// Reading and writing registry hives: a settings hive of many values, and hives whose key
// lines are as deep as the key bounds allow. Both must stay linear in the hive's size.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/RegistryHive.h"

namespace {

using namespace vemra;

constexpr const char* kRoot = "HKEY_CURRENT_USER";

std::string SettingsHive(int values) {
    std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Vemra]\n";
    for (int i = 0; i < values; ++i) text += "\"Value" + std::to_string(i) + "\"=\"" + std::string(40, 'x') + "\"\n";
    return text;
}

// One key line of the given depth, with one value.
std::string DeepHive(int depth) {
    std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER";
    for (int i = 0; i < depth; ++i) text += "\\level" + std::to_string(i);
    return text + "]\n\"Deep\"=\"x\"\n";
}

void Run(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        TRegHive hive = ParseHive(text, kRoot);
        benchmark::DoNotOptimize(FormatHive(hive, kRoot));
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(text.size()));
    state.SetComplexityN(static_cast<long long>(text.size()));
}

void BM_SettingsHive(benchmark::State& state) { Run(state, SettingsHive(static_cast<int>(state.range(0)))); }
BENCHMARK(BM_SettingsHive)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oN);

void BM_DeepKeyLine(benchmark::State& state) { Run(state, DeepHive(static_cast<int>(state.range(0)))); }
BENCHMARK(BM_DeepKeyLine)->RangeMultiplier(2)->Range(8, 512)->Complexity(benchmark::oN);

// Beyond the bounds: the line is skipped, at the cost of reading it.
void BM_KeyLineBeyondTheBounds(benchmark::State& state) { Run(state, DeepHive(static_cast<int>(state.range(0)))); }
BENCHMARK(BM_KeyLineBeyondTheBounds)->RangeMultiplier(4)->Range(1024, 65536)->Complexity(benchmark::oN);

}  // namespace
