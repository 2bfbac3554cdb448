#pragma once
// The one record of the run. Every part of the program reads and writes its
// members directly; members are grouped by the part that owns them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orrelin/mesh/mesh_types.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/render/buffer_contents.h"
#include "orrelin/ui/info_dialog.h"
#include "orrelin/view/camera_math.h"

// The steps of a load and an Apply, in the order they run.
enum class SceneStage { Parsing, Quadtree, Edges, Buffers };

// Where the scene operations hand their results to the drawing window. A null
// entry means there is no window (the command-line tools): buffer contents are
// then still counted but not uploaded.
struct DisplayHooks {
    // Fetches the buffer-object entry points; called on every successful load
    // before the first buffer is replaced.
    void (*loadBufferFunctions)() = nullptr;
    // Replaces the buffer `name` whole: deletes it, generates a new name into
    // `name` and uploads `bytes` bytes from `data`.
    void (*replaceBuffer)(std::uint32_t& name, BufferTarget target, const void* data, std::size_t bytes) = nullptr;
    // Draws the scene.
    void (*displayScene)() = nullptr;
    // Shows the wait cursor (true) or the arrow (false) on the drawing window.
    void (*setWaitCursor)(bool wait) = nullptr;
    // A load or an Apply has come to a step that can take long: the front end
    // may show how far it has got.
    void (*stage)(SceneStage stage) = nullptr;
};

struct ApplicationState {
    // Mesh: the scene mesh and the loader's reading lists.
    Mesh mesh;
    std::vector<Point2> fileVertices;
    std::vector<std::uint32_t> fileIndices;

    // Point location: the region of the last location, the clicked point, and
    // whether a click has happened.
    const QuadtreeNode* highlightRegion = nullptr;
    Point2 queryPoint;
    bool highlightEnabled = false;

    // Rendering: the list the region-line buffer is built from, buffer names and counts.
    const std::vector<const QuadtreeNode*>* regionLineSource = nullptr;
    GpuBufferSet gpuBuffers;
    DisplayHooks display;

    // Drawing window.
    int windowWidth = 800;
    int windowHeight = 600;
    int windowX = 0;
    int windowY = 0;
    int glutWindow = -1;
    PlatformWindow* drawingWindow = nullptr;

    // Info dialog: the object with the pending properties, and its window.
    QuadtreeInfoDialog infoDialog;
    PlatformWindow* infoDialogWindow = nullptr;

    // Camera and picking.
    float aspect = 4.0f / 3.0f;
    Vec3f zoomTarget;
    Vec3f eye{1.0f, 1.0f, 1.0f};
    Point2 pickedPoint;
    Point2 dragLast;
    bool dragging = false;

    // Scene measures, from the bounds of the loaded mesh.
    Rect2 sceneBounds;
    Point2 sceneCenter;
    float sceneExtent = 0.0f;
    float moveStep = 0.0f;

    // Quadtree and its active limits; the memory a build may take (0: what the
    // machine leaves at the time of the build).
    Quadtree quadtree;
    QuadtreeSettings quadtreeSettings;
    std::size_t quadtreeMemoryLimit = 0;

    // Scene loading.
    bool sceneLoaded = false;

    ApplicationState() = default;
    ApplicationState(const ApplicationState&) = delete;
    ApplicationState& operator=(const ApplicationState&) = delete;
    ~ApplicationState();
};

extern ApplicationState AppState;

// Centres the drawing window on a screen of the given size (integer division,
// truncating toward zero, so a narrow screen gives a negative position).
void placeDrawingWindow(int screenWidth, int screenHeight);
