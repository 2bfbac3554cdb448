#pragma once
// What the four vertex buffers of the drawing window hold: plain arrays built
// from the mesh, the quadtree and the last point location. Uploading them is
// the drawing window's business.

#include <cstdint>
#include <span>
#include <vector>

#include "orrelin/mesh/mesh_types.h"
#include "orrelin/quadtree/quadtree.h"

// The one vertex format of every buffer: position in the plane and colour.
struct ColoredVertex {
    float x;
    float y;
    float r;
    float g;
    float b;
};
static_assert(sizeof(ColoredVertex) == 20, "buffers are uploaded as packed 20-byte vertices");

struct Color3 {
    float r;
    float g;
    float b;
};

inline constexpr Color3 kMeshColor{0.8f, 0.8f, 0.8f};
inline constexpr Color3 kSplitLineColor{1.0f, 0.6f, 0.0f};
inline constexpr Color3 kTestedColor{0.9f, 0.0f, 0.0f};
inline constexpr Color3 kFoundColor{0.0f, 0.8f, 0.0f};
inline constexpr Color3 kPointColor{0.0f, 1.0f, 0.0f};
// Aids drawn over the picture, in colours none of the above: the regions of a
// click's descent (the figure, the page's Descent panel), and the region a
// step-by-step replay stands on (the page).
inline constexpr Color3 kDescentColor{0.3f, 0.7f, 1.0f};
inline constexpr Color3 kStepColor{1.0f, 0.3f, 1.0f};

// Buffer names of the drawing context and the counts the draw passes use.
struct GpuBufferSet {
    std::uint32_t meshVertexBuffer = 0;
    std::uint32_t meshIndexBuffer = 0;
    std::uint32_t regionLineBuffer = 0;
    std::uint32_t highlightBuffer = 0;
    std::int32_t foundTriangleFirst = 0;
    std::int32_t regionLineVertexCount = 0;
    std::int32_t highlightVertexCount = 0;
    std::int32_t meshIndexCount = 0;
    bool enabled = false;  // buffer objects are supported; names may be released at exit
};

// The two kinds of buffer: vertices, and the mesh's edge indices.
enum class BufferTarget { Array, ElementArray };

// One vertex in the mesh colour per mesh vertex, used by a triangle or not.
std::vector<ColoredVertex> meshVertexContents(const std::vector<Point2>& vertices);

// Four vertices per split node, in region-list order: its vertical centre line
// (cx, minY)-(cx, maxY), then its horizontal one (minX, cy)-(maxX, cy).
std::vector<ColoredVertex> regionLineContents(const std::vector<const QuadtreeNode*>& regionList);

// Whether the window draws the triangle at `corners` (three vertices) as its
// outline: its corners run counter-clockwise in the plane, which makes it a
// front face, drawn as lines under the window's polygon mode. Clockwise and
// flat triangles are filled.
bool drawnAsOutline(const ColoredVertex* corners);

struct HighlightContents {
    std::vector<ColoredVertex> vertices;  // three per tested triangle, then the query point
    std::int32_t foundTriangleFirst = 0;  // first vertex of the last triangle holding the point; 0 if none
};

// The located region's triangles, each in the found colour when it holds
// `queryPoint` (pointInTriangle) and in the tested colour otherwise, followed
// by the query point in the point colour.
// Requires: every offset of `region` names a triangle of the mesh.
HighlightContents highlightContents(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                                    std::span<const TriangleOffset> region, Point2 queryPoint);
