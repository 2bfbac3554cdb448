#include "orrelin/scene/scene.h"

#include <new>
#include <string>
#include <utility>

#include "orrelin/base/contract.h"
#include "orrelin/mesh/mesh_prep.h"
#include "orrelin/mesh/tri_reader.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/render/buffer_contents.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/memory_budget.h"

namespace {

template <typename T>
void replaceBuffer(std::uint32_t& name, BufferTarget target, const std::vector<T>& contents) {
    if (AppState.display.replaceBuffer) {
        AppState.display.replaceBuffer(name, target, contents.data(), contents.size() * sizeof(T));
    }
}

void redraw() {
    if (AppState.display.displayScene) AppState.display.displayScene();
}

void setWaitCursor(bool wait) {
    if (AppState.display.setWaitCursor) AppState.display.setWaitCursor(wait);
}

void reachStage(SceneStage stage) {
    if (AppState.display.stage) AppState.display.stage(stage);
}

bool uploading() {
    return AppState.display.replaceBuffer != nullptr;
}

// The contents of the region-line and highlight buffers, made before anything
// they replace is given up.
struct TreeBuffers {
    std::vector<ColoredVertex> regionLines;
    HighlightContents highlight;
};

// Sets the counts and uploads: nothing here allocates, so once the old scene
// or tree is given up the new one takes its place whole.
void setRegionLineBuffer(const std::vector<ColoredVertex>& contents) {
    AppState.gpuBuffers.regionLineVertexCount = static_cast<std::int32_t>(contents.size());
    replaceBuffer(AppState.gpuBuffers.regionLineBuffer, BufferTarget::Array, contents);
}

void setHighlightBuffer(const HighlightContents& contents) {
    AppState.gpuBuffers.foundTriangleFirst = contents.foundTriangleFirst;
    AppState.gpuBuffers.highlightVertexCount = static_cast<std::int32_t>(contents.vertices.size());
    replaceBuffer(AppState.gpuBuffers.highlightBuffer, BufferTarget::Array, contents.vertices);
}

void setMeshBuffers(const std::vector<ColoredVertex>& vertexContents) {
    AppState.gpuBuffers.meshIndexCount = static_cast<std::int32_t>(AppState.mesh.edges.size());
    if (!uploading()) return;  // no window: nothing to upload
    replaceBuffer(AppState.gpuBuffers.meshVertexBuffer, BufferTarget::Array, vertexContents);
    replaceBuffer(AppState.gpuBuffers.meshIndexBuffer, BufferTarget::ElementArray, AppState.mesh.edges);
}

HighlightContents highlightOf(const QuadtreeNode* region) {
    return highlightContents(AppState.mesh.vertices, AppState.mesh.indices, region->triangles, AppState.queryPoint);
}

// Replaces the scene by the validated reading lists. Everything that can run
// out of memory (the quadtree, the edge list, the buffer contents) is made
// first, so that on failure the old scene is still whole.
bool replaceScene() {
    const SceneMeasures measures = computeSceneBounds(AppState.fileVertices);
    QuadtreeSettings settings = AppState.quadtreeSettings;
    settings.rootBounds = &measures.bounds;
    settings.vertices = &AppState.fileVertices;
    settings.indices = &AppState.fileIndices;
    settings.memoryBudget = quadtreeBuildBudget();
    reachStage(SceneStage::Quadtree);
    Quadtree fresh;
    if (!buildQuadtree(fresh, settings)) return false;
    reachStage(SceneStage::Edges);
    std::vector<std::uint32_t> edges;
    std::vector<ColoredVertex> meshVertices;
    std::vector<ColoredVertex> regionLines;
    try {
        edges = buildEdgeList(AppState.fileIndices, AppState.fileVertices.size());
        reachStage(SceneStage::Buffers);
        if (uploading()) meshVertices = meshVertexContents(AppState.fileVertices);
        regionLines = regionLineContents(fresh.regionList);
    } catch (const std::bad_alloc&) {
        return false;
    }

    destroyQuadtree(AppState.quadtree);
    clearSceneMesh();
    // The reading lists are emptied right after the load anyway; moving them
    // saves a copy of the largest arrays.
    AppState.mesh.vertices = std::move(AppState.fileVertices);
    AppState.mesh.indices = std::move(AppState.fileIndices);
    AppState.fileVertices.clear();
    AppState.fileIndices.clear();
    AppState.mesh.edges = std::move(edges);

    if (AppState.display.loadBufferFunctions) AppState.display.loadBufferFunctions();
    setMeshBuffers(meshVertices);

    AppState.sceneBounds = measures.bounds;
    AppState.sceneExtent = measures.extent;
    AppState.moveStep = measures.moveStep;
    AppState.sceneCenter = measures.centre;

    AppState.quadtreeSettings.rootBounds = &AppState.sceneBounds;
    AppState.quadtreeSettings.vertices = &AppState.mesh.vertices;
    AppState.quadtreeSettings.indices = &AppState.mesh.indices;
    moveQuadtree(AppState.quadtree, fresh, &AppState.mesh.vertices, &AppState.mesh.indices);

    AppState.regionLineSource = &AppState.quadtree.regionList;
    setRegionLineBuffer(regionLines);
    return true;
}

// Parses into the reading lists and validates what was read; says why into
// `refusal` (when given) if it is not a usable mesh.
bool readFileLists(const char* data, std::size_t size, MeshRefusal* refusal) {
    ORRELIN_REQUIRE(AppState.fileVertices.empty() && AppState.fileIndices.empty());
    reachStage(SceneStage::Parsing);
    const TriangleParseFlags flags = parseTriangleData(data, size, AppState.fileVertices, AppState.fileIndices);
    const bool valid = validateFileMesh(AppState.fileVertices, AppState.fileIndices, flags);
    if (!valid && refusal) *refusal = refuseFileMesh(data, size, AppState.fileVertices, AppState.fileIndices, flags);
    return valid;
}

}  // namespace

namespace {

bool finish(bool replaced, LoadFailure* failure) {
    if (failure) *failure = replaced ? LoadFailure::None : LoadFailure::OutOfMemory;
    return replaced;
}

bool unreadable(LoadFailure* failure) {
    if (failure) *failure = LoadFailure::Unreadable;
    return false;
}

}  // namespace

bool loadTriangleData(const char* data, std::size_t size, LoadFailure* failure, MeshRefusal* refusal) {
    if (refusal) *refusal = MeshRefusal{};
    bool valid = false;
    try {
        valid = readFileLists(data, size, refusal);
    } catch (const std::bad_alloc&) {
        return finish(false, failure);
    }
    if (!valid) return unreadable(failure);
    return finish(replaceScene(), failure);
}

bool loadTriangleFile(const std::string& path, LoadFailure* failure, MeshRefusal* refusal) {
    if (refusal) *refusal = MeshRefusal{};
    bool valid = false;
    try {
        std::string bytes;
        if (!readFileBytes(path, bytes)) return unreadable(failure);
        valid = readFileLists(bytes.data(), bytes.size(), refusal);
    } catch (const std::bad_alloc&) {  // the reading lists do not fit
        return finish(false, failure);
    }  // the file's bytes are released before the scene is built
    if (!valid) return unreadable(failure);
    return finish(replaceScene(), failure);
}

bool loadSceneFile(const std::string& path, LoadFailure* failure, MeshRefusal* refusal) {
    const bool loaded = loadTriangleFile(path, failure, refusal);
    clearFileMesh();
    if (loaded) AppState.sceneLoaded = true;
    return loaded;
}

bool loadSceneData(const char* data, std::size_t size, LoadFailure* failure, MeshRefusal* refusal) {
    const bool loaded = loadTriangleData(data, size, failure, refusal);
    clearFileMesh();
    if (loaded) AppState.sceneLoaded = true;
    return loaded;
}

std::string windowTitle(const std::string& name) {
    return std::string(kWindowTitle) + " - " + name;
}

std::size_t quadtreeBuildBudget() {
    return AppState.quadtreeMemoryLimit != 0 ? AppState.quadtreeMemoryLimit : quadtreeMemoryBudget();
}

std::string loadErrorText(const std::string& path) {
    return "The file \"" + path + "\" could not be opened.";
}

void clearFileMesh() {
    AppState.fileVertices.clear();
    AppState.fileVertices.shrink_to_fit();
    AppState.fileIndices.clear();
    AppState.fileIndices.shrink_to_fit();
}

void clearSceneMesh() {
    AppState.mesh.vertices.clear();
    AppState.mesh.indices.clear();
    AppState.mesh.edges.clear();
    AppState.highlightRegion = nullptr;
}

bool rebuildQuadtree(std::int32_t maxDepth, std::int32_t maxTrianglesPerRegion) {
    ORRELIN_REQUIRE(AppState.quadtreeSettings.rootBounds != nullptr);
    setWaitCursor(true);
    QuadtreeSettings settings = AppState.quadtreeSettings;
    settings.maxDepth = maxDepth;
    settings.maxTrianglesPerRegion = static_cast<std::uint32_t>(maxTrianglesPerRegion);
    settings.memoryBudget = quadtreeBuildBudget();
    // The new tree and its buffer contents are made beside the old tree, which
    // stays when they do not fit.
    reachStage(SceneStage::Quadtree);
    Quadtree fresh;
    bool built = buildQuadtree(fresh, settings);
    const QuadtreeNode* located = nullptr;
    TreeBuffers buffers;
    if (built) {
        try {
            located = locateRegion(fresh.root, AppState.queryPoint);
            buffers.regionLines = regionLineContents(fresh.regionList);
            buffers.highlight = highlightOf(located);
        } catch (const std::bad_alloc&) {
            built = false;
        }
    }
    setWaitCursor(false);
    if (!built) return false;
    AppState.quadtreeSettings.maxDepth = maxDepth;
    AppState.quadtreeSettings.maxTrianglesPerRegion = settings.maxTrianglesPerRegion;
    destroyQuadtree(AppState.quadtree);
    // The nodes stay where they are: `located` is a node of the moved tree.
    moveQuadtree(AppState.quadtree, fresh, &AppState.mesh.vertices, &AppState.mesh.indices);
    AppState.regionLineSource = &AppState.quadtree.regionList;
    AppState.highlightRegion = located;
    setRegionLineBuffer(buffers.regionLines);
    setHighlightBuffer(buffers.highlight);
    redraw();
    return true;
}

bool simulatePointLocation(Point2 point) {
    ORRELIN_REQUIRE(AppState.quadtree.root != nullptr);
    const QuadtreeNode* located = locateRegion(AppState.quadtree.root, point);
    HighlightContents contents;
    try {
        contents = highlightContents(AppState.mesh.vertices, AppState.mesh.indices, located->triangles, point);
    } catch (const std::bad_alloc&) {
        return false;  // the last highlight stays
    }
    AppState.highlightEnabled = true;
    AppState.queryPoint = point;
    AppState.highlightRegion = located;
    setHighlightBuffer(contents);
    redraw();
    return true;
}
