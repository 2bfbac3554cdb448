#pragma once
// What the drawing window's keys, right-button drag and wheel do to the eye:
// one set of decisions over AppState for the desktop window and the page.
// The caller draws afterwards.

#include "orrelin/view/camera_math.h"

// An arrow key, Shift held or not: moves the eye by one move step. False when
// the key makes no step (Left and Right without Shift).
bool arrowKeyStep(ArrowKey key, bool shift);

// The right button went down at window pixel (x, y): a drag begins there.
void beginDrag(int x, int y);

// The right button went up (or the pointer was lost): the drag ends.
void endDrag();

// The pointer moved to window pixel (x, y): while a drag is on, the eye
// follows it. False when no drag is on (nothing moved).
bool dragTo(int x, int y);

// One wheel notch toward (`in`) or away from the zoom target, which the
// caller has just picked under the cursor.
void wheelNotch(bool in);
