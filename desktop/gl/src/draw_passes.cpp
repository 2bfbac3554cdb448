#include "orrelin/desktop/draw_passes.h"

#include <cstring>
#include <vector>

#include "orrelin/desktop/gl_headers.h"
#include "orrelin/desktop/vbo_functions.h"
#include "orrelin/render/buffer_contents.h"
#include "orrelin/scene/app_state.h"

namespace {

constexpr GLsizei kStride = sizeof(ColoredVertex);
const void* const kPositionOffset = reinterpret_cast<const void*>(offsetof(ColoredVertex, x));
const void* const kColorOffset = reinterpret_cast<const void*>(offsetof(ColoredVertex, r));

GLenum glTarget(BufferTarget target) {
    return target == BufferTarget::Array ? GL_ARRAY_BUFFER_ARB : GL_ELEMENT_ARRAY_BUFFER_ARB;
}

void beginArrays() {
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glColorPointer(3, GL_FLOAT, kStride, kColorOffset);
    glVertexPointer(2, GL_FLOAT, kStride, kPositionOffset);
}

void endArrays() {
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

void drawMesh() {
    const GpuBufferSet& buffers = AppState.gpuBuffers;
    vboFunctions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffers.meshVertexBuffer);
    vboFunctions.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, buffers.meshIndexBuffer);
    beginArrays();
    glDrawElements(GL_LINES, buffers.meshIndexCount, GL_UNSIGNED_INT, nullptr);
    endArrays();
}

// The mesh pass's picture, kept while the view and the mesh stay the same: a
// click or an Apply changes only what is drawn over the mesh, and copying the
// kept pixels back is far cheaper than drawing a large mesh's edges again.
struct MeshLayer {
    bool valid = false;
    unsigned generation = 0;  // the mesh buffers the pixels were drawn from
    GLint viewport[4] = {0, 0, 0, 0};
    GLdouble modelView[16] = {};
    GLdouble projection[16] = {};
    std::vector<unsigned char> pixels;  // RGBA rows, bottom row first
};

MeshLayer meshLayer;
unsigned meshGeneration = 0;

struct ViewState {
    GLint viewport[4];
    GLdouble modelView[16];
    GLdouble projection[16];
};

ViewState currentView() {
    ViewState view{};
    glGetIntegerv(GL_VIEWPORT, view.viewport);
    glGetDoublev(GL_MODELVIEW_MATRIX, view.modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, view.projection);
    return view;
}

bool sameView(const ViewState& view) {
    return meshLayer.valid && meshLayer.generation == meshGeneration &&
           std::memcmp(view.viewport, meshLayer.viewport, sizeof view.viewport) == 0 &&
           std::memcmp(view.modelView, meshLayer.modelView, sizeof view.modelView) == 0 &&
           std::memcmp(view.projection, meshLayer.projection, sizeof view.projection) == 0;
}

bool layerFits(const ViewState& view) {
    // Only a viewport that is the whole window from its corner is kept.
    return view.viewport[0] == 0 && view.viewport[1] == 0 && view.viewport[2] > 0 && view.viewport[3] > 0;
}

void saveMeshLayer(const ViewState& view) {
    meshLayer.valid = false;
    if (!layerFits(view)) return;
    const auto width = static_cast<std::size_t>(view.viewport[2]);
    const auto height = static_cast<std::size_t>(view.viewport[3]);
    meshLayer.pixels.resize(width * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, view.viewport[2], view.viewport[3], GL_RGBA, GL_UNSIGNED_BYTE, meshLayer.pixels.data());
    std::memcpy(meshLayer.viewport, view.viewport, sizeof view.viewport);
    std::memcpy(meshLayer.modelView, view.modelView, sizeof view.modelView);
    std::memcpy(meshLayer.projection, view.projection, sizeof view.projection);
    meshLayer.generation = meshGeneration;
    meshLayer.valid = true;
}

void restoreMeshLayer() {
    // Window position (0, 0) is the corner (-1, -1) under identity matrices.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2f(-1.0f, -1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glDrawPixels(meshLayer.viewport[2], meshLayer.viewport[3], GL_RGBA, GL_UNSIGNED_BYTE, meshLayer.pixels.data());
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// The mesh pass, or its kept picture when nothing it depends on has changed.
void drawMeshLayer() {
    const ViewState view = currentView();
    if (sameView(view)) {
        restoreMeshLayer();
        return;
    }
    drawMesh();
    saveMeshLayer(view);
}

void drawHighlight() {
    const GpuBufferSet& buffers = AppState.gpuBuffers;
    vboFunctions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffers.highlightBuffer);
    beginArrays();
    const GLsizei pointIndex = buffers.highlightVertexCount - 1;
    glDrawArrays(GL_TRIANGLES, 0, pointIndex);
    // The found triangle once more, on top of its neighbours.
    if (pointIndex >= 3) glDrawArrays(GL_TRIANGLES, buffers.foundTriangleFirst, 3);
    glPointSize(6.0f);
    glDrawArrays(GL_POINTS, pointIndex, 1);
    endArrays();
}

void drawRegionLines() {
    const GpuBufferSet& buffers = AppState.gpuBuffers;
    glLineWidth(2.0f);
    vboFunctions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffers.regionLineBuffer);
    beginArrays();
    glDrawArrays(GL_LINES, 0, buffers.regionLineVertexCount);
    endArrays();
    glLineWidth(1.0f);
}

}  // namespace

void replaceGlBuffer(std::uint32_t& name, BufferTarget target, const void* data, std::size_t bytes) {
    if (!vboFunctionsLoaded()) return;
    const GLenum where = glTarget(target);
    vboFunctions.glDeleteBuffersARB(1, &name);
    vboFunctions.glGenBuffersARB(1, &name);
    vboFunctions.glBindBufferARB(where, name);
    vboFunctions.glBufferDataARB(where, static_cast<GLsizeiptrARB>(bytes), data, GL_STATIC_DRAW_ARB);
}

void displayScene() {
    const bool drawHighlightPass = AppState.highlightRegion != nullptr && AppState.highlightEnabled;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The window can be uncovered before any scene exists; it is then black.
    if (AppState.sceneLoaded && vboFunctionsLoaded()) {
        drawMeshLayer();
        if (drawHighlightPass) drawHighlight();
        drawRegionLines();
        vboFunctions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        vboFunctions.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    }
    glutSwapBuffers();
}

void meshBuffersReplaced() {
    ++meshGeneration;
    meshLayer.valid = false;
}

void releaseGpuBuffers() {
    GpuBufferSet& buffers = AppState.gpuBuffers;
    if (!buffers.enabled || !vboFunctionsLoaded()) return;
    vboFunctions.glDeleteBuffersARB(1, &buffers.meshVertexBuffer);
    vboFunctions.glDeleteBuffersARB(1, &buffers.meshIndexBuffer);
    vboFunctions.glDeleteBuffersARB(1, &buffers.regionLineBuffer);
    vboFunctions.glDeleteBuffersARB(1, &buffers.highlightBuffer);
    buffers.meshVertexBuffer = 0;
    buffers.meshIndexBuffer = 0;
    buffers.regionLineBuffer = 0;
    buffers.highlightBuffer = 0;
}
