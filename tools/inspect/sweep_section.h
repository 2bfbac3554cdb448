#pragma once
// The "sweep" section of orrelin-inspect's output.

#include <string>

#include "orrelin/quadtree/limit_sweep.h"

// Sweeps one limit over the loaded scene (sweepShownMesh) and appends
// `,\n "sweep": {...}`: which limit varies and, per point, both limits, whether
// the tree fits in memory, the expected tests of a random click, the stored
// triangle references, the split regions and the build time in milliseconds
// (to a microsecond; null where the tree did not fit, as are the other figures).
void appendSweepSection(std::string& out, SweepAxis axis);
