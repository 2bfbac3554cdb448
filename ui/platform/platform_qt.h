#pragma once
// What stands behind a PlatformWindow on Linux: an X11 window of the windowing
// library (the drawing window) or a Qt widget (the Info dialog).

class QWidget;

struct PlatformWindow {
    unsigned long nativeId = 0;  // X window id, 0 for a widget not yet shown
    QWidget* widget = nullptr;   // the widget, or null for the drawing window
    bool enabled = true;         // input is taken only while enabled
};
