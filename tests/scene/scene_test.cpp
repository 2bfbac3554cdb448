#include "orrelin/scene/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "app_state_reset.h"
#include "failing_allocations.h"
#include "orrelin/render/heat_map.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/camera_input.h"
#include "orrelin/scene/svg_figure.h"
#include "test_util.h"

namespace {

const std::string kSquare = "v 0 0\nv 1 0\nv 0 1\nv 1 1\nf 0 1 2\nf 1 3 2\n";

// Records the order of the display calls.
std::string gCalls;
std::uint32_t gNextName = 1;

void recordLoad() {
    gCalls += "load;";
}
void recordReplace(std::uint32_t& name, BufferTarget target, const void*, std::size_t bytes) {
    gCalls += "replace(" + std::to_string(name) + (target == BufferTarget::Array ? ",array," : ",element,") +
              std::to_string(bytes) + ");";
    name = gNextName++;
}
void recordDisplay() {
    gCalls += "display;";
}
void recordCursor(bool wait) {
    gCalls += wait ? "wait;" : "arrow;";
}

class Scene : public ::testing::Test {
   protected:
    void SetUp() override {
        resetAppState();
        gCalls.clear();
        gNextName = 1;
    }
    void TearDown() override { resetAppState(); }

    // A load as the front ends make it.
    static bool load(const std::string& text) { return loadSceneData(text.data(), text.size()); }
};

}  // namespace

TEST_F(Scene, LoadBuildsEverythingDerived) {
    ASSERT_TRUE(load(kSquare));
    EXPECT_EQ(AppState.mesh.vertices.size(), 4u);
    EXPECT_EQ(AppState.mesh.edges, (std::vector<std::uint32_t>{0, 1, 0, 2, 1, 2, 1, 3, 3, 2}));
    EXPECT_FLOAT_BITS(1.0f, AppState.sceneBounds.maxX);
    EXPECT_FLOAT_BITS(0.5f, AppState.sceneCenter.y);
    EXPECT_EQ(AppState.quadtree.regionList.size(), 1u);
    EXPECT_TRUE(AppState.sceneLoaded);
    EXPECT_EQ(AppState.quadtreeSettings.rootBounds, &AppState.sceneBounds);
    EXPECT_EQ(AppState.regionLineSource, &AppState.quadtree.regionList);
    EXPECT_EQ(AppState.gpuBuffers.meshIndexCount, 10);
    EXPECT_EQ(AppState.gpuBuffers.regionLineVertexCount, 4);
    EXPECT_TRUE(AppState.fileVertices.empty());
    EXPECT_TRUE(AppState.fileIndices.empty());
}

TEST_F(Scene, DisplayHooksInLoadOrder) {
    AppState.display = {recordLoad, recordReplace, recordDisplay, recordCursor};
    ASSERT_TRUE(load(kSquare));
    // Entry points first, then vertex and index buffers, then the region lines
    // (4 vertices of 20 bytes). Loading draws nothing by itself.
    EXPECT_EQ(gCalls, "load;replace(0,array,80);replace(0,element,40);replace(0,array,80);");
    gCalls.clear();
    ASSERT_TRUE(load(kSquare));
    // Every buffer is replaced whole, the old name handed over for deletion.
    EXPECT_EQ(gCalls, "load;replace(1,array,80);replace(2,element,40);replace(3,array,80);");
}

TEST_F(Scene, FailedLoadChangesNothing) {
    ASSERT_TRUE(load(kSquare));
    simulatePointLocation({0.25f, 0.25f});
    const QuadtreeNode* root = AppState.quadtree.root;
    const QuadtreeNode* region = AppState.highlightRegion;
    const GpuBufferSet buffers = AppState.gpuBuffers;
    for (const std::string& bad :
         {std::string(), std::string("v 0 0\nv 1 0\nf 0 1 2\n"), std::string("f 0 1 2\n"), std::string("v 1 1\n"),
          std::string("v 0 0\nv 1 0\nv 0 1\nf 0 1 -1\n"), std::string("v 0 0\nv 9e99 0\nv 0 1\nf 0 1 2\n"),
          std::string("v 0 0\nv 1 0\nv 0 1\nf 0 1 4294967298\n")}) {
        EXPECT_FALSE(load(bad)) << bad;
        EXPECT_EQ(AppState.quadtree.root, root);
        EXPECT_EQ(AppState.highlightRegion, region);
        EXPECT_EQ(AppState.mesh.vertices.size(), 4u);
        EXPECT_EQ(AppState.gpuBuffers.highlightVertexCount, buffers.highlightVertexCount);
        EXPECT_TRUE(AppState.fileVertices.empty());
        EXPECT_TRUE(AppState.sceneLoaded);  // the shown scene stays loaded
    }
    EXPECT_FALSE(loadTriangleFile("/nonexistent/dir/file.tri"));
    EXPECT_FALSE(loadTriangleFile(std::filesystem::temp_directory_path().string()));  // a directory
    EXPECT_EQ(AppState.quadtree.root, root);
}

TEST_F(Scene, ArrowKeysDragAndWheelMoveTheEye) {
    ASSERT_TRUE(load(kSquare));
    const Vec3f start = AppState.eye;
    EXPECT_FALSE(arrowKeyStep(ArrowKey::Left, false));  // no step: the eye stays
    EXPECT_FLOAT_BITS(start.x, AppState.eye.x);
    EXPECT_TRUE(arrowKeyStep(ArrowKey::Up, false));
    EXPECT_FLOAT_BITS(keyMove(start, KeyMove::ZoomIn, AppState.moveStep).z, AppState.eye.z);

    const Vec3f before = AppState.eye;
    EXPECT_FALSE(dragTo(30, 40));  // no drag on
    beginDrag(10, 10);
    EXPECT_TRUE(dragTo(30, 40));
    const Vec3f dragged = dragMove(before, 20, 30, AppState.moveStep);
    EXPECT_FLOAT_BITS(dragged.x, AppState.eye.x);
    EXPECT_FLOAT_BITS(dragged.y, AppState.eye.y);
    EXPECT_TRUE(dragTo(30, 40));  // from the last position: no further move
    EXPECT_FLOAT_BITS(dragged.x, AppState.eye.x);
    endDrag();
    EXPECT_FALSE(dragTo(90, 90));
    EXPECT_FLOAT_BITS(dragged.x, AppState.eye.x);

    AppState.zoomTarget = {0.25f, 0.75f, 0.0f};
    wheelNotch(true);
    EXPECT_FLOAT_BITS(wheelZoom(dragged, AppState.zoomTarget, true).z, AppState.eye.z);
}

TEST_F(Scene, LoadFromFileMatchesLoadFromMemory) {
    const auto path = std::filesystem::temp_directory_path() / "orrelin_scene_test.tri";
    {
        std::ofstream out(path, std::ios::binary);
        out << "v 0 0\r\nv 1 0\r\nv 0 1\r\nv 1 1\r\nf 0 1 2\r\nf 1 3 2\r\n";
    }
    ASSERT_TRUE(loadTriangleFile(path.string()));
    clearFileMesh();
    EXPECT_EQ(AppState.mesh.indices, (std::vector<std::uint32_t>{0, 1, 2, 1, 3, 2}));
    std::filesystem::remove(path);
}

TEST_F(Scene, ClickLocatesAndHighlights) {
    ASSERT_TRUE(load(kSquare));
    AppState.display = {recordLoad, recordReplace, recordDisplay, recordCursor};
    simulatePointLocation({0.9f, 0.9f});
    EXPECT_TRUE(AppState.highlightEnabled);
    EXPECT_FLOAT_BITS(0.9f, AppState.queryPoint.x);
    ASSERT_NE(AppState.highlightRegion, nullptr);
    EXPECT_EQ(AppState.highlightRegion, AppState.quadtree.root->children[3]);
    EXPECT_EQ(AppState.gpuBuffers.highlightVertexCount, 7);  // two triangles and the point
    EXPECT_EQ(AppState.gpuBuffers.foundTriangleFirst, 3);
    EXPECT_EQ(gCalls, "replace(0,array,140);display;");
}

TEST_F(Scene, ApplyRebuildsAndLocatesTheLastClickAgain) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(16, 16, 9, v, i);
    ASSERT_TRUE(load(meshText(v, i)));
    // Before any click: the point (0, 0) is located but the highlight stays off.
    rebuildQuadtree(3, 4);
    EXPECT_FALSE(AppState.highlightEnabled);
    ASSERT_NE(AppState.highlightRegion, nullptr);
    EXPECT_EQ(AppState.highlightRegion, locateRegion(AppState.quadtree.root, {0, 0}));

    simulatePointLocation({5.3f, 7.1f});
    AppState.pickedPoint = {1, 1};  // a wheel step moves the picked point, not the query point
    AppState.display = {recordLoad, recordReplace, recordDisplay, recordCursor};
    gCalls.clear();
    rebuildQuadtree(1, 50);
    EXPECT_EQ(AppState.quadtreeSettings.maxDepth, 1);
    EXPECT_EQ(AppState.quadtreeSettings.maxTrianglesPerRegion, 50u);
    EXPECT_EQ(AppState.quadtree.regionList.size(), 1u);
    EXPECT_EQ(AppState.highlightRegion, AppState.quadtree.root->children[0]);
    EXPECT_EQ(AppState.gpuBuffers.regionLineVertexCount, 4);
    EXPECT_EQ(AppState.gpuBuffers.highlightVertexCount,
              static_cast<std::int32_t>(3 * AppState.highlightRegion->triangles.size() + 1));
    // Wait cursor around the build only; region lines, then highlight, then one draw.
    EXPECT_EQ(gCalls.substr(0, 11), "wait;arrow;");
    EXPECT_NE(gCalls.find("display;"), std::string::npos);
    EXPECT_EQ(gCalls.find("display;"), gCalls.size() - 8);

    // The new limits stay active for the next load, which forgets the located
    // region but keeps the clicked point.
    ASSERT_TRUE(load(meshText(v, i)));
    EXPECT_EQ(AppState.quadtree.regionList.size(), 1u);
    EXPECT_EQ(AppState.highlightRegion, nullptr);
    EXPECT_TRUE(AppState.highlightEnabled);
    EXPECT_FLOAT_BITS(5.3f, AppState.queryPoint.x);
}

// A build that would go beyond the memory it may take changes nothing: the
// old scene, tree, limits and buffers stay, and the failure says why.
TEST_F(Scene, ATreeThatDoesNotFitKeepsTheOldSceneAndTree) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(30, 30, 4, v, i);
    const std::string grid = meshText(v, i);
    ASSERT_TRUE(load(kSquare));
    simulatePointLocation({0.25f, 0.25f});
    const QuadtreeNode* root = AppState.quadtree.root;
    const std::size_t regions = AppState.quadtree.regionList.size();
    const GpuBufferSet buffers = AppState.gpuBuffers;

    AppState.quadtreeMemoryLimit = 4096;  // far too little for 1800 triangles
    LoadFailure failure = LoadFailure::None;
    EXPECT_FALSE(loadTriangleData(grid.data(), grid.size(), &failure));
    clearFileMesh();
    EXPECT_EQ(LoadFailure::OutOfMemory, failure);
    EXPECT_EQ(AppState.quadtree.root, root);
    EXPECT_EQ(AppState.quadtree.regionList.size(), regions);
    EXPECT_EQ(AppState.mesh.vertices.size(), 4u);
    EXPECT_EQ(AppState.gpuBuffers.meshIndexCount, buffers.meshIndexCount);
    EXPECT_NE(AppState.highlightRegion, nullptr);

    // With room the same file loads; then an Apply that does not fit keeps the
    // tree and the active limits.
    AppState.quadtreeMemoryLimit = 0;
    ASSERT_TRUE(loadTriangleData(grid.data(), grid.size(), &failure));
    clearFileMesh();
    EXPECT_EQ(LoadFailure::None, failure);
    const QuadtreeNode* gridRoot = AppState.quadtree.root;
    const std::size_t gridRegions = AppState.quadtree.regionList.size();
    AppState.quadtreeMemoryLimit = 4096;
    EXPECT_FALSE(rebuildQuadtree(10, 1));
    EXPECT_EQ(AppState.quadtreeSettings.maxDepth, 5);
    EXPECT_EQ(AppState.quadtreeSettings.maxTrianglesPerRegion, 50u);
    EXPECT_EQ(AppState.quadtree.root, gridRoot);
    EXPECT_EQ(AppState.quadtree.regionList.size(), gridRegions);
    AppState.quadtreeMemoryLimit = 0;
    EXPECT_TRUE(rebuildQuadtree(10, 1));
    EXPECT_EQ(AppState.quadtreeSettings.maxDepth, 10);

    // An unreadable file is told apart from one that does not fit.
    EXPECT_FALSE(loadTriangleFile("/nonexistent/file.tri", &failure));
    EXPECT_EQ(LoadFailure::Unreadable, failure);
}

// The uploaded contents of every live buffer name: what the window would show.
std::map<std::uint32_t, std::string> gUploads;

void keepUpload(std::uint32_t& name, BufferTarget, const void* data, std::size_t bytes) {
    const failing_allocations::Pause pause;  // the test's own bookkeeping
    gUploads.erase(name);
    name = gNextName++;
    gUploads[name] = std::string(static_cast<const char*>(data), bytes);
}

template <typename T>
std::string bytesOf(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
template <typename T>
std::string bytesOf(const std::vector<T>& values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

// What the scene holds, by part: its values, and with `identities` also which
// tree, nodes and buffer names hold them.
std::map<std::string, std::string> sceneSnapshot(bool identities = true) {
    const failing_allocations::Pause pause;
    const ApplicationState& s = AppState;
    const GpuBufferSet& b = s.gpuBuffers;
    std::string regions;
    for (const QuadtreeNode* node : s.quadtree.regionList) regions += bytesOf(node->bounds) + bytesOf(node->centre);
    std::string located;
    if (s.highlightRegion != nullptr) located = bytesOf(s.highlightRegion->bounds);
    auto upload = [](std::uint32_t name) {
        const auto found = gUploads.find(name);
        return found == gUploads.end() ? std::string("none") : found->second;
    };
    std::map<std::string, std::string> out{
        {"mesh", bytesOf(s.mesh.vertices) + bytesOf(s.mesh.indices) + bytesOf(s.mesh.edges)},
        {"measures", bytesOf(s.sceneBounds) + bytesOf(s.sceneCenter) + bytesOf(s.sceneExtent) + bytesOf(s.moveStep)},
        {"tree", regions},
        {"limits", bytesOf(s.quadtreeSettings.maxDepth) + bytesOf(s.quadtreeSettings.maxTrianglesPerRegion)},
        {"location", located + bytesOf(s.queryPoint) + bytesOf(s.highlightEnabled)},
        {"counts", bytesOf(b.foundTriangleFirst) + bytesOf(b.regionLineVertexCount) + bytesOf(b.highlightVertexCount) +
                       bytesOf(b.meshIndexCount)},
        {"mesh buffers", upload(b.meshVertexBuffer) + upload(b.meshIndexBuffer)},
        {"region lines", upload(b.regionLineBuffer)},
        {"highlight", upload(b.highlightBuffer)}};
    if (identities) {
        out["identities"] = bytesOf(s.quadtree.root) + bytesOf(s.quadtree.regionList) + bytesOf(s.regionLineSource) +
                            bytesOf(s.highlightRegion) + bytesOf(b.meshVertexBuffer) + bytesOf(b.meshIndexBuffer) +
                            bytesOf(b.regionLineBuffer) + bytesOf(b.highlightBuffer);
    }
    return out;
}

// The names of the parts that differ.
std::string differences(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    std::string names;
    for (const auto& [name, value] : a) {
        const auto other = b.find(name);
        if (other == b.end() || other->second != value) names += name + "; ";
    }
    for (const auto& [name, value] : b) {
        if (a.find(name) == a.end()) names += name + " (new); ";
    }
    return names;
}

// Each allocation of a load, an Apply and a click made to fail in turn (the
// quadtree's worker threads included): the operation reports the failure and
// the old scene, tree, buffers and their contents stay exactly as they were.
// Only a worker thread that cannot be started is no failure: fewer threads do
// the same work. Once no allocation fails, the operation succeeds.
TEST_F(Scene, AnAllocationThatFailsAnywhereLeavesTheSceneAsItWas) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(12, 10, 3, v, i);
    const auto path = std::filesystem::temp_directory_path() / "orrelin_failing_allocations.tri";
    const std::string file = path.string();
    std::ofstream(path, std::ios::binary) << meshText(v, i);
    AppState.display.replaceBuffer = keepUpload;
    gUploads.clear();
    LoadFailure failure = LoadFailure::None;

    // `operation` once as it should go, then with allocation n = 1, 2, ...
    // failing, each time after `before` has set up another scene to keep.
    auto eachAllocationFails = [&failure](const char* what, const std::function<bool()>& operation,
                                          const std::function<bool()>& before) {
        EXPECT_TRUE(before() && operation()) << what;
        const auto done = sceneSnapshot(false);
        std::size_t n = 1;
        for (;; ++n) {
            EXPECT_TRUE(before()) << what;
            const auto kept = sceneSnapshot();
            failure = LoadFailure::None;
            failing_allocations::failAt(n);
            const bool ok = operation();
            const bool failed = failing_allocations::disarm();
            if (ok) {
                EXPECT_EQ("", differences(done, sceneSnapshot(false))) << what << ": allocation " << n;
                if (!failed) break;
                continue;
            }
            EXPECT_TRUE(failed) << what;
            if (std::string(what) == "load") {
                EXPECT_NE(LoadFailure::None, failure) << "allocation " << n;
            }
            EXPECT_EQ("", differences(kept, sceneSnapshot())) << what << ": allocation " << n;
        }
        return n;
    };
    auto loadFile = [&] {
        const bool ok = loadTriangleFile(file, &failure);
        clearFileMesh();
        return ok;
    };
    auto squareWithAClick = [] {
        return load(kSquare) && simulatePointLocation({0.25f, 0.25f}) && rebuildQuadtree(5, 50);
    };
    EXPECT_GT(eachAllocationFails("load", loadFile, squareWithAClick), 10u);
    eachAllocationFails(
        "apply", [] { return rebuildQuadtree(3, 4); },
        [&] {
            return loadFile() && simulatePointLocation({5.5f, 4.5f});
        });
    eachAllocationFails(
        "click",
        [] {
            return simulatePointLocation({5.5f, 4.5f});
        },
        [] {
            return simulatePointLocation({1.5f, 1.5f});
        });
    std::filesystem::remove(path);
}

TEST_F(Scene, StartPositionCentresTheWindow) {
    placeDrawingWindow(1920, 1080);
    EXPECT_EQ(AppState.windowX, 560);
    EXPECT_EQ(AppState.windowY, 240);
    placeDrawingWindow(1280, 1024);
    EXPECT_EQ(AppState.windowX, 240);
    EXPECT_EQ(AppState.windowY, 212);
    placeDrawingWindow(639, 768);
    EXPECT_EQ(AppState.windowX, -80);  // truncated toward zero
    EXPECT_EQ(AppState.windowY, 84);
}

// The figure: a path per layer and colour (the mesh edges take turns among
// several), each point to a hundredth of a pixel from the one before; cut at
// 16 pixels around the window when the view leaves part of the scene out.
TEST_F(Scene, FigureDrawsEachLayerAsPaths) {
    ASSERT_TRUE(load(kSquare));
    simulatePointLocation({0.9f, 0.9f});
    const std::string head =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"80\" viewBox=\"0 0 100 80\" "
        "shape-rendering=\"crispEdges\">\n<rect width=\"100%\" height=\"100%\" fill=\"#000000\"/>\n";
    const auto path = [](const char* attributes, const char* data) {
        return std::string("<path ") + attributes + " d=\"" + data + "\"/>\n";
    };
    const char* mesh = "fill=\"none\" stroke=\"#cccccc\" stroke-width=\"1\"";
    const char* descent = "fill=\"none\" stroke=\"#4db3ff\" stroke-width=\"1\"";
    const char* tested = "fill=\"none\" stroke=\"#e60000\" stroke-width=\"1\"";
    const char* found = "fill=\"none\" stroke=\"#00cc00\" stroke-width=\"1\"";
    const char* split = "fill=\"none\" stroke=\"#ff9900\" stroke-width=\"2\"";
    // The framing of a load: the square 48.98 pixels wide in the middle.
    EXPECT_EQ(sceneSvg(100, 80, true),
              head + path(mesh, "m25.51 64.49l48.98 0") + path(mesh, "m25.51 64.49l0-48.98") +
                  path(mesh, "m74.49 64.49l-48.98-48.98") + path(mesh, "m74.49 64.49l0-48.98") +
                  path(mesh, "m74.49 15.51l-48.98 0") +
                  path(descent, "m25.51 64.49l48.98 0 0-48.98-48.98 0zm24.49-24.49l24.49 0 0-24.49-24.49 0z") +
                  path(tested, "m25.51 64.49l48.98 0-48.98-48.98z") + path(found, "m74.49 64.49l0-48.98-48.98 0z") +
                  path(found, "m74.49 64.49l0-48.98-48.98 0z") +
                  "<rect x=\"66.60\" y=\"17.40\" width=\"6\" height=\"6\" fill=\"#00ff00\"/>\n" +
                  path(split, "m50 64.49l0-48.98m-24.49 24.49l48.98 0") + "</svg>\n");
    // Closer, over the right edge (138.56 pixels a unit): the bottom, left and
    // top edges lie beyond the margin, the others and the shapes are cut at it.
    EXPECT_EQ(sceneSvg(FigureView{100, 80, {0.9f, 0.5f, 0.5f}}, true),
              head + path(mesh, "m50.57 96l-66.57-66.57") + path(mesh, "m63.86 96l0-112") +
                  path(descent, "m-16-16l0 112 79.86 0 0-112zm10.57 0l0 56 69.29 0 0-56z") +
                  path(tested, "m-16 96l66.57 0-66.57-66.57z") +
                  path(found, "m-16-16l0 45.43 66.57 66.57 13.29 0 0-112z") +
                  path(found, "m-16-16l0 45.43 66.57 66.57 13.29 0 0-112z") +
                  "<rect x=\"47.00\" y=\"-18.43\" width=\"6\" height=\"6\" fill=\"#00ff00\"/>\n" +
                  path(split, "m-5.43 96l0-112m-10.57 56l79.86 0") + "</svg>\n");
    // The point beyond the margin is left out; without the highlight only the
    // mesh and the split lines remain.
    const std::string far = sceneSvg(FigureView{100, 80, {0.1f, 0.5f, 0.5f}}, true);
    EXPECT_EQ(far.find("<rect x"), std::string::npos) << far;
    EXPECT_EQ(sceneSvg(FigureView{100, 80, {0.9f, 0.5f, 0.5f}}, false),
              head + path(mesh, "m50.57 96l-66.57-66.57") + path(mesh, "m63.86 96l0-112") +
                  path(split, "m-5.43 96l0-112m-10.57 56l79.86 0") + "</svg>\n");
}

// The heat map is one layer more in the figure, right above the background:
// every leaf filled in its colour, everything else as without it.
TEST_F(Scene, FigureWithTheHeatMap) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(12, 8, 2, v, i);
    ASSERT_TRUE(load(meshText(v, i)));
    ASSERT_TRUE(rebuildQuadtree(4, 6));
    const std::string plain = sceneSvg(400, 300, false);
    const std::string heat = sceneSvg(400, 300, false, true);
    const std::string background = "fill=\"#000000\"/>\n";
    const std::size_t at = plain.find(background) + background.size();
    ASSERT_EQ(plain.substr(0, at), heat.substr(0, at));
    const std::size_t layerEnd = heat.find("<path fill=\"none\"", at);  // the mesh's first path
    EXPECT_EQ(plain.substr(at), heat.substr(layerEnd));

    const std::string layer = heat.substr(at, layerEnd - at);
    // One filled path per colour the leaves take, each leaf one closed shape.
    const HeatMapContents contents = heatMapContents(AppState.quadtree);
    std::set<std::string> colours;
    for (std::size_t k = 0; k < contents.vertices.size(); k += 6) {
        const ColoredVertex& c = contents.vertices[k];
        char fill[16];
        std::snprintf(fill, sizeof fill, "#%02lx%02lx%02lx", std::lround(c.r * 255.0f), std::lround(c.g * 255.0f),
                      std::lround(c.b * 255.0f));
        colours.insert(fill);
    }
    for (const std::string& colour : colours) {
        EXPECT_NE(std::string::npos, layer.find("<path fill=\"" + colour + "\" d=\"m")) << colour;
    }
    EXPECT_EQ(colours.size(), static_cast<std::size_t>(std::count(layer.begin(), layer.end(), '<')));
    EXPECT_EQ(quadtreeStats(AppState.quadtree).leaves,
              static_cast<std::size_t>(std::count(layer.begin(), layer.end(), 'z')));
    EXPECT_TRUE(colours.contains("#fde725"));  // the fullest leaf
}
