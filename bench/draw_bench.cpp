// orrelin_draw_bench: the drawing window's own times on a large mesh, in a
// real window of the program (needs an X display): from the start of a load
// to its first drawn frame, one pan frame, and a click up to its drawn
// highlight, and thirty quick wheel notches up to the picture of the last
// (handled one by one as they come, and queued the way a fast wheel sends
// them). The core load without any drawing runs beside them, so the cost of
// the window's part shows as a ratio.
//
//   orrelin_draw_bench MESH.tri [benchmark options]

#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "orrelin/desktop/camera_view.h"
#include "orrelin/desktop/draw_passes.h"
#include "orrelin/desktop/input.h"
#include "orrelin/desktop/platform.h"
#include "orrelin/desktop/shell.h"
#include "orrelin/desktop/vbo_functions.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"
#include "orrelin/view/camera_math.h"
#include "wheel_events.h"

namespace {

std::string meshPath;

// Opens the program's drawing window the way start-up does and waits until it
// is on the screen.
bool openDrawingWindow() {
    int argc = 1;
    char name[] = "orrelin_draw_bench";
    char* argv[] = {name, nullptr};
    platform::startServices(argc, argv);
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(AppState.windowWidth, AppState.windowHeight);
    AppState.glutWindow = glutCreateWindow(kWindowTitle);
    glutDisplayFunc(displayScene);
    AppState.drawingWindow = platform::attachDrawingWindow(kWindowTitle);
    if (!checkBufferObjectSupport()) return false;
    connectDrawingWindow();
    for (int k = 0; k < 20; ++k) glutMainLoopEvent();  // mapped and first exposed
    return true;
}

void BM_CoreLoad(benchmark::State& state) {
    const DisplayHooks hooks = AppState.display;
    AppState.display = DisplayHooks{};
    for (auto _ : state) {
        if (!loadTriangleFile(meshPath)) state.SkipWithError("the mesh did not load");
        clearFileMesh();
    }
    AppState.display = hooks;
}

void BM_LoadToFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        loadScene(meshPath);
        glFinish();
        if (!AppState.sceneLoaded) state.SkipWithError("the mesh did not load");
    }
}

void BM_PanFrame(benchmark::State& state) {
    if (!AppState.sceneLoaded) loadScene(meshPath);
    bool right = true;
    for (auto _ : state) {
        AppState.eye = keyMove(AppState.eye, right ? KeyMove::PanRight : KeyMove::PanLeft, AppState.moveStep);
        right = !right;
        applyCamera();
        glFinish();
    }
}

void BM_ClickToHighlight(benchmark::State& state) {
    if (!AppState.sceneLoaded) loadScene(meshPath);
    int k = 0;
    for (auto _ : state) {
        pickAt(300 + (k % 200), 200 + (k % 150));
        ++k;
        glFinish();
    }
}

// Thirty wheel notches at the window's centre, toward and away in turn, from
// the picture of the load up to the picture of the last notch. Arg 0: each
// notch handled alone as it comes (drawn at once); arg 1: all thirty waiting
// in the window's queue, as a fast wheel sends them (drawn once). Both must
// leave the camera at the same bits.
constexpr int kNotches = 30;

void BM_ThirtyWheelNotches(benchmark::State& state) {
    static Vec3f oneByOne{};  // where the notches handled alone left the camera
    for (auto _ : state) {
        state.PauseTiming();
        loadScene(meshPath);
        glFinish();
        state.ResumeTiming();
        if (state.range(0) == 0) {
            for (int k = 0; k < kNotches; ++k) {
                const int button = k % 2 == 0 ? 3 : 4;
                onMouse(button, GLUT_DOWN, 400, 300);
                onMouse(button, GLUT_UP, 400, 300);
            }
        } else {
            queueWheelNotches(kNotches, 400, 300);
        }
        while (drawingEventsPending()) glutMainLoopEvent();
        glutMainLoopEvent();  // the picture asked for after the last notch
        glFinish();
        state.PauseTiming();
        if (state.range(0) == 0) {
            oneByOne = AppState.eye;
        } else if (std::memcmp(&oneByOne, &AppState.eye, sizeof oneByOne) != 0) {
            state.SkipWithError("the queued notches left the camera elsewhere");
        }
        state.ResumeTiming();
    }
}

BENCHMARK(BM_CoreLoad)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadToFirstFrame)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PanFrame)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_ThirtyWheelNotches)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ClickToHighlight)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orrelin_draw_bench MESH.tri [benchmark options]\n");
        return 2;
    }
    meshPath = argv[1];
    if (!openDrawingWindow()) {
        std::fprintf(stderr, "orrelin_draw_bench: the display has no vertex buffer objects\n");
        return 1;
    }
    benchmark::AddCustomContext("mesh", meshPath);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    glutDestroyWindow(AppState.glutWindow);
    platform::stopServices();
    return 0;
}
