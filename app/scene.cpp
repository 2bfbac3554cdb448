#include "scene.h"

#include <cassert>
#include <string>
#include <utility>

#include "app_state.h"
#include "buffer_contents.h"
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

// Replaces the scene by the validated reading lists.
void replaceScene() {
    destroyQuadtree(AppState.quadtree);
    clearSceneMesh();
    // The reading lists are emptied right after the load anyway; moving them
    // saves a copy of the largest arrays.
    AppState.mesh.vertices = std::move(AppState.fileVertices);
    AppState.mesh.indices = std::move(AppState.fileIndices);
    AppState.fileVertices.clear();
    AppState.fileIndices.clear();
    AppState.mesh.edges = buildEdgeList(AppState.mesh.indices, AppState.mesh.vertices.size());

    if (AppState.display.loadBufferFunctions) AppState.display.loadBufferFunctions();
    buildMeshBuffers();

    const SceneMeasures measures = computeSceneBounds(AppState.mesh.vertices);
    AppState.sceneBounds = measures.bounds;
    AppState.sceneExtent = measures.extent;
    AppState.moveStep = measures.moveStep;
    AppState.sceneCenter = measures.centre;

    AppState.quadtreeSettings.rootBounds = &AppState.sceneBounds;
    AppState.quadtreeSettings.vertices = &AppState.mesh.vertices;
    AppState.quadtreeSettings.indices = &AppState.mesh.indices;
    buildQuadtree(AppState.quadtree, AppState.quadtreeSettings);

    AppState.regionLineSource = &AppState.quadtree.regionList;
    buildRegionLineBuffer();
}

// Parses into the reading lists and validates what was read.
bool readFileLists(const char* data, std::size_t size) {
    assert(AppState.fileVertices.empty() && AppState.fileIndices.empty());
    const TriangleParseFlags flags = parseTriangleData(data, size, AppState.fileVertices, AppState.fileIndices);
    return validateFileMesh(AppState.fileVertices, AppState.fileIndices, flags);
}

}  // namespace

bool loadTriangleData(const char* data, std::size_t size) {
    if (!readFileLists(data, size)) return false;
    replaceScene();
    return true;
}

bool loadTriangleFile(const std::string& path) {
    bool valid = false;
    {
        std::string bytes;
        if (!readFileBytes(path, bytes)) return false;
        valid = readFileLists(bytes.data(), bytes.size());
    }  // the file's bytes are released before the scene is built
    if (!valid) return false;
    replaceScene();
    return true;
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
    replaceBuffer(AppState.gpuBuffers.meshVertexBuffer, BufferTarget::Array, meshVertexContents(AppState.mesh.vertices));
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

void rebuildQuadtree(std::int32_t maxDepth, std::int32_t maxTrianglesPerRegion) {
    assert(AppState.quadtreeSettings.rootBounds != nullptr);
    setWaitCursor(true);
    AppState.quadtreeSettings.maxDepth = maxDepth;
    AppState.quadtreeSettings.maxTrianglesPerRegion = static_cast<std::uint32_t>(maxTrianglesPerRegion);
    destroyQuadtree(AppState.quadtree);
    buildQuadtree(AppState.quadtree, AppState.quadtreeSettings);
    setWaitCursor(false);
    AppState.regionLineSource = &AppState.quadtree.regionList;
    AppState.highlightRegion = locateRegion(AppState.quadtree.root, AppState.queryPoint);
    buildRegionLineBuffer();
    buildHighlightBuffer();
    redraw();
}

void simulatePointLocation(Point2 point) {
    assert(AppState.quadtree.root != nullptr);
    AppState.highlightEnabled = true;
    AppState.queryPoint = point;
    AppState.highlightRegion = locateRegion(AppState.quadtree.root, point);
    buildHighlightBuffer();
    redraw();
}
