// Applying a window section's property lines (a language file's section) to a window of
// named components: the time should grow in step with the section's length.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "Properties.h"

namespace {

constexpr int kComponents = 400;

// A section of distinct lines, as a language file has: each component's caption and hint,
// then lines for properties that this build's window does not have (a file made for another
// version of it), every name a new one. Each line names one of the window's components.
QStringList Section(int lines) {
    QStringList section;
    section.reserve(lines);
    for (int i = 0; section.size() < lines; ++i) {
        const int component = i % kComponents;
        if (i < kComponents) {
            section << QStringLiteral("lbl%1:Caption=Label %2").arg(component).arg(i);
            section << QStringLiteral("lbl%1:Hint=Hint %2|long").arg(component).arg(i);
        } else {
            section << QStringLiteral("lbl%1:Note%2=Note %2").arg(component).arg(i);
        }
    }
    while (section.size() > lines) section.removeLast();
    return section;
}

void BM_ApplyPropertyLines(benchmark::State& state) {
    QWidget window;
    window.setObjectName(QStringLiteral("FrmBench"));
    for (int i = 0; i < kComponents; ++i) new QLabel(&window);
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    for (int i = 0; i < labels.size(); ++i) labels[i]->setObjectName(QStringLiteral("lbl%1").arg(i));
    const QStringList lines = Section(static_cast<int>(state.range(0)));
    for (auto _ : state) vemra::ApplyPropertyLines(&window, lines);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ApplyPropertyLines)->Arg(10000)->Arg(30000)->Arg(60000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
