#include "orrelin/scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "app_state_reset.h"
#include "failing_allocations.h"
#include "orrelin/render/heat_map.h"
#include "orrelin/scene/app_state.h"
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

    static bool load(const std::string& text) {
        const bool ok = loadTriangleData(text.data(), text.size());
        clearFileMesh();
        return ok;
    }
};

}  // namespace

TEST_F(Scene, LoadBuildsEverythingDerived) {
    ASSERT_TRUE(load(kSquare));
    EXPECT_EQ(AppState.mesh.vertices.size(), 4u);
    EXPECT_EQ(AppState.mesh.edges, (std::vector<std::uint32_t>{0, 1, 0, 2, 1, 2, 1, 3, 3, 2}));
    EXPECT_FLOAT_BITS(1.0f, AppState.sceneBounds.maxX);
    EXPECT_FLOAT_BITS(0.5f, AppState.sceneCenter.y);
    EXPECT_EQ(AppState.quadtree.regionList.size(), 1u);
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
    }
    EXPECT_FALSE(loadTriangleFile("/nonexistent/dir/file.tri"));
    EXPECT_FALSE(loadTriangleFile(std::filesystem::temp_directory_path().string()));  // a directory
    EXPECT_EQ(AppState.quadtree.root, root);
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
    const std::size_t layerEnd = heat.find("</g>\n", at) + 5;
    EXPECT_EQ(plain.substr(at), heat.substr(layerEnd));

    const std::string layer = heat.substr(at, layerEnd - at);
    const HeatMapContents contents = heatMapContents(AppState.quadtree);
    std::size_t polygons = 0;
    for (std::size_t p = 0; (p = layer.find("<polygon ", p)) != std::string::npos; ++p) ++polygons;
    EXPECT_EQ(contents.vertices.size() / 6, polygons);
    EXPECT_EQ(quadtreeStats(AppState.quadtree).leaves, polygons);
    // The first leaf's fill, its colour's channels to 8 bits.
    const ColoredVertex& first = contents.vertices.front();
    char fill[32];
    std::snprintf(fill, sizeof fill, "fill=\"#%02lx%02lx%02lx\"/>", std::lround(first.r * 255.0f),
                  std::lround(first.g * 255.0f), std::lround(first.b * 255.0f));
    EXPECT_EQ(layer.find("\" "), layer.find(std::string("\" ") + fill)) << layer.substr(0, 300);
    EXPECT_NE(std::string::npos, layer.find("fill=\"#fde725\"/>"));  // the fullest leaf
}
