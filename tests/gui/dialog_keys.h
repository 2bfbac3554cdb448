#pragma once
// The probe that finds out what a navigation key does on one of the Info
// dialog's focusable controls, the same way in either build.
//
// The probe works by what the user sees: with an invalid depth in the dialog,
// pressing Apply brings up the "Properties Input Error" box and pressing
// Open File the chooser ("Open"). A key's outcome is the button it pressed, if
// any, and the control that has the focus afterwards (once the window it
// opened is closed again): Space presses a focused button; a focused edit
// takes the space as text, and Tab Tab Space then presses Apply from the
// depth field or Open File from the triangles field.

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dialog_key_table.h"
#include "process.h"
#include "x_session.h"

namespace dialog_keys {

// How a test reaches the dialog of the build it drives.
struct Driver {
    // Sends real key events to the dialog (or to the window Wine gives them).
    std::function<bool(const std::string& keys)> keys;
    // Clicks the Apply button with the mouse.
    std::function<bool()> clickApply;
    // How long to wait before deciding that a key opened nothing.
    double quiet = 1.0;
};

enum class Opened { Nothing, PropertiesBox, Chooser };

// Waits up to `seconds` for the box or the chooser and closes what came
// (again if a key came before the window could take it).
inline Opened waitAndClose(double seconds) {
    Opened opened = Opened::Nothing;
    gui::waitFor(
        [&] {
            if (!gui::findWindows("^Properties Input Error$").empty()) {
                opened = Opened::PropertiesBox;
            } else if (!gui::findWindows("^Open$").empty()) {
                opened = Opened::Chooser;
            }
            return opened != Opened::Nothing;
        },
        seconds);
    if (opened == Opened::Nothing) return opened;
    const std::string title = opened == Opened::PropertiesBox ? "^Properties Input Error$" : "^Open$";
    for (int attempt = 0; attempt < 5; ++attempt) {
        gui::key(opened == Opened::PropertiesBox ? "Return" : "Escape");  // the modal window has the keyboard
        if (gui::waitForNoWindow(title, 3)) break;
    }
    return opened;
}

inline int buttonOf(Opened opened) {
    return opened == Opened::PropertiesBox ? kApply : opened == Opened::Chooser ? kOpenFile : kNothing;
}

// The control that has the focus, found by pressing it (see above).
inline int probeFocus(const Driver& driver) {
    if (!driver.keys("space")) return kUnknown;
    const Opened first = waitAndClose(driver.quiet);
    if (first != Opened::Nothing) return buttonOf(first);
    if (!driver.keys("Tab Tab space")) return kUnknown;
    switch (waitAndClose(driver.quiet)) {
        case Opened::PropertiesBox: return kDepth;
        case Opened::Chooser: return kTriangles;
        case Opened::Nothing: break;
    }
    // Not on a tab stop: Tab Tab from the last text (where Tab goes on as
    // from Open File) reaches the triangles field, and one more Tab Apply.
    if (!driver.keys("Tab space")) return kUnknown;
    return waitAndClose(10) == Opened::PropertiesBox ? kLastText : kUnknown;
}

// Tries keys on the dialog one after the other. It knows where the focus is
// after each probe: a probe ends by pressing Apply, whose box puts the focus
// into the depth field, or Open File, which keeps it once its chooser is
// cancelled; Tab takes it on to the next control to try. At first, and after
// anything unexpected, Apply is pressed with the mouse.
class Prober {
   public:
    explicit Prober(Driver driver) : driver_(std::move(driver)) {}

    // What `keys` does with the focus on `from`.
    Case outcome(int from, const char* keys) {
        Case result{from, keys, kUnknown, kUnknown};
        if (!focusOn(from) || !driver_.keys(keys)) {
            current_ = kUnknown;
            return result;
        }
        result.pressed = buttonOf(waitAndClose(driver_.quiet));
        result.focus = probeFocus(driver_);
        // Where the probe's own press left the focus.
        switch (result.focus) {
            case kOpenFile:
            case kTriangles: current_ = kOpenFile; break;
            case kUnknown: current_ = kUnknown; break;
            default: current_ = kDepth; break;
        }
        return result;
    }

   private:
    static int position(int control) {
        for (std::size_t k = 0; k < kTabStops.size(); ++k) {
            if (kTabStops[k] == control) return static_cast<int>(k);
        }
        return 0;
    }

    bool focusOn(int control) {
        if (current_ == kUnknown) {
            // The depth is invalid: the box comes, and closing it puts the
            // focus into the depth field.
            if (!driver_.clickApply() || waitAndClose(10) != Opened::PropertiesBox) return false;
            current_ = kDepth;
        }
        const int tabs = (position(control) - position(current_) + 4) % 4;
        std::string keys;
        for (int k = 0; k < tabs; ++k) keys += k == 0 ? "Tab" : " Tab";
        return keys.empty() || driver_.keys(keys);
    }

    Driver driver_;
    int current_ = kUnknown;
};

inline std::string describe(const Case& c) {
    std::ostringstream out;
    out << "{" << c.from << ", \"" << c.keys << "\", " << c.pressed << ", " << c.focus << "}";
    return out.str();
}

}  // namespace dialog_keys
