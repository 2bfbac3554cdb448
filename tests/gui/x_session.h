#pragma once
// A private X server for the GUI tests, and the program's windows on it: found
// by title, driven with real input, read back from the screen and the
// clipboard.
//
// Everything goes through command-line tools (Xvfb, openbox, xdotool, xprop,
// xwininfo, import, xclip), so the tests link no X or Qt library.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image.h"
#include "process.h"

namespace gui {

// ---------------------------------------------------------------------------
// X session

// A private Xvfb (by default 1280x1024x24, any free display number), optionally with
// openbox on it. While it lives, DISPLAY, XDG_RUNTIME_DIR and
// QT_QPA_PLATFORM=xcb are set in this process's environment (and
// WAYLAND_DISPLAY is removed) so every child draws on it. Throws
// std::runtime_error if the server or window manager does not come up.
// tests/README.md lists the steps; scripts/lib.sh starts its server the same way.
class XSession {
   public:
    explicit XSession(bool windowManager = true, const std::string& screen = "1280x1024x24");
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    const std::string& display() const { return display_; }  // e.g. ":3"
    bool hasWindowManager() const { return windowManager_; }
    // A private temporary folder that is removed with the session.
    const std::string& tempDir() const { return tempDir_; }

   private:
    void shutDown();
    std::string tempDir_;
    std::string display_;
    bool windowManager_ = false;
    Process xvfb_;
    Process wm_;
    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnv_;
};

// The test process's one session, started on first use (the first call decides
// whether it has a window manager and the screen's size) and stopped at exit.
XSession& session(bool windowManager = true, const std::string& screen = "1280x1024x24");

// ---------------------------------------------------------------------------
// Windows (ids are decimal strings as xdotool prints them)

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;  // client area, root coordinates
    bool valid() const { return width > 0 && height > 0; }
};

// Windows whose title matches the (extended) regular expression.
std::vector<std::string> findWindows(const std::string& nameRegex, bool onlyVisible = true);
std::optional<std::string> waitForWindow(const std::string& nameRegex, double timeoutSeconds);
bool waitForNoWindow(const std::string& nameRegex, double timeoutSeconds);
std::string windowName(const std::string& windowId);   // empty if there is no such window
Geometry windowGeometry(const std::string& windowId);  // invalid if there is no such window
std::string activeWindow();                            // empty if none

// ---------------------------------------------------------------------------
// Input (real events through XTEST). Each returns false if xdotool failed.

// One or more key chords separated by spaces, e.g. "Escape", "shift+Right", "ctrl+c Tab".
bool key(const std::string& keys);
// Activates the window (focuses it when there is no window manager), then key().
bool keyToWindow(const std::string& windowId, const std::string& keys);
// Moves the pointer to root coordinates and waits until it is there; false
// if it does not get there (e.g. a point off the screen).
bool mouseMove(int x, int y);
bool click(int button);
bool mouseDown(int button);
bool mouseUp(int button);
// Moves to (x, y) relative to the window's client area and clicks there.
bool clickAt(const std::string& windowId, int x, int y, int button = 1);
bool typeText(const std::string& text);

// ---------------------------------------------------------------------------
// Screen and clipboard

Image captureWindow(const std::string& windowId);  // invalid Image on failure
Image captureRoot();
std::string readClipboard();  // empty if nothing is there

}  // namespace gui
