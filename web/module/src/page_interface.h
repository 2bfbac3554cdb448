#pragma once
// The numbers the module and the page's scripts exchange beyond the core's
// own enums: which buffer a hand-over is for, which text orrelin_text
// returns, and the sizes of what the functions write. page_constants.cpp writes them, with the core's, into the page's
// generated constants module.

// Which buffer a hand-over replaces, as the page numbers its buffers.
enum class WebBuffer { MeshVertices, MeshEdges, RegionLines, Highlight, HeatMap };

// The texts orrelin_text returns.
enum class WebText { PropertiesCaption, InvalidDepth, InvalidTriangles, OutOfMemory, InfoCaption };

// What orrelin_region_outline writes: the rectangle's four sides as 2-pixel
// lines, two triangles each.
inline constexpr int kRegionOutlineVertices = 24;

// orrelin_scene_measures: centre x, y, extent, move step, bounds (4).
inline constexpr int kSceneMeasureCount = 8;
// orrelin_scene_stats: the tree's nine statistics.
inline constexpr int kSceneStatCount = 9;
// orrelin_scene_descent: bounds (4), triangles held, child taken, per step.
inline constexpr int kDescentStepFloats = 6;

// orrelin_validate_generate: the Generate form's first field that is not valid.
enum class GenerateVerdict { Valid, InvalidKind, InvalidCount, InvalidSeed };

// orrelin_scene_sweep: the numbers of one point of a limits sweep.
inline constexpr int kSweepPointDoubles = 7;
