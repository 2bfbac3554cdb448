#pragma once
// Loading a triangle file into the scene, rebuilding the quadtree with new
// limits, and locating a clicked point: the operations over AppState that the
// drawing window, the Info dialog and the command-line tools share.

#include <cstdint>
#include <string>

#include "mesh_types.h"

// Reads the file at `path`, validates it and, when it is valid, replaces the
// scene: mesh, edge list, mesh buffers, bounds, quadtree with the active limits
// and the region-line buffer; the last located region is forgotten. False when
// the file cannot be read or is invalid; the scene is then unchanged.
// The reading lists are left filled for clearFileMesh.
bool loadTriangleFile(const std::string& path);

// The same over bytes already in memory.
bool loadTriangleData(const char* data, std::size_t size);

// Empties the loader's reading lists.
void clearFileMesh();

// Empties the scene mesh and forgets the last located region.
void clearSceneMesh();

// Makes the limits active, rebuilds the quadtree over the current scene,
// locates the last clicked point again and rebuilds the region-line and
// highlight buffers, then draws. Requires: a scene is loaded.
void rebuildQuadtree(std::int32_t maxDepth, std::int32_t maxTrianglesPerRegion);

// A left click at plane point `point`: turns the highlight on, locates the
// point's region, rebuilds the highlight buffer and draws.
// Requires: a scene is loaded.
void simulatePointLocation(Point2 point);

// Buffer builders: fill the contents, set the counts in AppState.gpuBuffers and
// replace the buffers through the display hooks.
void buildMeshBuffers();
void buildRegionLineBuffer();
void buildHighlightBuffer();
