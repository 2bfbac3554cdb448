#include "orrelin/scene/limit_sweep.h"

#include "orrelin/base/contract.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"

LimitSweep sweepShownMesh(SweepAxis axis, const SweepProgress& progress) {
    ORRELIN_REQUIRE(AppState.quadtreeSettings.rootBounds != nullptr);
    QuadtreeSettings settings = AppState.quadtreeSettings;
    settings.memoryBudget = quadtreeBuildBudget();
    return sweepLimits(settings, axis, progress);
}
