#include "scene.h"

#include <cassert>
#include <new>
#include <string>
#include <utility>

#include "app_state.h"
#include "buffer_contents.h"
#include "memory_budget.h"
#include "mesh_prep.h"
#include "quadtree.h"
#include "tri_reader.h"

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

std::size_t buildBudget() {
    return AppState.quadtreeMemoryLimit != 0 ? AppState.quadtreeMemoryLimit : quadtreeMemoryBudget();
}

// Replaces the scene by the validated reading lists. Everything that can run
// out of memory (the quadtree, the edge list) is built first, so that on
// failure the old scene is still whole.
bool replaceScene() {
    const SceneMeasures measures = computeSceneBounds(AppState.fileVertices);
    QuadtreeSettings settings = AppState.quadtreeSettings;
    settings.rootBounds = &measures.bounds;
    settings.vertices = &AppState.fileVertices;
    settings.indices = &AppState.fileIndices;
    settings.memoryBudget = buildBudget();
    Quadtree fresh;
    if (!buildQuadtree(fresh, settings)) return false;
    std::vector<std::uint32_t> edges;
    try {
        edges = buildEdgeList(AppState.fileIndices, AppState.fileVertices.size());
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
    buildMeshBuffers();

    AppState.sceneBounds = measures.bounds;
    AppState.sceneExtent = measures.extent;
    AppState.moveStep = measures.moveStep;
    AppState.sceneCenter = measures.centre;

    AppState.quadtreeSettings.rootBounds = &AppState.sceneBounds;
    AppState.quadtreeSettings.vertices = &AppState.mesh.vertices;
    AppState.quadtreeSettings.indices = &AppState.mesh.indices;
    moveQuadtree(AppState.quadtree, fresh, &AppState.mesh.vertices, &AppState.mesh.indices);

    AppState.regionLineSource = &AppState.quadtree.regionList;
    buildRegionLineBuffer();
    return true;
}

// Parses into the reading lists and validates what was read.
bool readFileLists(const char* data, std::size_t size) {
    assert(AppState.fileVertices.empty() && AppState.fileIndices.empty());
    const TriangleParseFlags flags = parseTriangleData(data, size, AppState.fileVertices, AppState.fileIndices);
    return validateFileMesh(AppState.fileVertices, AppState.fileIndices, flags);
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

bool loadTriangleData(const char* data, std::size_t size, LoadFailure* failure) {
    bool valid = false;
    try {
        valid = readFileLists(data, size);
    } catch (const std::bad_alloc&) {
        return finish(false, failure);
    }
    if (!valid) return unreadable(failure);
    return finish(replaceScene(), failure);
}

bool loadTriangleFile(const std::string& path, LoadFailure* failure) {
    bool valid = false;
    try {
        std::string bytes;
        if (!readFileBytes(path, bytes)) return unreadable(failure);
        valid = readFileLists(bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {  // the reading lists do not fit
        return finish(false, failure);
    }  // the file's bytes are released before the scene is built
    if (!valid) return unreadable(failure);
    return finish(replaceScene(), failure);
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

void buildMeshBuffers() {
    AppState.gpuBuffers.meshIndexCount = static_cast<std::int32_t>(AppState.mesh.edges.size());
    if (!AppState.display.replaceBuffer) return;  // no window: nothing to upload
    replaceBuffer(AppState.gpuBuffers.meshVertexBuffer, BufferTarget::Array,
                  meshVertexContents(AppState.mesh.vertices));
    replaceBuffer(AppState.gpuBuffers.meshIndexBuffer, BufferTarget::ElementArray, AppState.mesh.edges);
}

void buildRegionLineBuffer() {
    assert(AppState.regionLineSource != nullptr);
    const std::vector<ColoredVertex> contents = regionLineContents(*AppState.regionLineSource);
    AppState.gpuBuffers.regionLineVertexCount = static_cast<std::int32_t>(contents.size());
    replaceBuffer(AppState.gpuBuffers.regionLineBuffer, BufferTarget::Array, contents);
}

void buildHighlightBuffer() {
    assert(AppState.highlightRegion != nullptr);
    const HighlightContents contents = highlightContents(AppState.mesh.vertices, AppState.mesh.indices,
                                                         AppState.highlightRegion->triangles, AppState.queryPoint);
    AppState.gpuBuffers.foundTriangleFirst = contents.foundTriangleFirst;
    AppState.gpuBuffers.highlightVertexCount = static_cast<std::int32_t>(contents.vertices.size());
    replaceBuffer(AppState.gpuBuffers.highlightBuffer, BufferTarget::Array, contents.vertices);
}

bool rebuildQuadtree(std::int32_t maxDepth, std::int32_t maxTrianglesPerRegion) {
    assert(AppState.quadtreeSettings.rootBounds != nullptr);
    setWaitCursor(true);
    QuadtreeSettings settings = AppState.quadtreeSettings;
    settings.maxDepth = maxDepth;
    settings.maxTrianglesPerRegion = static_cast<std::uint32_t>(maxTrianglesPerRegion);
    settings.memoryBudget = buildBudget();
    // The new tree is built beside the old one, which stays when it does not fit.
    Quadtree fresh;
    const bool built = buildQuadtree(fresh, settings);
    setWaitCursor(false);
    if (!built) return false;
    AppState.quadtreeSettings.maxDepth = maxDepth;
    AppState.quadtreeSettings.maxTrianglesPerRegion = settings.maxTrianglesPerRegion;
    destroyQuadtree(AppState.quadtree);
    moveQuadtree(AppState.quadtree, fresh, &AppState.mesh.vertices, &AppState.mesh.indices);
    AppState.regionLineSource = &AppState.quadtree.regionList;
    AppState.highlightRegion = locateRegion(AppState.quadtree.root, AppState.queryPoint);
    buildRegionLineBuffer();
    buildHighlightBuffer();
    redraw();
    return true;
}

void simulatePointLocation(Point2 point) {
    assert(AppState.quadtree.root != nullptr);
    AppState.highlightEnabled = true;
    AppState.queryPoint = point;
    AppState.highlightRegion = locateRegion(AppState.quadtree.root, point);
    buildHighlightBuffer();
    redraw();
}
