#include "x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace gui {

namespace {

using Clock = std::chrono::steady_clock;

std::runtime_error systemError(const std::string& what) {
    const int err = errno;
    return std::runtime_error(what + ": " + std::strerror(err));
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string current;
    for (char c : text) {
        if (isSpace(c)) {
            if (!current.empty()) words.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) words.push_back(std::move(current));
    return words;
}

bool xdotool(std::vector<std::string> args, double timeoutSeconds = 5) {
    args.insert(args.begin(), "xdotool");
    return runCommand(args, timeoutSeconds).exitStatus == 0;
}

std::string readFile(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

void setEnv(std::vector<std::pair<std::string, std::optional<std::string>>>& saved, const std::string& name,
            const std::optional<std::string>& value) {
    const char* old = std::getenv(name.c_str());
    saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

std::string tail(const std::string& text, std::size_t n = 2000) {
    return text.size() <= n ? text : text.substr(text.size() - n);
}

}  // namespace

// The steps listed in tests/README.md ("The private X server"), in that
// order; start_private_display in scripts/lib.sh takes the same steps, so a
// change here belongs there too.
XSession::XSession(bool windowManager, const std::string& screen) : windowManager_(windowManager) {
    try {
        // 1. The private folder.
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "orrelin-gui-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw systemError("mkdtemp");
        tempDir_ = pattern;
        const std::string runtimeDir = tempDir_ + "/runtime", homeDir = tempDir_ + "/home";
        if (::mkdir(runtimeDir.c_str(), 0700) != 0 || ::mkdir(homeDir.c_str(), 0700) != 0 ||
            ::mkdir((homeDir + "/.config").c_str(), 0700) != 0) {
            throw systemError("creating session folders");
        }

        // 2, 3. Xvfb picks a free display number itself and writes it to the
        // pipe once it accepts connections, so parallel test processes never
        // race for a number.
        int displayPipe[2];
        if (::pipe2(displayPipe, O_CLOEXEC) != 0) throw systemError("pipe");
        const std::string xvfbLog = tempDir_ + "/xvfb.log";
        bool started = xvfb_.start({"Xvfb", "-displayfd", std::to_string(displayPipe[1]), "-screen", "0", screen,
                                    "-nolisten", "tcp", "-noreset"},
                                   {}, {}, xvfbLog, {displayPipe[1]});
        ::close(displayPipe[1]);
        std::string number;
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
        while (started && number.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd pfd{displayPipe[0], POLLIN, 0};
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            int ready = ::poll(&pfd, 1, static_cast<int>(std::clamp<long long>(left, 0, 100)));
            if (ready < 0 && errno != EINTR) break;
            if (ready <= 0) continue;
            char buffer[32];
            ssize_t n = ::read(displayPipe[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // Xvfb exited
            number.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(displayPipe[0]);
        number = trimmed(number);
        if (!started || number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
            std::string why = started ? "Xvfb did not report a display" : "cannot start Xvfb: " + xvfb_.error();
            xvfb_.kill();
            throw std::runtime_error(why + "\n" + tail(readFile(xvfbLog)));
        }
        display_ = ":" + number;

        // 4. The environment every child inherits.
        setEnv(savedEnv_, "DISPLAY", display_);
        setEnv(savedEnv_, "XDG_RUNTIME_DIR", runtimeDir);
        setEnv(savedEnv_, "QT_QPA_PLATFORM", std::string("xcb"));
        setEnv(savedEnv_, "WAYLAND_DISPLAY", std::nullopt);

        if (windowManager_) {
            // 5. A private HOME and config folder: openbox then runs with the
            // system's default configuration, whatever the user has set up.
            const std::string wmLog = tempDir_ + "/openbox.log";
            const Environment wmEnv = {{"HOME", homeDir}, {"XDG_CONFIG_HOME", homeDir + "/.config"}};
            if (!wm_.start({"openbox", "--sm-disable"}, wmEnv, homeDir, wmLog)) {
                throw std::runtime_error("cannot start openbox: " + wm_.error());
            }
            // 6. Ready once it has set its supporting-window property.
            bool ready = waitFor(
                [&] {
                    if (!wm_.running()) return true;
                    CommandResult r = runCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, 5);
                    return r.exitStatus == 0 && r.out.find("window id") != std::string::npos;
                },
                20, 0.05);
            if (!ready || !wm_.running()) {
                throw std::runtime_error("openbox did not come up on " + display_ + "\n" + tail(readFile(wmLog)));
            }
        }
    } catch (...) {
        shutDown();
        throw;
    }
}

XSession::~XSession() {
    shutDown();
}

// The window manager first, then the server.
void XSession::shutDown() {
    wm_.terminate(3);
    xvfb_.terminate(5);
    for (auto it = savedEnv_.rbegin(); it != savedEnv_.rend(); ++it) {
        if (it->second) {
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            ::unsetenv(it->first.c_str());
        }
    }
    savedEnv_.clear();
    if (!tempDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir_, ignored);
        tempDir_.clear();
    }
}

XSession& session(bool windowManager, const std::string& screen) {
    static std::mutex mutex;
    static std::unique_ptr<XSession> instance;
    std::lock_guard<std::mutex> lock(mutex);
    if (!instance) instance = std::make_unique<XSession>(windowManager, screen);
    return *instance;
}

// ---------------------------------------------------------------------------
// Windows

std::vector<std::string> findWindows(const std::string& nameRegex, bool onlyVisible) {
    std::vector<std::string> args = {"xdotool", "search"};
    if (onlyVisible) args.push_back("--onlyvisible");
    args.insert(args.end(), {"--name", "--", nameRegex});
    CommandResult r = runCommand(args, 10);
    std::vector<std::string> ids;
    if (r.exitStatus != 0) return ids;  // xdotool exits with 1 when nothing matches
    for (std::string& word : splitWords(r.out)) {
        if (word.find_first_not_of("0123456789") == std::string::npos) ids.push_back(std::move(word));
    }
    return ids;
}

std::optional<std::string> waitForWindow(const std::string& nameRegex, double timeoutSeconds) {
    std::optional<std::string> found;
    waitFor(
        [&] {
            std::vector<std::string> ids = findWindows(nameRegex);
            if (!ids.empty()) found = ids.front();
            return found.has_value();
        },
        timeoutSeconds, 0.05);
    return found;
}

bool waitForNoWindow(const std::string& nameRegex, double timeoutSeconds) {
    return waitFor([&] { return findWindows(nameRegex).empty(); }, timeoutSeconds, 0.05);
}

std::string windowName(const std::string& windowId) {
    CommandResult r = runCommand({"xdotool", "getwindowname", windowId}, 5);
    if (r.exitStatus != 0) return {};
    if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    return r.out;
}

Geometry windowGeometry(const std::string& windowId) {
    CommandResult r = runCommand({"xwininfo", "-id", windowId}, 5);
    Geometry g;
    if (r.exitStatus != 0) return g;
    std::istringstream lines(r.out);
    std::string line;
    auto field = [&](const char* label, int& into) {
        std::string_view view(line);
        std::size_t start = view.find_first_not_of(' ');
        if (start == std::string_view::npos) return;
        view.remove_prefix(start);
        const std::size_t length = std::strlen(label);
        if (view.substr(0, length) == label) into = std::atoi(std::string(view.substr(length)).c_str());
    };
    while (std::getline(lines, line)) {
        field("Absolute upper-left X:", g.x);
        field("Absolute upper-left Y:", g.y);
        field("Width:", g.width);
        field("Height:", g.height);
    }
    return g;
}

std::string activeWindow() {
    CommandResult r = runCommand({"xdotool", "getactivewindow"}, 5);
    return r.exitStatus == 0 ? trimmed(r.out) : std::string();
}

// ---------------------------------------------------------------------------
// Input

bool key(const std::string& keys) {
    std::vector<std::string> args = {"key", "--delay", "20"};
    std::vector<std::string> chords = splitWords(keys);
    if (chords.empty()) return false;
    args.insert(args.end(), chords.begin(), chords.end());
    return xdotool(args, 5 + 0.1 * static_cast<double>(chords.size()));
}

bool keyToWindow(const std::string& windowId, const std::string& keys) {
    // windowactivate needs a window manager (_NET_ACTIVE_WINDOW); without one
    // the window only gets the input focus.
    if (!xdotool({"windowactivate", "--sync", windowId}) && !xdotool({"windowfocus", "--sync", windowId})) {
        return false;
    }
    return key(keys);
}

namespace {

std::optional<std::pair<int, int>> pointerPosition() {
    CommandResult r = runCommand({"xdotool", "getmouselocation", "--shell"}, 5);
    if (r.exitStatus != 0) return std::nullopt;
    std::optional<int> x, y;
    for (const std::string& word : splitWords(r.out)) {
        if (word.rfind("X=", 0) == 0) x = std::atoi(word.c_str() + 2);
        if (word.rfind("Y=", 0) == 0) y = std::atoi(word.c_str() + 2);
    }
    if (!x || !y) return std::nullopt;
    return std::make_pair(*x, *y);
}

}  // namespace

bool mouseMove(int x, int y) {
    // Not "mousemove --sync": that waits for the pointer to move and so hangs
    // when it is already there. Polling the position also reports a target
    // off the screen (where the pointer cannot go) as a failure.
    if (!xdotool({"mousemove", std::to_string(x), std::to_string(y)})) return false;
    const std::pair<int, int> target(x, y);
    return waitFor([&] { return pointerPosition() == target; }, 2, 0.01);
}

bool click(int button) {
    return xdotool({"click", std::to_string(button)});
}

bool mouseDown(int button) {
    return xdotool({"mousedown", std::to_string(button)});
}

bool mouseUp(int button) {
    return xdotool({"mouseup", std::to_string(button)});
}

bool clickAt(const std::string& windowId, int x, int y, int button) {
    const Geometry g = windowGeometry(windowId);
    if (!g.valid()) return false;
    return mouseMove(g.x + x, g.y + y) && click(button);
}

bool typeText(const std::string& text) {
    if (text.empty()) return true;
    return xdotool({"type", "--delay", "20", "--", text}, 5 + 0.05 * static_cast<double>(text.size()));
}

// ---------------------------------------------------------------------------
// Screen and clipboard

Image captureWindow(const std::string& windowId) {
    // import asks the user to pick a window by clicking when the id names no
    // window, so make sure it exists first (the timeout covers a window that
    // goes away in between).
    if (windowId != "root" && runCommand({"xwininfo", "-id", windowId}, 5).exitStatus != 0) return {};
    CommandResult r = runCommand({"import", "-silent", "-window", windowId, "-depth", "8", "ppm:-"}, 10);
    return r.exitStatus == 0 ? parsePpm(r.out) : Image{};
}

Image captureRoot() {
    return captureWindow("root");
}
std::string readClipboard() {
    CommandResult r = runCommand({"xclip", "-o", "-selection", "clipboard"}, 5);
    return r.exitStatus == 0 ? r.out : std::string();
}

}  // namespace gui
