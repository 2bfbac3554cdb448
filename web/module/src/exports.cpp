// The functions the page's scripts call. The module is instantiated twice:
// on the page's main thread it holds the camera and the panel's rules (the
// `orrelin_view_*` and text functions), and in the page's Web Worker it holds
// the scene and runs loads, Apply and clicks (`orrelin_scene_*`). Each
// instance has its own application record.
//
// Pointers cross into JavaScript as 32-bit numbers; the scripts read them
// unsigned, since the memory may grow past 2 GiB.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "orrelin/base/contract.h"
#include "orrelin/mesh/tri_reader.h"
#include "orrelin/mesh/tri_writer.h"
#include "orrelin/meshgen/meshgen.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/render/buffer_contents.h"
#include "orrelin/render/heat_map.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/camera_input.h"
#include "orrelin/scene/limit_sweep.h"
#include "orrelin/scene/scene.h"
#include "orrelin/scene/svg_figure.h"
#include "orrelin/ui/dialog_fields.h"
#include "orrelin/ui/info_dialog.h"
#include "orrelin/view/camera_math.h"
#include "orrelin/view/view_matrices.h"
#include "orrelin/web/web_buffers.h"
#include "page_interface.h"

namespace {

// The browser owns Ctrl+Tab; Tab and Shift+Tab move between the canvas and
// the panel instead.
constexpr const char* kDesktopToggleKey = "Key Ctrl+Tab";
constexpr const char* kPageToggleKey = "Key Tab, Shift+Tab";

// clang-format off
EM_JS(void, hand_buffer_to_page, (int which, const void* data, std::size_t bytes), {
    const start = data >>> 0;
    Module["orrelinHooks"].buffer(which, HEAPU8.slice(start, start + (bytes >>> 0)));
});
EM_JS(void, report_stage_to_page, (int stage), {
    Module["orrelinHooks"].stage(stage);
});
EM_JS(void, report_redraw_to_page, (), {
    Module["orrelinHooks"].redraw();
});
EM_JS(void, report_generated_to_page, (double fraction), {
    Module["orrelinHooks"].generated(fraction);
});
EM_JS(void, report_sweep_to_page, (int done, int total), {
    Module["orrelinHooks"].sweep(done, total);
});
// clang-format on

template <typename T>
void handOver(WebBuffer which, const std::vector<T>& contents) {
    hand_buffer_to_page(static_cast<int>(which), contents.data(), contents.size() * sizeof(T));
}

std::span<const ColoredVertex> vertices(const void* data, std::size_t bytes) {
    return {static_cast<const ColoredVertex*>(data), bytes / sizeof(ColoredVertex)};
}

// The scene's buffers go to the page as the page draws them: the mesh's as
// they are, the split lines and the highlight as triangles.
void replaceWebBuffer(std::uint32_t& name, BufferTarget, const void* data, std::size_t bytes) {
    // The page keeps its own buffer objects: `name` only says which one this is.
    GpuBufferSet& buffers = AppState.gpuBuffers;
    if (&name == &buffers.meshVertexBuffer) {
        hand_buffer_to_page(static_cast<int>(WebBuffer::MeshVertices), data, bytes);
    } else if (&name == &buffers.meshIndexBuffer) {
        hand_buffer_to_page(static_cast<int>(WebBuffer::MeshEdges), data, bytes);
    } else if (&name == &buffers.regionLineBuffer) {
        handOver(WebBuffer::RegionLines, thickLines(vertices(data, bytes), 2.0f));
    } else if (&name == &buffers.highlightBuffer) {
        handOver(WebBuffer::Highlight, highlightTriangles(vertices(data, bytes), buffers.foundTriangleFirst));
    }
}

void stageReached(SceneStage stage) {
    report_stage_to_page(static_cast<int>(stage));
}

void redrawPage() {
    report_redraw_to_page();
}

// Why the worker's last load was refused; no fault after a load that was not.
MeshRefusal lastRefusal;

constexpr int kMeshKindCount = static_cast<int>(MeshKind::Holes) + 1;

// A whole decimal number, all of `text`, as the command-line tool reads it.
bool readWholeUnsigned(const char* text, std::uint64_t& out) {
    const char* end = text + std::strlen(text);
    if (text == end) return false;
    const auto result = std::from_chars(text, end, out);
    return result.ec == std::errc() && result.ptr == end;
}

// The Generate form's fields read: GenerateVerdict::Valid, or the first field
// that is not valid (kind, then count, then seed).
GenerateVerdict readGenerateFields(const char* kindName, const char* countText, const char* seedText, MeshKind& kind,
                                   std::uint64_t& count, std::uint64_t& seed) {
    if (!meshKindFromName(kindName, kind)) return GenerateVerdict::InvalidKind;
    if (!readWholeUnsigned(countText, count) || count < 1 || count > kMaxTrianglesInMemory)
        return GenerateVerdict::InvalidCount;
    if (!readWholeUnsigned(seedText, seed)) return GenerateVerdict::InvalidSeed;
    return GenerateVerdict::Valid;
}

std::string& meshText() {
    static std::string text;
    return text;
}

bool validControl(int index) {
    return index >= 0 && static_cast<std::size_t>(index) < infoDialogControls().size();
}

}  // namespace

extern "C" {

// ---- Texts and the panel ------------------------------------------------

// A text of the core (WebText); "" for any other number.
EMSCRIPTEN_KEEPALIVE const char* orrelin_text(int which) {
    switch (static_cast<WebText>(which)) {
        case WebText::PropertiesCaption: return kPropertiesErrorCaption;
        case WebText::InvalidDepth: return kInvalidDepthText;
        case WebText::InvalidTriangles: return kInvalidTrianglesText;
        case WebText::OutOfMemory: return kOutOfMemoryText;
        case WebText::InfoCaption: return kInfoDialogCaption;
    }
    return "";
}

// The page's title with the scene loaded from `name`; valid until the next call.
EMSCRIPTEN_KEEPALIVE const char* orrelin_window_title(const char* name) {
    static std::string text;
    text = windowTitle(name);
    return text.c_str();
}

// "The file "NAME" could not be opened."; valid until the next call.
EMSCRIPTEN_KEEPALIVE const char* orrelin_load_error_text(const char* name) {
    static std::string text;
    text = loadErrorText(name);
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE int orrelin_control_count() {
    return static_cast<int>(infoDialogControls().size());
}

// The control's kind (ControlKind), id and text; an index out of range gives
// -1, 0 and "".
EMSCRIPTEN_KEEPALIVE int orrelin_control_kind(int index) {
    return validControl(index) ? static_cast<int>(infoDialogControls()[static_cast<std::size_t>(index)].kind) : -1;
}

EMSCRIPTEN_KEEPALIVE int orrelin_control_id(int index) {
    return validControl(index) ? infoDialogControls()[static_cast<std::size_t>(index)].id : 0;
}

EMSCRIPTEN_KEEPALIVE const char* orrelin_control_text(int index) {
    if (!validControl(index)) return "";
    const char* text = infoDialogControls()[static_cast<std::size_t>(index)].text;
    return std::strcmp(text, kDesktopToggleKey) == 0 ? kPageToggleKey : text;
}

// The control's box in pixels for a font with the given base units: x, y,
// width, height into `out`. Index -1 gives the whole panel (0, 0, width, height).
EMSCRIPTEN_KEEPALIVE void orrelin_control_box(int index, int baseWidth, int baseHeight, int* out) {
    if (!validControl(index)) {
        out[0] = out[1] = 0;
        out[2] = dialogUnitsToPixelsX(kInfoDialogWidthUnits, baseWidth);
        out[3] = dialogUnitsToPixelsY(kInfoDialogHeightUnits, baseHeight);
        return;
    }
    const DialogControl& control = infoDialogControls()[static_cast<std::size_t>(index)];
    out[0] = dialogUnitsToPixelsX(control.x, baseWidth);
    out[1] = dialogUnitsToPixelsY(control.y, baseHeight);
    out[2] = dialogUnitsToPixelsX(control.width, baseWidth);
    out[3] = dialogUnitsToPixelsY(control.height, baseHeight);
}

// A field's text read as the dialog reads it, as the signed value it stores.
EMSCRIPTEN_KEEPALIVE std::int32_t orrelin_field_value(const char* text) {
    return static_cast<std::int32_t>(readUnsignedField(text));
}

// A coordinate of the Locate form, read as the file's numbers are; false when
// it is not a number.
EMSCRIPTEN_KEEPALIVE int orrelin_read_coordinate(const char* text, float* out) {
    return readCoordinate(text, *out) ? 1 : 0;
}

// The quadtree limits a scene is built with until an Apply changes them.
EMSCRIPTEN_KEEPALIVE std::int32_t orrelin_active_max_depth() {
    return AppState.quadtreeSettings.maxDepth;
}

EMSCRIPTEN_KEEPALIVE std::int32_t orrelin_active_triangles_per_region() {
    return static_cast<std::int32_t>(AppState.quadtreeSettings.maxTrianglesPerRegion);
}

// PropertiesVerdict: 0 valid, 1 the depth is not, 2 the triangle count is not.
EMSCRIPTEN_KEEPALIVE int orrelin_validate_properties(std::int32_t maxDepth, std::int32_t trianglesPerRegion) {
    return static_cast<int>(validateProperties(maxDepth, trianglesPerRegion));
}

// ---- Generated meshes ---------------------------------------------------

// The generator's kinds, numbered 0 to count - 1; "" for any other number.
EMSCRIPTEN_KEEPALIVE int orrelin_mesh_kind_count() {
    return kMeshKindCount;
}

EMSCRIPTEN_KEEPALIVE const char* orrelin_mesh_kind_name(int index) {
    return index >= 0 && index < kMeshKindCount ? meshKindName(static_cast<MeshKind>(index)) : "";
}

// GenerateVerdict of the Generate form's kind name, triangle count and seed.
EMSCRIPTEN_KEEPALIVE int orrelin_validate_generate(const char* kind, const char* count, const char* seed) {
    MeshKind k{};
    std::uint64_t n = 0;
    std::uint64_t s = 0;
    return static_cast<int>(readGenerateFields(kind, count, seed, k, n, s));
}

// What a GenerateVerdict other than Valid tells; valid until the next call.
EMSCRIPTEN_KEEPALIVE const char* orrelin_generate_error_text(int verdict) {
    static std::string text;
    switch (static_cast<GenerateVerdict>(verdict)) {
        case GenerateVerdict::InvalidKind: text = "Invalid kind. Choose one of the listed kinds."; break;
        case GenerateVerdict::InvalidCount:
            text = "Invalid number of triangles. Only values between 1 and " + std::to_string(kMaxTrianglesInMemory) +
                   " are allowed.";
            break;
        case GenerateVerdict::InvalidSeed:
            text = "Invalid seed. Only whole numbers between 0 and " +
                   std::to_string(std::numeric_limits<std::uint64_t>::max()) + " are allowed.";
            break;
        case GenerateVerdict::Valid: text.clear(); break;
    }
    return text.c_str();
}

// The heat map's scale: kHeatScaleStops colours (r, g, b) into `out`.
EMSCRIPTEN_KEEPALIVE int orrelin_heat_scale(float* out) {
    for (const Color3& stop : heatScaleStops()) {
        *out++ = stop.r;
        *out++ = stop.g;
        *out++ = stop.b;
    }
    return static_cast<int>(kHeatScaleStops);
}

// ---- The view (main thread) ---------------------------------------------

// The canvas's size in CSS pixels, the size the view's arithmetic uses.
EMSCRIPTEN_KEEPALIVE void orrelin_view_resize(int width, int height) {
    AppState.windowWidth = width;
    AppState.windowHeight = height;
    AppState.aspect = aspectRatio(width, height);
}

// A new scene's measures; the eye frames it.
EMSCRIPTEN_KEEPALIVE void orrelin_view_frame(float centreX, float centreY, float extent, float moveStep) {
    AppState.sceneCenter = {centreX, centreY};
    AppState.sceneExtent = extent;
    AppState.moveStep = moveStep;
    AppState.eye = framedEye(AppState.sceneCenter, AppState.sceneExtent);
    AppState.sceneLoaded = true;
}

// Home: back to the eye the load framed.
EMSCRIPTEN_KEEPALIVE void orrelin_view_reset() {
    AppState.eye = framedEye(AppState.sceneCenter, AppState.sceneExtent);
}

// An arrow key (ArrowKey), Shift held (nonzero) or not: the eye's step, if any.
EMSCRIPTEN_KEEPALIVE void orrelin_view_arrow_key(int key, int shift) {
    if (key < 0 || key > static_cast<int>(ArrowKey::Down)) return;
    arrowKeyStep(static_cast<ArrowKey>(key), shift != 0);
}

// Window pixel (x, y), origin top-left, on the plane: sets the picked point
// and the zoom target. False when the pixel's ray does not meet the plane.
EMSCRIPTEN_KEEPALIVE int orrelin_view_pick(int x, int y) {
    const ViewMatrices matrices =
        viewMatrices(AppState.windowWidth, AppState.windowHeight, AppState.sceneExtent, AppState.eye);
    bool ok = false;
    const Point2 p = pixelToPlane(matrices, Viewport{0, 0, AppState.windowWidth, AppState.windowHeight}, x, y, ok);
    if (!ok) return 0;
    AppState.pickedPoint = p;
    AppState.zoomTarget.x = p.x;
    AppState.zoomTarget.y = p.y;
    return 1;
}

EMSCRIPTEN_KEEPALIVE float orrelin_view_picked_x() {
    return AppState.pickedPoint.x;
}

EMSCRIPTEN_KEEPALIVE float orrelin_view_picked_y() {
    return AppState.pickedPoint.y;
}

// One wheel notch toward the zoom target (`in` nonzero) or away; the page
// picks the point under the cursor first.
EMSCRIPTEN_KEEPALIVE void orrelin_view_zoom(int in) {
    wheelNotch(in != 0);
}

EMSCRIPTEN_KEEPALIVE void orrelin_view_drag_start(int x, int y) {
    beginDrag(x, y);
}

EMSCRIPTEN_KEEPALIVE void orrelin_view_drag_end() {
    endDrag();
}

// The pointer moved to (x, y); the eye follows while a drag is on.
EMSCRIPTEN_KEEPALIVE void orrelin_view_drag(int x, int y) {
    dragTo(x, y);
}

// The eye (x, y, z) into `out`.
EMSCRIPTEN_KEEPALIVE void orrelin_view_eye(float* out) {
    out[0] = AppState.eye.x;
    out[1] = AppState.eye.y;
    out[2] = AppState.eye.z;
}

// Puts the eye at (x, y, z), as a shared link gives it; only finite values
// above the plane (z > 0) are taken. Returns 1 when taken, else 0 (the eye
// stays).
EMSCRIPTEN_KEEPALIVE int orrelin_view_set_eye(float x, float y, float z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !(z > 0.0f)) return 0;
    AppState.eye = {x, y, z};
    return 1;
}

// The projection, then the model-view matrix, column after column, as the
// desktop's GL holds them (single precision): 32 floats into `out`.
EMSCRIPTEN_KEEPALIVE void orrelin_view_matrices(float* out) {
    const ViewMatrices matrices =
        viewMatrices(AppState.windowWidth, AppState.windowHeight, AppState.sceneExtent, AppState.eye);
    for (std::size_t k = 0; k < 16; ++k) {
        out[k] = static_cast<float>(matrices.projection[k]);
        out[16 + k] = static_cast<float>(matrices.modelView[k]);
    }
}

// ---- The scene (worker) -------------------------------------------------

// Sends every buffer, stage and redraw of the scene operations to the page.
EMSCRIPTEN_KEEPALIVE void orrelin_scene_connect() {
    AppState.gpuBuffers.enabled = true;
    AppState.display.replaceBuffer = replaceWebBuffer;
    AppState.display.displayScene = redrawPage;
    AppState.display.stage = stageReached;
}

// Loads the file's bytes with the limits the shown scene has. LoadFailure:
// 0 loaded, 1 unreadable or invalid, 2 out of memory. The bytes stay the
// caller's.
EMSCRIPTEN_KEEPALIVE int orrelin_scene_load(const char* data, std::size_t size, std::int32_t maxDepth,
                                            std::int32_t trianglesPerRegion) {
    AppState.quadtreeSettings.maxDepth = maxDepth;
    AppState.quadtreeSettings.maxTrianglesPerRegion = static_cast<std::uint32_t>(trianglesPerRegion);
    LoadFailure failure = LoadFailure::None;
    loadSceneData(data, size, &failure, &lastRefusal);
    return static_cast<int>(failure);
}

// Why the last load refused the file's contents, as one sentence ("Line 7:
// index 12 names no vertex (the file has 9)."); "" when it did not (loaded,
// or failed otherwise). Valid until the next call.
EMSCRIPTEN_KEEPALIVE const char* orrelin_scene_refusal_text() {
    static std::string text;
    text = refusalText(lastRefusal);
    return text.c_str();
}

// Generates the mesh the form's fields name, exactly as orrelin-meshgen
// writes it, and loads its text as a file's, with the limits the shown scene
// has. The generator's progress goes to the page as fractions. LoadFailure,
// with Unreadable for fields that are not valid (nothing is done then).
EMSCRIPTEN_KEEPALIVE int orrelin_scene_generate(const char* kindName, const char* countText, const char* seedText,
                                                std::int32_t maxDepth, std::int32_t trianglesPerRegion) {
    MeshKind kind{};
    std::uint64_t count = 0;
    std::uint64_t seed = 0;
    if (readGenerateFields(kindName, countText, seedText, kind, count, seed) != GenerateVerdict::Valid)
        return static_cast<int>(LoadFailure::Unreadable);
    std::string text;
    try {
        generateMeshText(kind, count, seed, text, [](std::uint64_t done, std::uint64_t total) {
            report_generated_to_page(static_cast<double>(done) / static_cast<double>(total));
            return true;
        });
    } catch (const std::bad_alloc&) {
        return static_cast<int>(LoadFailure::OutOfMemory);
    }
    return orrelin_scene_load(text.data(), text.size(), maxDepth, trianglesPerRegion);
}

// The last click of the page, which the highlight follows after an Apply even
// when it was made on an earlier scene.
EMSCRIPTEN_KEEPALIVE void orrelin_scene_set_query(float x, float y, int clicked) {
    AppState.queryPoint = {x, y};
    AppState.highlightEnabled = clicked != 0;
}

// The loaded scene's measures: centre x, y, extent, move step, then the
// bounds min x, min y, max x, max y.
EMSCRIPTEN_KEEPALIVE void orrelin_scene_measures(float* out) {
    const float values[kSceneMeasureCount] = {
        AppState.sceneCenter.x,    AppState.sceneCenter.y,    AppState.sceneExtent,      AppState.moveStep,
        AppState.sceneBounds.minX, AppState.sceneBounds.minY, AppState.sceneBounds.maxX, AppState.sceneBounds.maxY};
    std::memcpy(out, values, sizeof values);
}

// Whether the highlight pass is drawn.
EMSCRIPTEN_KEEPALIVE int orrelin_scene_highlight_shown() {
    return AppState.highlightRegion != nullptr && AppState.highlightEnabled ? 1 : 0;
}

// Apply; false when the tree does not fit (everything stays). Requires a scene.
EMSCRIPTEN_KEEPALIVE int orrelin_scene_apply(std::int32_t maxDepth, std::int32_t trianglesPerRegion) {
    if (!AppState.sceneLoaded) return 0;
    return rebuildQuadtree(maxDepth, trianglesPerRegion) ? 1 : 0;
}

// A left click at plane point (x, y); false when the highlight does not fit.
EMSCRIPTEN_KEEPALIVE int orrelin_scene_click(float x, float y) {
    if (!AppState.sceneLoaded) return 0;
    return simulatePointLocation({x, y}) ? 1 : 0;
}

// The shown tree's statistics: split regions, leaves, empty leaves, depth
// reached, stored references, most per leaf, mean per leaf, expected tests
// (NaN for a root of zero area), triangles: nine doubles into `out`.
EMSCRIPTEN_KEEPALIVE void orrelin_scene_stats(double* out) {
    if (AppState.quadtree.root == nullptr) return;
    const QuadtreeStats s = quadtreeStats(AppState.quadtree);
    const double values[kSceneStatCount] = {static_cast<double>(s.splitRegions),
                                            static_cast<double>(s.leaves),
                                            static_cast<double>(s.emptyLeaves),
                                            static_cast<double>(s.depthReached),
                                            static_cast<double>(s.storedReferences),
                                            static_cast<double>(s.maxPerLeaf),
                                            s.meanPerLeaf,
                                            s.expectedTests,
                                            static_cast<double>(AppState.mesh.indices.size() / 3)};
    std::memcpy(out, values, sizeof values);
}

// The last location's descent, at most `capacity` steps of six floats each
// into `out`: the region's bounds (min x, min y, max x, max y), the
// triangles it held, the child taken (-1 at the last). Returns the number of
// steps; 0 without a location.
EMSCRIPTEN_KEEPALIVE int orrelin_scene_descent(float* out, int capacity) {
    if (AppState.quadtree.root == nullptr || !AppState.highlightEnabled) return 0;
    const std::vector<DescentStep> path = descentPath(AppState.quadtree.root, AppState.queryPoint);
    const int count = std::min(capacity, static_cast<int>(path.size()));
    for (int k = 0; k < count; ++k) {
        const Rect2& r = path[static_cast<std::size_t>(k)].region->bounds;
        const float values[kDescentStepFloats] = {
            r.minX,
            r.minY,
            r.maxX,
            r.maxY,
            static_cast<float>(path[static_cast<std::size_t>(k)].region->heldTriangles),
            static_cast<float>(path[static_cast<std::size_t>(k)].child)};
        std::memcpy(out + kDescentStepFloats * k, values, sizeof values);
    }
    return count;
}

// What the last click found: the number of the triangle drawn as holding the
// point (the last of its region that does), its corners' x and y into
// out[0..5]; -1 when none does. out[6] is 1 when the point lies outside the
// root's rectangle, 0 inside it. -1 and nothing written without a location.
EMSCRIPTEN_KEEPALIVE int orrelin_scene_found(float* out) {
    if (AppState.highlightRegion == nullptr || !AppState.highlightEnabled) return -1;
    const Point2 p = AppState.queryPoint;
    const Rect2& root = AppState.quadtree.root->bounds;
    out[6] = p.x < root.minX || p.x > root.maxX || p.y < root.minY || p.y > root.maxY ? 1.0f : 0.0f;
    const Mesh& mesh = AppState.mesh;
    const std::span<const TriangleOffset> region = AppState.highlightRegion->triangles;
    for (std::size_t k = region.size(); k-- > 0;) {
        if (!pointInTriangle(mesh.vertices, mesh.indices, region[k], p)) continue;
        for (std::size_t c = 0; c < 3; ++c) {
            const Point2 corner = mesh.vertices[mesh.indices[region[k] + c]];
            out[2 * c] = corner.x;
            out[2 * c + 1] = corner.y;
        }
        return static_cast<int>(region[k] / 3);
    }
    return -1;
}

// The scene as an SVG figure of width x height pixels seen from the eye
// (eyeX, eyeY, eyeZ), as the canvas shows it, with the highlight and descent
// of the last click; valid until the next call. Empty without a scene.
// With `heatMap` nonzero the leaves are filled in their heat map colours.
EMSCRIPTEN_KEEPALIVE const char* orrelin_scene_svg(int width, int height, float eyeX, float eyeY, float eyeZ,
                                                   int heatMap) {
    static std::string figure;
    figure.clear();
    if (AppState.quadtree.root == nullptr || width < 1 || height < 1) return figure.c_str();
    figure = sceneSvg(FigureView{width, height, {eyeX, eyeY, eyeZ}}, AppState.highlightEnabled, heatMap != 0);
    return figure.c_str();
}

// The last click's highlight as it stands after the first `tested` of its
// region's triangles were tested, handed to the page like the highlight: the
// triangles so far in their colours, the found one again once it is among
// them, the point. With every triangle tested it is the click's highlight.
EMSCRIPTEN_KEEPALIVE void orrelin_scene_highlight_prefix(int tested) {
    if (AppState.highlightRegion == nullptr || !AppState.highlightEnabled) return;
    const HighlightContents h = highlightContents(AppState.mesh.vertices, AppState.mesh.indices,
                                                  AppState.highlightRegion->triangles, AppState.queryPoint);
    const std::size_t count = (h.vertices.size() - 1) / 3;
    const std::size_t shown = std::min(count, static_cast<std::size_t>(std::max(tested, 0)));
    std::vector<ColoredVertex> prefix(h.vertices.begin(), h.vertices.begin() + static_cast<std::ptrdiff_t>(3 * shown));
    prefix.push_back(h.vertices.back());
    const std::int32_t found = static_cast<std::size_t>(h.foundTriangleFirst) < 3 * shown ? h.foundTriangleFirst : 0;
    handOver(WebBuffer::Highlight, highlightTriangles(prefix, found));
}

// The shown mesh as .tri text (every vertex, then every triangle), held until
// orrelin_scene_release_mesh_text; its length into `size`. Null without a
// scene or when the text does not fit.
EMSCRIPTEN_KEEPALIVE const char* orrelin_scene_mesh_text(std::uint32_t* size) {
    static std::string& text = meshText();
    text.clear();
    *size = 0;
    if (!AppState.sceneLoaded) return nullptr;
    try {
        text = triangleFileText(AppState.mesh.vertices, AppState.mesh.indices).text;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    *size = static_cast<std::uint32_t>(text.size());
    return text.data();
}

EMSCRIPTEN_KEEPALIVE void orrelin_scene_release_mesh_text() {
    std::string().swap(meshText());
}

// The shown tree's heat map handed to the page (WebBuffer::HeatMap): six
// vertices a leaf in the colour of its triangle count. Returns the largest
// count, which the legend's scale ends at; -1 without a tree or when it does
// not fit.
EMSCRIPTEN_KEEPALIVE double orrelin_scene_heat_map() {
    if (AppState.quadtree.root == nullptr) return -1;
    try {
        const HeatMapContents heat = heatMapContents(AppState.quadtree);
        handOver(WebBuffer::HeatMap, heat.vertices);
        return static_cast<double>(heat.maxCount);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

#if ORRELIN_CONTRACTS
// Builds with contract checks only, for the page's tests: ends the module as a
// failed check does, so that a scene worker can be made to die on purpose.
EMSCRIPTEN_KEEPALIVE void orrelin_test_abort() {
    orrelin::contractFailed("a test asked the module to abort", __FILE__, __LINE__);
}
#endif

// ---- Drawing aids (main thread) -------------------------------------------

// The outline of rectangle (minX, minY, maxX, maxY) in colour (r, g, b) as
// 2-pixel lines: kRegionOutlineVertices vertices into `out`.
EMSCRIPTEN_KEEPALIVE void orrelin_region_outline(float minX, float minY, float maxX, float maxY, float r, float g,
                                                 float b, WebVertex* out) {
    const ColoredVertex corners[8] = {{minX, minY, r, g, b}, {maxX, minY, r, g, b}, {maxX, minY, r, g, b},
                                      {maxX, maxY, r, g, b}, {maxX, maxY, r, g, b}, {minX, maxY, r, g, b},
                                      {minX, maxY, r, g, b}, {minX, minY, r, g, b}};
    const std::vector<WebVertex> lines = thickLines(corners, 2.0f);
    for (std::size_t k = 0; k < static_cast<std::size_t>(kRegionOutlineVertices); ++k)
        out[k] = k < lines.size() ? lines[k] : WebVertex{};
}

// One sweep of the shown mesh's limits (axis: 0 the depth limit, 1 the
// triangles per region), each point's kSweepPointDoubles numbers into `out`,
// at most `capacity` points: depth limit, triangles per region, fits (1/0),
// expected tests, stored references, split regions, build milliseconds.
// Reports each point done; the shown tree stays as it is. Returns the number
// of points; 0 without a scene.
EMSCRIPTEN_KEEPALIVE int orrelin_scene_sweep(int axis, double* out, int capacity) {
    if (AppState.quadtree.root == nullptr || capacity < 1) return 0;
    const LimitSweep sweep =
        sweepShownMesh(axis == 0 ? SweepAxis::Depth : SweepAxis::Triangles, [](std::size_t done, std::size_t total) {
            report_sweep_to_page(static_cast<int>(done), static_cast<int>(total));
            return true;
        });
    const std::size_t count = std::min(sweep.points.size(), static_cast<std::size_t>(capacity));
    for (std::size_t k = 0; k < count; ++k) {
        const SweepPoint& p = sweep.points[k];
        const double values[kSweepPointDoubles] = {static_cast<double>(p.maxDepth),
                                                   static_cast<double>(p.maxTrianglesPerRegion),
                                                   p.fits ? 1.0 : 0.0,
                                                   p.expectedTests,
                                                   static_cast<double>(p.storedReferences),
                                                   static_cast<double>(p.splitRegions),
                                                   p.buildMilliseconds};
        std::memcpy(out + k * kSweepPointDoubles, values, sizeof values);
    }
    return static_cast<int>(count);
}

}  // extern "C"
