#pragma once
// The sweep of the limits over the shown mesh.

#include "orrelin/quadtree/limit_sweep.h"

// sweepLimits over the scene's mesh and bounds: the depth limit 1 to 10 at the
// active triangles per region, or the triangles per region at the active
// depth, each tree within the memory a build may take now. The shown tree and
// limits stay as they are. Requires: a scene is loaded.
LimitSweep sweepShownMesh(SweepAxis axis, const SweepProgress& progress = {});
