#pragma once
// Loading a triangle file into the scene, rebuilding the quadtree with new
// limits, and locating a clicked point: the operations over AppState that the
// drawing window, the Info dialog and the command-line tools share.

#include <cstddef>
#include <cstdint>
#include <string>

#include "orrelin/mesh/mesh_types.h"
#include "orrelin/mesh/tri_reader.h"

// Why a load failed.
enum class LoadFailure {
    None,
    Unreadable,   // the file cannot be read or its content is invalid
    OutOfMemory,  // the quadtree (or another part of the scene) does not fit in memory
};

// The program's name as its window titles begin with it.
inline constexpr const char* kWindowTitle = "Orrelin v1.1";

// The mesh the program opens at start, in its Data folder.
inline constexpr const char* kDefaultMeshName = "triangles_1.tri";

// The drawing window's title with the scene loaded from `name`.
std::string windowTitle(const std::string& name);

inline constexpr const char* kOutOfMemoryText =
    "There is not enough memory to build the quadtree with these properties.";

// "The file "PATH" could not be opened.": what a file that cannot be read or
// is invalid gives.
std::string loadErrorText(const std::string& path);

// Reads the file at `path`, validates it and, when it is valid, replaces the
// scene: mesh, edge list, mesh buffers, bounds, quadtree with the active limits
// and the region-line buffer; the last located region is forgotten. False when
// the file cannot be read, is invalid, or its scene does not fit in memory
// (`failure` says which); the scene is then unchanged. For a file that was
// read but is invalid, `refusal` says why; otherwise its fault is None.
// Everything of the new scene that takes memory is made before the old one is
// given up. The reading lists are left for clearFileMesh.
bool loadTriangleFile(const std::string& path, LoadFailure* failure = nullptr, MeshRefusal* refusal = nullptr);

// The same over bytes already in memory.
bool loadTriangleData(const char* data, std::size_t size, LoadFailure* failure = nullptr,
                      MeshRefusal* refusal = nullptr);

// The memory a quadtree build may take now: AppState.quadtreeMemoryLimit when
// set, else what the machine leaves (quadtreeMemoryBudget).
std::size_t quadtreeBuildBudget();

// Empties the loader's reading lists.
void clearFileMesh();

// A load as the front ends make it: loadTriangleFile (loadTriangleData), then
// the reading lists emptied, and the scene marked loaded when it was replaced.
// A failed load leaves the mark as it was.
bool loadSceneFile(const std::string& path, LoadFailure* failure = nullptr, MeshRefusal* refusal = nullptr);
bool loadSceneData(const char* data, std::size_t size, LoadFailure* failure = nullptr, MeshRefusal* refusal = nullptr);

// Empties the scene mesh and forgets the last located region.
void clearSceneMesh();

// Makes the limits active, rebuilds the quadtree over the current scene,
// locates the last clicked point again and rebuilds the region-line and
// highlight buffers, then draws. False when the tree with these limits, or its
// buffers' contents, do not fit in memory: the old tree, limits and picture
// stay. Requires: a scene is loaded.
bool rebuildQuadtree(std::int32_t maxDepth, std::int32_t maxTrianglesPerRegion);

// A left click at plane point `point`: turns the highlight on, locates the
// point's region, rebuilds the highlight buffer and draws. False, with the
// last highlight kept, when the highlight's contents do not fit in memory.
// Requires: a scene is loaded.
bool simulatePointLocation(Point2 point);
