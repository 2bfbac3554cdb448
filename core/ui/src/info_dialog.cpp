#include "orrelin/ui/info_dialog.h"

#include <array>

namespace {

using K = ControlKind;

constexpr std::array<DialogControl, 35> kControls{{
    {K::Edit, IDC_MAX_DEPTH, "", 104, 266, 40, 14},
    {K::Edit, IDC_TRIANGLES_PER_REGION, "", 104, 287, 40, 14},
    {K::PushButton, IDC_APPLY, "Apply", 85, 318, 64, 14},
    {K::PushButton, IDC_OPEN_FILE, "Open File", 11, 318, 64, 14},
    {K::Static, IDC_STATIC, "Shift+Cursor Left", 81, 21, 64, 10},
    {K::Static, IDC_STATIC, "Shift+Cursor Right", 81, 35, 69, 10},
    {K::Static, IDC_STATIC, "Shift+Cursor Up", 81, 49, 70, 10},
    {K::Static, IDC_STATIC, "Shift+Cursor Down", 81, 63, 66, 10},
    {K::Static, IDC_STATIC, "Cursor Down", 81, 91, 45, 10},
    {K::Static, IDC_STATIC, "Cursor Up", 81, 77, 45, 10},
    {K::Static, IDC_STATIC, "Move Left:", 16, 21, 42, 10},
    {K::Static, IDC_STATIC, "Move Right:", 16, 35, 42, 10},
    {K::Static, IDC_STATIC, "Move Up:", 16, 49, 42, 10},
    {K::Static, IDC_STATIC, "Move Down:", 16, 63, 42, 10},
    {K::Static, IDC_STATIC, "Zoom in:", 16, 77, 42, 10},
    {K::Static, IDC_STATIC, "Zoom out:", 16, 91, 42, 10},
    {K::GroupBox, IDC_STATIC, "Keyboard navigation", 12, 8, 137, 97},
    {K::Static, IDC_STATIC, "Scroll down", 81, 137, 41, 10},
    {K::Static, IDC_STATIC, "Scroll up", 81, 124, 41, 10},
    {K::Static, IDC_STATIC, "Zoom out:", 16, 137, 41, 10},
    {K::Static, IDC_STATIC, "Zoom in:", 16, 124, 41, 10},
    {K::GroupBox, IDC_STATIC, "Mouse navigation", 12, 111, 137, 54},
    {K::Static, IDC_STATIC, "Simulation Start: ", 16, 184, 57, 10},
    {K::Static, IDC_STATIC, "Left mouse button click on mesh.", 81, 184, 67, 16},
    {K::Static, IDC_STATIC, "Program Exit: ", 16, 206, 46, 10},
    {K::Static, IDC_STATIC, "Key Esc", 81, 206, 46, 10},
    {K::Static, IDC_STATIC, "Orrelin v1.1: how a quadtree\nfinds the triangle under a click", 9, 340, 138, 19},
    {K::GroupBox, IDC_STATIC, "Miscellaneous", 12, 172, 137, 72},
    {K::Static, IDC_STATIC, "Max. depth level:\n(1-10)", 16, 268, 70, 15},
    {K::Static, IDC_STATIC, "Number of triangles per region: (1-10k)", 16, 289, 81, 19},
    {K::GroupBox, IDC_STATIC, "Quad tree properties", 11, 251, 137, 62},
    {K::Static, IDC_STATIC, "Toggle active window: ", 16, 223, 46, 19},
    {K::Static, IDC_STATIC, "Key Ctrl+Tab", 81, 223, 46, 10},
    {K::Static, IDC_STATIC, "Right button drag", 82, 150, 63, 10},
    {K::Static, IDC_STATIC, "Move Cam:", 16, 150, 41, 10},
}};

// units * base / divisor, rounded half away from zero like the platform's MulDiv.
int scale(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}

}  // namespace

std::span<const DialogControl> infoDialogControls() {
    return kControls;
}

int dialogUnitsToPixelsX(int units, int baseWidth) {
    return scale(units, baseWidth, 4);
}

int dialogUnitsToPixelsY(int units, int baseHeight) {
    return scale(units, baseHeight, 8);
}
