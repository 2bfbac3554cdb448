// The page's command list: the inputs the page answers, each action beside
// its key or gesture, grouped as the desktop dialog groups its own. The page
// has no Esc to end it and adds Home, Locate and dropping a file; the desktop
// dialog's texts (core/ui) stay the program's.

#include <emscripten/emscripten.h>

#include <cstddef>
#include <iterator>

namespace {

struct PageCommand {
    const char* group;
    const char* action;
    const char* key;
};

constexpr PageCommand kPageCommands[] = {
    {"Keyboard navigation", "Move Left:", "Shift+Cursor Left"},
    {"Keyboard navigation", "Move Right:", "Shift+Cursor Right"},
    {"Keyboard navigation", "Move Up:", "Shift+Cursor Up"},
    {"Keyboard navigation", "Move Down:", "Shift+Cursor Down"},
    {"Keyboard navigation", "Zoom in:", "Cursor Up"},
    {"Keyboard navigation", "Zoom out:", "Cursor Down"},
    {"Keyboard navigation", "Framed view:", "Key Home, or Reset view"},
    {"Mouse navigation", "Zoom in:", "Scroll up"},
    {"Mouse navigation", "Zoom out:", "Scroll down"},
    {"Mouse navigation", "Move Cam:", "Right button drag"},
    {"Miscellaneous", "Simulation Start:", "Left mouse button click on mesh."},
    {"Miscellaneous", "Locate a point:", "Type x and y under Descent, then Locate"},
    {"Miscellaneous", "Open a file:", "Open File, or drop a .tri file on the canvas"},
    {"Miscellaneous", "Toggle active window:", "Key Tab, Shift+Tab"},
};

constexpr int kPageCommandCount = static_cast<int>(std::size(kPageCommands));

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int orrelin_command_count() {
    return kPageCommandCount;
}

// The command's group (part 0), action (1) or key (2); "" for an index or
// part out of range.
EMSCRIPTEN_KEEPALIVE const char* orrelin_command_text(int index, int part) {
    if (index < 0 || index >= kPageCommandCount) return "";
    const PageCommand& command = kPageCommands[static_cast<std::size_t>(index)];
    switch (part) {
        case 0: return command.group;
        case 1: return command.action;
        case 2: return command.key;
        default: return "";
    }
}

}  // extern "C"
