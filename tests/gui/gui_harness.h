#pragma once
// Drives a real GUI program under a private X server for the GUI tests.
//
// Everything goes through command-line tools (Xvfb, openbox, xdotool, xprop,
// xwininfo, import, convert, xclip), so the tests link no X or Qt library.
// Children are started with fork+exec into their own process group and die
// with the thread that started them (PR_SET_PDEATHSIG), so a test process that
// is killed does not leave an X server behind. Start long-lived children (and
// the session) from the test's main thread for that reason.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gui {

// ---------------------------------------------------------------------------
// Pixels

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Lets GoogleTest print colours as "#rrggbb (r, g, b)".
void PrintTo(const Rgb& colour, std::ostream* os);
std::ostream& operator<<(std::ostream& os, const Rgb& colour);

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // row-major, 3 bytes a pixel, top row first

    // Throws std::out_of_range outside the image.
    Rgb at(int x, int y) const;
    bool valid() const;
};

// Reads a binary PPM (P6). Comments and any whitespace are accepted between
// the header fields; samples above 8 bits (maxval > 255) are scaled to 8 bits.
// Returns an invalid Image for anything malformed or cut short.
Image parsePpm(std::string_view bytes);

// Encodes an image as a binary PPM with maxval 255.
std::string toPpm(const Image& image);

// True when every channel differs by at most `tolerance`.
bool near(Rgb a, Rgb b, int tolerance);

// Number of pixels near `colour` in the rectangle [x0, x1] x [y0, y1]
// (both ends included, corners in any order), clamped to the image.
int countPixels(const Image& image, int x0, int y0, int x1, int y1, Rgb colour, int tolerance);

// True when some pixel within `radius` (Euclidean) of (cx, cy) is near `colour`.
bool anyPixelNear(const Image& image, int cx, int cy, int radius, Rgb colour, int tolerance);

// ---------------------------------------------------------------------------
// Child processes

struct CommandResult {
    int exitStatus = -1;  // exit code, 128 + signal, or -1 after a timeout kill
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up in PATH) with the current environment and stdin
// from /dev/null, capturing stdout and stderr. On timeout the child's whole
// process group is killed and exitStatus is -1. If the program cannot be
// started, exitStatus is 127 and `err` says why.
CommandResult runCommand(const std::vector<std::string>& argv, double timeoutSeconds = 20);

// Same, with `input` written to the child's stdin (then closed).
CommandResult runCommandWithInput(const std::vector<std::string>& argv, std::string_view input,
                                  double timeoutSeconds = 20);

using Environment = std::vector<std::pair<std::string, std::string>>;

// A long-running child (the program under test, the X server, ...). It runs
// in its own process group; kill() and the destructor signal the whole group.
class Process {
   public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;

    // Starts argv with the current environment plus `env` (which overrides),
    // in `workingDirectory` (empty: the current one). stdout and stderr both go
    // to `outputPath` (truncated; empty: /dev/null); stdin is /dev/null.
    // Descriptors in `inheritFds` stay open in the child under the same
    // numbers. Returns false, with error() set, if it could not be started.
    // Refuses (returns false) while the previous child still runs.
    bool start(const std::vector<std::string>& argv, const Environment& env = {},
               const std::string& workingDirectory = {}, const std::string& outputPath = {},
               const std::vector<int>& inheritFds = {});

    int pid() const { return pid_; }  // -1 before start()
    bool running();                   // reaps the child if it has exited

    // Waits for the child to exit; false if it still runs after the timeout
    // (or was never started). status: exit code or 128 + signal.
    bool waitExit(int& status, double timeoutSeconds);

    // SIGKILL to the process group, then reaps the child.
    void kill();
    // SIGTERM to the process group, waits up to graceSeconds, then kill().
    // Returns true if the child ended within the grace time.
    bool terminate(double graceSeconds = 3);

    // Set once the child has been reaped.
    std::optional<int> exitStatus() const { return status_; }
    const std::string& error() const { return error_; }

   private:
    void reset();
    int pid_ = -1;
    bool reaped_ = false;
    std::optional<int> status_;
    std::string error_;
};

// ---------------------------------------------------------------------------
// X session

// A private Xvfb (by default 1280x1024x24, any free display number), optionally with
// openbox on it. While it lives, DISPLAY, XDG_RUNTIME_DIR and
// QT_QPA_PLATFORM=xcb are set in this process's environment (and
// WAYLAND_DISPLAY is removed) so every child draws on it. Throws
// std::runtime_error if the server or window manager does not come up.
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

// Polls `condition` until it holds or the time is up; it is always checked at
// least once, and once more at the deadline.
bool waitFor(const std::function<bool()>& condition, double timeoutSeconds, double pollSeconds = 0.02);

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
bool savePng(const Image& image, const std::string& path);
std::string readClipboard();  // empty if nothing is there

}  // namespace gui
