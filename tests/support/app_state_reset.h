#pragma once
// Starts a test with a freshly constructed application record.

#include <new>

#include "orrelin/scene/app_state.h"

inline void resetAppState() {
    AppState.~ApplicationState();
    new (&AppState) ApplicationState();
}
