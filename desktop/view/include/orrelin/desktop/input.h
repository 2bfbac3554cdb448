#pragma once
// The drawing window's keyboard and mouse callbacks.

// Character keys: Esc ends the program; every other character does nothing.
void onKeyboard(unsigned char key, int x, int y);

// Arrow keys: with Shift they pan, without it Up/Down zoom; every special key
// redraws.
void onSpecialKey(int key, int x, int y);

// Left press picks, right press/release starts/ends a drag, a wheel notch
// (release of button 3 or 4) zooms toward/away from the point under the cursor.
void onMouse(int button, int state, int x, int y);

// Mouse movement with a button held: moves the camera while dragging.
void onMotion(int x, int y);

// Installs the mouse, motion and reshape callbacks on the current window (the
// key handlers above reach the window through the key routing).
void registerPointerCallbacks();
