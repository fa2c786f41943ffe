// bench_preview_form: what the OSD menu preview costs. The window program builds the form at every start,
// right after the main window, so its construction adds to the time before the window shows; a
// transition tick must stay far below its 25 ms period.
// - BM_CreatePreviewForm: OsdPreviewWindow as start-up builds it: menu defaults, 120 tiles, the ten charts
// (with Qt
//   text), page 1, the information view and the card list;
// - BM_TransitionFrame: one tick of the zoom into page 2, shown in the widgets (a whole zoom in and out
//   is 24 ticks);
// - BM_ShowPageLogic: the form's state for page 12 without Qt.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QApplication>

#include <benchmark/benchmark.h>

#include "preview/osd_preview_window.h"
#include "preview/preview_logic.h"

namespace {

using namespace hlx::preview;

void BM_CreatePreviewForm(benchmark::State& state) {
    for (auto _ : state) {
        OsdPreviewWindow form;
        benchmark::DoNotOptimize(&form);
    }
}
BENCHMARK(BM_CreatePreviewForm)->Unit(benchmark::kMillisecond);

void BM_TransitionFrame(benchmark::State& state) {
    OsdPreviewWindow form;
    for (auto _ : state) {
        if (!form.logic().scene().transitionRunning) {
            // Alternately into page 2 and back to page 1.
            if (form.logic().navStack().depth() == 0)
                form.enterTile(itemCode(1, 2));
            else
                form.goBack();
        }
        form.stepTransition();
    }
}
BENCHMARK(BM_TransitionFrame)->Unit(benchmark::kMicrosecond);

class NoView : public PreviewView {
public:
    void showScene(const Scene&) override {}
};

void BM_ShowPageLogic(benchmark::State& state) {
    MenuData data;
    NoView view;
    PreviewLogic logic(data, view);
    logic.openMenu();
    for (auto _ : state) {
        logic.showPage(itemCode(12, 0));
        benchmark::DoNotOptimize(logic.scene());
    }
}
BENCHMARK(BM_ShowPageLogic)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
