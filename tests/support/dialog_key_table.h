#pragma once
// What each navigation key does on each of the Info dialog's four focusable
// controls in the Windows build, recorded under Wine with real key events
// (tests/gui/wine_test.cpp checks it there): the button it pressed, if any,
// and the control that has the focus afterwards, once the window the press
// opened (the properties box, the chooser) is closed again. The Linux dialog
// and the rules of the dialog's keyboard handling are held to it.

#include <vector>

namespace dialog_keys {

inline constexpr int kDepth = 1001;      // the depth field
inline constexpr int kTriangles = 1002;  // the triangles field
inline constexpr int kApply = 3;
inline constexpr int kOpenFile = 5;
inline constexpr int kNothing = 0;  // no button pressed
inline constexpr int kUnknown = -1;
// The last control of the template, the static text "Move Cam:": Down or
// Right on Open File moves the focus there in the Windows dialog (no control
// before the buttons starts their group, and the search for one goes round
// to that text, which starts a group of its own).
inline constexpr int kLastText = -2;

struct Case {
    int from;          // the control that has the focus
    const char* keys;  // xdotool key names
    int pressed;       // the button the key pressed, or kNothing
    int focus;         // the control that has the focus afterwards
};

// The tab order, which is also the order of the controls in the template.
inline const std::vector<int> kTabStops{kDepth, kTriangles, kApply, kOpenFile};

// clang-format off
inline const std::vector<Case> kWindowsBehaviour{
    {kDepth, "Return", kNothing, kDepth},
    {kDepth, "space", kNothing, kDepth},
    {kDepth, "Up", kNothing, kDepth},
    {kDepth, "Down", kNothing, kDepth},
    {kDepth, "Left", kNothing, kDepth},
    {kDepth, "Right", kNothing, kDepth},
    {kDepth, "Tab", kNothing, kTriangles},
    {kDepth, "shift+Tab", kNothing, kOpenFile},
    {kDepth, "ctrl+shift+Tab", kNothing, kOpenFile},
    {kTriangles, "Return", kNothing, kTriangles},
    {kTriangles, "space", kNothing, kTriangles},
    {kTriangles, "Up", kNothing, kTriangles},
    {kTriangles, "Down", kNothing, kTriangles},
    {kTriangles, "Left", kNothing, kTriangles},
    {kTriangles, "Right", kNothing, kTriangles},
    {kTriangles, "Tab", kNothing, kApply},
    {kTriangles, "shift+Tab", kNothing, kDepth},
    {kTriangles, "ctrl+shift+Tab", kNothing, kDepth},
    {kApply, "Return", kApply, kDepth},  // the box puts the focus into the depth field
    {kApply, "space", kApply, kDepth},
    {kApply, "Up", kNothing, kTriangles},
    {kApply, "Down", kNothing, kOpenFile},
    {kApply, "Left", kNothing, kTriangles},
    {kApply, "Right", kNothing, kOpenFile},
    {kApply, "Tab", kNothing, kOpenFile},
    {kApply, "shift+Tab", kNothing, kTriangles},
    {kApply, "ctrl+shift+Tab", kNothing, kTriangles},
    {kOpenFile, "Return", kOpenFile, kOpenFile},  // the chooser, cancelled
    {kOpenFile, "space", kOpenFile, kOpenFile},
    {kOpenFile, "Up", kNothing, kApply},
    {kOpenFile, "Down", kNothing, kLastText},
    {kOpenFile, "Left", kNothing, kApply},
    {kOpenFile, "Right", kNothing, kLastText},
    {kOpenFile, "Tab", kNothing, kDepth},
    {kOpenFile, "shift+Tab", kNothing, kApply},
    {kOpenFile, "ctrl+shift+Tab", kNothing, kApply},
};
// clang-format on

}  // namespace dialog_keys
